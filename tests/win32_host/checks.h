#pragma once
// Each check prints one line, PASS or FAIL; the program's exit status says
// whether any failed.
#include <string>

namespace standin {

bool Check(bool ok, const std::string& what);
// Compares and shows both sides on failure.
bool CheckEqual(const std::string& actual, const std::string& expected, const std::string& what);
bool CheckEqual(long long actual, long long expected, const std::string& what);
void Note(const std::string& text);
int FailedChecks();

}  // namespace standin
