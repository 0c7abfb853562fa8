#include "host/sim/registry.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/error.h"
#include "host/sim/ini_files.h"

namespace host::sim {
namespace {

constexpr std::int32_t ERROR_BAD_PATHNAME = 161;
constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

char Lower(char ch) {
  return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// Key and value names compare without regard to case, as on Windows.
struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      const char x = Lower(a[i]), y = Lower(b[i]);
      if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
  }
};

bool SameNoCase(const std::string& a, const std::string& b) {
  return !NoCase()(a, b) && !NoCase()(b, a);
}

struct HiveName {
  Key hive;
  const char* name;
};
constexpr std::array<HiveName, 6> kHives{{{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                                          {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                                          {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                                          {HKEY_USERS, "HKEY_USERS"},
                                          {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
                                          {HKEY_DYN_DATA, "HKEY_DYN_DATA"}}};

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

RegValue RegValue::String(const std::string& text) {
  RegValue value{REG_SZ, std::vector<std::uint8_t>(text.begin(), text.end())};
  value.data.push_back(0);
  return value;
}

RegValue RegValue::Dword(std::uint32_t number) {
  return {REG_DWORD,
          {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
           static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}

RegValue RegValue::Binary(std::vector<std::uint8_t> bytes) {
  return {REG_BINARY, std::move(bytes)};
}

struct SimRegistry::Node {
  std::map<std::string, std::unique_ptr<Node>, NoCase> keys;
  std::map<std::string, RegValue, NoCase> values;
};

SimRegistry::SimRegistry() {
  for (const auto& hive : kHives) hives_[hive.hive] = std::make_unique<Node>();
}

SimRegistry::~SimRegistry() = default;

SimRegistry::Node* SimRegistry::Resolve(Key key) const {
  if (auto hive = hives_.find(key); hive != hives_.end()) return hive->second.get();
  if (auto handle = handles_.find(key); handle != handles_.end()) return handle->second;
  return nullptr;
}

SimRegistry::Node* SimRegistry::Walk(Node* from, const std::string& subKey, bool create, std::int32_t& status) const {
  if (!subKey.empty() && subKey[0] == '\\') {
    status = ERROR_BAD_PATHNAME;
    return nullptr;
  }
  Node* node = from;
  for (const std::string& part : SplitPath(subKey)) {
    auto found = node->keys.find(part);
    if (found == node->keys.end()) {
      if (!create) {
        status = ERROR_FILE_NOT_FOUND;
        return nullptr;
      }
      found = node->keys.emplace(part, std::make_unique<Node>()).first;
    }
    node = found->second.get();
  }
  status = ERROR_SUCCESS;
  return node;
}

Key SimRegistry::NewHandle(Node* node) {
  const Key handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = node;
  return handle;
}

std::int32_t SimRegistry::OpenKey(Key root, const std::string& subKey, Key& result) {
  std::lock_guard lock(mutex_);
  Node* from = Resolve(root);
  if (!from) return ERROR_INVALID_HANDLE;
  std::int32_t status = 0;
  Node* node = Walk(from, subKey, false, status);
  if (!node) return status;
  result = NewHandle(node);
  return ERROR_SUCCESS;
}

std::int32_t SimRegistry::CreateKey(Key root, const std::string& subKey, Key& result) {
  std::lock_guard lock(mutex_);
  Node* from = Resolve(root);
  if (!from) return ERROR_INVALID_HANDLE;
  std::int32_t status = 0;
  Node* node = Walk(from, subKey, true, status);
  if (!node) return status;
  result = NewHandle(node);
  return ERROR_SUCCESS;
}

std::int32_t SimRegistry::QueryValue(Key key, const std::string& valueName, std::uint32_t& type, std::uint8_t* data,
                                     std::uint32_t& size) {
  std::lock_guard lock(mutex_);
  Node* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  auto found = node->values.find(valueName);
  if (found == node->values.end()) return ERROR_FILE_NOT_FOUND;
  const RegValue& value = found->second;
  type = value.type;
  const auto needed = static_cast<std::uint32_t>(value.data.size());
  if (size < needed) {
    size = needed;
    return ERROR_MORE_DATA;
  }
  if (data && needed > 0) std::memcpy(data, value.data.data(), needed);
  size = needed;
  return ERROR_SUCCESS;
}

std::int32_t SimRegistry::SetValue(Key key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                                   std::uint32_t size) {
  std::lock_guard lock(mutex_);
  Node* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  RegValue value{type, data ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>{}};
  // An existing value keeps the spelling of its name.
  node->values.insert_or_assign(valueName, std::move(value));
  return ERROR_SUCCESS;
}

std::int32_t SimRegistry::CloseKey(Key key) {
  std::lock_guard lock(mutex_);
  if (hives_.count(key)) return ERROR_SUCCESS;
  return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::string SimRegistry::FindPlainFile(const std::string& pattern) {
  return ini::FindPlainFile(pattern);
}

std::string SimRegistry::GetPrivateProfileString(const std::string& section, const std::string& entry,
                                                 const std::string& defaultText, std::uint32_t bufferSize,
                                                 const std::string& file) {
  return ini::GetString(section, entry, defaultText, bufferSize, file);
}

std::uint32_t SimRegistry::GetPrivateProfileInt(const std::string& section, const std::string& entry,
                                                std::int32_t defaultValue, const std::string& file) {
  return ini::GetInt(section, entry, defaultValue, file);
}

bool SimRegistry::WritePrivateProfileString(const std::string& section, const std::string& entry,
                                            const std::string& value, const std::string& file) {
  return ini::WriteString(section, entry, value, file);
}

std::optional<RegValue> SimRegistry::Get(Key hive, const std::string& key, const std::string& name) const {
  std::lock_guard lock(mutex_);
  Node* from = Resolve(hive);
  if (!from) return std::nullopt;
  std::int32_t status = 0;
  Node* node = Walk(from, key, false, status);
  if (!node) return std::nullopt;
  auto found = node->values.find(name);
  if (found == node->values.end()) return std::nullopt;
  return found->second;
}

void SimRegistry::Put(Key hive, const std::string& key, const std::string& name, RegValue value) {
  std::lock_guard lock(mutex_);
  Node* from = Resolve(hive);
  if (!from) throw Error(ERROR_INVALID_HANDLE, "not a registry hive");
  std::int32_t status = 0;
  Node* node = Walk(from, key, true, status);
  if (!node) throw Error(status, "bad registry key name: " + key);
  node->values.insert_or_assign(name, std::move(value));
}

bool SimRegistry::HasKey(Key hive, const std::string& key) const {
  std::lock_guard lock(mutex_);
  Node* from = Resolve(hive);
  std::int32_t status = 0;
  return from && Walk(from, key, false, status);
}

std::size_t SimRegistry::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

// ---- the .reg text format ----

namespace {

struct RegEdit {
  Key hive = 0;
  std::string key;
  std::string name;
  std::optional<RegValue> value;  // nothing: only the key is created; see deleteValue
  bool deleteValue = false;
};

class RegParser {
 public:
  RegParser(const std::string& text, std::string origin) : text_(text), origin_(std::move(origin)) {}

  std::vector<RegEdit> Parse() {
    std::vector<std::string> lines = Lines();
    bool headerSeen = false;
    bool inKey = false;
    Key hive = 0;
    std::string key;
    for (std::size_t index = 0; index < lines.size(); ++index) {
      line_ = index + 1;
      std::string line = lines[index];
      if (index == 0 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
      // A value may go on over several lines, each but the last ending in a backslash.
      while (!line.empty() && line[0] != '[' && TrimRight(line).ends_with('\\') && index + 1 < lines.size()) {
        line = TrimRight(line);
        line.pop_back();
        line += TrimLeft(lines[++index]);
      }
      const std::string trimmed = TrimLeft(TrimRight(line));
      if (trimmed.empty() || trimmed[0] == ';') continue;
      if (!headerSeen) {
        if (trimmed != kHeader && trimmed != "REGEDIT4") Fail(std::string("expected \"") + kHeader + "\"");
        headerSeen = true;
        continue;
      }
      if (trimmed[0] == '[') {
        if (trimmed.back() != ']') Fail("a key line must end with ]");
        std::string path = trimmed.substr(1, trimmed.size() - 2);
        if (!path.empty() && path[0] == '-') Fail("deleting keys is not supported");
        const std::size_t slash = path.find('\\');
        const std::string hiveName = path.substr(0, slash);
        hive = 0;
        for (const auto& known : kHives) {
          if (SameNoCase(hiveName, known.name)) hive = known.hive;
        }
        if (hive == 0) Fail("unknown hive \"" + hiveName + "\"");
        key = slash == std::string::npos ? std::string() : path.substr(slash + 1);
        inKey = true;
        edits_.push_back({hive, key, {}, std::nullopt, false});
        continue;
      }
      if (!inKey) Fail("a value before any [key] line");
      ParseValue(trimmed, hive, key);
    }
    return std::move(edits_);
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw Error(origin_ + ":" + std::to_string(line_) + ": " + why);
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text_.size()) {
      std::size_t end = text_.find('\n', start);
      if (end == std::string::npos) end = text_.size();
      std::string line = text_.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
      start = end + 1;
    }
    return lines;
  }

  static std::string TrimLeft(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : s.substr(first);
  }
  static std::string TrimRight(const std::string& s) {
    const auto last = s.find_last_not_of(" \t");
    return last == std::string::npos ? std::string() : s.substr(0, last + 1);
  }

  // A quoted text starting at s[at] (the opening quote); at ends after the closing one.
  std::string Quoted(const std::string& s, std::size_t& at) const {
    std::string out;
    ++at;
    while (at < s.size() && s[at] != '"') {
      if (s[at] == '\\') {
        if (at + 1 >= s.size() || (s[at + 1] != '\\' && s[at + 1] != '"'))
          Fail("only \\\\ and \\\" may follow a backslash");
        ++at;
      }
      out += s[at++];
    }
    if (at >= s.size()) Fail("a quoted text is not closed");
    ++at;
    return out;
  }

  static int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  }

  std::uint32_t HexNumber(const std::string& digits, const char* what) const {
    if (digits.empty() || digits.size() > 8) Fail(std::string("a ") + what + " needs 1 to 8 hexadecimal digits");
    std::uint32_t number = 0;
    for (char ch : digits) {
      const int digit = HexDigit(ch);
      if (digit < 0) Fail(std::string("\"") + digits + "\" is not a hexadecimal " + what);
      number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    return number;
  }

  std::vector<std::uint8_t> HexBytes(const std::string& list) const {
    std::vector<std::uint8_t> bytes;
    const std::string rest = TrimLeft(TrimRight(list));
    if (rest.empty()) return bytes;
    std::size_t start = 0;
    while (start <= rest.size()) {
      std::size_t end = rest.find(',', start);
      if (end == std::string::npos) end = rest.size();
      const std::string byte = TrimLeft(TrimRight(rest.substr(start, end - start)));
      if (byte.size() != 2 || HexDigit(byte[0]) < 0 || HexDigit(byte[1]) < 0) {
        Fail("\"" + byte + "\" is not a byte of two hexadecimal digits");
      }
      bytes.push_back(static_cast<std::uint8_t>(HexDigit(byte[0]) * 16 + HexDigit(byte[1])));
      start = end + 1;
    }
    return bytes;
  }

  void ParseValue(const std::string& line, Key hive, const std::string& key) {
    std::size_t at = 0;
    std::string name;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] == '"') {
      name = Quoted(line, at);
    } else {
      Fail("a value line must start with a quoted name or @");
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size() || line[at] != '=') Fail("= expected after the value name");
    const std::string data = TrimLeft(line.substr(at + 1));
    RegEdit edit{hive, key, name, std::nullopt, false};
    if (data == "-") {
      edit.deleteValue = true;
    } else if (!data.empty() && data[0] == '"') {
      std::size_t end = 0;
      std::string text = Quoted(data, end);
      if (!TrimLeft(data.substr(end)).empty()) Fail("text after the closing quote");
      edit.value = RegValue::String(text);
    } else if (data.rfind("dword:", 0) == 0) {
      edit.value = RegValue::Dword(HexNumber(data.substr(6), "dword"));
    } else if (data.rfind("hex:", 0) == 0) {
      edit.value = RegValue::Binary(HexBytes(data.substr(4)));
    } else if (data.rfind("hex(", 0) == 0) {
      const std::size_t close = data.find("):", 4);
      if (close == std::string::npos) Fail("hex( must be followed by a type and ):");
      edit.value = RegValue{HexNumber(data.substr(4, close - 4), "value type"), HexBytes(data.substr(close + 2))};
    } else {
      Fail("a value must be \"text\", dword:, hex: or hex(type):");
    }
    edits_.push_back(std::move(edit));
  }

  const std::string& text_;
  std::string origin_;
  std::size_t line_ = 0;
  std::vector<RegEdit> edits_;
};

std::string QuoteRegText(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '\\' || ch == '"') out += '\\';
    out += ch;
  }
  return out + '"';
}

// A REG_SZ that a quoted text gives back exactly: one NUL, at the end, and no line break.
bool PlainText(const RegValue& value) {
  if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
    const std::uint8_t byte = value.data[i];
    if (byte == 0 || byte == '\r' || byte == '\n') return false;
  }
  return true;
}

std::string FormatValue(const std::string& name, const RegValue& value) {
  std::string line = name.empty() ? "@" : QuoteRegText(name);
  line += '=';
  if (PlainText(value)) {
    return line + QuoteRegText(std::string(value.data.begin(), value.data.end() - 1));
  }
  char number[16];
  if (value.type == REG_DWORD && value.data.size() == 4) {
    const std::uint32_t word =
        value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<std::uint32_t>(value.data[3]) << 24;
    std::snprintf(number, sizeof number, "%08x", word);
    return line + "dword:" + number;
  }
  if (value.type == REG_BINARY) {
    line += "hex:";
  } else {
    std::snprintf(number, sizeof number, "%x", value.type);
    line += std::string("hex(") + number + "):";
  }
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(number, sizeof number, "%02x", value.data[i]);
    line += number;
    if (i + 1 < value.data.size()) line += (i + 1) % 24 == 0 ? ",\\\r\n  " : ",";
  }
  return line;
}

}  // namespace

void SimRegistry::LoadRegText(const std::string& text, const std::string& origin) {
  // Parsed whole first, so a malformed text changes nothing.
  std::vector<RegEdit> edits = RegParser(text, origin).Parse();
  std::lock_guard lock(mutex_);
  for (RegEdit& edit : edits) {
    std::int32_t status = 0;
    Node* node = Walk(hives_.at(edit.hive).get(), edit.key, true, status);
    if (!node) throw Error(status, origin + ": bad key name \"" + edit.key + "\"");
    if (edit.deleteValue) {
      node->values.erase(edit.name);
    } else if (edit.value) {
      node->values.insert_or_assign(edit.name, std::move(*edit.value));
    }
  }
}

std::string SimRegistry::RegText() const {
  std::lock_guard lock(mutex_);
  std::string out = std::string(kHeader) + "\r\n\r\n";
  struct Writer {
    std::string& out;
    void Write(const Node& node, const std::string& path, bool isHive) {
      // The hive itself appears only when it holds values; every key below it does.
      if (!isHive || !node.values.empty()) {
        out += "[" + path + "]\r\n";
        for (const auto& [name, value] : node.values) out += FormatValue(name, value) + "\r\n";
        out += "\r\n";
      }
      for (const auto& [name, child] : node.keys) Write(*child, path + "\\" + name, false);
    }
  } writer{out};
  for (const auto& hive : kHives) writer.Write(*hives_.at(hive.hive), hive.name, true);
  return out;
}

void SimRegistry::LoadRegFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !error) return;  // nothing saved yet
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(errno, "cannot read " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw Error("cannot read " + path);
  LoadRegText(text.str(), path);
}

void SimRegistry::SaveRegFile(const std::string& path) const {
  const std::string text = RegText();
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw Error("cannot write " + temporary);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    throw Error(error, "cannot replace " + path + ": " + std::strerror(error));
  }
}

}  // namespace host::sim
