// Runs the built quorlix binary as a child process, for end-to-end tests.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ToolResult {
  std::string out;   // everything written to standard output
  std::string err;   // everything written to standard error
  int exitCode = -1;  // -1 when the child did not exit normally
};

struct ToolOptions {
  std::string workingDirectory;                  // empty: the current one
  std::map<std::string, std::string> environment;  // set on top of the inherited one
  std::vector<std::string> unsetEnvironment;       // removed from the inherited one
  std::string standardOutputPath;                  // empty: captured; else opened for writing (e.g. /dev/full)
  std::string argv0;                               // empty: the binary's path
};

// Runs `program` (default: the quorlix binary) with `arguments`.
ToolResult RunTool(const std::vector<std::string>& arguments, const ToolOptions& options = {},
                   const std::string& program = QUORLIX_BINARY);

// The GHS_ROOT under which our demangle_ghs.so is found: the build folder.
std::string DemanglerDirectory();

// The texts the driver prints around failures, for building expected output.
std::string UsageText();
