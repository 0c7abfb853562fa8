// What a recipient's certified-mail link shows: sender-written HTML only in
// a frame that can run no script, plain text escaped.
#include "service/pages/certified_view.h"

#include "pages_world.h"

namespace pages_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

store::Certified Found(std::string content, bool isHtml) {
  store::Certified certified;
  certified.state = store::CertifiedState::kFound;
  certified.info.sender = "ann@example.com";
  certified.info.recipient = "bob@example.net";
  certified.info.subject = "Contract <b>now</b>";
  certified.fromName = "Ann \"<Boss>\"";
  certified.content = std::move(content);
  certified.isHtml = isHtml;
  return certified;
}

TEST(CertifiedView, HtmlIsShownInAFrameWithoutScriptsOrOriginUnderASandboxPolicy) {
  const auto reply = pages::RenderCertified(
      Found("<p onclick=\"x()\">Sign &amp; return</p><script>alert(document.cookie)</script>", true));
  EXPECT_EQ(reply.status, 200);
  EXPECT_THAT(HeaderOf(reply, "Content-Security-Policy"), StartsWith("sandbox allow-popups "));
  EXPECT_THAT(HeaderOf(reply, "Content-Security-Policy"), Not(HasSubstr("allow-scripts")));
  EXPECT_THAT(HeaderOf(reply, "Content-Security-Policy"), Not(HasSubstr("allow-same-origin")));
  EXPECT_THAT(HeaderOf(reply, "Content-Security-Policy"), HasSubstr("default-src 'none'"));
  EXPECT_THAT(reply.body, HasSubstr("<iframe class=\"message\" title=\"The message\" "
                                    "sandbox=\"allow-popups allow-popups-to-escape-sandbox\""));
  // The message is the frame's document, as one attribute value: nothing of it
  // is markup of the page itself.
  EXPECT_THAT(reply.body, HasSubstr("srcdoc=\"&lt;p onclick=&quot;x()&quot;&gt;Sign &amp;amp; return&lt;/p&gt;"
                                    "&lt;script&gt;alert(document.cookie)&lt;/script&gt;\""));
  EXPECT_THAT(reply.body, Not(HasSubstr("<script>alert")));
  EXPECT_THAT(reply.body, HasSubstr("&quot;Ann &quot;&lt;Boss&gt;&quot;&quot; &lt;ann@example.com&gt;"));
  EXPECT_THAT(reply.body, HasSubstr("<h1>Contract &lt;b&gt;now&lt;/b&gt;</h1>"));
}

TEST(CertifiedView, PlainTextIsEscapedInPlace) {
  const auto reply = pages::RenderCertified(Found("a < b & c\n<script>x</script>", false));
  EXPECT_EQ(reply.status, 200);
  EXPECT_THAT(reply.body, HasSubstr("<pre class=\"message\">a &lt; b &amp; c\n&lt;script&gt;x&lt;/script&gt;</pre>"));
  EXPECT_THAT(reply.body, Not(HasSubstr("<iframe")));
}

TEST(CertifiedView, UnknownCancelledAndExpiredAreSaidSo) {
  struct Case {
    store::CertifiedState state;
    int status;
    const char* says;
  };
  for (const Case& c : {Case{store::CertifiedState::kUnknown, 404, "There is no message at this address"},
                        Case{store::CertifiedState::kNotCertified, 404, "There is no message at this address"},
                        Case{store::CertifiedState::kCancelled, 410, "has cancelled the delivery"},
                        Case{store::CertifiedState::kExpired, 410, "kept for 30 days"}}) {
    store::Certified certified = Found("secret content", false);
    certified.state = c.state;
    const auto reply = pages::RenderCertified(certified);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_THAT(reply.body, HasSubstr(c.says));
    EXPECT_THAT(reply.body, Not(HasSubstr("secret content")));
  }
}

TEST(CertifiedView, CancelResultNamesTheDelivery) {
  store::StampInfo info;
  info.recipient = "bob@example.net";
  info.subject = "<Contract>";
  auto reply = pages::RenderCancelResult(store::CertifiedState::kFound, info);
  EXPECT_EQ(reply.status, 200);
  EXPECT_THAT(reply.body, HasSubstr("The delivery to bob@example.net has been cancelled."));
  EXPECT_THAT(reply.body, HasSubstr("&lt;Contract&gt;"));
  reply = pages::RenderCancelResult(store::CertifiedState::kCancelled, info);
  EXPECT_EQ(reply.status, 410);
  EXPECT_THAT(reply.body, HasSubstr("The delivery to bob@example.net was already cancelled."));
  EXPECT_EQ(pages::RenderCancelResult(store::CertifiedState::kUnknown, std::nullopt).status, 404);
}

}  // namespace
}  // namespace pages_test
