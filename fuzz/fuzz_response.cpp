// Response-file bytes through the splitter, and through the command-line
// parser reading them from a file, which must yield the same arguments.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cmdline/command_line_parser.h"
#include "platform/system_status.h"

namespace {

std::string g_responsePath;

void WriteResponseFile(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(g_responsePath.c_str(), "wb");
  if (file == nullptr) abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) abort();
  if (std::fclose(file) != 0) abort();
}

// What the driver's loop takes from the parser: the cursor passes over the
// program name, then yields arguments until it reaches the end.
std::vector<std::string> ArgumentsOf(CommandLineParser& parser) {
  std::vector<std::string> taken;
  parser.Reset();
  parser.Advance();
  while (parser.HasMore()) {
    taken.emplace_back(parser.Current());
    parser.Advance();
  }
  return taken;
}

std::string g_responseDirectory;

void RemoveResponseFile() {
  unlink(g_responsePath.c_str());
  rmdir(g_responseDirectory.c_str());
}

// A folder in memory where there is one: the file is rewritten for every input.
std::string TemporaryBase() {
  const char* base = std::getenv("TMPDIR");
  if (base != nullptr && *base != '\0') return base;
  return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_responseDirectory = TemporaryBase() + "/quorlix-fuzz-XXXXXX";
  if (mkdtemp(g_responseDirectory.data()) == nullptr) abort();
  g_responsePath = g_responseDirectory + "/response.txt";
  std::atexit(RemoveResponseFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> split;
  SplitResponseText(std::string_view(reinterpret_cast<const char*>(data), size), &split);
  // Line ends and tabs always separate, and no quote survives.
  for (const std::string& argument : split) {
    if (argument.find_first_of("\r\n\t\"") != std::string::npos) abort();
  }

  WriteResponseFile(data, size);
  const std::string responseArgument = "@" + g_responsePath;
  const char* argv[] = {"quorlix", responseArgument.c_str(), "last.o", nullptr};
  CommandLineParser parser;
  const Status status = parser.Init(3, argv);
  if (size == 0) {
    // An empty file cannot be opened.
    if (status != E_FAIL) abort();
    return 0;
  }
  if (status != S_OK) abort();
  std::vector<std::string> expected = split;
  expected.push_back("last.o");
  if (ArgumentsOf(parser) != expected) abort();
  return 0;
}
