#include "service/events/data_lines.h"

namespace mailwarden::events {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

void ForEachDataLine(std::string_view text, const std::function<void(const DataLine&)>& each) {
  bool sourced = false;
  int number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty()) {
      sourced = false;
    } else if (line.front() == '#') {
      sourced = sourced || Trim(line.substr(1)).starts_with("Source:");
    } else {
      each({line, number, sourced});
    }
  }
}

}  // namespace mailwarden::events
