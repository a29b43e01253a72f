#pragma once
// The renderer a new chart starts with, from the per-user "VideoMode" setting.
#include <optional>
#include <string>

// The stored text, or nothing when the key or value is missing or unreadable.
std::optional<std::wstring> ReadVideoModeSetting();

// Chart-side renderer code: exactly "OPENGL" gives 1 (OpenGL); exactly
// "DIRECTX", anything else or nothing gives 0.
int RendererFromVideoMode(const std::optional<std::wstring>& text);

// Creates the key when needed and writes "VideoMode"; false when the key
// cannot be created or written (nothing is reported).
bool WriteVideoModeSetting(const std::wstring& text);
