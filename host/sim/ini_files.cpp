#include "host/sim/ini_files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace host::sim::ini {
namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool IsPlainFile(const std::string& path, const std::string& name) {
  // A leading dot is what marks a hidden file here.
  if (name.empty() || name[0] == '.') return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// FindFirstFile knows only * and ?; everything else is literal to it.
std::string FnmatchPattern(const std::string& pattern) {
  std::string out;
  for (char ch : pattern) {
    if (ch == '[' || ch == ']' || ch == '\\') out += '\\';
    out += ch;
  }
  return out;
}

struct IniFile {
  std::vector<std::string> lines;
  std::string newline = "\r\n";
};

std::optional<IniFile> Read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  IniFile ini;
  if (text.find('\n') != std::string::npos && text.find("\r\n") == std::string::npos) ini.newline = "\n";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ini.lines.push_back(std::move(line));
    start = end + 1;
  }
  return ini;
}

// The section named by a line, if it is a section line.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] != '[') return std::nullopt;
  const auto close = trimmed.find(']');
  return Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

bool IsEntry(const std::string& line, const std::string& entry) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';') return false;
  const auto equals = line.find('=');
  return equals != std::string::npos && SameNoCase(Trim(line.substr(0, equals)), Trim(entry));
}

// The range [begin, end) of lines after the section's heading.
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const IniFile& ini, const std::string& section) {
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    auto name = SectionOf(ini.lines[i]);
    if (!name || !SameNoCase(*name, Trim(section))) continue;
    std::size_t end = i + 1;
    while (end < ini.lines.size() && !SectionOf(ini.lines[end])) ++end;
    return std::make_pair(i + 1, end);
  }
  return std::nullopt;
}

std::optional<std::string> Lookup(const std::string& section, const std::string& entry, const std::string& file) {
  const auto ini = Read(file);
  if (!ini) return std::nullopt;
  const auto range = FindSection(*ini, section);
  if (!range) return std::nullopt;
  for (std::size_t i = range->first; i < range->second; ++i) {
    const std::string& line = ini->lines[i];
    if (!IsEntry(line, entry)) continue;
    std::string value = Trim(line.substr(line.find('=') + 1));
    // One pair of enclosing quotes is taken off, as Windows does.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::string FindPlainFile(const std::string& pattern) {
  const auto slash = pattern.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (name.empty() || folder.find_first_of("*?") != std::string::npos) return {};
  if (name.find_first_of("*?") == std::string::npos) return IsPlainFile(pattern, name) ? name : std::string();

  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  const std::string match = FnmatchPattern(name);
  std::string first;
  while (const dirent* item = ::readdir(dir)) {
    const std::string candidate = item->d_name;
    if (::fnmatch(match.c_str(), candidate.c_str(), 0) != 0) continue;
    if (!IsPlainFile(folder + candidate, candidate)) continue;
    // The smallest name, so the answer does not depend on the directory's order.
    if (first.empty() || candidate < first) first = candidate;
  }
  ::closedir(dir);
  return first;
}

std::string GetString(const std::string& section, const std::string& entry, const std::string& defaultText,
                      std::uint32_t bufferSize, const std::string& file) {
  std::string value;
  if (auto found = Lookup(section, entry, file)) {
    value = *found;
  } else {
    const auto last = defaultText.find_last_not_of(' ');
    value = last == std::string::npos ? std::string() : defaultText.substr(0, last + 1);
  }
  if (bufferSize == 0) return {};
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  return value;
}

std::uint32_t GetInt(const std::string& section, const std::string& entry, std::int32_t defaultValue,
                     const std::string& file) {
  const auto found = Lookup(section, entry, file);
  const auto fallback = static_cast<std::uint32_t>(defaultValue);
  if (!found) return fallback;
  const std::string& text = *found;
  std::size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) return fallback;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  unsigned base = 10;
  if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  std::uint32_t number = 0;
  bool anyDigit = false;
  for (; at < text.size(); ++at) {
    const char ch = text[at];
    unsigned digit = 0;
    if (ch >= '0' && ch <= '9') {
      digit = static_cast<unsigned>(ch - '0');
    } else if (base == 16 && ch >= 'a' && ch <= 'f') {
      digit = static_cast<unsigned>(ch - 'a' + 10);
    } else if (base == 16 && ch >= 'A' && ch <= 'F') {
      digit = static_cast<unsigned>(ch - 'A' + 10);
    } else {
      break;
    }
    number = number * base + digit;  // wraps as the platform's conversion does
    anyDigit = true;
  }
  if (!anyDigit) return fallback;
  return negative ? 0u - number : number;
}

bool WriteString(const std::string& section, const std::string& entry, const std::string& value,
                 const std::string& file) {
  auto existing = Read(file);
  struct stat info {};
  // A file that is there but cannot be read is not replaced by a new one.
  if (!existing && ::stat(file.c_str(), &info) == 0) return false;
  IniFile ini = existing.value_or(IniFile{});
  const std::string line = entry + "=" + value;
  if (auto range = FindSection(ini, section)) {
    std::size_t insertAt = range->first;
    bool replaced = false;
    for (std::size_t i = range->first; i < range->second; ++i) {
      if (IsEntry(ini.lines[i], entry)) {
        ini.lines[i] = line;
        replaced = true;
        break;
      }
      if (!Trim(ini.lines[i]).empty()) insertAt = i + 1;
    }
    if (!replaced) ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
  } else {
    ini.lines.push_back("[" + section + "]");
    ini.lines.push_back(line);
  }

  std::string text;
  for (const std::string& each : ini.lines) text += each + ini.newline;
  // Written beside the file and renamed over it, so a reader never sees half a file.
  const std::string temporary = file + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), file.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace host::sim::ini
