// The registry and INI-file calls on the real (Wine) registry and real files,
// and the settings store on top of them: every status and type case.
#include "host/win32/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "settings/mod_registry.h"
#include "test_support.h"

namespace corvanta_test {
namespace {

using corvanta::modRegistry::ReadSetting;
using corvanta::modRegistry::ResolveLocation;
using corvanta::modRegistry::Value;
using corvanta::modRegistry::WriteSetting;

const host::Key kCurrentUser = reinterpret_cast<host::Key>(HKEY_CURRENT_USER);

class Win32Registry : public ::testing::Test {
 protected:
  // The raw value as stored, read past the platform layer.
  std::optional<std::pair<DWORD, std::vector<BYTE>>> Stored(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.Path().c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    if (status == ERROR_SUCCESS && size)
      status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return std::make_pair(type, data);
  }

  void Store(const std::string& name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, key_.Path().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }

  host::win32::Registry registry_;
  ScratchKey key_;
  ScratchDir dir_;
};

TEST_F(Win32Registry, OpeningAMissingKeyAnswersFileNotFound) {
  host::Key opened = 0;
  EXPECT_EQ(registry_.OpenKey(kCurrentUser, key_.Path(), opened), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32Registry, TextIsAskedForSizeFirstThenRead) {
  Store("v", REG_SZ, "abc", 4);
  host::Key opened = 0;
  ASSERT_EQ(registry_.OpenKey(kCurrentUser, key_.Path(), opened), ERROR_SUCCESS);
  std::uint32_t type = 0;
  std::uint8_t probe[1] = {0xAA};
  std::uint32_t size = 0;
  EXPECT_EQ(registry_.QueryValue(opened, "v", type, probe, size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(probe[0], 0xAA);
  std::vector<std::uint8_t> buffer(size);
  EXPECT_EQ(registry_.QueryValue(opened, "v", type, buffer.data(), size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), size), std::string("abc", 4));
  // With no buffer at all only the size is asked for.
  size = 0;
  EXPECT_EQ(registry_.QueryValue(opened, "v", type, nullptr, size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(registry_.QueryValue(opened, "missing", type, buffer.data(), size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry_.CloseKey(opened), ERROR_SUCCESS);
}

TEST_F(Win32Registry, CreatedKeyTakesValuesOfEachType) {
  host::Key created = 0;
  ASSERT_EQ(registry_.CreateKey(kCurrentUser, key_.Path() + "\\deeper", created), ERROR_SUCCESS);
  std::int32_t number = 76;
  const std::uint8_t truth[2] = {0xFF, 0xFF};
  EXPECT_EQ(registry_.SetValue(created, "n", REG_DWORD, reinterpret_cast<std::uint8_t*>(&number), 4), ERROR_SUCCESS);
  EXPECT_EQ(registry_.SetValue(created, "b", REG_BINARY, truth, 2), ERROR_SUCCESS);
  EXPECT_EQ(registry_.CloseKey(created), ERROR_SUCCESS);

  host::Key opened = 0;
  ASSERT_EQ(registry_.OpenKey(kCurrentUser, key_.Path() + "\\deeper", opened), ERROR_SUCCESS);
  std::uint32_t type = 0, size = 4;
  std::int32_t read = 0;
  EXPECT_EQ(registry_.QueryValue(opened, "n", type, reinterpret_cast<std::uint8_t*>(&read), size), ERROR_SUCCESS);
  EXPECT_EQ(read, 76);
  EXPECT_EQ(type, static_cast<std::uint32_t>(REG_DWORD));
  // A key opened to query cannot store.
  EXPECT_EQ(registry_.SetValue(opened, "x", REG_DWORD, reinterpret_cast<std::uint8_t*>(&number), 4),
            ERROR_ACCESS_DENIED);
  registry_.CloseKey(opened);
}

TEST_F(Win32Registry, FindsPlainFilesOnly) {
  dir_.Write("settings.ini", "[a]\r\n");
  dir_.Write("hidden.ini", "", FILE_ATTRIBUTE_HIDDEN);
  dir_.Write("system.ini", "", FILE_ATTRIBUTE_SYSTEM);
  CreateDirectoryA(dir_.File("folder.ini").c_str(), nullptr);
  EXPECT_EQ(registry_.FindPlainFile(dir_.File("settings.ini")), "settings.ini");
  EXPECT_EQ(registry_.FindPlainFile(dir_.File("hidden.ini")), "");
  EXPECT_EQ(registry_.FindPlainFile(dir_.File("system.ini")), "");
  EXPECT_EQ(registry_.FindPlainFile(dir_.File("folder.ini")), "");
  EXPECT_EQ(registry_.FindPlainFile(dir_.File("*.ini")), "settings.ini");
  EXPECT_EQ(registry_.FindPlainFile(dir_.File("none.ini")), "");
  EXPECT_EQ(registry_.FindPlainFile("Q:\\no\\such\\drive.ini"), "");
  EXPECT_EQ(registry_.FindPlainFile(""), "");
}

TEST_F(Win32Registry, IniFilesReadAndWrite) {
  std::string file = dir_.File("store.ini");
  EXPECT_TRUE(registry_.WritePrivateProfileString("Section", "Name", "Value text", file));
  EXPECT_EQ(registry_.GetPrivateProfileString("Section", "Name", "d", 255, file), "Value text");
  EXPECT_EQ(registry_.GetPrivateProfileString("Section", "Name", "d", 6, file), "Value");
  EXPECT_EQ(registry_.GetPrivateProfileString("Section", "Missing", "the default", 255, file), "the default");
  EXPECT_TRUE(registry_.WritePrivateProfileString("Section", "Count", "42", file));
  EXPECT_EQ(registry_.GetPrivateProfileInt("Section", "Count", 7, file), 42u);
  EXPECT_EQ(registry_.GetPrivateProfileInt("Section", "Missing", 7, file), 7u);
}

// The settings store on the real registry and real INI files.
class SettingsStore : public Win32Registry {};

TEST_F(SettingsStore, LocationsResolveToHivesOrExistingFiles) {
  EXPECT_EQ(ResolveLocation(registry_, "HKCU"), kCurrentUser);
  EXPECT_EQ(ResolveLocation(registry_, "hklm"), reinterpret_cast<host::Key>(HKEY_LOCAL_MACHINE));
  dir_.Write("a.ini", "");
  EXPECT_EQ(ResolveLocation(registry_, dir_.File("a.ini")), corvanta::modRegistry::kIniMode);
  EXPECT_EQ(ResolveLocation(registry_, dir_.File("b.ini")), 0u);
}

struct RoundTrip {
  const char* name;
  const char* type;
  Value written;
  DWORD storedType;
  std::vector<BYTE> storedBytes;
  Value read;
};

class SettingsRoundTrip : public SettingsStore, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(SettingsRoundTrip, WritesTheRegistryFormAndReadsItBack) {
  const auto& param = GetParam();
  EXPECT_EQ(WriteSetting(registry_, "hkcu", key_.Path(), "v", param.type, param.written), 0);
  auto stored = Stored("v");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->first, param.storedType);
  EXPECT_EQ(stored->second, param.storedBytes);
  Value value;
  EXPECT_EQ(ReadSetting(registry_, "HKCU", key_.Path(), "v", param.type, Value{std::string("default")}, value), 0);
  EXPECT_EQ(value, param.read);
}

INSTANTIATE_TEST_SUITE_P(
    Types, SettingsRoundTrip,
    ::testing::Values(
        RoundTrip{"Text", "S", Value{std::string("abc")}, REG_SZ, {'a', 'b', 'c', 0}, Value{std::string("abc")}},
        RoundTrip{"TextLowerCaseLetter",
                  "s",
                  Value{std::string("x y")},
                  REG_SZ,
                  {'x', ' ', 'y', 0},
                  Value{std::string("x y")}},
        RoundTrip{"Number", "D", Value{std::int32_t{1}}, REG_DWORD, {1, 0, 0, 0}, Value{std::int32_t{1}}},
        RoundTrip{"NumberFromLeadingDigits",
                  "D",
                  Value{std::string("12abc")},
                  REG_DWORD,
                  {12, 0, 0, 0},
                  Value{std::int32_t{12}}},
        RoundTrip{"NumberFromLetters", "D", Value{std::string("abc")}, REG_DWORD, {0, 0, 0, 0}, Value{std::int32_t{0}}},
        RoundTrip{"NegativeNumber",
                  "D",
                  Value{std::int32_t{-2}},
                  REG_DWORD,
                  {0xFE, 0xFF, 0xFF, 0xFF},
                  Value{std::int32_t{-2}}},
        RoundTrip{"True", "B", Value{true}, REG_BINARY, {0xFF, 0xFF}, Value{true}},
        RoundTrip{"False", "b", Value{false}, REG_BINARY, {0, 0}, Value{false}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(SettingsStore, MissingValueAnswersItsCodeAndKeepsTheDefault) {
  Value value;
  EXPECT_EQ(ReadSetting(registry_, "HKCU", key_.Path(), "TOUA", "D", Value{std::int32_t{0}}, value),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, Value{std::int32_t{0}});
  WriteSetting(registry_, "HKCU", key_.Path(), "other", "D", Value{std::int32_t{5}});
  EXPECT_EQ(ReadSetting(registry_, "HKCU", key_.Path(), "opt_send", "D", Value{std::int32_t{1}}, value),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, Value{std::int32_t{1}});
}

TEST_F(SettingsStore, EmptyTextValueReadsAsFailureWithStatusZero) {
  Store("empty", REG_SZ, "", 0);
  Value value;
  EXPECT_EQ(ReadSetting(registry_, "HKCU", key_.Path(), "empty", "S", Value{std::string("kept")}, value), 0);
  EXPECT_EQ(value, Value{std::string("kept")});
}

TEST_F(SettingsStore, UnknownTypeLetterCreatesTheKeyAndStoresNothing) {
  EXPECT_EQ(WriteSetting(registry_, "HKCU", key_.Path(), "v", "Q", Value{std::int32_t{3}}), 0);
  EXPECT_FALSE(Stored("v"));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key_.Path().c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(SettingsStore, UnrecognisedLocationAnswers99AndTouchesNothing) {
  Value value;
  std::string nowhere = dir_.File("nowhere.ini");
  EXPECT_EQ(ReadSetting(registry_, nowhere, "S", "v", "S", Value{std::string("d")}, value), 99);
  EXPECT_EQ(value, Value{std::string("d")});
  EXPECT_EQ(WriteSetting(registry_, nowhere, "S", "v", "S", Value{std::string("x")}), 99);
  EXPECT_EQ(GetFileAttributesA(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsStore, IniFileKeepsTextOnly) {
  dir_.Write("store.ini", "[Section]\r\nCount=12\r\n");
  std::string file = dir_.File("store.ini");
  EXPECT_EQ(WriteSetting(registry_, file, "Section", "Name", "S", Value{std::string("Ann")}), 0);
  EXPECT_EQ(WriteSetting(registry_, file, "Section", "Count", "D", Value{std::int32_t{3}}), 99);
  Value value;
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Name", "S", Value{std::string("d")}, value), 0);
  EXPECT_EQ(value, Value{std::string("Ann")});
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Missing", "S", Value{std::int32_t{76}}, value), 0);
  EXPECT_EQ(value, Value{std::string("76")});
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Count", "D", Value{std::int32_t{1}}, value), 0);
  EXPECT_EQ(value, Value{std::int32_t{12}});
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Name", "D", Value{std::int32_t{1}}, value), 0);
  EXPECT_EQ(value, Value{std::int32_t{0}});
}

TEST_F(SettingsStore, LongIniTextComesBackCutAt254) {
  std::string file = dir_.File("long.ini");
  dir_.Write("long.ini", "[S]\r\nv=" + std::string(300, 'x') + "\r\n");
  Value value;
  EXPECT_EQ(ReadSetting(registry_, file, "S", "v", "S", Value{std::string("d")}, value), 0);
  EXPECT_EQ(value, Value{std::string(254, 'x')});
}

// Text settings hold any language; those that the ANSI build wrote read the
// same as before: the registry kept them in UTF-16 as it keeps every text,
// and an INI file keeps the code page's bytes it was written in.
TEST_F(SettingsStore, TextInAnyLanguageRoundTripsThroughTheRegistry) {
  const std::string text = "Grüße Ωμέγα Здравствуйте 日本語 😀 €";
  ASSERT_EQ(WriteSetting(registry_, "HKCU", key_.Path(), "currentUserName", "S", Value{text}), 0);
  Value value;
  EXPECT_EQ(ReadSetting(registry_, "HKCU", key_.Path(), "currentUserName", "S", Value{std::string("d")}, value), 0);
  EXPECT_EQ(value, Value{text});
  // Stored as the registry's own UTF-16 text, which any program reads.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(key_.Path().begin(), key_.Path().end()).c_str(), 0,
                          KEY_QUERY_VALUE, &key),
            ERROR_SUCCESS);
  wchar_t stored[64] = {};
  DWORD size = sizeof stored, type = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"currentUserName", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(stored),
            L"Gr\u00FC\u00DFe \u03A9\u03BC\u03AD\u03B3\u03B1 "
            L"\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439\u0442\u0435 "
            L"\u65E5\u672C\u8A9E \xD83D\xDE00 \u20AC");
}

TEST_F(SettingsStore, WhatTheAnsiBuildWroteReadsTheSame) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP();
  const std::string ansi =
      "Gr\xFC\xDF"
      "e \x80";  // "Grüße €" in Windows-1252
  Store("currentUserName", REG_SZ, (ansi + '\0').c_str(), static_cast<DWORD>(ansi.size() + 1));
  Value value;
  EXPECT_EQ(ReadSetting(registry_, "HKCU", key_.Path(), "currentUserName", "S", Value{std::string("d")}, value), 0);
  EXPECT_EQ(value, Value{std::string("Grüße €")});

  dir_.Write("old.ini", "[Section]\r\nName=" + ansi + "\r\n");
  const std::string file = dir_.File("old.ini");
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Name", "S", Value{std::string("d")}, value), 0);
  EXPECT_EQ(value, Value{std::string("Grüße €")});
  // Written back, the file keeps its code page's bytes.
  EXPECT_EQ(WriteSetting(registry_, file, "Section", "Other", "S", Value{std::string("Ørsted")}), 0);
  EXPECT_NE(dir_.Read("old.ini").find("Name=" + ansi + "\r\nOther=\xD8rsted"), std::string::npos)
      << dir_.Read("old.ini");
}

TEST_F(SettingsStore, AUnicodeIniFileKeepsEveryCharacter) {
  const std::u16string content = u"[Section]\r\nCount=12\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : content) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  dir_.Write("wide.ini", bytes);
  const std::string file = dir_.File("wide.ini");
  const std::string text = "日本語 Ωμέγα 😀";
  EXPECT_EQ(WriteSetting(registry_, file, "Section", "Name", "S", Value{text}), 0);
  Value value;
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Name", "S", Value{std::string("d")}, value), 0);
  EXPECT_EQ(value, Value{text});
  EXPECT_EQ(ReadSetting(registry_, file, "Section", "Count", "D", Value{std::int32_t{1}}, value), 0);
  EXPECT_EQ(value, Value{std::int32_t{12}});
}

}  // namespace
}  // namespace corvanta_test
