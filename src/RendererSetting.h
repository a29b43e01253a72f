#pragma once
// The renderer a new chart starts with, from the per-user "VideoMode" setting.
#include "plot_control/IPlotControl.h"

#include <optional>
#include <string>

// The stored text, or nothing when the key or value is missing or unreadable.
std::optional<std::wstring> ReadVideoModeSetting();

// Exactly "OPENGL" gives OpenGL; exactly "DIRECTX", anything else or nothing
// gives software.
plot::RendererCode RendererFromVideoMode(const std::optional<std::wstring>& text);
// The stored text of a renderer: "OPENGL" or "DIRECTX".
const wchar_t* VideoModeText(plot::RendererCode renderer);

// Creates the key when needed and writes "VideoMode"; false when the key
// cannot be created or written (nothing is reported).
bool WriteVideoModeSetting(const std::wstring& text);
