#include "service/http/metrics.h"

#include <cstdio>

namespace mailwarden::http {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// Label values are route paths; quotes and backslashes are escaped all the same.
std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out += '\\';
    out += c == '\n' ? ' ' : c;
  }
  return out + "\"";
}

}  // namespace

void Metrics::CountRequest(const std::string& label, int status, std::chrono::nanoseconds took,
                           const std::string& refused) {
  double seconds = std::chrono::duration<double>(took).count();
  std::lock_guard lock(mutex_);
  ++requests_[{label, status}];
  if (!refused.empty()) ++refused_[refused];
  Latency& latency = latency_[label];
  for (std::size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) ++latency.below[i];
  }
  ++latency.count;
  latency.sum += seconds;
}

void Metrics::WatchQueue(std::function<std::size_t()> depth) {
  std::lock_guard lock(mutex_);
  queueDepth_ = std::move(depth);
}

void Metrics::CountNotice(const std::string& channel, const std::string& outcome) {
  std::lock_guard lock(mutex_);
  ++notices_[{channel, outcome}];
}

std::string Metrics::Render() const {
  std::string out;
  std::lock_guard lock(mutex_);
  out += "# HELP mailwarden_requests_total Requests answered, by route and status.\n";
  out += "# TYPE mailwarden_requests_total counter\n";
  for (const auto& [key, count] : requests_) {
    out += "mailwarden_requests_total{path=" + Quoted(key.first) + ",status=\"" + std::to_string(key.second) + "\"} " +
           std::to_string(count) + "\n";
  }
  out += "# HELP mailwarden_refused_total Requests refused, by reason (the add-in's refusals answer 200).\n";
  out += "# TYPE mailwarden_refused_total counter\n";
  for (const auto& [reason, count] : refused_) {
    out += "mailwarden_refused_total{reason=" + Quoted(reason) + "} " + std::to_string(count) + "\n";
  }
  out += "# HELP mailwarden_request_duration_seconds Time from a request's header to its reply.\n";
  out += "# TYPE mailwarden_request_duration_seconds histogram\n";
  for (const auto& [label, latency] : latency_) {
    std::string path = "path=" + Quoted(label);
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
      out += "mailwarden_request_duration_seconds_bucket{" + path + ",le=\"" + Number(kBuckets[i]) + "\"} " +
             std::to_string(latency.below[i]) + "\n";
    }
    out +=
        "mailwarden_request_duration_seconds_bucket{" + path + ",le=\"+Inf\"} " + std::to_string(latency.count) + "\n";
    out += "mailwarden_request_duration_seconds_sum{" + path + "} " + Number(latency.sum) + "\n";
    out += "mailwarden_request_duration_seconds_count{" + path + "} " + std::to_string(latency.count) + "\n";
  }
  out += "# HELP mailwarden_event_queue_depth Recipient events waiting to be written.\n";
  out += "# TYPE mailwarden_event_queue_depth gauge\n";
  out += "mailwarden_event_queue_depth " + std::to_string(queueDepth_ ? queueDepth_() : 0) + "\n";
  out += "# HELP mailwarden_notices_total Deliveries of notices from the outbox, by channel and outcome.\n";
  out += "# TYPE mailwarden_notices_total counter\n";
  for (const auto& [key, count] : notices_) {
    out += "mailwarden_notices_total{channel=" + Quoted(key.first) + ",outcome=" + Quoted(key.second) + "} " +
           std::to_string(count) + "\n";
  }
  out += "# HELP mailwarden_database_errors_total Database operations that failed.\n";
  out += "# TYPE mailwarden_database_errors_total counter\n";
  out += "mailwarden_database_errors_total " + std::to_string(databaseErrors_.load()) + "\n";
  out += "# HELP mailwarden_events_written_total Image fetches and receipt clicks written to the database.\n";
  out += "# TYPE mailwarden_events_written_total counter\n";
  out += "mailwarden_events_written_total " + std::to_string(writtenEvents_.load()) + "\n";
  out +=
      "# HELP mailwarden_accept_failures_total Connections that could not be taken (out of descriptors, most "
      "often), each followed by a pause.\n";
  out += "# TYPE mailwarden_accept_failures_total counter\n";
  out += "mailwarden_accept_failures_total " + std::to_string(acceptFailures_.load()) + "\n";
  out += "# HELP mailwarden_events_dropped_total Recipient events given up after the database kept failing.\n";
  out += "# TYPE mailwarden_events_dropped_total counter\n";
  out += "mailwarden_events_dropped_total " + std::to_string(droppedEvents_.load()) + "\n";
  return out;
}

}  // namespace mailwarden::http
