#pragma once
// Which dialog template shows which form, and which control ID stands for
// which control of the form (by the names the forms give their controls).
#include <string>
#include <utility>
#include <vector>

namespace host::win32 {

struct FormTemplate {
  std::string form;
  int templateId;
  std::vector<std::pair<std::string, int>> controls;

  int IdOf(const std::string& control) const;      // 0 when the template lacks it
  const std::string* NameOf(int controlId) const;  // null when not ours
};

// The template for a form, or null for a form the add-in does not show.
const FormTemplate* FindTemplate(const std::string& form);

}  // namespace host::win32
