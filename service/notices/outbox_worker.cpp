#include "service/notices/outbox_worker.h"

#include <chrono>
#include <iostream>
#include <map>

#include "service/notices/mail_message.h"
#include "service/notices/notice_text.h"
#include "service/notices/smtp_sender.h"
#include "service/notices/time_zone.h"
#include "service/notices/webhook_post.h"
#include "service/notices/webhook_secret.h"

namespace mailwarden::notices {
namespace {

constexpr std::chrono::milliseconds kRound{200};
// Longer than a batch takes to send, each mail and POST with its timeouts.
constexpr store::Time kLease = 30LL * 60 * 1000000;
constexpr int kBatch = 20;
constexpr store::Time kSecond = 1000000;
constexpr store::Time kHour = 3600 * kSecond;

TimeZone ZoneOf(const store::Delivery& delivery) {
  auto zone = TimeZone::Load(delivery.timeZone);
  return zone ? *zone : TimeZone::Utc();
}

// The domain of the Message-IDs: the pages' host.
std::string IdDomain(const std::string& publicUrl) {
  std::string host = publicUrl.substr(publicUrl.find("://") == std::string::npos ? 0 : publicUrl.find("://") + 3);
  host = host.substr(0, host.find_first_of(":/"));
  return host.empty() ? "mailwarden.invalid" : host;
}

}  // namespace

store::Time RetryDelay(int failed) {
  constexpr store::Time kLongest = 15 * 60 * kSecond;
  if (failed < 1) return kSecond;
  if (failed > 10) return kLongest;
  return std::min(kLongest, kSecond << (failed - 1));
}

OutboxWorker::OutboxWorker(store::Store& store, const NoticeOptions& options, const keys::SealingKey& sealing,
                           std::function<store::Time()> clock, http::Metrics& metrics)
    : store_(store), options_(options), sealing_(sealing), clock_(std::move(clock)), metrics_(metrics), thread_([this] {
        Run();
      }) {}

OutboxWorker::~OutboxWorker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void OutboxWorker::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void OutboxWorker::Run() {
  for (;;) {
    int taken = 0;
    try {
      taken = RunOnce();
    } catch (const store::StoreError& error) {
      std::cerr << "mailwarden: notices: " << error.what() << std::endl;
    }
    std::unique_lock lock(mutex_);
    if (stop_) return;
    if (taken == 0) wake_.wait_for(lock, kRound, [this] { return stop_ || woken_; });
    woken_ = false;
    if (stop_) return;
  }
}

int OutboxWorker::RunOnce() {
  const store::Time now = clock_();
  std::vector<store::Delivery> claimed = store_.ClaimDeliveries(now, now + kLease, kBatch);
  pausedNow_.clear();
  std::vector<store::Delivery> mail;
  for (store::Delivery& delivery : claimed) {
    if (delivery.webhookId) {
      SendWebhook(delivery, now);
    } else {
      mail.push_back(std::move(delivery));
    }
  }
  SendMail(mail, now);
  return static_cast<int>(claimed.size());
}

void OutboxWorker::SendMail(std::vector<store::Delivery>& mail, store::Time now) {
  std::map<std::int64_t, std::vector<store::Delivery>> gathered;
  const SmtpSettings smtp{options_.smtpUrl, options_.smtpUser, options_.smtpPassword, options_.smtpFrom,
                          options_.smtpCaFile};
  const std::string domain = IdDomain(options_.publicUrl);
  auto send = [&](const std::vector<store::Delivery>& deliveries, const NoticeText& text, const std::string& id) {
    const MailMessage message{options_.smtpFrom, deliveries.front().sender, text.subject, text.text,
                              text.html,         id + "@" + domain,         now};
    const std::string failed = notices::SendMail(smtp, deliveries.front().sender, RenderMail(message));
    if (!failed.empty()) return Failed(deliveries, failed, now);
    for (const store::Delivery& delivery : deliveries) {
      store_.FinishDelivery(delivery, now);
      metrics_.CountNotice("mail", "sent");
    }
  };
  for (store::Delivery& delivery : mail) {
    // Mail turned off since the notice was queued: nobody to tell.
    if (options_.smtpUrl.empty() || delivery.notify == "off") {
      store_.FinishDelivery(delivery, now);
      continue;
    }
    if (!MailableAddress(delivery.sender)) {
      std::cerr << "mailwarden: no notice mailed to account " << delivery.accountId
                << ": its address cannot be written in a mail's header" << std::endl;
      metrics_.CountNotice("mail", "given up");
      store_.FinishDelivery(delivery, now);
      continue;
    }
    if (delivery.summary) {
      gathered[delivery.accountId].push_back(std::move(delivery));
      continue;
    }
    const TimeZone zone = ZoneOf(delivery);
    if (delivery.notify == "hourly" || delivery.notify == "daily") {
      const store::Time due = delivery.notify == "hourly" ? zone.NextHour(now) : zone.NextDay(now);
      store_.RetryDelivery(delivery, due, true, "", now);
      metrics_.CountNotice("mail", "held");
      continue;
    }
    // Past the hour's cap the rest wait for the hour's end, then go in one mail.
    const store::Time hour = now - now % kHour;
    if (delivery.attempts == 1 &&
        store_.CountAttempt("notice", std::to_string(delivery.accountId), hour, now) > options_.hourlyCap) {
      store_.RetryDelivery(delivery, hour + kHour, true, "", now);
      metrics_.CountNotice("mail", "held");
      continue;
    }
    send({delivery}, SingleNotice(delivery, zone, options_.publicUrl), "notice-" + std::to_string(delivery.id));
  }
  for (auto& [account, deliveries] : gathered) {
    const store::Delivery& first = deliveries.front();
    const Gathered why = first.notify == "hourly"  ? Gathered::kHourlyDigest
                         : first.notify == "daily" ? Gathered::kDailyDigest
                                                   : Gathered::kOverCap;
    send(deliveries, DigestNotice(deliveries, why, ZoneOf(first), options_.publicUrl),
         "digest-" + std::to_string(first.id) + "-" + std::to_string(deliveries.size()));
  }
}

void OutboxWorker::SendWebhook(const store::Delivery& delivery, store::Time now) {
  if (pausedNow_.contains(delivery.webhookId)) return;
  const std::optional<std::string> secret = OpenWebhookSecret(delivery.secret, sealing_);
  if (!secret) return Failed({delivery}, "its secret cannot be read with this service's key (--key-file)", now);
  const std::string body = WebhookBody(delivery);
  const std::string failed =
      PostWebhook(delivery.url, body, WebhookSignature(*secret, now / kSecond, body), options_.webhooksAllowPrivate);
  if (!failed.empty()) return Failed({delivery}, failed, now);
  store_.FinishDelivery(delivery, now);
  metrics_.CountNotice("webhook", "sent");
}

void OutboxWorker::Failed(const std::vector<store::Delivery>& deliveries, const std::string& error, store::Time now) {
  for (const store::Delivery& delivery : deliveries) {
    const char* channel = delivery.webhookId ? "webhook" : "mail";
    if (now - delivery.created < kRetryFor) {
      store_.RetryDelivery(delivery, now + RetryDelay(delivery.attempts), delivery.summary, error, now);
      metrics_.CountNotice(channel, "retry");
      continue;
    }
    metrics_.CountNotice(channel, "given up");
    if (delivery.webhookId) {
      std::cerr << "mailwarden: webhook " << delivery.url << " paused, failing for a day: " << error << std::endl;
      store_.PauseWebhook(delivery.webhookId, error);
      pausedNow_.insert(delivery.webhookId);
    } else {
      std::cerr << "mailwarden: notice to " << delivery.sender << " given up after a day: " << error << std::endl;
      store_.FinishDelivery(delivery, now);
    }
  }
}

}  // namespace mailwarden::notices
