#pragma once
// What the file commands remember per user: the recently opened files and the
// folder the file dialogs last used.
#include <string>
#include <vector>

inline constexpr std::size_t kRecentFilesMax = 8;

// Most recent first; empty when nothing is stored or the settings are unreadable.
std::vector<std::wstring> ReadRecentFiles();
// Puts path first, once, and keeps at most kRecentFilesMax.
void AddRecentFile(const std::wstring& path);

// The folder of the last file chosen in a file dialog (empty when none).
std::wstring ReadDialogFolder();
void RememberDialogFolder(const std::wstring& chosenPath);
