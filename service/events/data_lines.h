#pragma once
// The service's data files of machine User-Agents and networks: an entry a
// line, in groups parted by blank lines, each group under a "# Source:"
// comment that names where its entries come from.
#include <functional>
#include <string_view>

namespace mailwarden::events {

std::string_view Trim(std::string_view text);

struct DataLine {
  std::string_view text;  // trimmed, never empty, never a comment
  int number = 0;         // from 1
  bool sourced = false;   // its group is under a "# Source:" comment
};

// Calls each for every entry of text, in order.
void ForEachDataLine(std::string_view text, const std::function<void(const DataLine&)>& each);

}  // namespace mailwarden::events
