#include "window_watcher.h"

#include <chrono>

#include "checks.h"

namespace standin {
namespace {

constexpr const char* kDialogClass = "#32770";
constexpr const char* kProgressTitle = "Sending...";
// How often the screen is looked at; the add-in's windows wait for the user,
// so this only sets how quickly the user answers.
constexpr auto kLookEvery = std::chrono::milliseconds(20);

struct Search {
  DWORD thread;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleDialogs(DWORD thread) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread, &Collect, reinterpret_cast<LPARAM>(&windows));
  std::vector<HWND> dialogs;
  for (HWND window : windows)
    if (IsWindowVisible(window) && ClassOf(window) == kDialogClass) dialogs.push_back(window);
  return dialogs;
}

}  // namespace

std::string WindowText(HWND window) {
  // WM_GETTEXT reaches a window of another thread too.
  LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  LRESULT copied =
      SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, &Collect, reinterpret_cast<LPARAM>(&children));
  return children;
}

HWND ChildWithText(HWND window, const char* className, const std::string& text) {
  for (HWND child : Children(window))
    if (lstrcmpiA(ClassOf(child).c_str(), className) == 0 && WindowText(child) == text) return child;
  return nullptr;
}

std::vector<std::string> ChildTexts(HWND window, const char* className) {
  std::vector<std::string> texts;
  for (HWND child : Children(window))
    if (lstrcmpiA(ClassOf(child).c_str(), className) == 0) texts.push_back(WindowText(child));
  return texts;
}

bool PressButton(HWND dialog, const std::string& caption) {
  HWND button = ChildWithText(dialog, "Button", caption);
  if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
  int id = GetDlgCtrlID(button);
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE;
}

std::string MessageText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? WindowText(text) : std::string();
}

HWND FindDialog(DWORD thread, const std::string& title) {
  for (HWND window : VisibleDialogs(thread))
    if (WindowText(window) == title) return window;
  return nullptr;
}

WindowWatcher::WindowWatcher(DWORD uiThread) : uiThread_(uiThread), thread_([this] { Run(); }) {}

WindowWatcher::~WindowWatcher() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void WindowWatcher::ExpectDialog(const std::string& title, Answer answer) {
  std::lock_guard lock(mutex_);
  expected_.push_back({"the window \"" + title + "\"",
                       [title](HWND window) { return WindowText(window) == title && !GetDlgItem(window, 0xFFFF); },
                       std::move(answer)});
}

void WindowWatcher::ExpectMessage(const std::string& text, int button) {
  std::lock_guard lock(mutex_);
  expected_.push_back({"the message \"" + text + "\"",
                       [text](HWND window) {
                         return WindowText(window) == "Corvanta" && GetDlgItem(window, 0xFFFF) &&
                                MessageText(window) == text;
                       },
                       [button](HWND window) { PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }});
}

void WindowWatcher::Verify(const std::string& step) {
  std::lock_guard lock(mutex_);
  for (const auto& missing : expected_) Check(false, step + ": " + missing.description + " appeared");
  expected_.clear();
  for (const auto& extra : unexpected_) Check(false, step + ": no other window, but " + extra);
  unexpected_.clear();
}

void WindowWatcher::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    lock.unlock();
    std::vector<HWND> dialogs = VisibleDialogs(uiThread_);
    lock.lock();
    for (auto it = handled_.begin(); it != handled_.end();) it = IsWindow(*it) ? std::next(it) : handled_.erase(it);
    for (HWND window : dialogs) {
      if (handled_.count(window)) continue;
      handled_.insert(window);
      lock.unlock();
      Handle(window);
      lock.lock();
    }
    wake_.wait_for(lock, kLookEvery, [this] { return stop_; });
  }
}

void WindowWatcher::Handle(HWND window) {
  std::string title = WindowText(window);
  if (title == kProgressTitle) return;  // modeless; looked at by the test while it sends
  // Gone before it could be read: the progress window closing, not one that waits for the user.
  if (!IsWindow(window) || !IsWindowVisible(window)) return;
  Answer answer;
  {
    std::lock_guard lock(mutex_);
    if (!expected_.empty() && expected_.front().matches(window)) {
      answer = std::move(expected_.front().answer);
      expected_.pop_front();
    }
  }
  if (answer) {
    answer(window);
    return;
  }
  std::string text = GetDlgItem(window, 0xFFFF) ? MessageText(window) : std::string();
  {
    std::lock_guard lock(mutex_);
    unexpected_.push_back("\"" + title + "\"" + (text.empty() ? std::string() : ": \"" + text + "\""));
  }
  // Close it the way a user would get rid of it.
  int button = GetDlgItem(window, IDOK) ? IDOK : GetDlgItem(window, IDNO) ? IDNO : 0;
  if (button)
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  else
    PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace standin
