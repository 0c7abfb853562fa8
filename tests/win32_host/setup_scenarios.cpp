#include "setup_scenarios.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "checks.h"
#include "host/sim/mail_store.h"
#include "installed_addin.h"
#include "protocol/service.h"
#include "registry_values.h"
#include "screenshot.h"
#include "sending/inserts.h"
#include "service_client.h"

namespace standin {
namespace {

using host::sim::SimRecipient;

constexpr const char* kTermsTitle = "Corvanta Add-in for Outlook";
constexpr auto kPageWait = std::chrono::seconds(30);

// Waits until found() gives a window, or the time is up (null).
HWND WaitFor(const std::function<HWND()>& found, std::chrono::milliseconds patience = kPageWait) {
  auto end = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < end) {
    if (HWND window = found()) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

// Whose windows to look at: a process, or (for the uninstaller, which runs on
// as a copy of itself in a process of its own) every window whose title begins so.
struct Owner {
  DWORD process = 0;
  std::string title;
};

struct OwnedDialogs {
  Owner owner;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM lParam) {
  auto& wanted = *reinterpret_cast<OwnedDialogs*>(lParam);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  bool owned =
      wanted.owner.process ? process == wanted.owner.process : WindowText(window).rfind(wanted.owner.title, 0) == 0;
  if (owned && IsWindowVisible(window) && ClassOf(window) == "#32770") wanted.found.push_back(window);
  return TRUE;
}

// The titles of the visible windows, for a report of what was there instead.
BOOL CALLBACK CollectTitle(HWND window, LPARAM lParam) {
  if (IsWindowVisible(window)) *reinterpret_cast<std::string*>(lParam) += " [" + WindowText(window) + "]";
  return TRUE;
}

// The visible dialogs (#32770) of the owner: the wizard and its message boxes.
std::vector<HWND> DialogsOf(const Owner& owner) {
  OwnedDialogs search{owner, {}};
  EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The wizard has a Back button (3); a message box has its text (0xFFFF).
HWND Wizard(const Owner& owner) {
  for (HWND window : DialogsOf(owner))
    if (GetDlgItem(window, 3)) return window;
  return nullptr;
}

HWND MessageBoxOf(const Owner& owner) {
  for (HWND window : DialogsOf(owner))
    if (GetDlgItem(window, 0xFFFF)) return window;
  return nullptr;
}

// A visible control of the window, at any depth, whose text begins with text.
HWND ShowingText(HWND window, const std::string& text) {
  for (HWND child : Children(window))
    if (IsWindowVisible(child) && WindowText(child).rfind(text, 0) == 0) return child;
  return nullptr;
}

HWND VisibleEdit(HWND window) {
  for (HWND child : Children(window))
    if (IsWindowVisible(child) && ClassOf(child) == "Edit") return child;
  return nullptr;
}

// The visible text field that shows this text ("" for an empty one).
HWND VisibleEdit(HWND window, const std::string& text) {
  for (HWND child : Children(window))
    if (IsWindowVisible(child) && ClassOf(child) == "Edit" && WindowText(child) == text) return child;
  return nullptr;
}

std::string WithoutAmpersand(std::string text) {
  std::erase(text, '&');
  return text;
}

// Waits for the page whose text begins with marker; false (with what the
// wizard shows) when it does not come.
bool AwaitPage(HWND wizard, const std::string& marker, const std::string& page) {
  bool shown = WaitFor([&] { return ShowingText(wizard, marker); }) != nullptr;
  std::string seen;
  if (!shown)
    for (HWND child : Children(wizard))
      if (IsWindowVisible(child) && !WindowText(child).empty()) seen += " [" + WindowText(child) + "]";
  return Check(shown, "the " + page + " page comes, showing \"" + marker + "\"" + (shown ? "" : "; it shows" + seen));
}

// Presses the wizard's main button (Next, Install, Finish) once it is enabled.
bool PressMain(HWND wizard, const std::string& caption) {
  HWND button = WaitFor([&] {
    HWND main = GetDlgItem(wizard, IDOK);
    return main && IsWindowEnabled(main) && WithoutAmpersand(WindowText(main)) == caption ? main : nullptr;
  });
  if (!Check(button != nullptr, "the button \"" + caption + "\" is there and enabled")) return false;
  return PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE;
}

std::filesystem::path Shot(const Options& options, const std::string& name, const char* program = "setup") {
  return options.artifacts / "screenshots" / (std::string(program) + "-" + name + ".png");
}

}  // namespace

void InstalledSend(const Options& options) {
  Note("Outlook finds the installed add-in through the registry");
  auto addin = FindInstalledAddin();
  if (!Check(addin.has_value(), "an add-in is listed to load at start-up (LoadBehavior 3)")) return;
  CheckEqual(addin->progId, "Corvix.Connect", "it is Corvix.Connect");
  Check(addin->perUser, "its class is registered for the current user (HKCU\\Software\\Classes)");
  Check(addin->dll.size() > 20 && addin->dll.substr(addin->dll.size() - 20) == "\\Corvanta\\Corvix.dll",
        "its DLL is the installed one, in a folder Corvanta: " + addin->dll);
  CheckEqual(ReadString(HKEY_CURRENT_USER, kAddinKey, "ServiceHost").value_or("(none)"), options.service,
             "the setup wrote \"ServiceHost\"");

  OutlookProcess process(options, true);
  process.Connect(CreateInstalledAddin(*addin));
  process.user().ExpectDialog(kTermsTitle, [](HWND window) { Check(PressButton(window, "I Agree"), "\"I Agree\""); });
  process.user().ExpectDialog("About", [](HWND window) { Check(PressButton(window, "OK"), "\"OK\" in About"); });
  process.StartupComplete();
  process.user().Verify("first start of the installed add-in");
  CheckEqual(ReadDword(HKEY_CURRENT_USER, kAddinKey, "TOUA").value_or(0), 1, "\"TOUA\" is 1 in the registry");

  Note("one message sent \"Automatic\"");
  const SimRecipient bob = SimRecipient::Smtp("Bob", "bob@example.org");
  auto item = process.outlook().NewMail("Installed", {bob}, "Sent by the installed add-in.");
  auto window = process.Open(item);
  process.CheckDropDown(window, true);
  process.ExpectSend("Sending to... (1/1)", bob.address);
  process.Click(window, "Automatic");
  process.user().Verify("Automatic");
  process.VerifySends("Automatic");
  const auto& outbox = process.outlook().handedForDelivery();
  if (CheckEqual(static_cast<long long>(outbox.size()), 1, "one message left")) {
    auto image = corvanta::sending::TrackingImage(options.service);
    const std::string& html = outbox[0]->htmlBody();
    std::size_t start = html.find(image.head), end = std::string::npos;
    if (start != std::string::npos) end = html.find(image.tail, start + image.head.size());
    if (Check(end != std::string::npos, "with the tracking image of the service")) {
      std::string stamp = html.substr(start + image.head.size(), end - start - image.head.size());
      std::string status = HttpGet(options.service, "/status.json");
      Check(!stamp.empty() && status.find("\"" + stamp + "\"") != std::string::npos,
            "whose stamp " + stamp + " the service issued");
    }
    auto recipients = outbox[0]->recipients();
    Check(recipients.size() == 1 && recipients[0].address == bob.address, "to Bob");
  }
  process.Shutdown();
}

void HoldAddin(const Options& options) {
  auto addin = FindInstalledAddin();
  if (!Check(addin.has_value(), "an installed add-in is registered")) return;
  HMODULE module = LoadLibraryA(addin->dll.c_str());
  if (!Check(module != nullptr, "the installed Corvix.dll is loaded: " + addin->dll)) return;
  std::ofstream(options.artifacts / "holding") << addin->dll << "\n";
  const auto release = options.artifacts / "release";
  HWND never =
      WaitFor([&] { return std::filesystem::exists(release) ? GetDesktopWindow() : nullptr; }, std::chrono::minutes(2));
  Check(never != nullptr, "told to let go of the DLL within two minutes");
  FreeLibrary(module);
}

void SetupPages(const Options& options) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION setup{};
  std::string command = "\"" + options.setup + "\"";
  if (!Check(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &setup),
             "the setup program starts: " + options.setup))
    return;
  Owner process{setup.dwProcessId, {}};
  HWND wizard = WaitFor([&] { return Wizard(process); });
  if (Check(wizard != nullptr, "the setup shows its window")) {
    if (AwaitPage(wizard, "Welcome to the Corvanta", "welcome")) {
      Check(SaveScreenshot(wizard, Shot(options, "1-welcome")), "screenshot of the welcome page");
      PressMain(wizard, "Next >");
    }
    if (AwaitPage(wizard, "Tracking service", "service host")) {
      HWND field = VisibleEdit(wizard, corvanta::protocol::kBuiltInServiceHost);
      HWND keyField = VisibleEdit(wizard, "");
      Check(ShowingText(wizard, "Add-in key (optional") != nullptr && keyField != nullptr,
            "the page has an optional field for the add-in key");
      if (keyField) {
        // A key cut short is refused with a message, and the page stays.
        SendMessageA(keyField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0123abcd"));
        PressMain(wizard, "Next >");
        HWND box = WaitFor([&] { return MessageBoxOf(process); });
        if (Check(box != nullptr, "an add-in key of 8 digits is refused with a message")) {
          Check(MessageText(box).find("has 64 digits") != std::string::npos, "saying why: " + MessageText(box));
          PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          WaitFor([&] { return MessageBoxOf(process) ? nullptr : wizard; });
        }
        SendMessageA(keyField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
      }
      if (Check(field != nullptr, "the page has a text field for the host")) {
        CheckEqual(WindowText(field), corvanta::protocol::kBuiltInServiceHost, "prefilled with the built-in host");
        Check(SaveScreenshot(wizard, Shot(options, "2-service-host")), "screenshot of the service host page");
        // An address with a scheme is refused with a message, and the page stays.
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(("http://" + options.service).c_str()));
        PressMain(wizard, "Next >");
        HWND box = WaitFor([&] { return MessageBoxOf(process); });
        if (Check(box != nullptr, "\"http://\" + host is refused with a message")) {
          Check(MessageText(box).find("without http://") != std::string::npos, "saying why: " + MessageText(box));
          PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          WaitFor([&] { return MessageBoxOf(process) ? nullptr : wizard; });
        }
        Check(ShowingText(wizard, "Tracking service") != nullptr, "and the service host page stays");
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.service.c_str()));
        PressMain(wizard, "Next >");
      }
    }
    if (AwaitPage(wizard, "Choose Install Location", "folder")) {
      HWND folder = VisibleEdit(wizard);
      std::string path = folder ? WindowText(folder) : std::string();
      const char* local = std::getenv("LOCALAPPDATA");
      if (local)
        CheckEqual(path, std::string(local) + "\\Corvanta",
                   "the folder is Corvanta in the user's local application data");
      else
        Check(path.size() > 9 && path.substr(path.size() - 9) == "\\Corvanta", "the folder is a Corvanta: " + path);
      Check(SaveScreenshot(wizard, Shot(options, "3-folder")), "screenshot of the folder page");
      PressMain(wizard, "Install");
    }
    if (AwaitPage(wizard, "Installation Complete", "progress")) {
      Check(SaveScreenshot(wizard, Shot(options, "4-progress")), "screenshot of the progress page");
      PressMain(wizard, "Next >");
    }
    if (AwaitPage(wizard, "Corvanta is installed", "finish")) {
      Check(SaveScreenshot(wizard, Shot(options, "5-finish")), "screenshot of the finish page");
      PressMain(wizard, "Finish");
    }
  }
  if (WaitForSingleObject(setup.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(setup.hProcess, 99);
  DWORD exitCode = 99;
  GetExitCodeProcess(setup.hProcess, &exitCode);
  CloseHandle(setup.hThread);
  CloseHandle(setup.hProcess);
  CheckEqual(exitCode, 0, "the setup ends with exit code 0");

  CheckEqual(ReadString(HKEY_CURRENT_USER, kAddinKey, "ServiceHost").value_or("(none)"), options.service,
             "the host entered is in \"ServiceHost\"");
  auto addin = FindInstalledAddin();
  if (Check(addin.has_value(), "Outlook finds the add-in through the registry")) {
    Check(addin->perUser, "registered for the current user");
    Check(GetFileAttributesA(addin->dll.c_str()) != INVALID_FILE_ATTRIBUTES, "its DLL is there: " + addin->dll);
  }
}

void UninstallPages(const Options& options) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string command = "\"" + options.setup + "\"";
  if (!Check(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started),
             "the uninstaller starts: " + options.setup))
    return;
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  const Owner uninstaller{0, "Corvanta Uninstall"};
  HWND wizard = WaitFor([&] { return Wizard(uninstaller); });
  if (!wizard) {
    std::string seen;
    EnumWindows(&CollectTitle, reinterpret_cast<LPARAM>(&seen));
    Check(false, "the uninstaller shows its window; the screen has" + seen);
    return;
  }
  if (AwaitPage(wizard, "Uninstall Corvanta", "confirmation")) {
    Check(SaveScreenshot(wizard, Shot(options, "1-confirm", "uninstall")), "screenshot of the confirmation page");
    PressMain(wizard, "Uninstall");
  }
  HWND question = WaitFor([&] { return MessageBoxOf(uninstaller); });
  if (Check(question != nullptr, "the uninstaller asks about the settings")) {
    std::string text = MessageText(question);
    Check(text.rfind("Keep your Corvanta settings", 0) == 0, "whether to keep them: " + text);
    Check(SaveScreenshot(question, Shot(options, "2-keep-settings", "uninstall")), "screenshot of the question");
    PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);  // "No": remove them too
  }
  if (AwaitPage(wizard, "Uninstallation Complete", "progress")) {
    Check(SaveScreenshot(wizard, Shot(options, "3-done", "uninstall")), "screenshot of the finished uninstall");
    PressMain(wizard, "Close");
  }
  Check(WaitFor([&] { return IsWindow(wizard) ? nullptr : GetDesktopWindow(); }) != nullptr, "the uninstaller closes");
}

}  // namespace standin
