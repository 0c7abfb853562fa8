#include "service/cli/program.h"

#include <exception>
#include <iostream>

#include "service/cli/commands.h"
#include "service/store/store.h"

namespace mailwarden::cli {

int Main(int argc, char** argv) {
  CLI::App app{"mailwarden: the tracking service of the Corvanta add-in"};
  app.require_subcommand(1);
  Action action;
  AddServe(app, action);
  AddAccount(app, action);
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

}  // namespace mailwarden::cli
