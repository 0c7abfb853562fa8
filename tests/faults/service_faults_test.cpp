// The service misbehaving, request by request: for each send button the
// request that button is about (the stamp GET, or the certified upload POST)
// goes wrong while the credit query answers well; in the credit columns the
// credit query itself goes wrong. Whatever happens, the user is told once and
// plainly, the composed message stays, and the next send works.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fault_world.h"

namespace faults {
namespace {

namespace protocol = corvanta::protocol;

enum class Column {
  kAutomatic,       // the stamp GET misbehaves
  kRequestReceipt,  // the stamp GET misbehaves
  kGuaranteed,      // the certified upload POST misbehaves
  kViewCredit,      // the About dialog's credit query misbehaves
  kCreditOfAutomatic,
  kCreditOfRequestReceipt,
  kCreditOfGuaranteed,
};

const char* NameOf(Column column) {
  switch (column) {
    case Column::kAutomatic:
      return "Automatic";
    case Column::kRequestReceipt:
      return "RequestReceipt";
    case Column::kGuaranteed:
      return "Guaranteed";
    case Column::kViewCredit:
      return "ViewCredit";
    case Column::kCreditOfAutomatic:
      return "CreditOfAutomatic";
    case Column::kCreditOfRequestReceipt:
      return "CreditOfRequestReceipt";
    case Column::kCreditOfGuaranteed:
      return "CreditOfGuaranteed";
  }
  return "?";
}

// The button the user clicks; the About dialog's column sends with "Automatic" afterwards.
std::string ButtonOf(Column column) {
  switch (column) {
    case Column::kAutomatic:
    case Column::kCreditOfAutomatic:
    case Column::kViewCredit:
      return "Automatic";
    case Column::kRequestReceipt:
    case Column::kCreditOfRequestReceipt:
      return "Request receipt";
    case Column::kGuaranteed:
    case Column::kCreditOfGuaranteed:
      return "Guaranteed";
  }
  return {};
}

void PrintTo(Column column, std::ostream* os) {
  *os << NameOf(column);
}

bool IsCreditColumn(Column column) {
  return column == Column::kViewCredit || column == Column::kCreditOfAutomatic ||
         column == Column::kCreditOfRequestReceipt || column == Column::kCreditOfGuaranteed;
}

// The request that misbehaves in a column.
std::string TargetOf(Column column) {
  if (IsCreditColumn(column)) return protocol::kCreditPath;
  return column == Column::kGuaranteed ? protocol::kUploadPath : protocol::kStampPath;
}

// What one cell expects: the one message shown, or why the case makes no sense.
struct Outcome {
  std::string shown;
  std::string skip;
};

Outcome Shows(std::string text) {
  return {std::move(text), {}};
}
Outcome Skip(std::string reason) {
  return {{}, std::move(reason)};
}

enum class How { kRefuse, kSilence, kCutShort, kReply };

struct Row {
  const char* name;
  How how;
  int status;
  std::string body;    // the reply, or what a cut reply gets out
  Outcome stampGet;    // "Automatic", "Request receipt"
  Outcome upload;      // "Guaranteed"
  Outcome viewCredit;  // About, "View credit"
  Outcome creditStep;  // the credit query of each send
};

const std::string kErrorPage = "<html><body><h1>500 Internal Server Error</h1></body></html>";
const std::string kInsufficient = "Insufficient credit.";
const std::string kNoStampsInCredit = "a credit reply carries no stamps";
const std::string kNoNumberInStamps =
    "the stamp and upload replies carry no number (the credit query answers well here)";

// 10 MB of text that is not a service reply.
const std::string& Huge() {
  static const std::string huge = [] {
    std::string text;
    const std::string line = "This is not what the add-in asked for. ";
    while (text.size() < 10 * 1024 * 1024) text += line;
    return text;
  }();
  return huge;
}

// Every byte value, NUL first after a three-byte start.
const std::string& Garbage() {
  static const std::string garbage = [] {
    std::string bytes = "\x89\xfe\x01";
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes;
  }();
  return garbage;
}

// The garbage from its fourth byte on, as a message box may show it: control
// bytes but tab, LF and CR as "?"; the rest, the high half too, as they are.
std::string GarbageAsShown() {
  std::string shown = std::string(9, '?') + "\t\n??\r" + std::string(18, '?');
  for (int b = 0x20; b < 0x7f; ++b) shown += static_cast<char>(b);
  shown += '?';
  for (int b = 0x80; b < 0x100; ++b) shown += static_cast<char>(b);
  return shown;
}

std::string UnusableStamp(int recipient) {
  return "The service sent an unusable stamp for recipient " + std::to_string(recipient) +
         ".\r\nNothing was sent; please try again later.";
}

std::string TooFewStamps(int stamps) {
  return "The service sent " + std::to_string(stamps) +
         " stamp(s) for 3 recipients.\r\nNothing was sent; please try again later.";
}

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"ConnectionRefused", How::kRefuse, 0, "", Shows(kConnectionTimeout), Shows("35754:Can't connect to remote host"),
       Shows(kConnectionTimeout), Shows(kConnectionTimeout)},
      {"NoAnswerUntilTheTimeOut", How::kSilence, 0, "", Shows(kConnectionTimeout), Shows("35761:Request timed out"),
       Shows(kConnectionTimeout), Shows(kConnectionTimeout)},
      {"ReplyCutMidway", How::kCutShort, 200, "qo;abc def", Shows(kConnectionTimeout),
       Shows("35756:Connection to the remote host failed"), Shows(kConnectionTimeout), Shows(kConnectionTimeout)},
      {"Http500WithABody", How::kReply, 500, kErrorPage, Shows(kErrorPage.substr(3)), Shows(kErrorPage.substr(3)),
       Shows(kErrorPage.substr(3)), Shows(kErrorPage.substr(3))},
      {"TenMegabyteReply", How::kReply, 200, Huge(), Shows(Huge().substr(3, 1000) + "..."),
       Shows(Huge().substr(3, 1000) + "..."), Shows(Huge().substr(3, 1000) + "..."),
       Shows(Huge().substr(3, 1000) + "...")},
      {"BinaryGarbage", How::kReply, 200, Garbage(), Shows(GarbageAsShown()), Shows(GarbageAsShown()),
       Shows(GarbageAsShown()), Shows(GarbageAsShown())},
      {"FewerStampsThanRecipients", How::kReply, 200, "qo;abc def", Shows(TooFewStamps(2)), Shows(TooFewStamps(2)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      {"NoStampsAtAll", How::kReply, 200, "qo;", Shows(TooFewStamps(0)), Shows(TooFewStamps(0)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      {"StampWithAQuote", How::kReply, 200, "qo;ab\"c def ghi", Shows(UnusableStamp(1)), Shows(UnusableStamp(1)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      {"StampWithAnAngleBracket", How::kReply, 200, "qo;abc d<f ghi", Shows(UnusableStamp(2)), Shows(UnusableStamp(2)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      {"StampOfABlank", How::kReply, 200, "qo;abc  def ghi", Shows(UnusableStamp(2)), Shows(UnusableStamp(2)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      {"StampWithATab", How::kReply, 200, "qo;abc def g\thi", Shows(UnusableStamp(3)), Shows(UnusableStamp(3)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      {"EmptyStamps", How::kReply, 200, "qo;  ", Shows(UnusableStamp(1)), Shows(UnusableStamp(1)),
       Skip(kNoStampsInCredit), Skip(kNoStampsInCredit)},
      // A credit reply without a number reads as no credit at all.
      {"CreditNotANumber", How::kReply, 200, "qo;plenty", Skip(kNoNumberInStamps), Skip(kNoNumberInStamps),
       Shows("You have 0 credits for this month.\r\nYou will receive new credits on the 1st day of each month."),
       Shows(kInsufficient)},
  };
  return rows;
}

const Outcome& OutcomeOf(const Row& row, Column column) {
  switch (column) {
    case Column::kAutomatic:
    case Column::kRequestReceipt:
      return row.stampGet;
    case Column::kGuaranteed:
      return row.upload;
    case Column::kViewCredit:
      return row.viewCredit;
    default:
      return row.creditStep;
  }
}

// A long text by its start and its length, so a failure does not print megabytes.
std::string Brief(const std::string& text) {
  if (text.size() <= 300) return ::testing::PrintToString(text);
  return ::testing::PrintToString(text.substr(0, 300)) + "... (" + std::to_string(text.size()) + " characters)";
}

::testing::AssertionResult IsTheOnlyMessage(const std::vector<std::string>& shown, const std::string& expected) {
  if (shown.size() == 1 && shown[0] == expected) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure()
                 << "expected the one message " << Brief(expected) << ", shown " << shown.size() << ":";
  for (const auto& text : shown) failure << "\n  " << Brief(text);
  return failure;
}

using Case = std::tuple<std::size_t, Column>;

class ServiceFaults : public FaultWorld, public ::testing::WithParamInterface<Case> {
 protected:
  const Row& row() const { return Rows()[std::get<0>(GetParam())]; }
  Column column() const { return std::get<1>(GetParam()); }

  // On the server's thread, as the request arrives: a silence lasts past every time-out.
  RawAnswer Misbehave() {
    RawAnswer answer;
    answer.status = row().status;
    answer.body = row().body;
    if (row().how == How::kSilence) {
      answer.kind = RawAnswer::Kind::kSilence;
      world.transferClock.Advance(testsupport::kPastEveryTimeOut);
    }
    if (row().how == How::kCutShort) answer.kind = RawAnswer::Kind::kCutShort;
    return answer;
  }

  // The request of the column misbehaves; the others are answered well.
  void Arrange() {
    const std::string target = TargetOf(column());
    if (row().how == How::kRefuse) {
      if (IsCreditColumn(column())) {
        server.Refuse();
        return;
      }
      // The credit query is the last request before the target: nothing listens after it.
      server.SetResponder([this](const RawRequest& request) {
        RawAnswer answer = Behaved(service, request);
        answer.thenRefuse = request.path == protocol::kCreditPath;
        return answer;
      });
      return;
    }
    server.SetResponder([this, target](const RawRequest& request) {
      return request.path == target ? Misbehave() : Behaved(service, request);
    });
  }
};

TEST_P(ServiceFaults, OneClearMessageTheMessageKeptAndTheNextSendWorks) {
  const Outcome& expected = OutcomeOf(row(), column());
  ASSERT_FALSE(expected.shown.empty());

  Arrange();
  if (column() == Column::kViewCredit) {
    ViewCredit();
  } else {
    Click(ButtonOf(column()));
  }

  EXPECT_TRUE(IsTheOnlyMessage(Shown(), expected.shown));
  EXPECT_EQ(RequestsTo(TargetOf(column())), row().how == How::kRefuse ? 0u : 1u);
  if (!IsCreditColumn(column())) {
    EXPECT_EQ(RequestsTo(protocol::kCreditPath), 1u);
  }
  if (column() == Column::kViewCredit) {
    ASSERT_FALSE(world.windowing.Dialogs().empty());
    EXPECT_EQ(world.windowing.Dialogs().front().form, "dlgAbout");
    EXPECT_EQ(world.windowing.Dialogs().front().pressed, std::vector<std::string>{"credit"});
  }
  ExpectNothingLeftAndTheMessageInPlace();
  EXPECT_EQ(service.Stamps(), 0u);

  ExpectTheNextSendWorks(ButtonOf(column()), kStartingCredit);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(Rows()[std::get<0>(info.param)].name) + "_" + NameOf(std::get<1>(info.param));
}

// Only the cells that make sense run; the others say why in the table.
std::vector<Case> ApplicableCases() {
  std::vector<Case> cases;
  for (std::size_t row = 0; row < Rows().size(); ++row) {
    for (const Column column :
         {Column::kAutomatic, Column::kRequestReceipt, Column::kGuaranteed, Column::kViewCredit,
          Column::kCreditOfAutomatic, Column::kCreditOfRequestReceipt, Column::kCreditOfGuaranteed}) {
      if (OutcomeOf(Rows()[row], column).skip.empty()) cases.emplace_back(row, column);
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, ServiceFaults, ::testing::ValuesIn(ApplicableCases()), CaseName);

}  // namespace
}  // namespace faults
