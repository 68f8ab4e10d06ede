#include <csignal>
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "platform/standard_output.h"

int main(int argc, char** argv) {
  // A closed pipe must show up as a failed write that the exit path reports,
  // not as a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  const Status status = RunQuorlix(argc, argv);
  OutputWriter& out = Out();
  out.Flush();
  if (out.HasFailed()) {
    std::fprintf(stderr, "quorlix: error writing standard output: %s\n", std::strerror(out.FailureErrno()));
    return status == 0 ? 1 : ExitCodeFromStatus(status);
  }
  return ExitCodeFromStatus(status);
}
