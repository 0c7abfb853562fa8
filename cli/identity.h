#pragma once
// 'Name <address>' or a bare address, as the command line takes people.
#include <optional>
#include <string>

namespace cli {

struct Person {
  std::string name;
  std::string address;
};

// A bare address is its own display name, as in Outlook. Nothing when the
// text is not one of the two forms (an empty address, a missing '>').
std::optional<Person> ParsePerson(const std::string& text);

}  // namespace cli
