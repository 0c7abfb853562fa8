#pragma once
// Reads pages of mailwarden (on 127.0.0.1) for the checks.
#include <string>

namespace standin {

// The body of http://host/path; throws host::Error on failure.
std::string HttpGet(const std::string& hostPort, const std::string& path);

}  // namespace standin
