#pragma once
// The subcommands: each adds itself to the program's command line and
// returns the action to run once the line is parsed.
#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>

#include "service/keys/sealing.h"

namespace mailwarden::cli {

// Thrown by an action for a failure: the program prints it and exits 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Action = std::function<int()>;

void AddServe(CLI::App& app, Action& action);
void AddAccount(CLI::App& app, Action& action);
void AddBackup(CLI::App& app, Action& action);
// Under `account`: notify and webhook.
void AddNoticeCommands(CLI::App& accounts, Action& action);

// --database, required unless MAILWARDEN_DATABASE gives it: no command
// makes a database in the current folder by surprise.
void AddDatabaseOption(CLI::App& command, std::string& database);

// --key-file (or MAILWARDEN_KEY_FILE): where the service's key that seals
// the senders' add-in keys is kept.
void AddKeyFileOption(CLI::App& command, std::string& keyFile);
// That key for the database: from MAILWARDEN_KEY, the key file given, or the
// database's own (made when missing); nothing for an in-memory database.
// Throws Failure.
std::optional<keys::SealingKey> SealingKeyFor(const std::string& database, const std::string& keyFile);

// A whole number from low to high (no high: or more), said in words when it is not.
CLI::Validator WholeNumber(long long low, long long high = -1);

// Throws Failure for a code page the system cannot convert.
void CheckCodepage(int codepage);

}  // namespace mailwarden::cli
