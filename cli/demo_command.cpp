// A whole first day of a user, against mailwarden in this process: the
// terms, the About dialog with the credit, one message to three people sent
// with each button, then what the recipients do, and a summary.
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "service/instance.h"
#include "service/keys/account_keys.h"
#include "service/pages/password.h"
#include "service/status.h"

namespace cli {

namespace {

struct Delivery {
  std::string mode;
  std::string recipient;
  std::string kind;
  std::string stamp;
  std::filesystem::path path;
  std::string link;  // what the recipient's mail program or browser opens
};

const std::vector<std::string> kTo = {"Alice Archer <alice@example.org>"};
const std::vector<std::string> kCc = {"Bob Baker <bob@example.net>"};
const std::vector<std::string> kBcc = {"Carol Clark <carol@example.com>"};

std::string Find(const std::string& text, const std::regex& pattern) {
  std::smatch match;
  return std::regex_search(text, match, pattern) ? match[1].str() : std::string();
}

// The stamp is the last bare token of a link's query.
std::string StampOf(const std::string& link) {
  auto query = link.substr(link.find('?') + 1);
  std::string stamp;
  std::stringstream pieces(query);
  for (std::string piece; std::getline(pieces, piece, '&');)
    if (piece.find('=') == std::string::npos) stamp = piece;
  return stamp;
}

// A GET as a recipient's mail program makes it, from the recipient's own
// loopback address (the sender's is 127.0.0.1), so the service takes it
// for a person.
int Open(const std::string& hostPort, const std::string& link, const std::string& from = "127.0.0.1") {
  const auto path = link.substr(link.find('/', std::string("http://").size()));
  httplib::Client client("http://" + hostPort);
  client.set_interface(from);
  auto reply = client.Get(path, {{"User-Agent", "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Thunderbird/115.0"}});
  return reply ? reply->status : 0;
}

// Alice, Bob and Carol each at an address of their own.
std::string AddressOf(const Delivery& delivery) {
  return delivery.kind == "To" ? "127.0.0.2" : delivery.kind == "Cc" ? "127.0.0.3" : "127.0.0.4";
}

}  // namespace

int RunDemo(std::ostream& out) {
  constexpr int kCredit = 100;
  const auto root = std::filesystem::temp_directory_path() / ("corvanta-demo-" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  mailwarden::ServeOptions serve = mailwarden::LoopbackOptions(kCredit);
  serve.database = "sqlite:" + (root / "mailwarden.db").string();
  serve.service.sealingKey = mailwarden::keys::NewSealingKey();
  mailwarden::Instance server(serve);
  server.Start();
  out << "mailwarden is listening on " << server.Url() << " with its database in " << root.string()
      << "/mailwarden.db\n"
      << "A fresh registry and mail store in " << root.string() << "\n\n";

  // Dana's account with an add-in key, as `mailwarden account key` makes it:
  // only her add-in can ask for stamps or spend her credit.
  server.Store().AddAccount("dana@example.com", kCredit, mailwarden::SystemNow());
  const std::string key =
      *mailwarden::keys::MakeAddinKey(server.Store(), *serve.service.sealingKey, "dana@example.com");
  out << "Dana's account has an add-in key (" << key.substr(0, 4)
      << "..., shown in full only once when made); her add-in signs every request with it\n\n";

  SessionOptions options;
  options.service = server.Host();
  options.serviceKey = key;
  options.from = "Dana Sender <dana@example.com>";
  options.registryFile = (root / "registry.reg").string();
  options.storeDir = (root / "store").string();
  options.user.acceptTerms = true;

  std::vector<Delivery> deliveries;
  {
    Session session(options, out, std::cin);
    // The About dialog of a first start: the user asks for the credit.
    session.desktop.windowing.QueueDialog("dlgAbout", host::sim::Press("credit"));
    out << "--- Outlook starts with the add-in for the first time\n";
    if (!session.Start()) return 1;

    struct Send {
      const char* mode;
      const char* caption;
      bool html;
    };
    const Send sends[] = {{"Automatic", "Automatic", false},
                          {"Request receipt", "Request receipt", true},
                          {"Guaranteed", "Guaranteed", true}};
    auto& outlook = *session.desktop.outlook;
    for (const Send& send : sends) {
      out << "\n--- Dana sends \"Quarterly figures (" << send.mode << ")\" with \"" << send.caption << "\"\n";
      std::vector<host::sim::SimRecipient> people;
      for (const auto* list : {&kTo, &kCc, &kBcc}) {
        auto kind = list == &kTo   ? host::sim::RecipientKind::To
                    : list == &kCc ? host::sim::RecipientKind::Cc
                                   : host::sim::RecipientKind::Bcc;
        auto person = *ParsePerson(list->front());
        people.push_back(host::sim::SimRecipient::Smtp(person.name, person.address, kind));
      }
      const std::string text = "Hello,\r\n\r\nthe quarterly figures are attached to our shared folder.\r\n\r\nDana";
      const std::string html =
          "<html><body><p>Hello,</p><p>the <b>quarterly figures</b> are in our shared folder.</p>"
          "<p>Dana</p></body></html>";
      auto item = outlook.NewMail(std::string("Quarterly figures (") + send.mode + ")", people, send.html ? "" : text,
                                  send.html ? html : "");
      auto inspector = outlook.OpenInspector(item);
      const std::size_t mark = session.user.StoreMark();
      inspector->ClickTrackingButton(send.caption);
      session.user.ReportStore(mark);
      const auto& written = session.desktop.store->Written();
      for (std::size_t i = mark; i < written.size(); ++i) {
        const auto& stored = written[i];
        if (stored.folder != host::sim::MailStore::kOutbox || stored.message.recipients.size() != 1) continue;
        const auto& to = stored.message.recipients.front();
        static const std::regex image(R"re(<img width="1" height="1" src="([^"]+)")re");
        static const std::regex receipt(R"re(<a href="([^"]*wrenna\.php\?[^"]+)")re");
        static const std::regex read(R"re(<a href="([^"]*tovik\.php\?[^"]+)")re");
        const std::string& body = stored.message.htmlBody;
        std::string link = Find(body, send.mode[0] == 'A' ? image : send.mode[0] == 'R' ? receipt : read);
        deliveries.push_back({send.mode, to.name + " <" + to.address + ">", host::sim::KindName(to.kind), StampOf(link),
                              stored.path, link});
      }
    }
    session.Finish();
  }

  // An image fetched within two seconds of its stamps is a machine's (a
  // scanner on delivery); people take longer.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  out << "\n--- Two seconds later, the recipients open their mail\n";
  for (const Delivery& delivery : deliveries) {
    const bool opens = delivery.mode == "Automatic" || delivery.kind != "Bcc";
    if (!opens || delivery.link.empty()) continue;
    // Carol's certified copy is cancelled before she reads it (below).
    if (delivery.mode == "Guaranteed" && delivery.kind == "Bcc") continue;
    out << "  " << delivery.recipient << " opens \"" << delivery.link << "\": HTTP "
        << Open(server.Host(), delivery.link, AddressOf(delivery)) << "\n";
  }
  out << "\n--- Dana cancels the certified delivery to Carol from her copy in Sent Items\n";
  for (const Delivery& delivery : deliveries) {
    if (delivery.mode != "Guaranteed" || delivery.kind != "Bcc") continue;
    const std::string cancel = "http://" + server.Host() + "/p/b01/tovik.php?" + delivery.stamp + "&cmd=del";
    out << "  " << cancel << ": HTTP " << Open(server.Host(), cancel) << "\n";
    out << "  then Carol tries her link: HTTP " << Open(server.Host(), delivery.link, AddressOf(delivery)) << "\n";
  }

  const nlohmann::json state = mailwarden::Status(server.service().context());
  std::map<std::string, std::vector<std::string>> happened;
  for (const auto& event : state.at("events"))
    if (event.at("type") != mailwarden::kEventStampIssued)
      happened[event.at("stamp").get<std::string>()].push_back(event.at("type").get<std::string>());

  out << "\n=== Summary: who received what, and what the service recorded\n\n";
  out << std::left << std::setw(16) << "Button" << std::setw(34) << "Recipient" << std::setw(5) << "Kind"
      << std::setw(24) << "Stamp"
      << "Recorded by the service\n";
  out << std::string(106, '-') << "\n";
  for (const Delivery& delivery : deliveries) {
    std::string events;
    for (const auto& type : happened[delivery.stamp]) events += (events.empty() ? "" : ", ") + type;
    out << std::left << std::setw(16) << delivery.mode << std::setw(34) << delivery.recipient << std::setw(5)
        << delivery.kind << std::setw(24) << delivery.stamp << (events.empty() ? "-" : events) << "\n"
        << "    " << delivery.path.string() << "\n";
  }
  out << "\nKept in Sent Items (one per certified recipient, each with its cancel link):\n";
  for (const auto& entry : std::filesystem::directory_iterator(root / "store" / host::sim::MailStore::kSentItems))
    out << "    " << entry.path().string() << "\n";
  for (const auto& sender : state.at("senders"))
    out << "\nCredit left this month for " << sender.at("address").get<std::string>() << ": "
        << sender.at("credit").get<int>() << " of " << kCredit << "\n";

  // The sender's own view of all this, in a browser.
  const std::string address = "dana@example.com";
  const std::string password = "corvanta-demo";
  server.service().context().store.SetPasswordHash(address, mailwarden::pages::HashPassword(password));
  out << "\n=== The sender's pages\n\n"
      << "Dana's messages, who opened, confirmed, read or was cancelled: open http://" << server.Host() << "/cvx/\n"
      << "and sign in as " << address << " with the password \"" << password << "\".\n";
  if (::isatty(STDIN_FILENO)) {
    out << "mailwarden keeps running for that; press Enter to stop it." << std::endl;
    std::string line;
    std::getline(std::cin, line);
  } else {
    out << "mailwarden stops now; to look later, start it on the demonstration's database:\n"
        << "    mailwarden serve --database sqlite:" << (root / "mailwarden.db").string() << "\n"
        << "and open http://127.0.0.1:8080/cvx/ instead.\n";
  }
  server.Stop();
  return 0;
}

}  // namespace cli
