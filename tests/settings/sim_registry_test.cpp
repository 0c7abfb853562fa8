// The stand-in registry: the Win32 answers the settings store relies on, and
// the .reg text format that keeps settings between runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/error.h"
#include "host/sim/registry.h"

namespace host::sim {
namespace {

namespace fs = std::filesystem;

const std::string kKey = "Software\\Corvanta\\Test";

TEST(SimRegistryTest, AnswersQueriesAsWin32Does) {
  SimRegistry registry;
  registry.Put(HKEY_CURRENT_USER, kKey, "text", RegValue::String("abc"));
  Key key = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_CURRENT_USER, kKey, key), 0);

  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(registry.QueryValue(key, "text", type, nullptr, size), ERROR_MORE_DATA) << "null buffer, size 0";
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_SZ);

  std::uint8_t small[3] = {9, 9, 9};
  size = 3;
  EXPECT_EQ(registry.QueryValue(key, "text", type, small, size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(small[0], 9) << "a too small buffer is left alone";

  std::uint8_t exact[8] = {};
  size = 8;
  EXPECT_EQ(registry.QueryValue(key, "TEXT", type, exact, size), 0) << "value names ignore case";
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(reinterpret_cast<const char*>(exact), "abc");

  EXPECT_EQ(registry.QueryValue(key, "missing", type, exact, size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry.QueryValue(0x12345, "text", type, exact, size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry.CloseKey(key), 0);
  EXPECT_EQ(registry.CloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
  EXPECT_EQ(registry.QueryValue(key, "text", type, exact, size), ERROR_INVALID_HANDLE) << "used after close";
}

TEST(SimRegistryTest, KeysOpenWithoutRegardToCaseAndAreCreatedOnWrite) {
  SimRegistry registry;
  Key key = 0;
  EXPECT_EQ(registry.OpenKey(HKEY_CURRENT_USER, kKey, key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(registry.CreateKey(HKEY_CURRENT_USER, kKey, key), 0);
  EXPECT_TRUE(registry.HasKey(HKEY_CURRENT_USER, "Software"));
  EXPECT_TRUE(registry.HasKey(HKEY_CURRENT_USER, "software\\CORVANTA"));
  EXPECT_FALSE(registry.HasKey(HKEY_LOCAL_MACHINE, "Software"));

  const std::uint8_t data[] = {1, 2, 3, 4};
  EXPECT_EQ(registry.SetValue(key, "n", REG_DWORD, data, 4), 0);
  EXPECT_EQ(registry.CloseKey(key), 0);
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, "SOFTWARE\\corvanta\\test", "N"), RegValue::Dword(0x04030201));

  Key sub = 0, below = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_CURRENT_USER, "Software", sub), 0);
  EXPECT_EQ(registry.CreateKey(sub, "Corvanta\\Test\\Deeper", below), 0) << "relative to an opened key";
  EXPECT_TRUE(registry.HasKey(HKEY_CURRENT_USER, kKey + "\\Deeper"));
  EXPECT_EQ(registry.OpenHandles(), 2u);
  registry.CloseKey(sub);
  registry.CloseKey(below);
  EXPECT_EQ(registry.OpenHandles(), 0u);

  EXPECT_NE(registry.CreateKey(HKEY_CURRENT_USER, "\\Leading", key), 0);
  EXPECT_EQ(registry.OpenKey(0x42, "x", key), ERROR_INVALID_HANDLE);
}

class RegFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvanta-reg-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(RegFileTest, EveryKindOfValueSurvivesASaveAndALoad) {
  SimRegistry registry;
  const std::pair<std::string, RegValue> values[] = {
      {"plain", RegValue::String("a@b.example")},
      {"escapes", RegValue::String("C:\\dir\\\"quoted\" = [x]")},
      {"", RegValue::String("default value")},
      {"empty", RegValue::String("")},
      {"Name \"with\" quotes", RegValue::Dword(1)},
      {"number", RegValue::Dword(0xDEADBEEF)},
      {"flag", RegValue::Binary({0xFF, 0xFF})},
      {"no bytes", RegValue::Binary({})},
      {"long", RegValue::Binary(std::vector<std::uint8_t>(100, 0xAB))},
      {"text without NUL", RegValue{REG_SZ, {'a', 'b'}}},
      {"two lines", RegValue::String("one\r\ntwo")},
      {"short dword", RegValue{REG_DWORD, {1, 2}}},
      {"other type", RegValue{7, {'a', 0, 0}}},
      {"high bytes", RegValue::String("caf\xE9")},
  };
  for (const auto& [name, value] : values) registry.Put(HKEY_CURRENT_USER, kKey, name, value);
  registry.Put(HKEY_LOCAL_MACHINE, "", "at the hive", RegValue::Dword(2));
  Key key = 0;
  registry.CreateKey(HKEY_CURRENT_USER, "Software\\Empty Key", key);
  registry.CloseKey(key);

  const std::string path = (dir / "registry.reg").string();
  registry.SaveRegFile(path);
  for (const auto& entry : fs::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().filename(), "registry.reg") << "only the file itself is left";
  }

  SimRegistry loaded;
  loaded.LoadRegFile(path);
  for (const auto& [name, value] : values) {
    EXPECT_EQ(loaded.Get(HKEY_CURRENT_USER, kKey, name), value) << name;
  }
  EXPECT_EQ(loaded.Get(HKEY_LOCAL_MACHINE, "", "at the hive"), RegValue::Dword(2));
  EXPECT_TRUE(loaded.HasKey(HKEY_CURRENT_USER, "Software\\Empty Key"));
  EXPECT_EQ(loaded.RegText(), registry.RegText());
}

TEST_F(RegFileTest, WritesTheFormatRegeditReads) {
  SimRegistry registry;
  registry.Put(HKEY_CURRENT_USER, "Software\\A", "Message Plain Character Line Wrap", RegValue::Dword(76));
  registry.Put(HKEY_CURRENT_USER, "Software\\A", "", RegValue::String("x\\y"));
  registry.Put(HKEY_CURRENT_USER, "Software\\A", "flag", RegValue::Binary({0xFF, 0xFF}));
  EXPECT_EQ(registry.RegText(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\A]\r\n"
            "@=\"x\\\\y\"\r\n"
            "\"flag\"=hex:ff,ff\r\n"
            "\"Message Plain Character Line Wrap\"=dword:0000004c\r\n\r\n");
}

TEST_F(RegFileTest, ReadsWhatRegeditWrites) {
  SimRegistry registry;
  registry.LoadRegText(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "\n"
      "; exported\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail]\n"
      "\"EditorPreference\"=dword:00020001\n"
      "\"Path\" = \"C:\\\\Program Files\"\n"
      "\"Blob\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Expand\"=hex(2):25,00\n"
      "\"Gone\"=\"soon\"\n"
      "\"Gone\"=-\n"
      "[hkey_local_machine\\Software]\n"
      "@=\"root\"\n");
  const std::string mail = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, mail, "EditorPreference"), RegValue::Dword(0x20001));
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, mail, "Path"), RegValue::String("C:\\Program Files"));
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, mail, "Blob"), RegValue::Binary({1, 2, 3, 4}));
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, mail, "Expand"), (RegValue{2, {0x25, 0}}));
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, mail, "Gone"), std::nullopt);
  EXPECT_EQ(registry.Get(HKEY_LOCAL_MACHINE, "Software", ""), RegValue::String("root"));
}

