#pragma once
// A recipient's timeline folded: the events of one kind, from one program,
// taken for the same and for the same reason, as one line with how often
// and when first and last; and a User-Agent as words with the raw string
// one click away.
#include <string>
#include <string_view>
#include <vector>

#include "service/events/client_names.h"
#include "service/store/store.h"

namespace mailwarden::pages {

struct FoldedLine {
  store::EventType type = store::EventType::kImage;
  store::EventClass eventClass = store::EventClass::kPerson;
  std::string reason;
  std::string client;               // the program in words, or the raw User-Agent without names
  std::vector<std::string> agents;  // the raw User-Agents folded into it, each once
  std::vector<std::string> ips;     // each once
  int count = 0;                    // events, folded ones included
  store::Time first = 0;
  store::Time last = 0;
};

// Lines in the order of their first events; events oldest first. A line
// keeps at most a few raw User-Agents and addresses.
std::vector<FoldedLine> Fold(const std::vector<store::Event>& events, const events::ClientNames* names);

// The program in words with the raw User-Agent under a <details>, as HTML;
// the raw User-Agent alone without names or when they know nothing of it.
std::string ClientHtml(std::string_view userAgent, std::string_view reason, const events::ClientNames* names);

// The page of the timeline a request asked for, cut from all of it: the
// newest kTimelinePage events, for the recipient at page.recipient only
// those before page.before.
store::RecipientView TimelineSlice(const store::RecipientView& all, std::size_t number,
                                   const store::TimelinePage& page);

}  // namespace mailwarden::pages
