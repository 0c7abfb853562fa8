#include "outlook_process.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <functional>

#include "checks.h"
#include "host/error.h"
#include "host/sim/commandbars.h"
#include "objects.h"
#include "registry_values.h"
#include "screenshot.h"

namespace standin {
namespace {

constexpr const char* kOutlookWindowClass = "rctrl_renwnd32";  // Outlook's main and item windows
// Outlook's own later work (the spooler filing a sent message in Sent Items,
// a folder's ItemAdd), run when the thread's window messages are pumped:
// by the add-in's DoEvents as much as by this host's loop.
constexpr UINT kOutlookWork = WM_APP + 0x30;

std::deque<std::function<void()>>& OutlookWork() {
  static std::deque<std::function<void()>> work;
  return work;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kOutlookWork) {
    if (OutlookWork().empty()) return 0;
    auto work = std::move(OutlookWork().front());
    OutlookWork().pop_front();
    try {
      work();
    } catch (const std::exception& error) {
      Check(false, std::string("Outlook's later work failed: ") + error.what());
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateMainWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &MainWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kOutlookWindowClass;
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, kOutlookWindowClass, "Inbox - Microsoft Outlook", WS_OVERLAPPEDWINDOW, 0, 0, 800,
                                600, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetActiveWindow(window);
  return window;
}

IDispatch* Take(Value value) {
  VARIANT out;
  value.Detach(&out);
  return out.vt == VT_DISPATCH ? out.pdispVal : nullptr;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

bool CheckHr(HRESULT hr, const std::string& what) {
  bool ok = hr == S_OK;
  Check(ok, what + (ok ? "" : " (got " + Hex(hr) + ")"));
  return ok;
}

}  // namespace

OutlookProcess::OutlookProcess(const Options& options, bool redemptionInstalled)
    : options_(options),
      outlook_(std::make_shared<host::sim::SimOutlook>("9.0")),
      redemption_(std::make_shared<host::sim::SimRedemption>()) {
  auto store = std::make_shared<host::sim::MailStore>(options_.artifacts / ("mail-" + options_.scenario));
  store->SetSender({kSenderName, kSenderAddress});
  outlook_->SetMailStore(store);
  outlook_->SetCurrentUser(host::sim::SimAddress::Smtp(kSenderName, kSenderAddress));
  redemption_->SetCurrentUser(host::sim::SimAddress::Smtp(kSenderName, kSenderAddress));
  explorer_ = outlook_->OpenExplorer();
  mainWindow_ = CreateMainWindow();
  outlook_->SetEventQueue([window = mainWindow_](std::function<void()> work) {
    OutlookWork().push_back(std::move(work));
    PostMessageA(window, kOutlookWork, 0, 0);
  });
  if (redemptionInstalled) {
    classes_ = std::make_unique<RedemptionClasses>(redemption_);
  } else {
    RemoveRedemptionRegistration();
  }
  SetBeforeSend([this](host::SafeMailItem&) { BeforeSend(); });
  watcher_ = std::make_unique<WindowWatcher>(GetCurrentThreadId());
}

OutlookProcess::~OutlookProcess() {
  SetBeforeSend(nullptr);
  outlook_->SetEventQueue(nullptr);
  OutlookWork().clear();
  watcher_.reset();
  if (addin_) addin_->Release();
  if (application_) application_->Release();
  if (addInInst_) addInInst_->Release();
  if (custom_) SafeArrayDestroy(custom_);
  classes_.reset();
  if (mainWindow_) DestroyWindow(mainWindow_);
}

std::filesystem::path OutlookProcess::Screenshot(const std::string& name) const {
  return options_.artifacts / "screenshots" / (options_.scenario + "-" + name + ".png");
}

void OutlookProcess::Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void OutlookProcess::RegisterAddin() {
  std::string command = "regsvr32.exe /s \"" + options_.dll + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  DWORD exitCode = 1;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CheckEqual(exitCode, 0, "regsvr32 /s Corvix.dll succeeds");
  Check(KeyExists(HKEY_CLASSES_ROOT, "Corvix.Connect\\CLSID"), "the ProgID Corvix.Connect is registered");
  CheckEqual(ReadString(HKEY_CURRENT_USER, kAddinKey, "FriendlyName").value_or("(none)"), "Corvanta",
             "Outlook lists the add-in as \"Corvanta\"");
  CheckEqual(ReadString(HKEY_CURRENT_USER, kAddinKey, "Description").value_or("(none)"),
             "Corvanta Add-In for Windows Outlook 2000/2002", "with its description");
  CheckEqual(ReadDword(HKEY_CURRENT_USER, kAddinKey, "LoadBehavior").value_or(0), 3,
             "loaded at start-up (LoadBehavior 3)");
}

void OutlookProcess::ResetSettings(const std::string& serviceHost, const std::string& serviceKey) {
  for (const char* name : {"TOUA", "opt_send", "currentUserAddress", "currentUserName", "ServiceKey"})
    DeleteValue(HKEY_CURRENT_USER, kAddinKey, name);
  WriteString(HKEY_CURRENT_USER, kAddinKey, "ServiceHost", serviceHost);
  if (!serviceKey.empty()) WriteString(HKEY_CURRENT_USER, kAddinKey, "ServiceKey", serviceKey);
  DeleteValue(HKEY_CURRENT_USER, kMailOptionsKey, "EditorPreference");
}

void OutlookProcess::Connect(IUnknown* created) {
  IUnknown* unknown = created;
  if (!unknown) {
    CLSID clsid{};
    if (!CheckHr(CLSIDFromProgID(L"Corvix.Connect", &clsid), "CLSIDFromProgID(\"Corvix.Connect\")")) return;
    if (!CheckHr(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
            "CoCreateInstance makes the add-in object"))
      return;
  }
  HRESULT hr = unknown->QueryInterface(IID_IDTExtensibility2, reinterpret_cast<void**>(&addin_));
  unknown->Release();
  if (!CheckHr(hr, "the add-in answers for IDTExtensibility2")) return;

  application_ = Take(WrapApplication(outlook_));
  auto* addInInst = NewHostObject("COMAddIn", OfficeIid(0x000C033A), nullptr);
  addInInst->Add(Member{L"ProgId", 0x3, nullptr, [](const Args&) { return Value::Of("Corvix.Connect"); }, nullptr});
  addInInst_ = addInInst;
  custom_ = SafeArrayCreateVector(VT_VARIANT, 0, 0);

  CheckHr(addin_->OnConnection(application_, ext_cm_Startup, addInInst_, &custom_), "OnConnection returns S_OK");
  Pump();
  CheckEqual(outlook_->newInspectorSubscribers(), 1, "the add-in listens to NewInspector after OnConnection");
  CheckEqual(explorer_->closeSubscribers(), 1, "and to the main window's Close");
}

void OutlookProcess::StartupComplete() {
  if (!addin_) return;
  CheckHr(addin_->OnStartupComplete(&custom_), "OnStartupComplete returns S_OK");
  Pump();
}

void OutlookProcess::Shutdown() {
  Note("Outlook shuts down");
  if (addin_) {
    // The user closes the main window: Close reaches the add-in, which lets go of it.
    watcher_->Verify("before shutdown");
    explorer_->UserClose();
    Pump();
    int cleanups = redemption_->cleanupCalls();
    HRESULT hr = addin_->OnBeginShutdown(&custom_);
    if (classes_) {
      CheckHr(hr, "OnBeginShutdown returns S_OK");
      CheckEqual(redemption_->cleanupCalls(), cleanups + 1, "OnBeginShutdown cleans Redemption up");
    } else {
      Note("OnBeginShutdown without Redemption returned " + Hex(hr));
    }
    CheckHr(addin_->OnDisconnection(ext_dm_HostShutdown, &custom_), "OnDisconnection returns S_OK");
    Pump();
    watcher_->Verify("shutdown");
    ULONG left = addin_->Release();
    addin_ = nullptr;
    CheckEqual(left, 0, "the final Release destroys the add-in object");
  }
  Pump();
  CheckEqual(outlook_->newInspectorSubscribers(), 0, "no NewInspector sink is left advised");
  CheckEqual(explorer_->closeSubscribers(), 0, "no Close sink is left advised");
  CheckEqual(static_cast<long long>(outlook_->folder(host::sim::MailStore::kSentItems)->itemAddSubscribers()), 0,
             "no ItemAdd sink is left advised on Sent Items");
  std::size_t clickSinks = 0;
  for (const auto& inspector : outlook_->openInspectors()) {
    if (auto popup = inspector->TrackingPopup()) {
      for (const auto& control : popup->children()->all())
        if (auto button = std::dynamic_pointer_cast<host::sim::SimButton>(control))
          clickSinks += button->clickSubscribers();
    }
  }
  CheckEqual(clickSinks, 0, "no Click sink is left advised on any button");

  if (application_) application_->Release();
  if (addInInst_) addInInst_->Release();
  application_ = addInInst_ = nullptr;
  CheckEqual(static_cast<long long>(ForgottenConnections()), 0,
             "the add-in unadvised every sink of Outlook's Inspectors and Explorer");
  auto live = LiveObjects();
  Check(live.empty(), "after the final Release every object of the host has a reference count of zero (" +
                          std::to_string(ObjectsMade()) + " objects were made)");
  for (const auto& object : live)
    Note("still alive: " + object.kind + " with " + std::to_string(object.references) + " references");

  HMODULE dll = GetModuleHandleA("Corvix.dll");
  Check(dll != nullptr, "Corvix.dll is loaded in the process");
  if (dll) {
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    Check(canUnload != nullptr, "Corvix.dll exports DllCanUnloadNow");
    if (canUnload) CheckHr(canUnload(), "DllCanUnloadNow says S_OK");
  }
  auto slips = Slips();
  Check(slips.empty(), "every call of the add-in named a real member and invoked it as what it is");
  CheckEqual(FailedEvents(), 0, "every event sink answered S_OK");
  CheckEqual(static_cast<long long>(sends_.size()), 0, "every expected Send came");
}

std::shared_ptr<host::sim::SimInspector> OutlookProcess::Open(std::shared_ptr<host::sim::SimMailItem> item) {
  auto inspector = outlook_->OpenInspector(std::move(item));
  Pump();
  return inspector;
}

void OutlookProcess::Click(const std::shared_ptr<host::sim::SimInspector>& inspector, const std::string& caption) {
  try {
    bool cancelDefault = inspector->ClickTrackingButton(caption);
    Check(!cancelDefault, "\"" + caption + "\" leaves CancelDefault False");
  } catch (const host::Error& error) {
    Check(false, "clicking \"" + caption + "\": " + error.what());
  }
  Pump();
}

void OutlookProcess::CheckDropDown(const std::shared_ptr<host::sim::SimInspector>& inspector, bool visible) {
  auto popup = inspector->TrackingPopup();
  if (!Check(popup != nullptr, "the window has the \"Tracking\" pop-up on its \"Standard\" bar")) return;
  CheckEqual(inspector->StandardPosition("Tracking"), 4, "placed before the fourth control");
  CheckEqual(popup->tag(), "Tracking", "tagged \"Tracking\"");
  Check(popup->temporary(), "as a temporary control");
  Check(popup->beginGroup(), "starting a group");
  Check(popup->visible() == visible, visible ? "visible" : "hidden");
  struct Expected {
    const char* caption;
    int faceId;
    bool beginGroup;
  };
  const Expected buttons[] = {
      {"Automatic", 1709, false}, {"Request receipt", 593, false}, {"Guaranteed", 627, false}, {"About", 1089, true}};
  const auto& controls = popup->children()->all();
  if (!CheckEqual(static_cast<long long>(controls.size()), 4, "with four buttons")) return;
  for (std::size_t i = 0; i < 4; ++i) {
    auto button = std::dynamic_pointer_cast<host::sim::SimButton>(controls[i]);
    const Expected& expected = buttons[i];
    std::string name = std::string("button ") + std::to_string(i + 1) + " \"" + expected.caption + "\"";
    if (!Check(button != nullptr, name + " is a plain button")) continue;
    CheckEqual(button->caption(), expected.caption, name + ": caption");
    CheckEqual(button->faceId(), expected.faceId, name + ": FaceId");
    CheckEqual(button->style(), 3, name + ": icon and caption");
    Check(button->beginGroup() == expected.beginGroup,
          name + (expected.beginGroup ? ": after a separator" : ": no separator"));
    CheckEqual(static_cast<long long>(button->clickSubscribers()), 1, name + ": one Click sink advised");
  }
}

void OutlookProcess::ExpectSend(const std::string& step, const std::string& address) {
  sends_.emplace_back(step, address);
}

void OutlookProcess::VerifySends(const std::string& step) {
  CheckEqual(static_cast<long long>(sends_.size()), 0, step + ": every expected Send came");
  sends_.clear();
  Check(FindDialog(GetCurrentThreadId(), "Sending...") == nullptr, step + ": the progress window closed afterwards");
}

void OutlookProcess::BeforeSend() {
  if (!Check(!sends_.empty(), "a Send was expected")) return;
  auto [step, address] = sends_.front();
  sends_.pop_front();
  HWND progress = FindDialog(GetCurrentThreadId(), "Sending...");
  if (!Check(progress != nullptr, "the progress window is on the screen at Send (" + step + ")")) return;
  RedrawWindow(progress, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  auto texts = ChildTexts(progress, "Static");
  Check(std::find(texts.begin(), texts.end(), step) != texts.end(), "it reads \"" + step + "\"");
  Check(std::find(texts.begin(), texts.end(), address) != texts.end(), "and names " + address);
  if (!progressShot_) {
    progressShot_ = true;
    Check(SaveScreenshot(progress, Screenshot("progress")), "screenshot of the progress window saved");
  }
}

}  // namespace standin