TEST_F(RegFileTest, MalformedTextNamesItsLineAndChangesNothing) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string key = "[HKEY_CURRENT_USER\\K]\n";
  struct Case {
    std::string text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"REGEDIT5\n", 1, "Windows Registry Editor Version 5.00"},
      {header + "\"v\"=dword:1\n", 2, "before any [key]"},
      {header + key + "\"v\"=dword:xyz\n", 3, "hexadecimal"},
      {header + key + "\"v\"=dword:123456789\n", 3, "1 to 8"},
      {header + key + "\"v\"=\"open\n", 3, "not closed"},
      {header + key + "\"v\"=\"a\\nb\"\n", 3, "backslash"},
      {header + key + "\"v\"=hex:ff,z\n", 3, "two hexadecimal digits"},
      {header + key + "\"v\"=qword:1\n", 3, "dword:"},
      {header + key + "v=\"x\"\n", 3, "quoted name"},
      {header + key + "\"v\"\n", 3, "="},
      {header + "\n[HKEY_NOWHERE\\K]\n", 3, "unknown hive"},
      {header + "[-HKEY_CURRENT_USER\\K]\n", 2, "deleting keys"},
      {header + "[HKEY_CURRENT_USER\\K\n", 2, "]"},
  };
  for (const auto& c : cases) {
    SimRegistry registry;
    registry.Put(HKEY_CURRENT_USER, "K", "v", RegValue::Dword(5));
    const std::string before = registry.RegText();
    try {
      registry.LoadRegText(header + key + "\"w\"=dword:1\n", "ok.reg");  // a good text first
      registry.LoadRegText(c.text, "bad.reg");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const host::Error& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("bad.reg:" + std::to_string(c.line) + ": "), std::string::npos) << message;
      EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
    EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, "K", "v"), RegValue::Dword(5)) << c.text;
    EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, "K", "w"), RegValue::Dword(1)) << c.text;
  }
}

TEST_F(RegFileTest, MissingFileIsAnEmptyRegistryAndLoadingMerges) {
  SimRegistry registry;
  registry.Put(HKEY_CURRENT_USER, "K", "kept", RegValue::Dword(1));
  registry.LoadRegFile((dir / "none.reg").string());
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, "K", "kept"), RegValue::Dword(1));

  const std::string path = (dir / "some.reg").string();
  std::ofstream(path) << "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"added\"=\"x\"\n";
  registry.LoadRegFile(path);
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, "K", "kept"), RegValue::Dword(1));
  EXPECT_EQ(registry.Get(HKEY_CURRENT_USER, "K", "added"), RegValue::String("x"));
  registry.LoadRegFile((dir / "blank.reg").string());
}

TEST_F(RegFileTest, SavingIntoAMissingFolderFailsClearly) {
  SimRegistry registry;
  EXPECT_THROW(registry.SaveRegFile((dir / "no-folder" / "r.reg").string()), host::Error);
}

}  // namespace
}  // namespace host::sim
