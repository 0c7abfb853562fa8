#pragma once
// A sender's time zone, from the system's time zone database
// (/usr/share/zoneinfo, Debian's tzdata): the offset from UTC at a moment
// and its abbreviation, for the times notices are written in.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/store/store.h"

namespace mailwarden::notices {

class TimeZone {
 public:
  // Nothing for a name that is not a zone of the database ("Europe/Berlin",
  // "UTC"; no paths of other files).
  static std::optional<TimeZone> Load(std::string_view name);
  // UTC itself, which needs no database.
  static TimeZone Utc();

  struct Local {
    std::int64_t offset = 0;  // seconds east of UTC
    std::string abbreviation;
  };
  Local At(store::Time time) const;
  // "2026-12-11 07:03 CET"
  std::string Format(store::Time time) const;
  // The next start of an hour or of a day in this zone after time.
  store::Time NextHour(store::Time time) const;
  store::Time NextDay(store::Time time) const;
  const std::string& Name() const { return name_; }

 private:
  struct Kind {
    std::int64_t offset = 0;
    std::string abbreviation;
  };
  std::string name_;
  std::vector<std::int64_t> transitions_;  // seconds since 1970, ascending
  std::vector<std::uint8_t> kinds_;        // the kind from each transition on
  std::vector<Kind> kindList_;
};

}  // namespace mailwarden::notices
