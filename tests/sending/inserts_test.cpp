// The two inserts of a tracked send, piece by piece.
#include "sending/inserts.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace corvanta::sending {
namespace {

const std::string kHost = "track.example:8080";
const std::string kScript = "http://track.example:8080/p/b01/wrenna.php";

std::string Join(const std::vector<std::string>& pieces) {
  return std::accumulate(pieces.begin(), pieces.end(), std::string());
}

TEST(TrackingImage, IsTheImageTagAroundTheStamp) {
  const Insert insert = TrackingImage(kHost);
  EXPECT_EQ(insert.head, Join({"<img width=\"1\" height=\"1\" src=\"", kScript, "?img=1&"}));
  EXPECT_EQ(insert.tail, "\">");
  EXPECT_EQ(insert.head + "abc" + insert.tail,
            "<img width=\"1\" height=\"1\" src=\"http://track.example:8080/p/b01/wrenna.php?img=1&abc\">");
}

// The receipt notice as its table gives it, with the leading blanks counted.
struct Piece {
  std::string text;
  std::size_t leadingBlanks;
};

const std::vector<Piece> kReceiptHead = {
    {"<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\">", 0},
    {"  <tr>    <td width=\"100%\" bgcolor=\"#000000\">", 2},
    {"      <table border=\"0\" cellspacing=\"1\">        <tr>", 6},
    {"          <td width=\"100%\" bgcolor=\"#F5F5FF\"><font", 10},
    {" face=\"Arial\" size=\"2\">The sender has requested a read receipt be sent when the message has been "
     "read.<br>",
     1},
    {"If you wish to send a receipt, please click on the following link:</font>", 0},
    {"            <table border=\"0\" cellspacing=\"1\"><tr>", 12},
    {"                <td width=\"100%\"", 16},
    {" bgcolor=\"#585E96\">", 1},
    {"<a href=\"", 0},
    {kScript, 0},
    {"?", 0},
};

const std::vector<Piece> kReceiptTail = {
    {"\" target=\"_blank\"><font face=\"Arial\" size=\"2\"", 0},
    {"color=\"#FFFFFF\">", 0},
    {"Send a read receipt</font></a></td>", 0},
    {"              </tr></table>", 14},
    {"          </td>", 10},
    {"        </tr>", 8},
    {"      </table>", 6},
    {"    </td>", 4},
    {"  </tr>", 2},
    {"</table>", 0},
};

std::string JoinCounted(const std::vector<Piece>& pieces) {
  std::string joined;
  for (const Piece& piece : pieces) {
    EXPECT_EQ(piece.text.find_first_not_of(' '), piece.leadingBlanks) << piece.text;
    joined += piece.text;
  }
  return joined;
}

TEST(ReceiptRequest, HeadAndTailAreTheNoticePiecesInOrder) {
  const Insert insert = ReceiptRequest(kHost);
  EXPECT_EQ(insert.head, JoinCounted(kReceiptHead));
  EXPECT_EQ(insert.tail, JoinCounted(kReceiptTail));
}

TEST(ReceiptRequest, LinkQueryIsTheStampAlone) {
  const Insert insert = ReceiptRequest(kHost);
  const std::string notice = insert.head + "abc" + insert.tail;
  EXPECT_NE(notice.find("<a href=\"" + kScript + "?abc\" target=\"_blank\">"), std::string::npos);
  EXPECT_NE(notice.find("size=\"2\"color=\"#FFFFFF\">Send a read receipt"), std::string::npos);
}

TEST(Inserts, ImageAndReceiptAddressesDifferOnlyByImg1) {
  const Insert image = TrackingImage(kHost);
  const Insert receipt = ReceiptRequest(kHost);
  const std::string imageUrl = image.head.substr(image.head.find("http://"));
  const std::string receiptUrl = receipt.head.substr(receipt.head.rfind("http://"));
  EXPECT_EQ(imageUrl, receiptUrl + "img=1&");
}

}  // namespace
}  // namespace corvanta::sending
