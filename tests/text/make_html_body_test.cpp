// A plain-text message given an HTML body: the line length from Outlook's
// settings, the wrap, the escaped preformatted block and the insert.
#include <gtest/gtest.h>

#include "addin/connect.h"
#include "support/sim_fixture.h"

namespace corvanta {
namespace {

using host::sim::RegValue;

const std::string kMailOptions = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";
const std::string kLineWrap = "Message Plain Character Line Wrap";
const std::string kHead =
    "<HTML><HEAD><META content=\"text/html\" http-equiv=Content-Type><META content=\"MSHTML5.00.2614.3401\" "
    "name=GENERATOR></HEAD><BODY><PRE>";
const std::string kTail = "</PRE></BODY></HTML>";

// Counts the keys opened, to see whether the setting was read at all.
class CountingRegistry : public host::sim::SimRegistry {
 public:
  std::int32_t OpenKey(host::Key root, const std::string& subKey, host::Key& result) override {
    ++opened;
    return SimRegistry::OpenKey(root, subKey, result);
  }
  int opened = 0;
};

class MakeHtmlBodyTest : public ::testing::Test {
 protected:
  MakeHtmlBodyTest() { addin.regPath = kMailOptions; }
  void SetLineWrap(std::uint32_t length) {
    registry.Put(host::HKEY_CURRENT_USER, kMailOptions, kLineWrap, RegValue::Dword(length));
  }

  testsupport::SimWorld world;
  CountingRegistry registry;
  host::Platform platform{registry,    world.windowing, world.redemption, world.internet,
                          world.clock, world.random,    world.urlHandler, world.codePage};
  Connect addin{platform};
};

TEST_F(MakeHtmlBodyTest, LineLengthComesFromOutlooksSettingWithAFloorOfFive) {
  const std::string words = "aaa bbb ccc ddd eee";
  struct Case {
    std::optional<std::uint32_t> setting;
    std::string wrapped;
  };
  const Case cases[] = {
      {std::nullopt, words},  // 76
      {0, "aaa\r\nbbb\r\nccc\r\nddd\r\neee"},
      {1, "aaa\r\nbbb\r\nccc\r\nddd\r\neee"},
      {4, "aaa\r\nbbb\r\nccc\r\nddd\r\neee"},
      {5, "aaa\r\nbbb\r\nccc\r\nddd\r\neee"},
      {7, "aaa bbb\r\nccc ddd\r\neee"},
      {0xFFFFFFFFu, "aaa\r\nbbb\r\nccc\r\nddd\r\neee"},  // -1
  };
  for (const auto& c : cases) {
    CountingRegistry fresh;
    if (c.setting) fresh.Put(host::HKEY_CURRENT_USER, kMailOptions, kLineWrap, RegValue::Dword(*c.setting));
    host::Platform freshPlatform{fresh,       world.windowing, world.redemption, world.internet,
                                 world.clock, world.random,    world.urlHandler, world.codePage};
    Connect connect(freshPlatform);
    connect.regPath = kMailOptions;
    std::string plain = words, html;
    EXPECT_EQ(connect.MakeHtmlBody(plain, html, "", true), kHead + c.wrapped + kTail);
    EXPECT_EQ(plain, c.wrapped) << "the caller's plain body is the wrapped text";
    EXPECT_EQ(fresh.opened, 1);
    EXPECT_EQ(fresh.OpenHandles(), 0u);
  }
}

TEST_F(MakeHtmlBodyTest, LongSettingKeepsLongLines) {
  SetLineWrap(200);
  const std::string line(200, 'x');
  std::string plain = line + " " + line, html;
  addin.MakeHtmlBody(plain, html, "", true);
  EXPECT_EQ(plain, line + "\r\n" + line);
}

TEST_F(MakeHtmlBodyTest, TheInsertGoesBeforeOrAfter) {
  std::string plain = "Hello", html;
  EXPECT_EQ(addin.MakeHtmlBody(plain, html, "<IMG src=x>", true), kHead + "Hello" + kTail + "<IMG src=x>");
  EXPECT_EQ(html, kHead + "Hello" + kTail + "<IMG src=x>");

  std::string plain2 = "Hello", html2;
  EXPECT_EQ(addin.MakeHtmlBody(plain2, html2, "<P>notice</P>", false), "<P>notice</P>" + kHead + "Hello" + kTail);

  std::string empty, html3;
  EXPECT_EQ(addin.MakeHtmlBody(empty, html3, "<B>&</B>", true), kHead + kTail + "<B>&</B>")
      << "an empty text gives the bare document; the insert is not escaped";
}

TEST_F(MakeHtmlBodyTest, AnExistingHtmlBodyLeavesThePlainBodyAndTheSettingAlone) {
  SetLineWrap(5);
  std::string plain = "a plain body that is long", html = "<HTML><BODY>mine</BODY></HTML>";
  EXPECT_EQ(addin.MakeHtmlBody(plain, html, "<P>x</P>", false), "<P>x</P><HTML><BODY>mine</BODY></HTML>");
  EXPECT_EQ(addin.MakeHtmlBody(plain, html, "<I>y</I>", true), "<P>x</P><HTML><BODY>mine</BODY></HTML><I>y</I>");
  EXPECT_EQ(plain, "a plain body that is long");
  EXPECT_EQ(registry.opened, 0) << "the setting is not read";
}

TEST_F(MakeHtmlBodyTest, PlainTextIsEscapedInsideThePreformattedBlock) {
  SetLineWrap(12);
  // Wrapped by its plain characters: "&lt;" counts as the one character it stands for.
  std::string plain = "if a < b && c > d <tag>\r\nline two", html;
  addin.MakeHtmlBody(plain, html, "<A href=\"x?a=1&b=2\">", true);
  EXPECT_EQ(plain, "if a < b &&\r\nc > d <tag>\r\nline two");
  EXPECT_EQ(html,
            kHead + "if a &lt; b &amp;&amp;\r\nc &gt; d &lt;tag&gt;\r\nline two" + kTail + "<A href=\"x?a=1&b=2\">");
}

}  // namespace
}  // namespace corvanta
