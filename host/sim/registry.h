#pragma once
// The stand-in registry: an in-memory tree of keys and typed values that
// answers the way the Win32 calls do (2 for a missing key or value, 234 and
// the size needed for a too small buffer, 6 for a bad handle), kept between
// runs in the .reg text format. INI files are real files on disk.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/registry.h"

namespace host::sim {

struct RegValue {
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;

  // REG_SZ with its NUL, REG_DWORD little-endian, REG_BINARY as given.
  static RegValue String(const std::string& text);
  static RegValue Dword(std::uint32_t number);
  static RegValue Binary(std::vector<std::uint8_t> bytes);

  bool operator==(const RegValue&) const = default;
};

class SimRegistry : public Registry {
 public:
  SimRegistry();
  ~SimRegistry() override;
  SimRegistry(const SimRegistry&) = delete;
  SimRegistry& operator=(const SimRegistry&) = delete;

  std::int32_t OpenKey(Key root, const std::string& subKey, Key& result) override;
  std::int32_t CreateKey(Key root, const std::string& subKey, Key& result) override;
  std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t& type, std::uint8_t* data,
                          std::uint32_t& size) override;
  std::int32_t SetValue(Key key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
  std::int32_t CloseKey(Key key) override;

  std::string FindPlainFile(const std::string& pattern) override;
  std::string GetPrivateProfileString(const std::string& section, const std::string& entry,
                                      const std::string& defaultText, std::uint32_t bufferSize,
                                      const std::string& file) override;
  std::uint32_t GetPrivateProfileInt(const std::string& section, const std::string& entry, std::int32_t defaultValue,
                                     const std::string& file) override;
  bool WritePrivateProfileString(const std::string& section, const std::string& entry, const std::string& value,
                                 const std::string& file) override;
  // The stand-in keeps a secret as it keeps every setting: as it is.
  std::optional<std::string> ProtectData(const std::string& secret) override { return secret; }
  std::optional<std::string> UnprotectData(const std::string& sealed) override { return sealed; }

  // The .reg text format ("Windows Registry Editor Version 5.00"). Loading
  // merges into what is there; a missing file loads nothing; a malformed one
  // throws host::Error naming the line and changes nothing.
  void LoadRegFile(const std::string& path);
  // Written to a temporary file beside path, then renamed over it.
  void SaveRegFile(const std::string& path) const;
  void LoadRegText(const std::string& text, const std::string& origin = "registry text");
  std::string RegText() const;

  // For tests and the command-line program: a value as stored, or nothing.
  std::optional<RegValue> Get(Key hive, const std::string& key, const std::string& name) const;
  // Stores a value, creating the key and those above it.
  void Put(Key hive, const std::string& key, const std::string& name, RegValue value);
  bool HasKey(Key hive, const std::string& key) const;
  // Handles opened and not yet closed.
  std::size_t OpenHandles() const;

 private:
  struct Node;
  Node* Resolve(Key key) const;
  Node* Walk(Node* from, const std::string& subKey, bool create, std::int32_t& status) const;
  Key NewHandle(Node* node);

  mutable std::mutex mutex_;
  std::map<Key, std::unique_ptr<Node>> hives_;
  std::map<Key, Node*> handles_;
  Key nextHandle_ = 0x100;
};

}  // namespace host::sim
