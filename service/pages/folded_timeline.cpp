#include "service/pages/folded_timeline.h"

#include <algorithm>
#include <tuple>

#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

// How many raw User-Agents and addresses a folded line lists.
constexpr std::size_t kListed = 5;

void AddOnce(std::vector<std::string>& list, const std::string& value) {
  if (list.size() < kListed && std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

std::string ClientOf(const store::Event& event, const events::ClientNames* names) {
  const std::string words = names ? names->Describe(event.userAgent, event.reason) : "";
  return words.empty() ? event.userAgent : words;
}

}  // namespace

std::vector<FoldedLine> Fold(const std::vector<store::Event>& events, const events::ClientNames* names) {
  std::vector<FoldedLine> lines;
  for (const store::Event& event : events) {
    const std::string client = ClientOf(event, names);
    auto line = std::find_if(lines.begin(), lines.end(), [&](const FoldedLine& l) {
      return std::tie(l.type, l.eventClass, l.reason, l.client) ==
             std::tie(event.type, event.eventClass, event.reason, client);
    });
    if (line == lines.end()) {
      lines.push_back(
          FoldedLine{event.type, event.eventClass, event.reason, client, {}, {}, 0, event.time, event.time});
      line = lines.end() - 1;
    }
    AddOnce(line->agents, event.userAgent);
    AddOnce(line->ips, event.ip);
    line->count += event.count;
    line->first = std::min(line->first, event.time);
    line->last = std::max(line->last, event.time);
  }
  return lines;
}

std::string ClientHtml(std::string_view userAgent, std::string_view reason, const events::ClientNames* names) {
  const std::string words = names ? names->Describe(userAgent, reason) : "";
  if (words.empty()) return "<small class=\"agent\">" + Escape(userAgent) + "</small>";
  return "<details class=\"agent\"><summary>" + Escape(words) + "</summary><small>" + Escape(userAgent) +
         "</small></details>";
}

store::RecipientView TimelineSlice(const store::RecipientView& all, std::size_t number,
                                   const store::TimelinePage& page) {
  store::RecipientView slice = all;
  auto& events = slice.events;
  if (page.recipient == number && page.before > 0) {
    events.erase(std::remove_if(events.begin(), events.end(),
                                [&](const store::Event& event) { return event.id >= page.before; }),
                 events.end());
  }
  const std::size_t shown = static_cast<std::size_t>(std::max(page.limit, 0));
  if (page.limit >= 0 && events.size() > shown) events.erase(events.begin(), events.end() - static_cast<long>(shown));
  return slice;
}

}  // namespace mailwarden::pages
