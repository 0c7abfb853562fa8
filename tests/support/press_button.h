#pragma once
// What a recipient's browser does on a receipt, read or cancel link: the
// link's page, then its one button pressed (the page's form posted with its
// token). A page without a form is the answer as it stands.
#include <httplib.h>

#include <string>

namespace testsupport {

// target: the link's path and query.
httplib::Result PressButton(httplib::Client& client, const std::string& target);

}  // namespace testsupport
