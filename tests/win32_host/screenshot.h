#pragma once
// Saves a window as a PNG file: the screen at the window's place, written by GDI+.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>

namespace standin {

// True when the file was written and the picture shows more than a blank frame.
// Waits a little for a window that has not painted yet.
bool SaveScreenshot(HWND window, const std::filesystem::path& file);

}  // namespace standin
