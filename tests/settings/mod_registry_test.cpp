// The settings store against the stand-in registry: statuses, the three type
// letters, defaults left in place, and the conversions made before storing.
#include "settings/mod_registry.h"

#include <gtest/gtest.h>

#include <optional>

#include "host/sim/registry.h"

namespace corvanta::modRegistry {
namespace {

using host::sim::RegValue;
using host::sim::SimRegistry;

const std::string kKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\Corvix.Connect";

class ModRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(registry.OpenHandles(), 0u) << "a key was left open"; }
  SimRegistry registry;
};

TEST_F(ModRegistryTest, ResolvesTheSixHivesWhateverTheirCase) {
  const std::pair<const char*, host::Key> cases[] = {
      {"HKCU", host::HKEY_CURRENT_USER},
      {"hkcu", host::HKEY_CURRENT_USER},
      {"HkLm", host::HKEY_LOCAL_MACHINE},
      {"hku", host::HKEY_USERS},
      {"HKDD", host::HKEY_DYN_DATA},
      {"hkcc", host::HKEY_CURRENT_CONFIG},
      {"HKCR", host::HKEY_CLASSES_ROOT},
      {"HKEY_CURRENT_USER", 0},
      {"", 0},
      {" HKCU", 0},
      {"/no/such/file.ini", 0},
  };
  for (const auto& [location, hive] : cases) {
    EXPECT_EQ(ResolveLocation(registry, location), hive) << location;
  }
}

struct ReadCase {
  const char* what;
  std::optional<RegValue> stored;  // under kKey, value "v"
  const char* type;
  Value defaultValue;
  std::int32_t status;
  Value expected;
};

TEST_F(ModRegistryTest, ReadsByTypeLetterAndKeepsTheDefaultOnEveryFailure) {
  const ReadCase cases[] = {
      {"missing value", std::nullopt, "D", std::int32_t{0}, 2, std::int32_t{0}},
      {"missing text keeps its default", std::nullopt, "S", std::string("dflt"), 2, std::string("dflt")},
      {"text without its NUL", RegValue::String("abc"), "S", std::string(), 0, std::string("abc")},
      {"empty text", RegValue::String(""), "S", std::string("dflt"), 0, std::string()},
      {"lower-case letter", RegValue::String("abc"), "s", std::string(), 0, std::string("abc")},
      {"value of zero bytes", RegValue{host::REG_SZ, {}}, "S", std::string("dflt"), 0, std::string("dflt")},
      {"number", RegValue::Dword(12), "D", std::int32_t{76}, 0, std::int32_t{12}},
      {"negative number", RegValue::Dword(0xFFFFFFFFu), "d", std::int32_t{0}, 0, std::int32_t{-1}},
      {"true", RegValue::Binary({0xFF, 0xFF}), "B", false, 0, true},
      {"false", RegValue::Binary({0x00, 0x00}), "B", true, 0, false},
      {"any other word is true", RegValue::Binary({0x01, 0x00}), "b", false, 0, true},
      {"unknown letter reads nothing", RegValue::Dword(5), "X", std::int32_t{7}, 0, std::int32_t{7}},
      // The stored type is never compared with the letter.
      {"text read as a number", RegValue::String("ab"), "D", std::int32_t{0}, 0, std::int32_t{0x6261}},
      {"number read as text", RegValue::Dword(0x00636261), "S", std::string(), 0, std::string("abc")},
      {"too long for a number", RegValue::String("abcdefgh"), "D", std::int32_t{9}, 234, std::int32_t{9}},
      {"too long for a truth value", RegValue::Dword(1), "B", false, 234, false},
  };
  for (const auto& c : cases) {
    SimRegistry fresh;
    if (c.stored) fresh.Put(host::HKEY_CURRENT_USER, kKey, "v", *c.stored);
    Value value = std::string("untouched");
    EXPECT_EQ(ReadSetting(fresh, "HKCU", kKey, "v", c.type, c.defaultValue, value), c.status) << c.what;
    EXPECT_EQ(value, c.expected) << c.what;
    EXPECT_EQ(fresh.OpenHandles(), 0u) << c.what;
  }
}

TEST_F(ModRegistryTest, MissingKeyGivesTwoAndTheDefault) {
  Value value;
  EXPECT_EQ(ReadSetting(registry, "HKCU", kKey, "TOUA", "D", std::int32_t{0}, value), 2);
  EXPECT_EQ(value, Value(std::int32_t{0}));
  EXPECT_FALSE(registry.HasKey(host::HKEY_CURRENT_USER, kKey)) << "a read must not create the key";
}

TEST_F(ModRegistryTest, UnrecognisedLocationTouchesNothing) {
  Value value = std::string("x");
  EXPECT_EQ(ReadSetting(registry, "HKXX", kKey, "v", "D", std::int32_t{3}, value), 99);
  EXPECT_EQ(value, Value(std::int32_t{3}));
  EXPECT_EQ(WriteSetting(registry, "HKXX", kKey, "v", "D", std::int32_t{3}), 99);
  EXPECT_FALSE(registry.HasKey(host::HKEY_CURRENT_USER, kKey));
}

TEST_F(ModRegistryTest, EmptyKeyNamesTheHiveItself) {
  registry.Put(host::HKEY_LOCAL_MACHINE, "", "top", RegValue::Dword(4));
  Value value;
  EXPECT_EQ(ReadSetting(registry, "HKLM", "", "top", "D", std::int32_t{0}, value), 0);
  EXPECT_EQ(value, Value(std::int32_t{4}));
}

