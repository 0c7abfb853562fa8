#pragma once
// The mailwarden program's command line. Exit status 0 when done, 1 on a
// failure (one line on standard error says why), 2 on a usage error.
namespace mailwarden::cli {

int Main(int argc, char** argv);

}  // namespace mailwarden::cli
