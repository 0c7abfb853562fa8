#pragma once
// The ua-parser project's data (Debian's uap-core, regexes.yaml): for the
// program, the system and the device, patterns in order, each with what it
// names. Read with libyaml; matched elsewhere.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mailwarden::events {

// A pattern and its replacements ("$1" in them stands for the pattern's
// first group, and so on); a missing replacement is empty.
struct ClientRule {
  std::string regex;
  bool ignoreCase = false;  // regex_flag: 'i'
  std::vector<std::string> replacements;
};

struct ClientRules {
  // Replacements: family, v1, v2.
  std::vector<ClientRule> agents;
  // Replacements: os, os_v1, os_v2.
  std::vector<ClientRule> systems;
  // Replacements: device, brand, model.
  std::vector<ClientRule> devices;
};

// The data could not be read or is not in the ua-parser form.
class ClientDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The rules of the YAML text; throws ClientDataError.
ClientRules ParseClientRules(std::string_view yaml);
// The rules of the file; throws ClientDataError naming the file.
ClientRules ReadClientRules(const std::string& path);

}  // namespace mailwarden::events
