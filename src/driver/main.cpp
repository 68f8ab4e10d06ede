#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "platform/standard_output.h"

int main(int argc, char** argv) {
  const Status status = RunQuorlix(argc, argv);
  OutputWriter& out = Out();
  out.Flush();
  if (out.HasFailed()) {
    std::fprintf(stderr, "quorlix: error writing standard output: %s\n", std::strerror(out.FailureErrno()));
    return status == 0 ? 1 : ExitCodeFromStatus(status);
  }
  return ExitCodeFromStatus(status);
}
