#pragma once
// Small helpers of the Windows tests: a scratch directory, a scratch registry
// key, settings handed over by scripts/wine-tests, and a watcher thread that
// finds a window of the test and acts on it, as a user would.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "host/win32/win32_api.h"

namespace corvanta_test {

// A fresh directory under the temporary folder, removed with its files.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  void Write(const std::string& name, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// A fresh key under HKEY_CURRENT_USER\Software\CorvantaTests, removed with everything below it.
class ScratchKey {
 public:
  ScratchKey();
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

LONG DeleteKeyTree(HKEY root, const std::string& path);

// A number the test script put into the environment; fails the test when absent.
int EnvironmentNumber(const char* name);
std::string EnvironmentText(const char* name);

// Waits (a bounded while) on another thread for a top-level window of the
// given class and title to appear, then runs `act` on it there.
class WindowWatcher {
 public:
  WindowWatcher(std::string className, std::string title, std::function<void(HWND)> act);
  ~WindowWatcher();
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;
  bool Found() { return found_; }

 private:
  std::thread thread_;
  std::atomic<bool> found_{false};
};

std::string WindowText(HWND window);

}  // namespace corvanta_test
