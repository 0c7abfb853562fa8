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

inline constexpr const char* kDefaultDatabase = "sqlite:mailwarden.db";

}  // namespace mailwarden::cli
