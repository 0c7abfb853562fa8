// Starts and stops the PostgreSQL server a whole test run shares, so each
// test process does not initdb a server of its own:
//   postgres_test_server start|stop STATEFILE
// start writes the server's folder to STATEFILE; stop removes the server.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "support/postgres_server.h"

namespace {

std::string FolderIn(const std::string& stateFile) {
  std::ifstream in(stateFile);
  std::string folder;
  std::getline(in, folder);
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 3 ? argv[1] : "";
  if (command != "start" && command != "stop") {
    std::cerr << "usage: postgres_test_server start|stop STATEFILE\n";
    return 2;
  }
  const std::string stateFile = argv[2];
  // A server left by an interrupted run goes first.
  if (std::string old = FolderIn(stateFile); !old.empty()) testsupport::PostgresServer::StopIn(old);
  std::filesystem::remove(stateFile);
  if (command == "stop") return 0;
  try {
    testsupport::PostgresServer server;
    std::ofstream(stateFile) << server.Folder() << "\n";
    server.KeepRunning();
    std::cout << "PostgreSQL for the tests in " << server.Folder() << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
