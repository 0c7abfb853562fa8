#pragma once
// What the sender asked the messages list for: a search, what persons did,
// a kind, a range of days the messages were sent in, and the order; read
// from the list's query and written back into its links and its form.
#include <map>
#include <string>

#include "service/store/store.h"

namespace mailwarden::pages {

struct ListFilter {
  std::string search;
  store::SeenFilter seen = store::SeenFilter::kAny;
  store::KindFilter kind = store::KindFilter::kAny;
  std::string from;  // "yyyy-mm-dd" as given, both days included; empty: no bound
  std::string to;
  // The browser's offset from UTC in minutes as its script reports it
  // (UTC minus local time); 0 without script: days are UTC days.
  int zoneOffset = 0;
  store::MessageOrder order = store::MessageOrder::kNewest;
};

ListFilter ReadListFilter(const std::map<std::string, std::string>& fields);

// Sets the query's search, filters and order.
void ApplyListFilter(const ListFilter& filter, store::MessageQuery& query);

// "q=...&seen=..." for the list's links, without what is not asked; not
// yet HTML-escaped.
std::string ListFilterQuery(const ListFilter& filter);

// True when anything but the order narrows the list.
bool Narrowed(const ListFilter& filter);

// The form above the list, its fields filled in as asked.
std::string ListFilterForm(const ListFilter& filter);

// Midnight of a "yyyy-mm-dd" day in UTC plus offsetMinutes; 0 when the text
// is no such day.
store::Time DayStart(const std::string& day, int offsetMinutes);

}  // namespace mailwarden::pages
