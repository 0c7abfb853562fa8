// The add-in key over HTTP: a sender with a key is served only when the
// request carries that key's signature, made within 10 minutes and never
// sent before; a refusal spends nothing and is counted; senders without a
// key are served as before unless the service requires keys of everyone.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/keys/account_keys.h"
#include "service/keys/sealing.h"
#include "service/requests/signature_check.h"
#include "service_fixture.h"

namespace service_test {
namespace {

using corvanta::protocol::AddinKey;
using corvanta::protocol::SignRequest;

constexpr std::int64_t kNow = 1'781'000'000;  // seconds, the service's time in these tests
constexpr const char* kWrongTime =
    "qx;The clock of this computer is more than 10 minutes off. Please set its date, time and time zone right and "
    "try again.";
constexpr const char* kReplay = "qx;This request was received before.";
const std::string kNeedsKey = std::string("qx;") + mailwarden::kNeedsAddinKey;

class AddinKeys : public ServiceTest {
 protected:
  AddinKeys() { Start(false); }

  void Start(bool requireKeys) {
    mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
    options.service.clock = [this] { return now_.load() * 1000000; };
    options.service.sealingKey = sealing_;
    options.service.requireKeys = requireKeys;
    Restart(options);
    server_->Store().AddAccount(kAnn, 100, now_ * 1000000);
    key_ = *corvanta::protocol::ParseAddinKey(*mailwarden::keys::MakeAddinKey(server_->Store(), sealing_, kAnn));
  }

  // Each of the three requests that speak for a sender, as the add-in sends
  // it, with what is to follow it.
  std::string Stamps(const AddinSend& send, const std::function<std::string(const std::string&)>& sign) {
    const std::string query = StampQuery(send, Draws());
    return GetText(corvanta::protocol::kStampPath, query + sign(query));
  }
  std::string Credit(const std::string& email, const std::function<std::string(const std::string&)>& sign) {
    const std::string query = CreditQuery(email, Draws());
    return GetText(corvanta::protocol::kCreditPath, query + sign(query));
  }
  std::string Posted(const AddinSend& send, const std::function<std::string(const std::string&)>& sign) {
    const std::string body = UploadBody(send, Draws());
    httplib::Result result = Post(corvanta::protocol::kUploadPath, body + sign(body));
    EXPECT_TRUE(result);
    return result ? result->body : "";
  }

  std::function<std::string(const std::string&)> SignedWith(const AddinKey& key, std::int64_t offset = 0) {
    return [key, time = now_ + offset](const std::string& text) { return SignRequest(text, key, time); };
  }
  static std::string Unsigned(const std::string&) { return {}; }

  // Ann's credit in the month of the service's time.
  int CreditLeft() { return server_->Store().CreditLeft(kAnn, now_ * 1000000).value_or(-1); }

  static AddinSend FromAnn() {
    AddinSend send = ThreeRecipients();
    send.from = kAnn;
    return send;
  }

