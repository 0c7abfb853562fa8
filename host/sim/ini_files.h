#pragma once
// INI files on disk, read and written as the Windows profile functions do:
// section and entry names compare without regard to case, values are
// trimmed and lose one pair of enclosing quotes, writes create what is missing.
#include <cstdint>
#include <string>

namespace host::sim::ini {

// FindFirstFile over ordinary files: the name (without its folder) of the
// first regular, non-hidden file matching pattern, whose last component may
// hold * and ?; empty when none.
std::string FindPlainFile(const std::string& pattern);

// At most bufferSize - 1 characters of the entry, or of defaultText (less its
// trailing blanks) when the file, the section or the entry is missing.
std::string GetString(const std::string& section, const std::string& entry, const std::string& defaultText,
                      std::uint32_t bufferSize, const std::string& file);

// The number at the start of the entry (decimal, or hexadecimal after 0x);
// defaultValue when the entry is missing, empty or not a number.
std::uint32_t GetInt(const std::string& section, const std::string& entry, std::int32_t defaultValue,
                     const std::string& file);

// Sets entry=value in section, replacing the entry if it is there and adding
// the file and the section if they are not. False when the file cannot be written.
bool WriteString(const std::string& section, const std::string& entry, const std::string& value,
                 const std::string& file);

}  // namespace host::sim::ini
