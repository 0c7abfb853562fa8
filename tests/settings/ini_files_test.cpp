// INI files on disk: the stand-in's profile functions and the settings store
// in INI mode, against real files in a temporary folder.
#include "host/sim/ini_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/sim/registry.h"
#include "settings/mod_registry.h"

namespace {

namespace fs = std::filesystem;
namespace ini = host::sim::ini;
using corvanta::modRegistry::ReadSetting;
using corvanta::modRegistry::ResolveLocation;
using corvanta::modRegistry::Value;
using corvanta::modRegistry::WriteSetting;

class IniFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvanta-ini-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Make(const std::string& name, const std::string& text) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir;
};

TEST_F(IniFilesTest, FindsOnlyPlainFiles) {
  Make("settings.ini", "");
  Make(".hidden.ini", "");
  Make("b[1].cfg", "");
  fs::create_directory(dir / "folder.ini");
  const std::pair<std::string, std::string> cases[] = {
      {"settings.ini", "settings.ini"},
      {"*.ini", "settings.ini"},  // the folder and the hidden file do not count
      {"set?ings.ini", "settings.ini"},
      {"b[1].cfg", "b[1].cfg"},  // brackets are literal
      {"*.cfg", "b[1].cfg"},
      {".hidden.ini", ""},
      {"folder.ini", ""},
      {"folder.ini/", ""},
      {"none.ini", ""},
      {"*.txt", ""},
      {"*/settings.ini", ""},  // wildcards only in the last part
  };
  for (const auto& [name, found] : cases) {
    EXPECT_EQ(ini::FindPlainFile((dir / name).string()), found) << name;
  }
  EXPECT_EQ(ini::FindPlainFile(""), "");
  EXPECT_EQ(ini::FindPlainFile((dir / "missing-folder" / "*.ini").string()), "");
}

TEST_F(IniFilesTest, ReadsEntriesAsWindowsDoes) {
  const std::string file = Make("a.ini",
                                "top=ignored\r\n"
                                "[Mail]\r\n"
                                "; a comment=1\r\n"
                                "  Wrap = 80  \r\n"
                                "Quoted=\"  spaced  \"\r\n"
                                "Empty=\r\n"
                                "Hex=0x1F\r\n"
                                "Neg=-5\r\n"
                                "Lead=12abc\r\n"
                                "Word=abc\r\n"
                                "[ other ]\r\n"
                                "Wrap=99\r\n");
  struct Case {
    const char* section;
    const char* entry;
    std::string text;
    std::uint32_t number;
  };
  const Case cases[] = {
      {"Mail", "Wrap", "80", 80},
      {"MAIL", "wrap", "80", 80},
      {"other", "WRAP", "99", 99},
      {"Mail", "Quoted", "  spaced  ", 7},
      {"Mail", "Empty", "", 7},
      {"Mail", "Hex", "0x1F", 31},
      {"Mail", "Neg", "-5", static_cast<std::uint32_t>(-5)},
      {"Mail", "Lead", "12abc", 12},
      {"Mail", "Word", "abc", 7},
      {"Mail", "; a comment", "dflt", 7},
      {"Mail", "Missing", "dflt", 7},
      {"", "top", "dflt", 7},
      {"Nowhere", "Wrap", "dflt", 7},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini::GetString(c.section, c.entry, "dflt", 255, file), c.text) << c.section << "/" << c.entry;
    EXPECT_EQ(ini::GetInt(c.section, c.entry, 7, file), c.number) << c.section << "/" << c.entry;
  }
  EXPECT_EQ(ini::GetString("Mail", "Missing", "dflt  ", 255, file), "dflt") << "trailing blanks of the default";
  EXPECT_EQ(ini::GetString("Mail", "Wrap", "x", 2, file), "8");
  EXPECT_EQ(ini::GetString("Mail", "Wrap", "x", 1, file), "");
  EXPECT_EQ(ini::GetString("Mail", "Wrap", "x", 255, (dir / "none.ini").string()), "x");
  EXPECT_EQ(ini::GetInt("Mail", "Wrap", -1, (dir / "none.ini").string()), static_cast<std::uint32_t>(-1));
}

