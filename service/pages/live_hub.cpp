#include "service/pages/live_hub.h"

#include <algorithm>
#include <iostream>

namespace mailwarden::pages {

namespace {
using Clock = std::chrono::steady_clock;
// Events read at once per sender and poll; more only say "more".
constexpr int kMostEvents = 500;
constexpr std::chrono::milliseconds kLeastBetweenLooks{10};
}  // namespace

// The open streams by session and by client, for the caps; a stream leaves
// them when the reply that owns it is gone, whoever ends it.
struct LiveHub::Counts {
  std::mutex mutex;
  std::map<std::string, int> bySession, byClient;
  int total = 0;
};

struct LiveHub::Stream {
  std::shared_ptr<Counts> counts;
  std::string session, client;
  std::int64_t accountId = 0;
  std::int64_t messageId = 0;
  Clock::time_point opened, lastSent;
  // Guarded by the hub's state's mutex.
  std::string pending;
  http::Reply::Give give;
  bool ended = false;

  ~Stream() {
    std::lock_guard lock(counts->mutex);
    if (--counts->bySession[session] == 0) counts->bySession.erase(session);
    if (--counts->byClient[client] == 0) counts->byClient.erase(client);
    --counts->total;
  }
};

LiveHub::LiveHub(store::Store& store, LiveLimits limits)
    : store_(store), limits_(limits), counts_(std::make_shared<Counts>()), thread_([this] { Run(); }) {}

LiveHub::~LiveHub() {
  std::vector<http::Reply::Give> last;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    for (auto& weak : streams_) {
      if (auto stream = weak.lock(); stream && stream->give) last.push_back(std::move(stream->give));
    }
  }
  wake_.notify_all();
  thread_.join();
  for (auto& give : last) give("");
}

std::optional<std::function<void(http::Reply::Give)>> LiveHub::Open(std::int64_t accountId, std::int64_t messageId,
                                                                    std::int64_t after, const std::string& session,
                                                                    const std::string& client) {
  {
    std::lock_guard lock(counts_->mutex);
    if (counts_->total >= limits_.total || counts_->bySession[session] >= limits_.perSession ||
        counts_->byClient[client] >= limits_.perClient) {
      if (counts_->bySession[session] == 0) counts_->bySession.erase(session);
      if (counts_->byClient[client] == 0) counts_->byClient.erase(client);
      return std::nullopt;
    }
    ++counts_->bySession[session];
    ++counts_->byClient[client];
    ++counts_->total;
  }
  auto stream = std::make_shared<Stream>();
  stream->counts = counts_;
  stream->session = session;
  stream->client = client;
  stream->accountId = accountId;
  stream->messageId = messageId;
  stream->opened = stream->lastSent = Clock::now();
  {
    std::lock_guard lock(state_->mutex);
    if (!newest_.count(accountId)) newest_[accountId] = store_.NewestEventId(accountId);
    // What came between the page and its stream, up to where the polls take over.
    const std::int64_t polled = newest_[accountId];
    if (after > 0 && after < polled) {
      const auto missed = store_.EventsAfter(accountId, after, kMostEvents);
      const auto count = std::count_if(missed.begin(), missed.end(), [&](const store::LiveEvent& e) {
        return e.id <= polled && (messageId == 0 || e.messageId == messageId);
      });
      if (count) stream->pending = "event: change\ndata: " + std::to_string(count) + "\n\n";
    }
    std::erase_if(streams_, [](const std::weak_ptr<Stream>& s) { return s.expired(); });
    streams_.push_back(stream);
  }
  // The reply owns the stream; the hub only looks at it while it lives.
  return [state = state_, stream](http::Reply::Give give) {
    std::string piece;
    {
      std::lock_guard lock(state->mutex);
      if (stream->pending.empty() && !stream->ended && !state->stopping) {
        stream->give = std::move(give);
        return;
      }
      piece = std::exchange(stream->pending, "");
    }
    give(std::move(piece));  // empty once ended: the end of the reply
  };
}

void LiveHub::Wake() {
  {
    std::lock_guard lock(state_->mutex);
    state_->woken = true;
  }
  wake_.notify_all();
}

void LiveHub::Run() {
  std::unique_lock lock(state_->mutex);
  while (!state_->stopping) {
    wake_.wait_for(lock, limits_.poll, [&] { return state_->stopping || state_->woken; });
    if (state_->stopping) break;
    state_->woken = false;
    // The senders with a page open, and what they have seen.
    std::map<std::int64_t, std::int64_t> watched;
    for (auto& weak : streams_)
      if (auto stream = weak.lock()) watched.emplace(stream->accountId, newest_[stream->accountId]);
    std::erase_if(newest_, [&](const auto& entry) { return !watched.count(entry.first); });
    lock.unlock();
    // Outside the lock: the store may take a while, the streams' gives must not wait on it.
    std::map<std::int64_t, std::vector<store::LiveEvent>> fresh;
    for (const auto& [account, seen] : watched) {
      try {
        if (store_.NewestEventId(account) > seen) fresh[account] = store_.EventsAfter(account, seen, kMostEvents);
      } catch (const store::StoreError& error) {
        std::cerr << "mailwarden: live pages: " << error.what() << std::endl;
      }
    }
    std::vector<std::pair<http::Reply::Give, std::string>> gives;
    lock.lock();
    for (auto& [account, events] : fresh)
      if (!events.empty()) newest_[account] = std::max(newest_[account], events.back().id);
    const auto now = Clock::now();
    for (auto& weak : streams_) {
      const auto stream = weak.lock();
      if (!stream || stream->ended) continue;
      if (const auto found = fresh.find(stream->accountId); found != fresh.end()) {
        const auto count = std::count_if(found->second.begin(), found->second.end(), [&](const store::LiveEvent& e) {
          return stream->messageId == 0 || e.messageId == stream->messageId;
        });
        if (count) stream->pending += "event: change\ndata: " + std::to_string(count) + "\n\n";
      }
      if (now - stream->opened >= limits_.lifetime) {
        stream->ended = true;
      } else if (stream->pending.empty() && now - stream->lastSent >= limits_.keepAlive) {
        stream->pending = ": still here\n\n";
      }
      if (stream->give && (!stream->pending.empty() || stream->ended)) {
        stream->lastSent = now;
        gives.emplace_back(std::move(stream->give), std::exchange(stream->pending, ""));
        stream->give = nullptr;
      }
    }
    lock.unlock();
    for (auto& [give, piece] : gives) give(std::move(piece));
    lock.lock();
    // However often this process writes, the store is looked at only so often.
    wake_.wait_for(lock, kLeastBetweenLooks, [&] { return state_->stopping; });
  }
}

}  // namespace mailwarden::pages
