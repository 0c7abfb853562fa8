#pragma once
// The Redemption library, created by ProgID and reached by late binding. A
// missing library fails at creation with host::Error.
#include <memory>

#include "host/outlook.h"
#include "host/redemption.h"
#include "host/win32/late_binding.h"

namespace host::win32 {

// CLSIDFromProgID and CoCreateInstance for IDispatch; host::Error when the class is unknown or fails.
ComPtr<IDispatch> CreateObject(const std::string& progId);

template <class Base>
class AddressEntryOf : public Base, public LateBound {
 public:
  using LateBound::LateBound;
  std::string Name() override { return GetString("Name"); }
  std::string Address() override { return GetString("Address"); }
  std::string Fields(std::uint32_t propTag) override {
    return ToString(GetMember("Fields", {Variant::Of(static_cast<std::int32_t>(propTag))}).get());
  }
};

class SafeRecipient final : public AddressEntryOf<host::SafeRecipient> {
 public:
  using AddressEntryOf::AddressEntryOf;
  void Delete() override { CallMember("Delete"); }
};

class SafeCurrentUser final : public AddressEntryOf<host::SafeCurrentUser> {
 public:
  using AddressEntryOf::AddressEntryOf;
};

class SafeRecipients final : public host::SafeRecipients, public LateBound {
 public:
  using LateBound::LateBound;
  int Count() override { return GetInt("Count"); }
  std::shared_ptr<host::SafeRecipient> Item(int index) override;
  void ResolveAll() override { CallMember("ResolveAll"); }
};

// The safe item reads through Redemption; the writes it lacks (Subject, Body,
// HTMLBody, Move) go to the Outlook item it wraps.
class SafeMailItem final : public host::SafeMailItem, public LateBound {
 public:
  using LateBound::LateBound;
  void SetItem(std::shared_ptr<host::MailItem> item) override;
  std::shared_ptr<host::MailItem> Item() override;
  std::shared_ptr<host::SafeRecipients> Recipients() override;
  void Send() override { CallMember("Send"); }
  std::string Body() override { return GetString("Body"); }
  std::string HTMLBody() override { return GetString("HTMLBody"); }
  void SetBody(const std::string& body) override { Wrapped().SetBody(body); }
  void SetHTMLBody(const std::string& html) override { Wrapped().SetHTMLBody(html); }
  std::string Subject() override { return Wrapped().Subject(); }
  void SetSubject(const std::string& subject) override { Wrapped().SetSubject(subject); }
  void Move(host::Folder& folder) override;

 private:
  host::MailItem& Wrapped();
  std::shared_ptr<host::MailItem> item_;
};

class MAPIUtils final : public host::MAPIUtils, public LateBound {
 public:
  using LateBound::LateBound;
  void DeliverNow() override { CallMember("DeliverNow"); }
  void Cleanup() override { CallMember("Cleanup"); }
};

class Redemption final : public host::Redemption {
 public:
  std::shared_ptr<host::SafeMailItem> CreateSafeMailItem() override;
  std::shared_ptr<host::SafeCurrentUser> CreateSafeCurrentUser() override;
  std::shared_ptr<host::MAPIUtils> CreateMAPIUtils() override;
};

}  // namespace host::win32