TEST_F(IniFilesTest, WritesCreateReplaceAndKeepTheRest) {
  const std::string file = (dir / "new.ini").string();
  ASSERT_TRUE(ini::WriteString("Mail", "Wrap", "80", file));
  EXPECT_EQ(Contents(file), "[Mail]\r\nWrap=80\r\n");

  ASSERT_TRUE(ini::WriteString("mail", "Other", "x", file));
  ASSERT_TRUE(ini::WriteString("Second", "A", "1", file));
  ASSERT_TRUE(ini::WriteString("MAIL", "wrap", "72", file));
  EXPECT_EQ(Contents(file), "[Mail]\r\nwrap=72\r\nOther=x\r\n[Second]\r\nA=1\r\n");
  EXPECT_EQ(ini::GetString("Mail", "Wrap", "", 255, file), "72");

  const std::string unix = Make("unix.ini", "; kept\n[S]\nA=1\n\n[T]\nB=2\n");
  ASSERT_TRUE(ini::WriteString("S", "C", "3", unix));
  EXPECT_EQ(Contents(unix), "; kept\n[S]\nA=1\nC=3\n\n[T]\nB=2\n");

  EXPECT_FALSE(ini::WriteString("S", "A", "1", (dir / "no-such-folder" / "x.ini").string()));
  for (const auto& entry : fs::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << "left behind: " << entry.path();
  }
}

TEST_F(IniFilesTest, SettingsStoreInIniMode) {
  const std::string file = Make("corvanta.ini", "[Mail]\r\nWrap=80\r\nName=Ann\r\nText=abc\r\n");
  host::sim::SimRegistry platform;
  EXPECT_EQ(ResolveLocation(platform, file), corvanta::modRegistry::kIniMode);
  EXPECT_EQ(ResolveLocation(platform, (dir / "*.ini").string()), corvanta::modRegistry::kIniMode);

  struct Case {
    const char* entry;
    const char* type;
    Value defaultValue;
    Value expected;
  };
  const Case cases[] = {
      {"Name", "S", std::string("d"), std::string("Ann")},
      {"Missing", "s", std::int32_t{76}, std::string("76")},
      {"Missing", "S", true, std::string("True")},
      {"Wrap", "D", std::int32_t{76}, std::int32_t{80}},
      {"Missing", "D", std::int32_t{76}, std::int32_t{0}},
      {"Text", "D", std::int32_t{76}, std::int32_t{0}},
      {"Wrap", "B", false, std::int32_t{80}},
  };
  for (const auto& c : cases) {
    Value value;
    EXPECT_EQ(ReadSetting(platform, file, "Mail", c.entry, c.type, c.defaultValue, value), 0) << c.entry;
    EXPECT_EQ(value, c.expected) << c.entry << " " << c.type;
  }

  const std::string before = Contents(file);
  EXPECT_EQ(WriteSetting(platform, file, "Mail", "Wrap", "D", std::int32_t{5}), 99);
  EXPECT_EQ(WriteSetting(platform, file, "Mail", "Wrap", "B", true), 99);
  EXPECT_EQ(Contents(file), before);

  EXPECT_EQ(WriteSetting(platform, file, "Mail", "Count", "S", std::int32_t{12}), 0);
  Value value;
  EXPECT_EQ(ReadSetting(platform, file, "Mail", "Count", "S", std::string(), value), 0);
  EXPECT_EQ(value, Value(std::string("12")));
  EXPECT_EQ(platform.OpenHandles(), 0u);
}

TEST_F(IniFilesTest, LongTextComesBackCutTo254) {
  const std::string file = Make("long.ini", "[S]\r\nLong=" + std::string(300, 'x') + "\r\n");
  host::sim::SimRegistry platform;
  Value value;
  EXPECT_EQ(ReadSetting(platform, file, "S", "Long", "S", std::string(), value), 0);
  EXPECT_EQ(value, Value(std::string(254, 'x')));
}

TEST_F(IniFilesTest, NeitherHiveNorFileIsUnrecognised) {
  host::sim::SimRegistry platform;
  const std::string missing = (dir / "missing.ini").string();
  Value value = std::int32_t{1};
  EXPECT_EQ(ReadSetting(platform, missing, "S", "v", "S", std::string("d"), value), 99);
  EXPECT_EQ(value, Value(std::string("d")));
  EXPECT_EQ(WriteSetting(platform, missing, "S", "v", "S", std::string("x")), 99);
  EXPECT_FALSE(fs::exists(missing)) << "an unknown location must not be created";
  EXPECT_EQ(ResolveLocation(platform, dir.string()), 0u) << "a folder is not an INI file";
}

}  // namespace
