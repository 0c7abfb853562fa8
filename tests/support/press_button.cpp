#include "support/press_button.h"

namespace testsupport {

httplib::Result PressButton(httplib::Client& client, const std::string& target) {
  httplib::Result page = client.Get(target);
  const std::string mark = "name=\"token\" value=\"";
  const std::size_t at = page ? page->body.find(mark) : std::string::npos;
  if (at == std::string::npos) return page;
  const std::size_t start = at + mark.size();
  const std::string token = page->body.substr(start, page->body.find('"', start) - start);
  return client.Post(target, "token=" + token, "application/x-www-form-urlencoded");
}

}  // namespace testsupport
