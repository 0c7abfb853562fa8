#include "service/pages/list_filter.h"

#include <charconv>
#include <chrono>

#include "service/pages/pages.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

// The longest offset of a time zone from UTC, in minutes (UTC+14).
constexpr int kWidestOffset = 14 * 60;
constexpr store::Time kMinute = 60LL * 1000000;
constexpr store::Time kDay = 24 * 60 * kMinute;

struct Choice {
  const char* value;
  const char* label;
};
constexpr Choice kSeenChoices[] = {
    {"", "Any status"}, {"unopened", "Not opened"}, {"opened", "Opened"}, {"confirmed", "Confirmed"}, {"read", "Read"}};
constexpr Choice kKindChoices[] = {
    {"", "Any kind"}, {"automatic", "Automatic"}, {"receipt", "Request receipt"}, {"guaranteed", "Guaranteed"}};
constexpr Choice kOrderChoices[] = {{"", "Newest first"}, {"activity", "Last activity"}};

template <std::size_t N>
std::size_t ChoiceIndex(const Choice (&choices)[N], const std::string& value) {
  for (std::size_t i = 0; i < N; ++i)
    if (value == choices[i].value) return i;
  return 0;
}

template <std::size_t N>
std::string Select(const char* name, const char* label, const Choice (&choices)[N], std::size_t chosen) {
  std::string html = "<label>" + std::string(label) + " <select name=\"" + name + "\">";
  for (std::size_t i = 0; i < N; ++i) {
    html += "<option value=\"" + std::string(choices[i].value) + "\"" + (i == chosen ? " selected" : "") + ">" +
            choices[i].label + "</option>";
  }
  return html + "</select></label>";
}

std::string Day(const std::string& text) {
  return DayStart(text, 0) ? text : std::string();
}

}  // namespace

store::Time DayStart(const std::string& day, int offsetMinutes) {
  int y = 0;
  unsigned m = 0, d = 0;
  if (day.size() != 10 || day[4] != '-' || day[7] != '-') return 0;
  const char* text = day.data();
  if (std::from_chars(text, text + 4, y).ptr != text + 4 || std::from_chars(text + 5, text + 7, m).ptr != text + 7 ||
      std::from_chars(text + 8, text + 10, d).ptr != text + 10) {
    return 0;
  }
  const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(m), std::chrono::day(d)};
  if (!date.ok() || y < 1970) return 0;
  const auto days = std::chrono::sys_days(date).time_since_epoch().count();
  return days * kDay + offsetMinutes * kMinute;
}

ListFilter ReadListFilter(const std::map<std::string, std::string>& fields) {
  ListFilter filter;
  filter.search = FieldOf(fields, "q");
  if (filter.search.size() > kLongestSearch) filter.search.resize(kLongestSearch);
  filter.seen = static_cast<store::SeenFilter>(ChoiceIndex(kSeenChoices, FieldOf(fields, "seen")));
  filter.kind = static_cast<store::KindFilter>(ChoiceIndex(kKindChoices, FieldOf(fields, "kind")));
  filter.order = static_cast<store::MessageOrder>(ChoiceIndex(kOrderChoices, FieldOf(fields, "sort")));
  filter.from = Day(FieldOf(fields, "from"));
  filter.to = Day(FieldOf(fields, "to"));
  const std::string zone = FieldOf(fields, "tz");
  int offset = 0;
  if (std::from_chars(zone.data(), zone.data() + zone.size(), offset).ptr == zone.data() + zone.size() &&
      offset >= -kWidestOffset && offset <= kWidestOffset) {
    filter.zoneOffset = offset;
  }
  return filter;
}

void ApplyListFilter(const ListFilter& filter, store::MessageQuery& query) {
  query.search = filter.search;
  query.seen = filter.seen;
  query.kind = filter.kind;
  query.order = filter.order;
  query.issuedFrom = filter.from.empty() ? 0 : DayStart(filter.from, filter.zoneOffset);
  query.issuedUntil = filter.to.empty() ? 0 : DayStart(filter.to, filter.zoneOffset) + kDay;
}

std::string ListFilterQuery(const ListFilter& filter) {
  std::string query;
  const auto add = [&](const char* name, const std::string& value) {
    if (value.empty()) return;
    query += (query.empty() ? "" : "&") + std::string(name) + "=" + QueryEscape(value);
  };
  add("q", filter.search);
  add("seen", kSeenChoices[static_cast<std::size_t>(filter.seen)].value);
  add("kind", kKindChoices[static_cast<std::size_t>(filter.kind)].value);
  add("from", filter.from);
  add("to", filter.to);
  if (!filter.from.empty() || !filter.to.empty()) add("tz", std::to_string(filter.zoneOffset));
  add("sort", kOrderChoices[static_cast<std::size_t>(filter.order)].value);
  return query;
}

bool Narrowed(const ListFilter& filter) {
  return !filter.search.empty() || filter.seen != store::SeenFilter::kAny || filter.kind != store::KindFilter::kAny ||
         !filter.from.empty() || !filter.to.empty();
}

std::string ListFilterForm(const ListFilter& filter) {
  return "<form class=\"search\" method=\"get\" action=\"/cvx/\"><input type=\"search\" name=\"q\" "
         "aria-label=\"Search subject and recipients\" placeholder=\"Subject or recipient\" value=\"" +
         Escape(filter.search) + "\">" + Select("seen", "Status", kSeenChoices, static_cast<std::size_t>(filter.seen)) +
         Select("kind", "Kind", kKindChoices, static_cast<std::size_t>(filter.kind)) +
         "<label>Sent from <input type=\"date\" name=\"from\" value=\"" + Escape(filter.from) +
         "\"></label><label>to <input type=\"date\" name=\"to\" value=\"" + Escape(filter.to) +
         "\"></label><input type=\"hidden\" name=\"tz\" value=\"" + std::to_string(filter.zoneOffset) + "\">" +
         Select("sort", "Sort by", kOrderChoices, static_cast<std::size_t>(filter.order)) +
         "<button type=\"submit\">Search</button>" + (Narrowed(filter) ? "<a href=\"/cvx/\">Show all</a>" : "") +
         "</form>\n";
}

}  // namespace mailwarden::pages
