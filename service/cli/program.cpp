#include "service/cli/program.h"

#include <charconv>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "service/cli/commands.h"
#include "service/keys/key_file.h"
#include "service/store/store.h"

namespace mailwarden::cli {

int Main(int argc, char** argv) {
  CLI::App app{"mailwarden: the tracking service of the Corvanta add-in"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("mailwarden ") + CORVANTA_VERSION);
  Action action;
  AddServe(app, action);
  AddAccount(app, action);
  AddBackup(app, action);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help (in any subcommand) prints that command's help and exits 0.
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "mailwarden: " << error.what() << " (see mailwarden --help)" << std::endl;
    return 2;
  }
  try {
    return action ? action() : 2;
  } catch (const std::exception& error) {
    std::cerr << "mailwarden: " << error.what() << std::endl;
    return 1;
  }
}

void AddDatabaseOption(CLI::App& command, std::string& database) {
  command
      .add_option("--database", database,
                  "sqlite:PATH or postgresql://... (any libpq connection string); default: $MAILWARDEN_DATABASE")
      ->envname("MAILWARDEN_DATABASE")
      ->required();
}

void AddKeyFileOption(CLI::App& command, std::string& keyFile) {
  command
      .add_option("--key-file", keyFile,
                  "The service's own key, which keeps the senders' add-in keys encrypted; made when missing "
                  "(default: the SQLite database's path and \".key\", else mailwarden.key; $MAILWARDEN_KEY, 64 "
                  "hexadecimal digits, takes its place)")
      ->envname("MAILWARDEN_KEY_FILE");
}

std::optional<keys::SealingKey> SealingKeyFor(const std::string& database, const std::string& keyFile) {
  const std::string file = keyFile.empty() ? keys::DefaultKeyFile(database) : keyFile;
  if (file.empty() && !std::getenv("MAILWARDEN_KEY")) return std::nullopt;
  try {
    return keys::LoadSealingKey(file);
  } catch (const std::runtime_error& error) {
    throw Failure(error.what());
  }
}

CLI::Validator WholeNumber(long long low, long long high) {
  std::string words = high < low ? "a whole number, " + std::to_string(low) + " or more"
                                 : "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [low, high, words](const std::string& text) {
        long long value = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        bool fits =
            error == std::errc() && end == text.data() + text.size() && value >= low && (high < low || value <= high);
        return fits ? std::string() : text + " is not " + words;
      },
      "N", "");
}

}  // namespace mailwarden::cli
