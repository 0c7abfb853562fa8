#pragma once
// Plays the user at the screen: a thread that watches the windows of
// Outlook's thread and answers each dialog and message box of the add-in
// as it appears, in the order the test expects them. Anything unexpected
// fails the step and is closed, so the add-in never waits for ever.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace standin {

// Reading and pressing windows of another thread of this process.
std::string WindowText(HWND window);
std::string ClassOf(HWND window);
std::vector<HWND> Children(HWND window);
// The first child of that class with that text, or null.
HWND ChildWithText(HWND window, const char* className, const std::string& text);
// Texts of the child controls of a class, in their order.
std::vector<std::string> ChildTexts(HWND window, const char* className);
// Presses the button with that caption as a click would (WM_COMMAND BN_CLICKED to the dialog).
bool PressButton(HWND dialog, const std::string& caption);
// The text of a message box (its static control 0xFFFF).
std::string MessageText(HWND box);
// A visible #32770 window of the thread with that title, or null.
HWND FindDialog(DWORD thread, const std::string& title);

class WindowWatcher {
 public:
  using Answer = std::function<void(HWND)>;
  explicit WindowWatcher(DWORD uiThread);
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;
  ~WindowWatcher();

  // The next window is a dialog with this title; answer() must close it.
  void ExpectDialog(const std::string& title, Answer answer);
  // The next window is a message box titled "Corvanta" with exactly this
  // text; it is answered with the button (IDOK, IDCANCEL, IDYES, IDNO).
  void ExpectMessage(const std::string& text, int button);
  // Checks that every expected window came and nothing else did since the
  // last Verify; step names the action in the report.
  void Verify(const std::string& step);

 private:
  struct Expected {
    std::string description;
    std::function<bool(HWND)> matches;
    Answer answer;
  };
  void Run();
  void Handle(HWND window);

  DWORD uiThread_;
  std::mutex mutex_;
  std::deque<Expected> expected_;
  std::vector<std::string> unexpected_;
  std::set<HWND> handled_;
  bool stop_ = false;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace standin
