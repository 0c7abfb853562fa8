// mailwarden-dev: the tracking service's stand-in, serving on 127.0.0.1
// until SIGINT or SIGTERM.
#include <pthread.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <exception>
#include <iostream>

#include "devservice/server.h"
#include "devservice/service.h"

int main(int argc, char** argv) {
  CLI::App app{"mailwarden-dev: a stand-in of the Mailwarden tracking service on 127.0.0.1"};
  mailwarden::Options options;
  int port = 0;
  app.add_option("--port", port, "Port on 127.0.0.1; 0 picks a free one")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  app.add_option("--credit", options.startingCredit, "Starting credit of a sender not seen before")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--data", options.dataFile, "JSON file that keeps the service's state across restarts");
  CLI11_PARSE(app, argc, argv);

  // The signals are taken by sigwait below, not by whichever thread they hit.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    mailwarden::Service service(options);
    mailwarden::Server server(service, port);
    server.Start();
    std::cout << "mailwarden-dev listening on " << server.Url() << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    std::cout << "mailwarden-dev stopped" << std::endl;
  } catch (const std::exception& error) {
    std::cerr << "mailwarden-dev: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
