#pragma once
// The stand-in message store: a directory with a folder per Outlook folder
// ("Outbox" for what was handed for delivery, "Sent Items", "Drafts") and one
// RFC 5322 .eml file per message. It also keeps a record of every message it
// wrote, so tests and the command-line program can list what left.
#include <filesystem>
#include <string>
#include <vector>

namespace host::sim {

// Outlook's recipient kinds (olTo, olCC, olBCC).
enum class RecipientKind { To = 1, Cc = 2, Bcc = 3 };

const char* KindName(RecipientKind kind);  // "To", "Cc", "Bcc"

struct Mailbox {
  std::string name;
  std::string address;
  bool operator==(const Mailbox&) const = default;
};

struct MailRecipient {
  std::string name;
  std::string address;
  RecipientKind kind = RecipientKind::To;
  bool operator==(const MailRecipient&) const = default;
};

// What goes into one .eml file. An empty htmlBody makes a text/plain
// message; otherwise multipart/alternative with both bodies.
struct MailMessage {
  Mailbox from;  // empty: the store's sender
  std::vector<MailRecipient> recipients;
  std::string subject;
  std::string body;
  std::string htmlBody;
};

struct StoredMessage {
  std::string folder;
  std::filesystem::path path;
  std::string messageId;
  MailMessage message;
};

class MailStore {
 public:
  static constexpr const char* kOutbox = "Outbox";
  static constexpr const char* kSentItems = "Sent Items";
  static constexpr const char* kDrafts = "Drafts";

  // Creates root and its three folders when missing.
  explicit MailStore(std::filesystem::path root);

  const std::filesystem::path& Root() const { return root_; }
  // The From of every message that names none.
  void SetSender(Mailbox sender) { sender_ = std::move(sender); }
  const Mailbox& Sender() const { return sender_; }

  // Writes the message as a new .eml in folder (created when missing),
  // records it and returns the file's path. Throws host::Error on failure.
  std::filesystem::path Write(const std::string& folder, const MailMessage& message);

  // Everything written, oldest first.
  const std::vector<StoredMessage>& Written() const { return written_; }
  std::vector<StoredMessage> InFolder(const std::string& folder) const;

 private:
  std::filesystem::path root_;
  Mailbox sender_;
  std::vector<StoredMessage> written_;
};

// An .eml read back with GMime: the headers and both bodies (decoded to UTF-8).
struct ParsedMail {
  Mailbox from;
  std::vector<MailRecipient> recipients;  // To, then Cc, then Bcc
  std::string subject;
  std::string date;  // the Date header as written
  std::string messageId;
  std::string contentType;  // "text/plain" or "multipart/alternative"
  std::string body;
  std::string htmlBody;
};

// Throws host::Error when the file cannot be read or parsed.
ParsedMail ReadEml(const std::filesystem::path& path);

}  // namespace host::sim
