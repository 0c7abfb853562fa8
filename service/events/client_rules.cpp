#include "service/events/client_rules.h"

#include <yaml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace mailwarden::events {

namespace {

// The parsed document, freed however the reading ends.
struct Document {
  yaml_document_t document{};
  bool loaded = false;
  ~Document() {
    if (loaded) yaml_document_delete(&document);
  }
};

std::string Scalar(yaml_document_t& document, int id) {
  yaml_node_t* node = yaml_document_get_node(&document, id);
  if (!node || node->type != YAML_SCALAR_NODE) return "";
  return std::string(reinterpret_cast<const char*>(node->data.scalar.value), node->data.scalar.length);
}

// One list of the document's top mapping: each entry's "regex", its flag,
// and the named replacements in order.
std::vector<ClientRule> Rules(yaml_document_t& document, yaml_node_t* list, const char* const (&names)[3]) {
  std::vector<ClientRule> rules;
  if (!list || list->type != YAML_SEQUENCE_NODE) throw ClientDataError("a list of patterns is not a list");
  for (yaml_node_item_t* item = list->data.sequence.items.start; item < list->data.sequence.items.top; ++item) {
    yaml_node_t* entry = yaml_document_get_node(&document, *item);
    if (!entry || entry->type != YAML_MAPPING_NODE) throw ClientDataError("a pattern's entry is not a mapping");
    ClientRule rule;
    rule.replacements.resize(3);
    for (yaml_node_pair_t* pair = entry->data.mapping.pairs.start; pair < entry->data.mapping.pairs.top; ++pair) {
      const std::string key = Scalar(document, pair->key);
      const std::string value = Scalar(document, pair->value);
      if (key == "regex") rule.regex = value;
      if (key == "regex_flag") rule.ignoreCase = value == "i";
      for (std::size_t i = 0; i < 3; ++i)
        if (key == names[i]) rule.replacements[i] = value;
    }
    if (rule.regex.empty()) throw ClientDataError("a pattern's entry has no regex");
    rules.push_back(std::move(rule));
  }
  return rules;
}

}  // namespace

ClientRules ParseClientRules(std::string_view yaml) {
  yaml_parser_t parser;
  if (!yaml_parser_initialize(&parser)) throw ClientDataError("out of memory");
  yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(yaml.data()), yaml.size());
  Document document;
  const bool loaded = yaml_parser_load(&parser, &document.document);
  const std::string problem = parser.problem ? parser.problem : "";
  const std::size_t line = parser.problem_mark.line + 1;
  yaml_parser_delete(&parser);
  if (!loaded) throw ClientDataError("not YAML: " + problem + " at line " + std::to_string(line));
  document.loaded = true;
  yaml_node_t* root = yaml_document_get_root_node(&document.document);
  if (!root || root->type != YAML_MAPPING_NODE) throw ClientDataError("not a mapping of pattern lists");

  ClientRules rules;
  bool agents = false, systems = false, devices = false;
  for (yaml_node_pair_t* pair = root->data.mapping.pairs.start; pair < root->data.mapping.pairs.top; ++pair) {
    const std::string key = Scalar(document.document, pair->key);
    yaml_node_t* value = yaml_document_get_node(&document.document, pair->value);
    if (key == "user_agent_parsers") {
      rules.agents = Rules(document.document, value, {"family_replacement", "v1_replacement", "v2_replacement"});
      agents = true;
    } else if (key == "os_parsers") {
      rules.systems = Rules(document.document, value, {"os_replacement", "os_v1_replacement", "os_v2_replacement"});
      systems = true;
    } else if (key == "device_parsers") {
      rules.devices = Rules(document.document, value, {"device_replacement", "brand_replacement", "model_replacement"});
      devices = true;
    }
  }
  if (!agents || !systems || !devices)
    throw ClientDataError("user_agent_parsers, os_parsers or device_parsers is missing");
  return rules;
}

ClientRules ReadClientRules(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ClientDataError(path + ": " + std::strerror(errno));
  std::stringstream text;
  text << in.rdbuf();
  try {
    return ParseClientRules(text.str());
  } catch (const ClientDataError& bad) {
    throw ClientDataError(path + ": " + bad.what());
  }
}

}  // namespace mailwarden::events
