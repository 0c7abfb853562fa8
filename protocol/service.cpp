#include "protocol/service.h"

namespace corvanta::protocol {

std::string ServiceUrl(const std::string& host, const char* path) {
  return "http://" + host + path;
}

}  // namespace corvanta::protocol
