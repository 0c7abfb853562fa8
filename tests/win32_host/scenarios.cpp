#include "scenarios.h"

#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

#include <set>

#include "checks.h"
#include "host/sim/mail_store.h"
#include "registry_values.h"
#include "screenshot.h"
#include "sending/inserts.h"
#include "sending/own_copies.h"
#include "service_client.h"

namespace standin {
namespace {

using host::sim::RecipientKind;
using host::sim::SimRecipient;

constexpr const char* kTermsTitle = "Corvanta Add-in for Outlook";
// What a plain-text body becomes before the insert is added.
const std::string kConverted =
    "<HTML><HEAD><META content=\"text/html\" http-equiv=Content-Type><META content=\"MSHTML5.00.2614.3401\" "
    "name=GENERATOR></HEAD><BODY><PRE>";
const std::string kConvertedEnd = "</PRE></BODY></HTML>";
constexpr const char* kCancelSentence = "To cancel the delivery, please open the following link.";

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The text between head and tail in body: the stamp of a tracked copy.
std::string Between(const std::string& body, const std::string& head, const std::string& tail) {
  std::size_t start = body.find(head);
  if (start == std::string::npos) return {};
  start += head.size();
  std::size_t end = body.find(tail, start);
  return end == std::string::npos ? std::string() : body.substr(start, end - start);
}

// /status.json without the blanks between its tokens, so its objects can be
// compared as text.
std::string Status(const std::string& service) {
  std::string json = HttpGet(service, "/status.json"), compact;
  bool inString = false, escaped = false;
  for (char c : json) {
    if (inString) {
      compact += c;
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
      compact += c;
    } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
      compact += c;
    }
  }
  return compact;
}

// The object of /status.json that records stamp, or empty.
std::string StampRecord(const std::string& status, const std::string& stamp) {
  std::size_t stamps = status.find("\"stamps\":[");  // not the events, which name stamps too
  if (stamps == std::string::npos) return {};
  std::size_t at = status.find("\"stamp\":\"" + stamp + "\"", stamps);
  if (at == std::string::npos) return {};
  std::size_t start = status.rfind('{', at);
  std::size_t end = status.find('}', at);
  return status.substr(start, end - start + 1);
}

using ItemList = std::vector<std::shared_ptr<host::sim::SimMailItem>>;

// What the add-in handed for delivery, from the from-th on: the messages as
// they left for their recipients.
ItemList Handed(OutlookProcess& process, std::size_t from) {
  const auto& all = process.outlook().handedForDelivery();
  if (from >= all.size()) return {};
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

// The copies the add-in itself put in Sent Items (not the sent messages
// Outlook filed there), from the from-th on.
ItemList Kept(OutlookProcess& process, std::size_t from) {
  ItemList kept;
  for (const auto& item : process.outlook().folder(host::sim::MailStore::kSentItems)->items())
    if (!item->filedAfterSending()) kept.push_back(item);
  if (from >= kept.size()) return {};
  return {kept.begin() + static_cast<std::ptrdiff_t>(from), kept.end()};
}

// Outlook filed each sent message in Sent Items after sending; the add-in
// marked the tracked address there as the sender's own, and in that copy
// only: what left for the recipient carries no mark.
void CheckOwnCopies(OutlookProcess& process, const ItemList& sent, const std::vector<std::string>& addresses,
                    const std::string& step) {
  const auto& filed = process.outlook().folder(host::sim::MailStore::kSentItems)->items();
  for (std::size_t i = 0; i < sent.size() && i < addresses.size(); ++i) {
    std::string name = step + ", copy " + std::to_string(i + 1);
    const std::string& html = sent[i]->htmlBody();
    Check(!Contains(html, "own=1"), name + ": the recipient's message carries no mark");
    std::shared_ptr<host::sim::SimMailItem> own;
    for (const auto& item : filed) {
      auto to = item->recipients();
      if (item->filedAfterSending() && to.size() == 1 && to[0].address == sent[i]->recipients().at(0).address)
        own = item;
    }
    if (!Check(own != nullptr, name + ": Outlook filed the sent message in Sent Items")) continue;
    std::string marked = html;
    const std::size_t at = marked.find(addresses[i] + "\"");
    if (!Check(at != std::string::npos, name + ": the message carries its address " + addresses[i])) continue;
    marked.insert(at + addresses[i].size(), "&own=1");
    CheckEqual(own->htmlBody(), marked, name + ": the sender's copy in Sent Items has the address marked as its own");
  }
}

// Each sent copy carries exactly its recipient; its stamp was issued for that
// recipient, by this sender, once.
void CheckCopies(const std::vector<std::shared_ptr<host::sim::SimMailItem>>& sent, const std::vector<SimRecipient>& to,
                 const std::vector<std::string>& stamps, const std::string& status, const char* kind,
                 const std::string& step) {
  if (!CheckEqual(static_cast<long long>(sent.size()), static_cast<long long>(to.size()),
                  step + ": one message left per recipient"))
    return;
  std::set<std::string> distinct(stamps.begin(), stamps.end());
  CheckEqual(static_cast<long long>(distinct.size()), static_cast<long long>(to.size()),
             step + ": every copy has its own stamp");
  for (std::size_t i = 0; i < sent.size(); ++i) {
    std::string name = step + ", copy " + std::to_string(i + 1);
    auto recipients = sent[i]->recipients();
    if (CheckEqual(static_cast<long long>(recipients.size()), 1, name + ": exactly one recipient")) {
      CheckEqual(recipients[0].address, to[i].address, name + ": the recipient");
      Check(recipients[0].kind == to[i].kind, name + ": keeps its kind (" + host::sim::KindName(to[i].kind) + ")");
    }
    if (!Check(!stamps[i].empty(), name + ": carries a stamp")) continue;
    std::string record = StampRecord(status, stamps[i]);
    if (!Check(!record.empty(), name + ": mailwarden issued its stamp " + stamps[i])) continue;
    Check(Contains(record, "\"recipient\":\"" + to[i].address + "\""), name + ": for that recipient");
    Check(Contains(record, std::string("\"kind\":\"") + kind + "\""), name + ": as " + kind + " mail");
    Check(Contains(record, std::string("\"sender\":\"") + kSenderAddress + "\""), name + ": from the sender");
  }
}

void CheckUnsent(OutlookProcess& process, const std::shared_ptr<host::sim::SimMailItem>& item, std::size_t outbox,
                 int sends, const std::string& step) {
  CheckEqual(static_cast<long long>(process.outlook().handedForDelivery().size()), static_cast<long long>(outbox),
             step + ": nothing left");
  CheckEqual(process.redemption().sendCalls(), sends, step + ": Redemption sent nothing");
  Check(!item->stale() && item->closeCount() == 0, step + ": the composed message stays");
}

void CheckDiscarded(OutlookProcess& process, const std::shared_ptr<host::sim::SimMailItem>& item,
                    const std::string& step) {
  Check(item->stale() && item->lastCloseMode() == 1, step + ": the composed message was closed discarding changes");
  auto deleted = process.outlook().folder(host::sim::kDeletedItems)->Subjects();
  Check(std::find(deleted.begin(), deleted.end(), item->subject()) != deleted.end(), step + ": and deleted");
  CheckEqual(static_cast<long long>(process.outlook().folder(host::sim::MailStore::kDrafts)->count()), 0,
             step + ": nothing of it stays in Drafts");
}

std::string ClosedLoopbackPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);  // nothing listens there now
  WSACleanup();
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

void FirstStart(const Options& options) {
  OutlookProcess process(options, true);
  auto& outlook = process.outlook();
  auto& redemption = process.redemption();
  const std::string& service = options.service;
  process.RegisterAddin();
  process.ResetSettings(service, options.serviceKey);
  const std::string served = HttpGet(service, "/cvx/toua.txt");
  Check(served.size() > 200, "mailwarden serves an agreement of more than 200 characters");

  Note("first start");
  process.Connect();
  process.user().ExpectDialog(kTermsTitle, [&](HWND window) {
    auto edits = ChildTexts(window, "Edit");
    Check(edits.size() == 1 && WithoutCr(edits[0]) == WithoutCr(served),
          "the terms window shows the agreement served by mailwarden");
    Check(GetWindow(window, GW_OWNER) == process.mainWindow(), "the terms window is owned by Outlook's main window");
    Check(SaveScreenshot(window, process.Screenshot("terms")), "screenshot of the terms window saved");
    Check(PressButton(window, "I Agree"), "the user presses \"I Agree\"");
  });
  process.user().ExpectDialog("About", [&](HWND window) {
    auto labels = ChildTexts(window, "Static");
    auto has = [&](const std::string& text) { return std::find(labels.begin(), labels.end(), text) != labels.end(); };
    Check(has("Corvanta Version 1.0.0.1"), "the About window shows the version");
    Check(has(kSenderName) && has(kSenderAddress), "and the sender from Redemption");
    Check(ChildWithText(window, "Button", "http://" + service + "/cvx/") != nullptr,
          "and the service's pages on mailwarden");
    auto choice = ChildTexts(window, "ComboBox");
    Check(choice.size() == 1 && choice[0] == "immediately!", "Send/Receive \"immediately!\" is chosen");
    Check(GetWindow(window, GW_OWNER) == process.mainWindow(), "the About window is owned by Outlook's main window");
    Check(SaveScreenshot(window, process.Screenshot("about")), "screenshot of the About window saved");
    Check(PressButton(window, "OK"), "the user presses \"OK\"");
  });
  process.StartupComplete();
  process.user().Verify("first start");
  CheckEqual(ReadDword(HKEY_CURRENT_USER, kAddinKey, "TOUA").value_or(0), 1, "\"TOUA\" is 1 in the registry");
  Check(redemption.created("Redemption.MAPIUtils") >= 1, "start-up created Redemption.MAPIUtils by its ProgID");
  std::size_t outbox = 0;

  Note("Automatic, three recipients (To, Cc, Bcc), plain text");
  const std::vector<SimRecipient> three = {SimRecipient::Smtp("Bob", "bob@example.org"),
                                           SimRecipient::Smtp("Cy", "cy@example.org", RecipientKind::Cc),
                                           SimRecipient::Smtp("Di", "di@example.org", RecipientKind::Bcc)};
  auto figures = outlook.NewMail("Quarterly figures", three, "Hello there.");
  auto window = process.Open(figures);
  process.CheckDropDown(window, true);
  for (int i = 0; i < 3; ++i)
    process.ExpectSend("Sending to... (" + std::to_string(i + 1) + "/3)", three[static_cast<std::size_t>(i)].address);
  process.Click(window, "Automatic");
  process.user().Verify("Automatic");
  process.VerifySends("Automatic");
  {
    auto sent = Handed(process, outbox);
    outbox += sent.size();
    auto image = corvanta::sending::TrackingImage(service);
    std::vector<std::string> stamps;
    for (const auto& copy : sent) {
      stamps.push_back(Between(copy->htmlBody(), image.head, image.tail));
      // The plain text turned into HTML, then the recipient's image after it.
      CheckEqual(copy->htmlBody(),
                 kConverted + "Hello there." + kConvertedEnd + image.head + stamps.back() + image.tail,
                 "Automatic: the text as HTML, then the tracking image");
      CheckEqual(copy->subject(), "Quarterly figures", "Automatic: the subject stays");
    }
    CheckCopies(sent, three, stamps, Status(service), "tracked", "Automatic");
    std::vector<std::string> addresses;
    for (const auto& stamp : stamps) addresses.push_back(corvanta::sending::InsertAddress(image.head, stamp));
    CheckOwnCopies(process, sent, addresses, "Automatic");
    CheckEqual(redemption.deliverNowCalls(), 3, "Automatic: each copy delivered at once");
    CheckDiscarded(process, figures, "Automatic");
    CheckEqual(outlook.sendReceiveCount(), 1, "Automatic: Send/Receive ran once afterwards");
  }

  Note("Request receipt, two recipients, HTML");
  const std::vector<SimRecipient> two = {SimRecipient::Smtp("Eve", "eve@example.org"),
                                         SimRecipient::Smtp("Fay", "fay@example.org")};
  auto lunch = outlook.NewMail("Lunch", two, "", "<p>Lunch at noon?</p>");
  window = process.Open(lunch);
  process.CheckDropDown(window, true);
  process.ExpectSend("Sending to... (1/2)", two[0].address);
  process.ExpectSend("Sending to... (2/2)", two[1].address);
  process.Click(window, "Request receipt");
  process.user().Verify("Request receipt");
  process.VerifySends("Request receipt");
  {
    auto sent = Handed(process, outbox);
    outbox += sent.size();
    auto receipt = corvanta::sending::ReceiptRequest(service);
    std::vector<std::string> stamps;
    for (const auto& copy : sent) {
      const std::string& html = copy->htmlBody();
      std::string stamp = Between(html, receipt.head, receipt.tail);
      stamps.push_back(stamp);
      std::size_t notice = html.find(receipt.head), text = html.find("<p>Lunch at noon?</p>");
      Check(notice != std::string::npos && text != std::string::npos && notice < text,
            "Request receipt: the receipt notice stands in front of the message");
    }
    CheckCopies(sent, two, stamps, Status(service), "tracked", "Request receipt");
    std::vector<std::string> addresses;
    for (const auto& stamp : stamps) addresses.push_back(corvanta::sending::InsertAddress(receipt.head, stamp));
    CheckOwnCopies(process, sent, addresses, "Request receipt");
    CheckDiscarded(process, lunch, "Request receipt");
  }

  Note("Guaranteed, two recipients, plain text");
  const std::vector<SimRecipient> pair = {SimRecipient::Smtp("Gus", "gus@example.org"),
                                          SimRecipient::Smtp("Hal", "hal@example.org", RecipientKind::Cc)};
  auto contract = outlook.NewMail("Contract", pair, "Please sign.");
  window = process.Open(contract);
  process.CheckDropDown(window, true);
  process.ExpectSend("Sending to... (1/2)", pair[0].address);
  process.ExpectSend("Sending to... (2/2)", pair[1].address);
  int sends = redemption.sendCalls();
  std::size_t kept = Kept(process, 0).size();
  process.Click(window, "Guaranteed");
  process.user().Verify("Guaranteed");
  process.VerifySends("Guaranteed");
  {
    auto sent = Handed(process, outbox);
    outbox += sent.size();
    CheckEqual(redemption.sendCalls(), sends + 2, "Guaranteed: two notifications sent through Redemption");
    const std::string readLink = "http://" + service + "/p/b01/tovik.php?";
    std::vector<std::string> stamps;
    for (const auto& notice : sent) {
      const std::string& html = notice->htmlBody();
      stamps.push_back(Between(html, readLink, "\""));
      Check(Contains(html, "Certified mail") && Contains(html, ">Read Email<"), "Guaranteed: a certified notification");
      Check(Contains(html, std::string("\"") + kSenderName + "\" &lt;" + kSenderAddress + "&gt; sent you an Email."),
            "Guaranteed: naming the sender");
      Check(!Contains(html, "Please sign."), "Guaranteed: without the message itself");
    }
    CheckCopies(sent, pair, stamps, Status(service), "certified", "Guaranteed");
    std::vector<std::string> addresses;
    for (const auto& stamp : stamps) addresses.push_back(readLink + stamp);
    CheckOwnCopies(process, sent, addresses, "Guaranteed");
    auto copies = Kept(process, kept);
    if (CheckEqual(static_cast<long long>(copies.size()), 2, "Guaranteed: two kept copies in Sent Items")) {
      for (std::size_t i = 0; i < 2 && i < stamps.size(); ++i) {
        std::string link = readLink + stamps[i] + "&cmd=del";
        CheckEqual(copies[i]->body(), std::string(kCancelSentence) + "\r\n" + link + "\r\n\r\nPlease sign.",
                   "Guaranteed: kept copy " + std::to_string(i + 1) + " starts with its cancel link");
        CheckEqual(copies[i]->subject(), "Contract (" + pair[i].address + ")",
                   "Guaranteed: kept copy " + std::to_string(i + 1) + " names its recipient");
        CheckEqual(static_cast<long long>(copies[i]->recipients().size()), 2,
                   "Guaranteed: kept copy " + std::to_string(i + 1) + " keeps every recipient");
        Check(!Contains(copies[i]->htmlBody() + copies[i]->body(), "own=1"),
              "Guaranteed: kept copy " + std::to_string(i + 1) + " is left as the add-in made it");
      }
    }
    CheckDiscarded(process, contract, "Guaranteed");
    CheckEqual(outlook.sendReceiveCount(), 3, "Guaranteed: Send/Receive ran after it too");
  }

  int left = options.startingCredit - 7;
  Check(Contains(Status(service),
                 std::string("{\"address\":\"") + kSenderAddress + "\",\"credit\":" + std::to_string(left) + "}"),
        "mailwarden charged one credit per stamp (" + std::to_string(left) + " left)");

  Note("Automatic, one recipient, the sender's copy refuses the change");
  {
    auto note = outlook.NewMail("Note", {two[0]}, "Short note.");
    window = process.Open(note);
    process.ExpectSend("Sending to... (1/1)", two[0].address);
    // The send writes the recipient's copy once; the next write is the mark
    // in the sender's copy, which the store refuses.
    outlook.faults().FailNth("MailItem.SetHTMLBody", 2);
    process.Click(window, "Automatic");
    process.user().Verify("Automatic, the sender's copy unchangeable");
    process.VerifySends("Automatic, the sender's copy unchangeable");
    outlook.faults().Clear();
    auto sent = Handed(process, outbox);
    outbox += sent.size();
    left -= 1;
    std::shared_ptr<host::sim::SimMailItem> own;
    for (const auto& item : outlook.folder(host::sim::MailStore::kSentItems)->items())
      if (item->filedAfterSending() && item->subject() == "Note") own = item;
    if (Check(sent.size() == 1 && own != nullptr, "Unchangeable: the message left and Outlook filed it")) {
      CheckEqual(own->htmlBody(), sent[0]->htmlBody(), "Unchangeable: the sender's copy stays as Outlook filed it");
      Check(!Contains(own->htmlBody(), "own=1"), "Unchangeable: without a mark, and the user heard nothing of it");
    }
  }

  Note("too little credit");
  auto late = outlook.NewMail("Too late", two, "One more.");
  window = process.Open(late);
  sends = redemption.sendCalls();
  process.user().ExpectMessage("Insufficient credit.", IDOK);
  process.Click(window, "Automatic");
  process.user().Verify("Automatic with too little credit");
  CheckUnsent(process, late, outbox, sends, "too little credit");

  Note("the credit in the About window");
  process.user().ExpectDialog(
      "About", [](HWND about) { Check(PressButton(about, "View credit"), "the user presses \"View credit\""); });
  process.user().ExpectMessage(
      "You have " + std::to_string(left) +
          " credits for this month.\r\nYou will receive new credits on the 1st day of each month.",
      IDOK);
  process.Click(window, "About");
  process.user().Verify("About, View credit");

  process.Shutdown();
  // A key written in plain digits (as the setup program writes it) is sealed
  // with the user's data-protection key at the first start.
  if (!options.serviceKey.empty()) {
    const std::string stored = ReadString(HKEY_CURRENT_USER, kAddinKey, "ServiceKey").value_or("(none)");
    Check(stored.rfind("dpapi:", 0) == 0 && stored.find(options.serviceKey) == std::string::npos,
          "the add-in sealed \"ServiceKey\" with CryptProtectData (" + stored.substr(0, 12) + "...)");
  }
}

void ServiceDown(const Options& options) {
  OutlookProcess process(options, true);
  process.RegisterAddin();
  process.ResetSettings(ClosedLoopbackPort());
  WriteDword(HKEY_CURRENT_USER, kAddinKey, "TOUA", 1);
  // HTML mail with Word as the editor: the add-in offers to switch to the built-in one.
  WriteDword(HKEY_CURRENT_USER, kMailOptionsKey, "EditorPreference", 0x20001);

  Note("second start with Word as the editor, service down");
  process.Connect();
  process.user().ExpectMessage(
      "Built-in editor is not default mail editor. Corvanta Add-in does not support \"Use Microsoft Word to edit "
      "e-mail "
      "messages\" option. The add-in is now setting the built-in editor as default mail editor.",
      IDOK);
  process.user().ExpectMessage(
      "You have to restart Outlook for the change to take effect. Do you want to close Outlook now?", IDNO);
  process.StartupComplete();
  process.user().Verify("second start");
  CheckEqual(ReadDword(HKEY_CURRENT_USER, kMailOptionsKey, "EditorPreference").value_or(0), 0x20000,
             "the built-in editor is now the default");
  CheckEqual(process.outlook().explorerCloseCalls(), 0, "Outlook keeps running after \"No\"");
  auto item = process.outlook().NewMail("Status", {SimRecipient::Smtp("Bob", "bob@example.org")}, "All well.");
  auto window = process.Open(item);
  process.CheckDropDown(window, true);
  process.user().ExpectMessage("Connection timeout! Please check your Internet connection and try again. #7", IDOK);
  process.Click(window, "Automatic");
  process.user().Verify("Automatic without the service");
  CheckUnsent(process, item, 0, 0, "without the service");
  process.Shutdown();
}

void Languages(const Options& options) {
  OutlookProcess process(options, true);
  process.RegisterAddin();
  process.ResetSettings(options.service);
  WriteDword(HKEY_CURRENT_USER, kAddinKey, "TOUA", 1);
  WriteDword(HKEY_CURRENT_USER, kAddinKey, "opt_send", 0);
  Note("a message in many languages, code page " + std::to_string(GetACP()));
  process.Connect();
  process.StartupComplete();
  process.user().Verify("start");

  const std::string subject = "Ωμέγα 報告 € 😀";
  const std::string body = "Grüße Καλημέρα Здравствуйте 日本語のテキスト 한국어 שלום 😀 €";
  const std::vector<SimRecipient> people = {SimRecipient::Smtp("Γιώργος", "giorgos@example.org"),
                                            SimRecipient::Smtp("山田 太郎", "taro@example.org", RecipientKind::Cc),
                                            SimRecipient::Smtp("Иван €😀", "ivan@example.org", RecipientKind::Bcc)};
  std::size_t outbox = 0, kept = 0;
  for (const std::string button : {"Automatic", "Request receipt", "Guaranteed"}) {
    auto item = process.outlook().NewMail(subject, people, body);
    auto window = process.Open(item);
    for (std::size_t i = 0; i < people.size(); ++i)
      process.ExpectSend("Sending to... (" + std::to_string(i + 1) + "/3)", people[i].address);
    process.Click(window, button);
    process.user().Verify(button);
    process.VerifySends(button);
    auto sent = Handed(process, outbox);
    outbox += sent.size();
    CheckEqual(static_cast<long long>(sent.size()), 3, button + ": three copies left");
    ItemList copies = sent;
    if (button == "Guaranteed") {
      copies = Kept(process, kept);
      kept += copies.size();
      CheckEqual(static_cast<long long>(copies.size()), 3, button + ": three kept copies");
    }
    for (const auto& copy : sent) {
      Check(Contains(copy->subject(), subject), button + ": the subject keeps every character");
      for (const auto& recipient : copy->recipients())
        Check(recipient.name == people[0].name || recipient.name == people[1].name || recipient.name == people[2].name,
              button + ": the recipient's name keeps every character");
    }
    for (const auto& copy : copies)
      Check(Contains(copy->htmlBody(), body) || Contains(copy->body(), body),
            button + ": the body keeps every character");
  }
  process.Shutdown();
}

void TermsDeclined(const Options& options) {
  OutlookProcess process(options, true);
  process.RegisterAddin();
  process.ResetSettings(options.service);

  Note("first start, terms declined");
  process.Connect();
  process.user().ExpectDialog(
      kTermsTitle, [](HWND window) { Check(PressButton(window, "I Decline"), "the user presses \"I Decline\""); });
  process.user().ExpectMessage(
      "Failed to install Corvanta Add-in! If you wish to uninstall completely, please use the Add/Remove Programs "
      "Wizard from the Control Panel",
      IDOK);
  process.StartupComplete();
  process.user().Verify("terms declined");
  Check(!ReadDword(HKEY_CURRENT_USER, kAddinKey, "TOUA"), "\"TOUA\" is not written");
  auto item = process.outlook().NewMail("Status", {SimRecipient::Smtp("Bob", "bob@example.org")}, "All well.");
  process.CheckDropDown(process.Open(item), false);
  process.user().Verify("a window after the terms were declined");
  process.Shutdown();
}

void NoRedemption(const Options& options) {
  OutlookProcess process(options, false);
  process.RegisterAddin();
  process.ResetSettings(options.service);

  Note("start without Redemption");
  process.Connect();
  process.user().ExpectMessage("Redemption.dll was not installed properly! #80", IDOK);
  process.StartupComplete();
  process.user().Verify("start without Redemption");
  Check(!ReadDword(HKEY_CURRENT_USER, kAddinKey, "TOUA"), "no terms were asked for, \"TOUA\" is not written");

  // Start-up stopped before the version was known: every window says so and gets no drop-down.
  auto item = process.outlook().NewMail("Status", {SimRecipient::Smtp("Bob", "bob@example.org")}, "All well.");
  process.user().ExpectMessage("Corvanta v requires Outlook 2000/2002", IDOK);
  auto window = process.Open(item);
  process.user().Verify("a window without Redemption");
  Check(window->TrackingPopup() == nullptr, "the window gets no \"Tracking\" pop-up");
  process.Shutdown();
}

}  // namespace standin
