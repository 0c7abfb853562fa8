// Late binding: the flags each kind of member is called with, argument order,
// omitted arguments, result conversion and failures.
#include "host/win32/late_binding.h"

#include <gtest/gtest.h>

#include "fake_dispatch.h"

namespace corvanta_test {
namespace {

using namespace host::win32;

TEST(LateBinding, MethodGoesWithDispatchMethodAndItsArgumentsInDeclaredOrder) {
  auto fake = FakeDispatch::Make();
  fake->Method("Add", [](const FakeDispatch::Call&) { return Variant::Of(7); });
  Variant result = Call(*fake, "Add", {Variant::Of(1), Variant::Of("two"), Variant::Missing(), Variant::Of(true)});
  ASSERT_EQ(fake->calls.size(), 1u);
  const auto& call = fake->calls[0];
  EXPECT_EQ(call.flags, DISPATCH_METHOD);
  ASSERT_EQ(call.args.size(), 4u);
  EXPECT_EQ(Describe(call.args[0]), "I4:1");
  EXPECT_EQ(Describe(call.args[1]), "BSTR:two");
  EXPECT_EQ(Describe(call.args[2]), "MISSING");
  EXPECT_EQ(Describe(call.args[3]), "BOOL:-1");
  EXPECT_EQ(ToInt(result.get()), 7);
}

TEST(LateBinding, PropertyReadAndWriteUseTheirOwnFlagsAndThePutNamedArgument) {
  auto fake = FakeDispatch::Make();
  fake->Property("Subject", Variant::Of("old"));
  EXPECT_EQ(ToString(Get(*fake, "Subject").get()), "old");
  Put(*fake, "Subject", Variant::Of("new"));
  EXPECT_EQ(ToString(Get(*fake, "Subject").get()), "new");
  ASSERT_EQ(fake->calls.size(), 3u);
  EXPECT_EQ(fake->calls[0].flags, DISPATCH_PROPERTYGET);
  EXPECT_EQ(fake->calls[1].flags, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(Describe(fake->calls[1].args.at(0)), "BSTR:new");
}

TEST(LateBinding, MethodsAreNeverCalledAsProperties) {
  auto fake = FakeDispatch::Make();
  fake->Method("ActiveExplorer");
  EXPECT_NO_THROW(Call(*fake, "ActiveExplorer"));
  EXPECT_THROW(Get(*fake, "ActiveExplorer"), host::Error);
}

TEST(LateBinding, ItemIsAskedForAsMethodOrIndexedProperty) {
  auto fake = FakeDispatch::Make();
  fake->Item([](const FakeDispatch::Call& call) { return Variant::Of(ToInt(call.args.at(0).get()) * 10); });
  EXPECT_EQ(ToInt(GetItem(*fake, {Variant::Of(3)}).get()), 30);
  EXPECT_EQ(fake->calls.at(0).flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
}

TEST(LateBinding, UnknownMemberFailsWithItsNameAndTheHresult) {
  auto fake = FakeDispatch::Make();
  try {
    Call(*fake, "Frobnicate");
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), DISP_E_UNKNOWNNAME);
    EXPECT_NE(std::string(error.what()).find("Frobnicate"), std::string::npos);
  }
  EXPECT_TRUE(fake->calls.empty());
}

struct FailureCase {
  const char* name;
  FakeFailure failure;
  HRESULT expectedCode;
  const char* expectedText;
};

class LateBindingFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LateBindingFailure, BecomesHostErrorWithCodeAndText) {
  const auto& param = GetParam();
  auto fake = FakeDispatch::Make();
  fake->Method("Send", [&](const FakeDispatch::Call&) -> Variant { throw param.failure; });
  try {
    Call(*fake, "Send");
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), param.expectedCode);
    EXPECT_NE(std::string(error.what()).find(param.expectedText), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("Send"), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LateBindingFailure,
    ::testing::Values(FailureCase{"ExceptionInfo",
                                  {static_cast<HRESULT>(0x80040107), "The operation failed: refused"},
                                  static_cast<HRESULT>(0x80040107),
                                  "The operation failed: refused"},
                      FailureCase{"BareHresult", {E_ACCESSDENIED, ""}, E_ACCESSDENIED, "0x80070005"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(LateBinding, ObjectResultsKeepOneReferenceEachAndLetGo) {
  auto fake = FakeDispatch::Make();
  auto child = FakeDispatch::Make();
  ULONG before = child->References();
  fake->Method("Copy", [&](const FakeDispatch::Call&) { return Variant::Of(static_cast<IDispatch*>(child.get())); });
  {
    ComPtr<IDispatch> copy = ToObject(Call(*fake, "Copy").get());
    EXPECT_EQ(copy.get(), static_cast<IDispatch*>(child.get()));
    EXPECT_EQ(child->References(), before + 1);
  }
  EXPECT_EQ(child->References(), before);
}

TEST(LateBinding, ConversionsOfResults) {
  EXPECT_EQ(ToString(Variant().get()), "");
  EXPECT_EQ(ToString(Variant::Missing().get()), "");
  EXPECT_EQ(ToString(Variant::Of(42).get()), "42");
  EXPECT_EQ(ToInt(Variant::Of("17").get()), 17);
  EXPECT_TRUE(ToBool(Variant::Of(-1).get()));
  EXPECT_FALSE(ToBool(Variant::Of(false).get()));
  EXPECT_THROW(ToInt(Variant::Of("seventeen").get()), host::Error);
  EXPECT_FALSE(ToObject(Variant().get()));
  EXPECT_FALSE(ToObject(Variant::Of(static_cast<IDispatch*>(nullptr)).get()));
  EXPECT_THROW(ToObject(Variant::Of(3).get()), host::Error);
}

TEST(LateBinding, TextCrossesWholeWhateverTheCodePage) {
  // Latin, Greek, Cyrillic, Japanese, an emoji and the Euro sign: none of them
  // is lost, whatever the system's ANSI code page.
  const std::string text = "Grüße Ωμέγα Здравствуйте 日本語 😀 €";
  Variant value = Variant::Of(text);
  ASSERT_EQ(value.type(), VT_BSTR);
  EXPECT_EQ(std::wstring(value.get().bstrVal),
            L"Gr\u00FC\u00DFe \u03A9\u03BC\u03AD\u03B3\u03B1 "
            L"\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439\u0442\u0435 "
            L"\u65E5\u672C\u8A9E \xD83D\xDE00 \u20AC");
  EXPECT_EQ(ToString(value.get()), text);
}

}  // namespace
}  // namespace corvanta_test
