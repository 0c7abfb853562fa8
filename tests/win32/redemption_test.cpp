// Redemption objects come from their ProgIDs; a missing library fails at
// creation. The safe item reads through Redemption and writes through the
// Outlook item it wraps.
#include "host/win32/redemption.h"

#include <gtest/gtest.h>

#include "fake_dispatch.h"
#include "host/win32/outlook.h"

namespace corvanta_test {
namespace {

using namespace host::win32;

// Stand-in classes for the tests only.
constexpr CLSID kFakeSafeMailItem = {0x2E9B5C41, 0x7A0D, 0x4C8E, {0x9D, 0x11, 0x5A, 0x60, 0x21, 0x33, 0x47, 0x01}};
constexpr CLSID kFakeCurrentUser = {0x2E9B5C41, 0x7A0D, 0x4C8E, {0x9D, 0x11, 0x5A, 0x60, 0x21, 0x33, 0x47, 0x02}};
constexpr CLSID kFakeUtils = {0x2E9B5C41, 0x7A0D, 0x4C8E, {0x9D, 0x11, 0x5A, 0x60, 0x21, 0x33, 0x47, 0x03}};

TEST(Redemption, MissingLibraryFailsAtCreationForEachClass) {
  Redemption redemption;
  EXPECT_THROW(redemption.CreateSafeMailItem(), host::Error);
  EXPECT_THROW(redemption.CreateSafeCurrentUser(), host::Error);
  try {
    redemption.CreateMAPIUtils();
    FAIL() << "created without the library";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), CO_E_CLASSSTRING);
    EXPECT_NE(std::string(error.what()).find("Redemption.MAPIUtils"), std::string::npos);
  }
}

TEST(Redemption, ObjectsComeFromTheirProgIds) {
  FakeClass user("Redemption.SafeCurrentUser", kFakeCurrentUser, [](FakeDispatch& fake) {
    fake.Property("Name", Variant::Of("Ann Example"));
    fake.Property("Address", Variant::Of("/o=Org/cn=ann"));
    fake.Getter("Fields", [](const FakeDispatch::Call& call) {
      return ToInt(call.args.at(0).get()) == static_cast<std::int32_t>(host::PR_SMTP_ADDRESS)
                 ? Variant::Of("ann@example.com")
                 : Variant();
    });
  });
  FakeClass utils("Redemption.MAPIUtils", kFakeUtils, [](FakeDispatch& fake) {
    fake.Method("DeliverNow");
    fake.Method("Cleanup");
  });

  Redemption redemption;
  auto current = redemption.CreateSafeCurrentUser();
  EXPECT_EQ(current->Name(), "Ann Example");
  EXPECT_EQ(current->Fields(host::PR_SMTP_ADDRESS), "ann@example.com");
  EXPECT_EQ(current->Fields(host::PR_ADDRTYPE), "");  // not set

  auto mapiUtils = redemption.CreateMAPIUtils();
  mapiUtils->DeliverNow();
  mapiUtils->Cleanup();
  ASSERT_EQ(utils.created.size(), 1u);
  ASSERT_EQ(utils.created[0]->calls.size(), 2u);
  EXPECT_EQ(utils.created[0]->calls[0].member, "DeliverNow");
  EXPECT_EQ(utils.created[0]->calls[0].flags, DISPATCH_METHOD);
  EXPECT_TRUE(utils.created[0]->calls[0].args.empty());
}

class SafeMailItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    outlookItem_->Property("Subject", Variant::Of("Hello"));
    outlookItem_->Property("HTMLBody");
    outlookItem_->Property("Body");
    movedItem_->Property("Subject", Variant::Of("Hello"));
    outlookItem_->Method(
        "Move", [this](const FakeDispatch::Call&) { return Variant::Of(static_cast<IDispatch*>(movedItem_.get())); });
  }

  ComPtr<FakeDispatch> outlookItem_ = FakeDispatch::Make();
  ComPtr<FakeDispatch> movedItem_ = FakeDispatch::Make();
  FakeClass safeClass_{"Redemption.SafeMailItem", kFakeSafeMailItem, [](FakeDispatch& fake) {
                         fake.Property("Item");
                         fake.Getter("Body", [](const FakeDispatch::Call&) { return Variant::Of("safe body"); });
                         fake.Getter("HTMLBody", [](const FakeDispatch::Call&) { return Variant::Of("<p>safe</p>"); });
                         fake.Method("Send");
                       }};
};

TEST_F(SafeMailItemTest, WrapsTheOutlookItemAndSendsThroughRedemption) {
  Redemption redemption;
  auto safe = redemption.CreateSafeMailItem();
  auto item = std::make_shared<MailItem>(ComPtr<IDispatch>(outlookItem_.get()));
  safe->SetItem(item);
  FakeDispatch& fake = *safeClass_.created.at(0);
  EXPECT_EQ(fake.Value("Item").get().pdispVal, static_cast<IDispatch*>(outlookItem_.get()));
  EXPECT_EQ(safe->Item(), item);
  EXPECT_EQ(safe->Body(), "safe body");
  EXPECT_EQ(safe->HTMLBody(), "<p>safe</p>");
  safe->Send();
  EXPECT_EQ(fake.CallsOf("Send").size(), 1u);
}

TEST_F(SafeMailItemTest, WritesGoToTheOutlookItem) {
  Redemption redemption;
  auto safe = redemption.CreateSafeMailItem();
  safe->SetItem(std::make_shared<MailItem>(ComPtr<IDispatch>(outlookItem_.get())));
  safe->SetSubject("Re: Hello");
  safe->SetHTMLBody("<b>tracked</b>");
  safe->SetBody("plain");
  EXPECT_EQ(ToString(outlookItem_->Value("Subject").get()), "Re: Hello");
  EXPECT_EQ(ToString(outlookItem_->Value("HTMLBody").get()), "<b>tracked</b>");
  EXPECT_EQ(ToString(outlookItem_->Value("Body").get()), "plain");
  EXPECT_EQ(safe->Subject(), "Re: Hello");
  FakeDispatch& fake = *safeClass_.created.at(0);
  EXPECT_TRUE(fake.CallsOf("Subject").empty());
  EXPECT_TRUE(fake.CallsOf("HTMLBody").empty());
}

TEST_F(SafeMailItemTest, MoveGoesOnWithTheMovedItem) {
  auto folder = FakeDispatch::Make();
  Redemption redemption;
  auto safe = redemption.CreateSafeMailItem();
  safe->SetItem(std::make_shared<MailItem>(ComPtr<IDispatch>(outlookItem_.get())));
  Folder sent{ComPtr<IDispatch>(folder.get())};
  safe->Move(sent);
  ASSERT_EQ(outlookItem_->CallsOf("Move").size(), 1u);
  EXPECT_EQ(outlookItem_->CallsOf("Move")[0].args.at(0).get().pdispVal, static_cast<IDispatch*>(folder.get()));
  FakeDispatch& fake = *safeClass_.created.at(0);
  EXPECT_EQ(fake.Value("Item").get().pdispVal, static_cast<IDispatch*>(movedItem_.get()));
  safe->SetSubject("moved");
  EXPECT_EQ(ToString(movedItem_->Value("Subject").get()), "moved");
  EXPECT_EQ(ToString(outlookItem_->Value("Subject").get()), "Hello");
}

}  // namespace
}  // namespace corvanta_test
