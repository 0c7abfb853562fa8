#include "host/sim/mail_store.h"

#include <cstdio>
#include <fstream>

#include "host/error.h"
#include "host/sim/mail_store_eml.h"

namespace host::sim {

const char* KindName(RecipientKind kind) {
  switch (kind) {
    case RecipientKind::To:
      return "To";
    case RecipientKind::Cc:
      return "Cc";
    case RecipientKind::Bcc:
      return "Bcc";
  }
  return "?";
}

MailStore::MailStore(std::filesystem::path root) : root_(std::move(root)) {
  std::error_code error;
  for (const char* folder : {kOutbox, kSentItems, kDrafts}) {
    std::filesystem::create_directories(root_ / folder, error);
    if (error) throw host::Error(error.value(), "Cannot create " + (root_ / folder).string() + ": " + error.message());
  }
}

std::filesystem::path MailStore::Write(const std::string& folder, const MailMessage& message) {
  std::filesystem::path dir = root_ / folder;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) throw host::Error(error.value(), "Cannot create " + dir.string() + ": " + error.message());

  MailMessage complete = message;
  if (complete.from.name.empty() && complete.from.address.empty()) complete.from = sender_;
  EmlText eml = FormatEml(complete);

  // A fresh name that no earlier run left in the folder.
  std::filesystem::path path;
  for (std::size_t n = written_.size() + 1;; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "%06zu.eml", n);
    path = dir / name;
    if (!std::filesystem::exists(path)) break;
  }
  std::ofstream out(path, std::ios::binary);
  out << eml.text;
  out.close();
  if (!out) throw host::Error("Cannot write " + path.string());

  written_.push_back({folder, path, eml.messageId, complete});
  return path;
}

std::vector<StoredMessage> MailStore::InFolder(const std::string& folder) const {
  std::vector<StoredMessage> found;
  for (const auto& stored : written_) {
    if (stored.folder == folder) found.push_back(stored);
  }
  return found;
}

}  // namespace host::sim