struct WriteCase {
  const char* what;
  const char* type;
  Value value;
  std::optional<RegValue> stored;  // nothing: no value stored
};

TEST_F(ModRegistryTest, WritesConvertTheValueForItsLetter) {
  const WriteCase cases[] = {
      {"text", "S", std::string("abc"), RegValue::String("abc")},
      {"empty text", "S", std::string(), RegValue::String("")},
      {"number as text", "S", std::int32_t{42}, RegValue::String("42")},
      {"short number as text", "S", std::int16_t{-7}, RegValue::String("-7")},
      {"fraction as text", "S", 0.5, RegValue::String("0.5")},
      {"truth value as text", "s", true, RegValue::String("True")},
      {"no value as text", "S", std::monostate{}, RegValue::String("")},
      {"true", "B", true, RegValue::Binary({0xFF, 0xFF})},
      {"false", "b", false, RegValue::Binary({0x00, 0x00})},
      {"number as truth value", "B", std::int32_t{5}, RegValue::Binary({0xFF, 0xFF})},
      {"text True", "B", std::string("True"), RegValue::Binary({0xFF, 0xFF})},
      {"text 0", "B", std::string("0"), RegValue::Binary({0x00, 0x00})},
      {"text that is no truth value", "B", std::string("maybe"), std::nullopt},
      {"one", "D", std::int32_t{1}, RegValue::Dword(1)},
      {"short minus one", "D", std::int16_t{-1}, RegValue::Dword(0xFFFFFFFFu)},
      {"digits then letters", "D", std::string("12abc"), RegValue::Dword(12)},
      {"letters only", "d", std::string("abc"), RegValue::Dword(0)},
      {"empty text as a number", "D", std::string(), RegValue::Dword(0)},
      {"a truth value gives 0", "D", true, RegValue::Dword(0)},
      {"blanks inside the number", "D", std::string(" 1 2x"), RegValue::Dword(12)},
      {"exponent", "D", std::string("1e3"), RegValue::Dword(1000)},
      {"hexadecimal as the platform reads it", "D", std::string("&H1F"), RegValue::Dword(31)},
      {"half rounds to even (down)", "D", 2.5, RegValue::Dword(2)},
      {"half rounds to even (up)", "D", std::string("3.5"), RegValue::Dword(4)},
      {"negative half", "D", std::string("-2.5"), RegValue::Dword(0xFFFFFFFEu)},
      {"largest", "D", std::string("2147483647"), RegValue::Dword(0x7FFFFFFFu)},
      {"smallest", "D", std::string("-2147483648"), RegValue::Dword(0x80000000u)},
      {"one past the largest", "D", std::string("2147483648"), std::nullopt},
      {"rounds past the largest", "D", 2147483647.5, std::nullopt},
      {"one below the smallest", "D", std::string("-2147483649"), std::nullopt},
      {"far out of range", "D", std::string("1e400"), std::nullopt},
      {"unknown letter stores nothing", "Q", std::int32_t{1}, std::nullopt},
  };
  for (const auto& c : cases) {
    SimRegistry fresh;
    EXPECT_EQ(WriteSetting(fresh, "hkcu", kKey, "v", c.type, c.value), 0) << c.what;
    EXPECT_EQ(fresh.Get(host::HKEY_CURRENT_USER, kKey, "v"), c.stored) << c.what;
    EXPECT_TRUE(fresh.HasKey(host::HKEY_CURRENT_USER, kKey)) << c.what << ": the key is created in every case";
    EXPECT_EQ(fresh.OpenHandles(), 0u) << c.what;
  }
}

TEST_F(ModRegistryTest, WhatIsWrittenReadsBack) {
  ASSERT_EQ(WriteSetting(registry, "HKCU", kKey, "currentUserAddress", "S", std::string("a@b.example")), 0);
  ASSERT_EQ(WriteSetting(registry, "HKCU", kKey, "opt_send", "D", std::int16_t{1}), 0);
  ASSERT_EQ(WriteSetting(registry, "HKCU", kKey, "flag", "B", true), 0);
  Value text, number, flag;
  EXPECT_EQ(ReadSetting(registry, "HKCU", kKey, "currentUserAddress", "S", std::string(), text), 0);
  EXPECT_EQ(ReadSetting(registry, "HKCU", kKey, "opt_send", "D", std::int32_t{0}, number), 0);
  EXPECT_EQ(ReadSetting(registry, "HKCU", kKey, "flag", "B", false, flag), 0);
  EXPECT_EQ(text, Value(std::string("a@b.example")));
  EXPECT_EQ(number, Value(std::int32_t{1}));
  EXPECT_EQ(flag, Value(true));
}

TEST_F(ModRegistryTest, OverwritingReplacesTheValueAndItsType) {
  ASSERT_EQ(WriteSetting(registry, "HKCU", kKey, "v", "S", std::string("text")), 0);
  ASSERT_EQ(WriteSetting(registry, "HKCU", kKey, "V", "D", std::int32_t{9}), 0);
  EXPECT_EQ(registry.Get(host::HKEY_CURRENT_USER, kKey, "v"), RegValue::Dword(9));
}

}  // namespace
}  // namespace corvanta::modRegistry
