#include "support/tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

void ReadBoth(int outFd, int errFd, std::string* out, std::string* err) {
  struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err)->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

ToolResult RunTool(const std::vector<std::string>& arguments, const ToolOptions& options,
                   const std::string& program) {
  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return {};

  // Build argv and envp before forking; the child only calls exec-safe code.
  std::vector<std::string> argvStrings;
  argvStrings.push_back(options.argv0.empty() ? program : options.argv0);
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  std::map<std::string, std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    environment[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
  }
  for (const std::string& name : options.unsetEnvironment) environment.erase(name);
  for (const auto& [name, value] : options.environment) environment[name] = value;
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : environment) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) _exit(127);
    if (options.standardOutputPath.empty()) {
      ::dup2(outPipe[1], STDOUT_FILENO);
    } else {
      const int fd = ::open(options.standardOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(127);
      ::dup2(fd, STDOUT_FILENO);
      ::close(fd);
    }
    ::dup2(errPipe[1], STDERR_FILENO);
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[0]);
    ::close(errPipe[1]);
    ::execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ToolResult result;
  ReadBoth(outPipe[0], errPipe[0], &result.out, &result.err);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string DemanglerDirectory() { return QUORLIX_BUILD_DIR; }

std::string UsageText() {
  return "\n\nquorlix for Tirnova SDK Version 2.11.05 (NBX v1.0 Mar 21 2014 18:35:00)\n"
         "\nUsage:\n"
         "         QUORLIX files+\n"
         "\n quorlix is given .o files.\n"
         " It outputs a sorted exports TEXT file.\n"
         "\n";
}
