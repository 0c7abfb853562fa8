#pragma once
// The Redemption library: sends and reads address data without Outlook's
// security prompts. Objects come from one factory, which throws the way a
// missing library fails (host::Error) when Redemption is not installed.
#include <cstdint>
#include <memory>
#include <string>

namespace host {

class MailItem;
class Folder;

constexpr std::uint32_t PR_ADDRTYPE = 0x3002001E;
constexpr std::uint32_t PR_SMTP_ADDRESS = 0x39FE001E;

// Anything that offers Address, Name and Fields[PropTag]: a safe recipient or
// the safe current user.
class AddressEntry {
 public:
  virtual ~AddressEntry() = default;
  virtual std::string Name() = 0;
  virtual std::string Address() = 0;
  // A string property by tag; empty when the property is not set.
  virtual std::string Fields(std::uint32_t propTag) = 0;
};

class SafeRecipient : public AddressEntry {
 public:
  virtual void Delete() = 0;
};

class SafeRecipients {
 public:
  virtual ~SafeRecipients() = default;
  virtual int Count() = 0;
  // 1-based; after a Delete the later positions close up.
  virtual std::shared_ptr<SafeRecipient> Item(int index) = 0;
  virtual void ResolveAll() = 0;
};

class SafeMailItem {
 public:
  virtual ~SafeMailItem() = default;
  virtual void SetItem(std::shared_ptr<MailItem> item) = 0;
  virtual std::shared_ptr<MailItem> Item() = 0;
  virtual std::shared_ptr<SafeRecipients> Recipients() = 0;
  virtual void Send() = 0;
  virtual std::string Body() = 0;
  virtual std::string HTMLBody() = 0;
  // Not members of Redemption's safe item: they go to the wrapped Outlook item.
  virtual void SetBody(const std::string& body) = 0;
  virtual void SetHTMLBody(const std::string& html) = 0;
  virtual std::string Subject() = 0;
  virtual void SetSubject(const std::string& subject) = 0;
  virtual void Move(Folder& folder) = 0;
};

class SafeCurrentUser : public AddressEntry {};

class MAPIUtils {
 public:
  virtual ~MAPIUtils() = default;
  virtual void DeliverNow() = 0;
  virtual void Cleanup() = 0;
};

class Redemption {
 public:
  virtual ~Redemption() = default;
  // "Redemption.SafeMailItem", "Redemption.SafeCurrentUser", "Redemption.MAPIUtils".
  virtual std::shared_ptr<SafeMailItem> CreateSafeMailItem() = 0;
  virtual std::shared_ptr<SafeCurrentUser> CreateSafeCurrentUser() = 0;
  virtual std::shared_ptr<MAPIUtils> CreateMAPIUtils() = 0;
};

}  // namespace host