  static constexpr const char* kAnn = "ann.sender@example.com";
  std::atomic<std::int64_t> now_{kNow};
  mailwarden::keys::SealingKey sealing_ = mailwarden::keys::NewSealingKey();
  AddinKey key_{};
};

TEST_F(AddinKeys, AStampRequestIsServedOnlyWithTheRightKeyAtTheRightTime) {
  const AddinKey other = mailwarden::keys::NewAddinKey();
  struct Attempt {
    const char* what;
    std::function<std::string(const std::string&)> sign;
    std::string reply;  // "qo;" for stamps
  };
  const std::vector<Attempt> attempts = {
      {"unsigned", Unsigned, kNeedsKey},
      {"signed with another key", SignedWith(other), kNeedsKey},
      {"11 minutes slow", SignedWith(key_, -660), kWrongTime},
      {"11 minutes fast", SignedWith(key_, 660), kWrongTime},
      {"9 minutes slow", SignedWith(key_, -540), "qo;"},
      {"9 minutes fast", SignedWith(key_, 540), "qo;"},
      {"the right key now", SignedWith(key_), "qo;"},
  };
  int served = 0;
  for (const Attempt& attempt : attempts) {
    const std::string reply = Stamps(FromAnn(), attempt.sign);
    if (attempt.reply == "qo;") {
      EXPECT_EQ(StampsOf(reply).size(), 3u) << attempt.what << ": " << reply;
      ++served;
    } else {
      EXPECT_EQ(reply, attempt.reply) << attempt.what;
    }
  }
  // Only what was served was paid for.
  EXPECT_EQ(CreditLeft(), 100 - 3 * served);
  EXPECT_EQ(server_->Stamps().size(), static_cast<std::size_t>(3 * served));
}

TEST_F(AddinKeys, ARequestSentAgainIsRefusedAndChargedOnce) {
  const std::string query = StampQuery(FromAnn(), Draws());
  const std::string signedQuery = query + SignRequest(query, key_, kNow);
  EXPECT_EQ(StampsOf(GetText(corvanta::protocol::kStampPath, signedQuery)).size(), 3u);
  now_ += 300;
  EXPECT_EQ(GetText(corvanta::protocol::kStampPath, signedQuery), kReplay);
  EXPECT_EQ(CreditLeft(), 97);

  const std::string body = UploadBody(FromAnn(), Draws());
  const std::string signedBody = body + SignRequest(body, key_, now_);
  ASSERT_TRUE(Post(corvanta::protocol::kUploadPath, signedBody)->body.starts_with("qo;"));
  EXPECT_EQ(Post(corvanta::protocol::kUploadPath, signedBody)->body, kReplay);
  EXPECT_EQ(CreditLeft(), 94);
}

TEST_F(AddinKeys, EachRequestForASenderWithAKeyMustBeSigned) {
  EXPECT_EQ(Credit(kAnn, Unsigned), kNeedsKey);
  EXPECT_EQ(Stamps(FromAnn(), Unsigned), kNeedsKey);
  EXPECT_EQ(Posted(FromAnn(), Unsigned), kNeedsKey);
  EXPECT_EQ(Credit("ANN.Sender@Example.com", SignedWith(key_)), "qo;100");
  EXPECT_EQ(StampsOf(Stamps(FromAnn(), SignedWith(key_))).size(), 3u);
  EXPECT_EQ(StampsOf(Posted(FromAnn(), SignedWith(key_))).size(), 3u);
  EXPECT_EQ(CreditLeft(), 94);

  // Refusals are counted by reason, like every other.
  const std::string metrics = GetText("/metrics", "");
  EXPECT_NE(metrics.find("mailwarden_refused_total{reason=\"key\"} 3"), std::string::npos) << metrics;
}

TEST_F(AddinKeys, SendersWithoutAKeyAreServedAsBeforeUnlessKeysAreRequired) {
  AddinSend bob = ThreeRecipients();
  bob.from = "bob@example.com";
  EXPECT_EQ(Credit(bob.from, Unsigned), "qo;100");
  EXPECT_EQ(StampsOf(Stamps(bob, Unsigned)).size(), 3u);
  EXPECT_EQ(StampsOf(Posted(bob, Unsigned)).size(), 3u);

  Start(true);
  for (const char* sender : {"bob@example.com", "new.sender@example.com"}) {
    bob.from = sender;
    EXPECT_EQ(Credit(bob.from, Unsigned), kNeedsKey) << sender;
    EXPECT_EQ(Stamps(bob, Unsigned), kNeedsKey) << sender;
    EXPECT_EQ(Posted(bob, Unsigned), kNeedsKey) << sender;
  }
  EXPECT_TRUE(server_->Stamps().empty());
  EXPECT_EQ(StampsOf(Stamps(FromAnn(), SignedWith(key_))).size(), 3u);
}

TEST_F(AddinKeys, ANewKeyReplacesTheOldOne) {
  const AddinKey old = key_;
  key_ = *corvanta::protocol::ParseAddinKey(*mailwarden::keys::MakeAddinKey(server_->Store(), sealing_, kAnn));
  EXPECT_NE(key_, old);
  EXPECT_EQ(Credit(kAnn, SignedWith(old)), kNeedsKey);
  EXPECT_EQ(Credit(kAnn, SignedWith(key_)), "qo;100");
  EXPECT_FALSE(mailwarden::keys::MakeAddinKey(server_->Store(), sealing_, "nobody@example.com"));
}

TEST(SealedKeys, OpenOnlyWithTheServicesOwnKey) {
  const auto sealing = mailwarden::keys::NewSealingKey();
  const AddinKey key = mailwarden::keys::NewAddinKey();
  const std::string sealed = mailwarden::keys::Seal(key, sealing);
  EXPECT_EQ(sealed.find(corvanta::protocol::AddinKeyText(key)), std::string::npos) << "kept in the clear";
  EXPECT_NE(mailwarden::keys::Seal(key, sealing), sealed) << "a fresh nonce each time";
  EXPECT_EQ(mailwarden::keys::Open(sealed, sealing), key);
  EXPECT_FALSE(mailwarden::keys::Open(sealed, mailwarden::keys::NewSealingKey()));
  std::string tampered = sealed;
  tampered.back() = tampered.back() == '0' ? '1' : '0';
  for (const std::string& bad : {tampered, sealed.substr(0, sealed.size() - 2), std::string("sb1:"), std::string()}) {
    EXPECT_FALSE(mailwarden::keys::Open(bad, sealing)) << bad;
  }
}

}  // namespace
}  // namespace service_test
