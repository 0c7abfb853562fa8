#pragma once
// What the administrator sets when starting the service.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "service/events/client_names.h"
#include "service/keys/sealing.h"

namespace mailwarden {

// Per address and per client IP, for each of the stamp request, the credit
// query and the upload: at most this many in a window (0: no limit).
struct LimitOptions {
  int perAddress = 600;
  int perIp = 20000;
  std::chrono::seconds window{60};
};

// Notices to the senders: by mail through the operator's relay, and to
// their webhooks.
struct NoticeOptions {
  std::string smtpUrl;  // smtp://host:port or smtps://host:port; empty: no mail notices
  std::string smtpUser;
  std::string smtpPassword;
  std::string smtpCaFile;  // the relay's certificate authorities; empty: the system's
  std::string smtpFrom;
  std::string publicUrl;  // where the senders reach their pages, for the links in notices
  // Webhooks may point to private, loopback and link-local addresses (tests, a closed network).
  bool webhooksAllowPrivate = false;
  // Mail notices per account and hour; the rest of the hour's come in one mail after it.
  int hourlyCap = 30;
};

struct ServiceOptions {
  // A sender without an account gets one with this monthly credit at their
  // first stamp request; 0: only the administrator's accounts may send.
  int newSenderCredit = 0;
  // The Windows code page of senders without an account, and of the
  // accounts the service makes itself; a double-byte one also reads the
  // two-byte text of accounts left on 1252.
  int defaultCodepage = 1252;
  std::size_t maxUpload = 1 << 20;
  std::string terms;  // the terms of use; empty: the built-in text
  // The donation page's text (plain text, blank lines between paragraphs); empty: the built-in one.
  std::string donation;
  // Messages, stamps and events older than this many days are purged; 0 keeps them.
  int retainDays = 0;
  // Certified content is deleted this long after it was sent, the record kept.
  int contentDays = 30;
  LimitOptions limits;
  NoticeOptions notices;
  // The operator's address ranges of machines, beside the built-in ones:
  // the text of the file `--networks` names (see service/events/networks.h).
  std::string networks;
  // The ua-parser patterns that name the programs behind the User-Agents on
  // the pages; empty: none, the pages show the User-Agents as they came.
  std::string clientData = events::DefaultClientData();
  // /status and /status.json list every sender and stamp: for tests and the
  // demonstration on loopback only.
  bool statusPages = false;
  // Every sender must sign the add-in's requests with an add-in key, not
  // only those who have one (--require-keys, for new installations).
  bool requireKeys = false;
  // What the senders' add-in keys are sealed with; empty: one drawn when
  // the service starts, good only for keys made while it runs (tests and
  // the demonstration).
  std::optional<keys::SealingKey> sealingKey;
  // /metrics and /healthz are served on a listener of their own (the
  // administrator's) and not at all on the public one; without it, only to
  // clients on loopback.
  bool adminListener = false;
  // The service's time in microseconds since 1970 (UTC); empty: the system
  // clock. Tests set their own, so that time passes when they say so.
  std::function<std::int64_t()> clock;
};

}  // namespace mailwarden
