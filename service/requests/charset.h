#pragma once
// The add-in sends text in its ANSI code page (one byte per character), or
// UTF-8 on Linux. The service keeps everything as UTF-8.
#include <string>
#include <string_view>

namespace mailwarden {

bool IsUtf8(std::string_view text);

// UTF-8 text unchanged; anything else read as Windows-1252.
std::string ToUtf8(std::string_view text);

}  // namespace mailwarden
