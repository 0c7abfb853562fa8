#pragma once
// The registry as the test prepares and reads it (ANSI calls, as the add-in uses).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <optional>
#include <string>

namespace standin {

inline constexpr const char* kAddinKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\Corvix.Connect";
inline constexpr const char* kMailOptionsKey = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";

std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const char* name);
std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* name);
bool KeyExists(HKEY root, const std::string& key);
void WriteDword(HKEY root, const std::string& key, const char* name, DWORD value);
void WriteString(HKEY root, const std::string& key, const char* name, const std::string& value);
void DeleteValue(HKEY root, const std::string& key, const char* name);

}  // namespace standin
