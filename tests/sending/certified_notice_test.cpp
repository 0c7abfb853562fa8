// The certified notification and the cancel notices of the kept copies.
#include "sending/certified_notice.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace corvanta::sending {
namespace {

const std::string kHost = "127.0.0.1:4321";

TEST(CertifiedLinks, ReadLinkIsTheStampAloneAndCancelAddsCmdDel) {
  EXPECT_EQ(ReadLink(kHost, "St4mp"), "http://127.0.0.1:4321/p/b01/tovik.php?St4mp");
  EXPECT_EQ(CancelLink(kHost, "St4mp"), "http://127.0.0.1:4321/p/b01/tovik.php?St4mp&cmd=del");
}

TEST(NotificationBody, IsTheTwentyEightPiecesInOrder) {
  const std::vector<std::string> pieces = {
      "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td width=\"100%\" bgcolor=\"#000000\">",
      "<table border=\"0\" cellspacing=\"1\"><tr><td width=\"100%\" bgcolor=\"#585E96\">",
      "<table border=\"0\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\"><tr>",
      "<td width=\"50%\"><font face=\"Arial\" size=\"2\" color=\"#FFFFFF\">Certified mail",
      "</font></td><td width=\"50%\" align=\"right\">",
      "<a href=\"",
      "http://127.0.0.1:4321/",
      "\" target=\"_blank\">",
      "<font face=\"Arial\" size=\"2\" color=\"#FFFFFF\">Mailwarden</font></a>",
      "</td></tr></table></td></tr><tr><td width=\"100%\" bgcolor=\"#FFFFFF\">",
      "<table border=\"0\" width=\"100%\" cellspacing=\"1\"><tr><td width=\"100%\">",
      "<font face=\"Arial\" size=\"2\">\"",
      "Ann Sender",
      "\" &lt;",
      "ann@example.org",
      "&gt; sent you an Email.<br>",
      "<br>To read the Email, please click on the following link:</font>",
      "<table border=\"0\" bgcolor=\"#000000\" cellspacing=\"0\" cellpadding=\"0\">",
      "<tr><td width=\"100%\"><table border=\"0\" cellspacing=\"1\"><tr><td width=\"100%\" bgcolor=\"#F5F5FF\">",
      "<a href=\"",
      "http://127.0.0.1:4321/p/b01/tovik.php",
      "?",
      "St4mp",
      "\" target=\"_blank\" >",
      "<font face=\"Arial\" size=\"2\" color=\"#000000\">Read Email</font></a>",
      "</td></tr></table></td></tr></table></td></tr></table></td></tr><tr>",
      "<td width=\"100%\" bgcolor=\"#585E96\"><font size=\"2\" face=\"Arial\" color=\"#FFFFFF\">",
      "Please note that the Email expires in 30 days.</font></td></tr></table></td></tr></table>",
  };
  ASSERT_EQ(pieces.size(), 28u);
  EXPECT_EQ(NotificationBody(kHost, "Ann Sender", "ann@example.org", "St4mp"),
            std::accumulate(pieces.begin(), pieces.end(), std::string()));
}

TEST(CancelNotice, HtmlNoticeLinksTheCancelAddressTwice) {
  const std::string link = CancelLink(kHost, "s1");
  EXPECT_EQ(HtmlCancelNotice(link),
            "To cancel the delivery, please open the following link.<br>\r\n"
            "<a href=\"http://127.0.0.1:4321/p/b01/tovik.php?s1&cmd=del\" target=\"_blank\">"
            "http://127.0.0.1:4321/p/b01/tovik.php?s1&cmd=del</a><br>\r\n<br>\r\n");
}

TEST(CancelNotice, PlainNoticeIsTheSentenceTheBareLinkAndABlankLine) {
  EXPECT_EQ(PlainCancelNotice(CancelLink(kHost, "s1")),
            "To cancel the delivery, please open the following link.\r\n"
            "http://127.0.0.1:4321/p/b01/tovik.php?s1&cmd=del\r\n\r\n");
}

}  // namespace
}  // namespace corvanta::sending
