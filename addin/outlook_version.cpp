// Which Outlook is running, and making sure its own editor composes mail:
// the add-in does not work with Word as the e-mail editor.
#include "addin/outlook_version.h"

#include <cctype>
#include <charconv>
#include <string>

#include "addin/connect.h"
#include "addin/setting_values.h"

namespace corvanta {
namespace {

constexpr const char* kOptions2000 = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";
constexpr const char* kOptions2002 = "Software\\Microsoft\\Office\\10.0\\Outlook\\Options\\Mail";

constexpr const char* kWordEditorQuestion =
    "Built-in editor is not default mail editor. "
    "Corvanta Add-in does not support "
    "\"Use Microsoft Word to edit e-mail messages\" option. "
    "The add-in is now setting the built-in editor as default mail editor.";
constexpr const char* kDisabledMessage =
    "Corvanta will be diabled until the built-in editor is the default mail editor.";
constexpr const char* kRestartQuestion =
    "You have to restart Outlook for the change to take effect. "
    "Do you want to close Outlook now?";

// Word as the editor sets the low bit of "EditorPreference"; 0x30001 goes
// to 0x30002 rather than 0x30000.
constexpr std::int32_t kRichTextWithWord = 196609;
constexpr std::int32_t kRichTextReplacement = 196610;

}  // namespace

double ParseOutlookVersion(const std::string& text) {
  // Some builds append more fields ("9.0.0.2711"): only the leading
  // major.minor number counts.
  std::size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  std::size_t end = pos;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  if (end == pos) throw host::Error(13, "Type mismatch: Outlook version \"" + text + "\"");
  if (end + 1 < text.size() && text[end] == '.' && std::isdigit(static_cast<unsigned char>(text[end + 1]))) {
    ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  }
  double number = 0;
  const auto [last, error] = std::from_chars(text.data() + pos, text.data() + end, number);
  if (error != std::errc() || last != text.data() + end) {
    throw host::Error(13, "Type mismatch: Outlook version \"" + text + "\"");
  }
  return number;
}

void Connect::DetectOutlookVersion() {
  if (!goOutlook) throw host::Error(91, "Outlook is not connected");
  auto item = goOutlook->CreateItem(host::olMailItem);
  if (!item) throw host::Error(91, "Outlook created no mail item");
  item->Save();
  double version = 0;
  try {
    version = ParseOutlookVersion(item->OutlookVersion());
  } catch (...) {
    // The item only served to ask the version: do not leave it behind in
    // the user's folders when the answer could not be read.
    try {
      item->Delete();
    } catch (...) {
    }
    throw;
  }

  if (version < 8.5) {
    olVersion = "97";
  } else if (version < 9) {
    olVersion = "98";
  } else if (version < 10) {
    olVersion = "2000";
    regPath = kOptions2000;
  } else if (version < 11) {
    olVersion = "2002";
    regPath = kOptions2002;
  } else {
    olVersion = "2003";
  }
  item->Delete();
}

void Connect::CheckMailEditor() {
  // With regPath empty this looks directly under HKEY_CURRENT_USER, where the
  // value is normally missing, so the check passes.
  const std::int32_t editor = addin::ReadNumber(platform.registry, regPath, "EditorPreference", 0);
  if (editor % 2 == 0) return;

  auto& windowing = platform.windowing;
  if (windowing.MsgBox(kWordEditorQuestion, host::MsgButtons::OKCancel) != host::MsgAnswer::OK) {
    windowing.MsgBox(kDisabledMessage, host::MsgButtons::OK);
    return;
  }
  const std::int32_t builtIn = editor == kRichTextWithWord ? kRichTextReplacement : editor - 1;
  addin::WriteNumber(platform.registry, regPath, "EditorPreference", builtIn);
  if (windowing.MsgBox(kRestartQuestion, host::MsgButtons::YesNo) == host::MsgAnswer::Yes) {
    if (!goOutlook) throw host::Error(91, "Outlook is not connected");
    auto explorer = goOutlook->ActiveExplorer();
    if (!explorer) throw host::Error(91, "Outlook has no main window to close");
    explorer->Close();
  }
}

}  // namespace corvanta
