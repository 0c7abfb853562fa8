#pragma once
// The subcommands: each adds itself to the program's command line and
// returns the action to run once the line is parsed.
#include <CLI/CLI.hpp>
#include <functional>
#include <string>

namespace mailwarden::cli {

// Thrown by an action for a failure: the program prints it and exits 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Action = std::function<int()>;

void AddServe(CLI::App& app, Action& action);
void AddAccount(CLI::App& app, Action& action);
void AddBackup(CLI::App& app, Action& action);

// --database, required unless MAILWARDEN_DATABASE gives it: no command
// makes a database in the current folder by surprise.
void AddDatabaseOption(CLI::App& command, std::string& database);

// A whole number from low to high (no high: or more), said in words when it is not.
CLI::Validator WholeNumber(long long low, long long high = -1);

// Throws Failure for a code page the system cannot convert.
void CheckCodepage(int codepage);

}  // namespace mailwarden::cli
