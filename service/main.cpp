// mailwarden: the tracking service. `mailwarden serve` runs it,
// `mailwarden account ...` manages the senders' accounts.
#include "service/cli/program.h"

int main(int argc, char** argv) {
  return mailwarden::cli::Main(argc, argv);
}
