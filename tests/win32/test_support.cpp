#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace corvanta_test {
namespace {

std::string Unique(const char* prefix) {
  static int counter = 0;
  return std::string(prefix) + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

void RemoveDirectoryTree(const std::string& path) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryTree(full);
      else
        DeleteFileA(full.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

ScratchDir::ScratchDir() {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + Unique("corvanta-");
  if (!CreateDirectoryA(path_.c_str(), nullptr)) throw std::runtime_error("cannot create " + path_);
}

ScratchDir::~ScratchDir() {
  RemoveDirectoryTree(path_);
}

void ScratchDir::Write(const std::string& name, const std::string& content, DWORD attributes) const {
  std::string full = File(name);
  HANDLE file = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + full);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ScratchDir::Read(const std::string& name) const {
  std::string full = File(name);
  HANDLE file = CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read " + full);
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  CloseHandle(file);
  return content;
}

ScratchKey::ScratchKey() : path_("Software\\CorvantaTests\\" + Unique("key-")) {}

ScratchKey::~ScratchKey() {
  DeleteKeyTree(HKEY_CURRENT_USER, path_);
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\CorvantaTests");  // when it is empty
}

LONG DeleteKeyTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> children;
  char name[256];
  DWORD length = sizeof name;
  for (DWORD index = 0; RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, length = sizeof name)
    children.emplace_back(name, length);
  RegCloseKey(key);
  for (const auto& child : children) DeleteKeyTree(root, path + "\\" + child);
  return RegDeleteKeyA(root, path.c_str());
}

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) {
    ADD_FAILURE() << name << " is not set: run the Windows tests with scripts/wine-tests";
    return {};
  }
  return value;
}

int EnvironmentNumber(const char* name) {
  std::string text = EnvironmentText(name);
  return text.empty() ? 0 : std::atoi(text.c_str());
}

WindowWatcher::WindowWatcher(std::string className, std::string title, std::function<void(HWND)> act)
    : thread_([this, className = std::move(className), title = std::move(title), act = std::move(act)] {
        // Polling is the watcher's job; it gives up after about 20 seconds.
        for (int round = 0; round < 2000; ++round) {
          HWND window = FindWindowA(className.c_str(), title.c_str());
          if (window && IsWindowVisible(window)) {
            found_ = true;
            act(window);
            return;
          }
          Sleep(10);
        }
      }) {}

WindowWatcher::~WindowWatcher() {
  if (thread_.joinable()) thread_.join();
}

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

}  // namespace corvanta_test
