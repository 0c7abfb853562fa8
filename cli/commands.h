#pragma once
// The commands of the corvanta program. Each returns the exit status: 0 when
// the work finished, 1 when it ended with a failure the user was told about.
// A wrong command line throws UsageError (status 2).
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/session.h"

namespace cli {

struct SendOptions {
  SessionOptions session;
  std::string mode;  // automatic, receipt, guaranteed
  std::vector<std::string> to, cc, bcc;
  std::string subject;
  std::string textFile;  // "-" for standard input
  std::string htmlFile;
};

int RunSend(const SendOptions& options, std::ostream& out, std::istream& in);
int RunCredit(const SessionOptions& options, std::ostream& out, std::istream& in);
int RunDemo(std::ostream& out);

}  // namespace cli
