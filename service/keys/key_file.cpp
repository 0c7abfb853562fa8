#include "service/keys/key_file.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace mailwarden::keys {
namespace {

std::optional<SealingKey> FromHex(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  SealingKey key;
  std::size_t length = 0;
  if (text.size() != key.size() * 2 ||
      sodium_hex2bin(key.data(), key.size(), text.data(), text.size(), nullptr, &length, nullptr) != 0 ||
      length != key.size()) {
    return std::nullopt;
  }
  return key;
}

SealingKey ReadKeyFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) throw std::runtime_error("cannot read the key file " + path);
  if (auto key = FromHex(text.str())) return *key;
  throw std::runtime_error("the key file " + path + " holds no key of 64 hexadecimal digits");
}

}  // namespace

std::string DefaultKeyFile(const std::string& database) {
  constexpr std::string_view kSqlite = "sqlite:";
  if (database == "sqlite::memory:") return {};
  if (database.rfind(kSqlite, 0) == 0) return database.substr(kSqlite.size()) + ".key";
  return "mailwarden.key";
}

SealingKey LoadSealingKey(const std::string& keyFile) {
  if (const char* set = std::getenv("MAILWARDEN_KEY"); set && *set) {
    if (auto key = FromHex(set)) return *key;
    throw std::runtime_error("MAILWARDEN_KEY holds no key of 64 hexadecimal digits");
  }
  // Made once, readable by the service's user alone; a process that loses
  // the race to make it reads the one made.
  const int fd = ::open(keyFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno != EEXIST) throw std::runtime_error("cannot make the key file " + keyFile + ": " + std::strerror(errno));
    return ReadKeyFile(keyFile);
  }
  const SealingKey key = NewSealingKey();
  std::string hex(key.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), key.data(), key.size());
  hex.back() = '\n';
  const bool written = ::write(fd, hex.data(), hex.size()) == static_cast<ssize_t>(hex.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (!written) {
    ::unlink(keyFile.c_str());
    throw std::runtime_error("cannot write the key file " + keyFile);
  }
  return key;
}

}  // namespace mailwarden::keys
