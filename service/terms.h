#pragma once
#include <string>

namespace mailwarden {

// The terms of use the add-in shows before its first use ("/cvx/toua.txt").
std::string BuiltInTerms();

}  // namespace mailwarden
