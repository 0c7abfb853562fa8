// The settings store's statuses when the platform fails: its code comes back,
// the default stays, an opened key is always closed, and nothing is thrown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "host/error.h"
#include "settings/mod_registry.h"

namespace corvanta::modRegistry {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::Throw;

constexpr host::Key kOpened = 0x400;

class MockRegistry : public host::Registry {
 public:
  MOCK_METHOD(std::int32_t, OpenKey, (host::Key, const std::string&, host::Key&), (override));
  MOCK_METHOD(std::int32_t, CreateKey, (host::Key, const std::string&, host::Key&), (override));
  MOCK_METHOD(std::int32_t, QueryValue, (host::Key, const std::string&, std::uint32_t&, std::uint8_t*, std::uint32_t&),
              (override));
  MOCK_METHOD(std::int32_t, SetValue,
              (host::Key, const std::string&, std::uint32_t, const std::uint8_t*, std::uint32_t), (override));
  MOCK_METHOD(std::int32_t, CloseKey, (host::Key), (override));
  MOCK_METHOD(std::string, FindPlainFile, (const std::string&), (override));
  MOCK_METHOD(std::string, GetPrivateProfileString,
              (const std::string&, const std::string&, const std::string&, std::uint32_t, const std::string&),
              (override));
  MOCK_METHOD(std::uint32_t, GetPrivateProfileInt,
              (const std::string&, const std::string&, std::int32_t, const std::string&), (override));
  MOCK_METHOD(bool, WritePrivateProfileString,
              (const std::string&, const std::string&, const std::string&, const std::string&), (override));
  MOCK_METHOD(std::optional<std::string>, ProtectData, (const std::string&), (override));
  MOCK_METHOD(std::optional<std::string>, UnprotectData, (const std::string&), (override));
};

class ModRegistryPlatformTest : public ::testing::Test {
 protected:
  ModRegistryPlatformTest() {
    ON_CALL(platform, OpenKey(_, _, _)).WillByDefault(DoAll(SetArgReferee<2>(kOpened), Return(0)));
    ON_CALL(platform, CreateKey(_, _, _)).WillByDefault(DoAll(SetArgReferee<2>(kOpened), Return(0)));
  }
  NiceMock<MockRegistry> platform;
};

TEST_F(ModRegistryPlatformTest, OpenFailureReturnsItsCodeWithoutClosing) {
  EXPECT_CALL(platform, OpenKey(host::HKEY_CURRENT_USER, "K", _)).WillOnce(Return(5));
  EXPECT_CALL(platform, CloseKey(_)).Times(0);
  Value value;
  EXPECT_EQ(ReadSetting(platform, "HKCU", "K", "v", "D", std::int32_t{76}, value), 5);
  EXPECT_EQ(value, Value(std::int32_t{76}));
}

TEST_F(ModRegistryPlatformTest, TextIsAskedWithARealBufferOfSizeZeroThenWithTheSizeReported) {
  ::testing::InSequence order;
  EXPECT_CALL(platform, OpenKey(host::HKEY_CURRENT_USER, "K", _)).WillOnce(DoAll(SetArgReferee<2>(kOpened), Return(0)));
  EXPECT_CALL(platform, QueryValue(kOpened, "v", _, ::testing::NotNull(), _))
      .WillOnce(Invoke([](host::Key, const std::string&, std::uint32_t&, std::uint8_t*, std::uint32_t& size) {
        EXPECT_EQ(size, 0u);
        size = 4;
        return host::ERROR_MORE_DATA;
      }));
  EXPECT_CALL(platform, QueryValue(kOpened, "v", _, ::testing::NotNull(), _))
      .WillOnce(Invoke([](host::Key, const std::string&, std::uint32_t&, std::uint8_t* data, std::uint32_t& size) {
        EXPECT_EQ(size, 4u);
        std::memcpy(data, "xyz", 4);
        return 0;
      }));
  EXPECT_CALL(platform, CloseKey(kOpened)).WillOnce(Return(0));
  Value value;
  EXPECT_EQ(ReadSetting(platform, "HKCU", "K", "v", "S", std::string("d"), value), 0);
  EXPECT_EQ(value, Value(std::string("xyz")));
}

TEST_F(ModRegistryPlatformTest, QueryFailureReturnsItsCodeAndClosesTheKey) {
  const std::pair<const char*, std::int32_t> cases[] = {{"S", 5}, {"D", 1018}, {"B", 2}};
  for (const auto& [type, code] : cases) {
    NiceMock<MockRegistry> failing;
    ON_CALL(failing, OpenKey(_, _, _)).WillByDefault(DoAll(SetArgReferee<2>(kOpened), Return(0)));
    EXPECT_CALL(failing, QueryValue(_, _, _, _, _)).WillRepeatedly(Return(code));
    EXPECT_CALL(failing, CloseKey(kOpened)).Times(1);
    Value value;
    EXPECT_EQ(ReadSetting(failing, "HKCU", "K", "v", type, std::int32_t{3}, value), code) << type;
    EXPECT_EQ(value, Value(std::int32_t{3})) << type;
  }
}

TEST_F(ModRegistryPlatformTest, TextFailingOnTheSecondQueryKeepsTheDefault) {
  EXPECT_CALL(platform, QueryValue(_, _, _, _, _))
      .WillOnce(DoAll(SetArgReferee<4>(10u), Return(host::ERROR_MORE_DATA)))
      .WillOnce(Return(host::ERROR_MORE_DATA));  // the value grew meanwhile
  EXPECT_CALL(platform, CloseKey(kOpened)).Times(1);
  Value value;
  EXPECT_EQ(ReadSetting(platform, "HKCU", "K", "v", "S", std::string("d"), value), host::ERROR_MORE_DATA);
  EXPECT_EQ(value, Value(std::string("d")));
}

TEST_F(ModRegistryPlatformTest, ThrownPlatformErrorsEndQuietlyWithTheStatusReached) {
  EXPECT_CALL(platform, QueryValue(_, _, _, _, _)).WillOnce(Throw(host::Error(31, "device")));
  EXPECT_CALL(platform, CloseKey(kOpened)).Times(2);  // the read's key and the write's
  Value value;
  EXPECT_EQ(ReadSetting(platform, "HKCU", "K", "v", "D", std::int32_t{1}, value), 0);
  EXPECT_EQ(value, Value(std::int32_t{1}));

  EXPECT_CALL(platform, OpenKey(_, _, _)).WillOnce(Throw(std::runtime_error("gone")));
  EXPECT_EQ(ReadSetting(platform, "HKCU", "K", "v", "D", std::int32_t{1}, value), 99);
  EXPECT_EQ(value, Value(std::int32_t{1}));

  EXPECT_CALL(platform, SetValue(_, _, _, _, _)).WillOnce(Throw(host::Error(5, "denied")));
  EXPECT_EQ(WriteSetting(platform, "HKCU", "K", "v", "D", std::int32_t{1}), 0);
}

TEST_F(ModRegistryPlatformTest, CreateAndStoreFailuresReturnTheirCodes) {
  EXPECT_CALL(platform, CreateKey(host::HKEY_CLASSES_ROOT, "K", _)).WillOnce(Return(5));
  EXPECT_CALL(platform, CloseKey(_)).Times(0);
  EXPECT_EQ(WriteSetting(platform, "HKCR", "K", "v", "S", std::string("x")), 5);
  ::testing::Mock::VerifyAndClearExpectations(&platform);

  EXPECT_CALL(platform, SetValue(kOpened, "v", host::REG_DWORD, _, 4)).WillOnce(Return(1021));
  EXPECT_CALL(platform, CloseKey(kOpened)).Times(1);
  EXPECT_EQ(WriteSetting(platform, "HKCR", "K", "v", "D", std::int32_t{1}), 1021);
}

TEST_F(ModRegistryPlatformTest, FileSearchFailureMeansUnrecognised) {
  EXPECT_CALL(platform, FindPlainFile("Z:\\none.ini")).WillOnce(Throw(host::Error(3, "no drive")));
  EXPECT_EQ(ResolveLocation(platform, "Z:\\none.ini"), 0u);
}

TEST_F(ModRegistryPlatformTest, IniWriteReturnsZeroEvenWhenThePlatformFails) {
  EXPECT_CALL(platform, FindPlainFile("a.ini")).WillRepeatedly(Return("a.ini"));
  EXPECT_CALL(platform, WritePrivateProfileString("Sec", "v", "12", "a.ini")).WillOnce(Return(false));
  EXPECT_EQ(WriteSetting(platform, "a.ini", "Sec", "v", "s", std::int32_t{12}), 0);
}

TEST_F(ModRegistryPlatformTest, IniTextIsReadIntoABufferOf255) {
  EXPECT_CALL(platform, FindPlainFile("a.ini")).WillRepeatedly(Return("a.ini"));
  EXPECT_CALL(platform, GetPrivateProfileString("Sec", "v", "76", 255u, "a.ini")).WillOnce(Return("80"));
  Value value;
  EXPECT_EQ(ReadSetting(platform, "a.ini", "Sec", "v", "S", std::int32_t{76}, value), 0);
  EXPECT_EQ(value, Value(std::string("80")));
}

}  // namespace
}  // namespace corvanta::modRegistry
