#pragma once
// The databases the store tests (and the tests that run whole services on a
// database of their own) run against: one URL per engine set-up.
#include <string>
#include <vector>

namespace testsupport {

// Each URL names a database that EmptyDatabase can empty.
std::vector<std::string> StoreEngineUrls();

// Removes everything from the database at url (its tables too), so the next
// store opened on it starts from an empty schema.
void EmptyDatabase(const std::string& url);

// A readable test name for the URL: "sqlite_memory", "sqlite_file", ...
std::string EngineName(const std::string& url);

}  // namespace testsupport
