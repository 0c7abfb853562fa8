#include "host/win32/form_templates.h"

#include "host/win32/dialog_ids.h"

namespace host::win32 {
namespace {

const std::vector<FormTemplate>& Templates() {
  static const std::vector<FormTemplate> templates = {
      {"dlgProgress",
       IDD_PROGRESS,
       {{"lblProgress", IDC_PROGRESS_LBLPROGRESS},
        {"lblEmail", IDC_PROGRESS_LBLEMAIL},
        {"ctlProgress", IDC_PROGRESS_CTLPROGRESS},
        {"Close", IDC_PROGRESS_CLOSE}}},
      {"dlgAbout",
       IDD_ABOUT,
       {{"lTitle", IDC_ABOUT_LTITLE},
        {"Label3", IDC_ABOUT_LABEL3},
        {"URLButton", IDC_ABOUT_URLBUTTON},
        {"Frame1", IDC_ABOUT_FRAME1},
        {"Label1", IDC_ABOUT_LABEL1},
        {"Label4", IDC_ABOUT_LABEL4},
        {"curUserName", IDC_ABOUT_CURUSERNAME},
        {"Label2", IDC_ABOUT_LABEL2},
        {"Label6", IDC_ABOUT_LABEL6},
        {"curUserAddress", IDC_ABOUT_CURUSERADDRESS},
        {"frefresh", IDC_ABOUT_FREFRESH},
        {"Frame2", IDC_ABOUT_FRAME2},
        {"opt_send", IDC_ABOUT_OPT_SEND},
        {"credit", IDC_ABOUT_CREDIT},
        {"Donation", IDC_ABOUT_DONATION},
        {"ok", IDC_ABOUT_OK}}},
      {"toua",
       IDD_TOUA,
       {{"Text1", IDC_TOUA_TEXT1}, {"OKButton", IDC_TOUA_OKBUTTON}, {"CancelButton", IDC_TOUA_CANCELBUTTON}}},
  };
  return templates;
}

}  // namespace

int FormTemplate::IdOf(const std::string& control) const {
  for (const auto& [name, id] : controls)
    if (name == control) return id;
  return 0;
}

const std::string* FormTemplate::NameOf(int controlId) const {
  for (const auto& [name, id] : controls)
    if (id == controlId) return &name;
  return nullptr;
}

const FormTemplate* FindTemplate(const std::string& form) {
  for (const auto& candidate : Templates())
    if (candidate.form == form) return &candidate;
  return nullptr;
}

}  // namespace host::win32
