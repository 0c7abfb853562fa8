#include "support/child_program.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

ChildProgram::ChildProgram(const std::string& program, std::vector<std::string> args, const std::string* input) {
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2], in[2] = {-1, -1};
  if (::pipe(out) != 0) return;
  if (input && ::pipe(in) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  if (input) {
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
  }
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (input) {
    ::close(in[0]);
    for (std::size_t done = 0; done < input->size();) {
      ssize_t written = ::write(in[1], input->data() + done, input->size() - done);
      if (written <= 0) break;
      done += static_cast<std::size_t>(written);
    }
    ::close(in[1]);
  }
  output_ = ::fdopen(out[0], "r");
}

ChildProgram::~ChildProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (output_) std::fclose(output_);
}

std::string ChildProgram::Line() {
  std::string line;
  for (int c; output_ && (c = std::fgetc(output_)) != EOF && c != '\n';) line += static_cast<char>(c);
  return line;
}

std::string ChildProgram::Rest() {
  std::string rest;
  for (int c; output_ && (c = std::fgetc(output_)) != EOF;) rest += static_cast<char>(c);
  return rest;
}

int ChildProgram::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProgram::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int ListeningPort(const std::string& line) {
  const std::string prefix = "mailwarden listening on http://127.0.0.1:";
  if (!line.starts_with(prefix) || !line.ends_with("/")) return 0;
  return std::stoi(line.substr(prefix.size()));
}

}  // namespace testsupport
