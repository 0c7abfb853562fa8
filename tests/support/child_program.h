#pragma once
// A program run by a test, with its standard output on a pipe and, when
// given, text on its standard input. Killed when the object goes.
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

class ChildProgram {
 public:
  ChildProgram(const std::string& program, std::vector<std::string> args, const std::string* input = nullptr);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // The next line of its output, without the line end; "" at its end.
  std::string Line();
  // Everything up to the end of its output.
  std::string Rest();
  // Its exit status; -1 when it did not exit normally.
  int Wait();
  void Signal(int signal);

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

// The port of "mailwarden listening on http://127.0.0.1:PORT/"; 0 if the line is not that.
int ListeningPort(const std::string& line);

}  // namespace testsupport
