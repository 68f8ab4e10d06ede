// A cursor over the argument vector that yields, in place of every argument
// beginning with '@', the arguments read from the response file it names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_status.h"

// Status of Init when the vector is missing or a response file ran out of
// memory; -2 and -3 name the two allocations of Init itself.
constexpr Status kParserBadArguments = -1;
constexpr Status kParserNoMemoryForTable = -2;
constexpr Status kParserNoMemoryForResponseFile = -3;

// Splits response-file text into arguments: lines end at CR or LF, blanks
// (space, tab) at both ends of a line are dropped, arguments end at a space
// outside double quotes, at any tab, or at the end of the line; the quotes of
// a quoted argument are removed.
void SplitResponseText(std::string_view text, std::vector<std::string>* arguments);

struct ResponseFileArgs {
  int32_t cursor = 0;
  std::vector<std::string> items;

  int32_t count() const { return static_cast<int32_t>(items.size()); }

  // Reads the response file `path` (resolved against the current directory)
  // and appends its arguments. Returns the mapping status on failure.
  Status ReadResponseFile(std::string_view path);
  void Clear();
};

class CommandLineParser {
 public:
  CommandLineParser() = default;
  CommandLineParser(const CommandLineParser&) = delete;
  CommandLineParser& operator=(const CommandLineParser&) = delete;
  ~CommandLineParser();

  Status Init(int argc, const char* const* argv);
  void Reset();
  void Advance();
  std::string_view Current() const;
  bool HasMore() const;

 private:
  bool IsEmptyResponseFile(int32_t index) const;
  void SkipEmptyResponseFiles();

  int32_t argCount_ = -1;
  const char* const* arguments_ = nullptr;
  int32_t position_ = -1;
  // Entry i is set when argument i names a response file; none until Init.
  std::unique_ptr<ResponseFileArgs*[]> responseFiles_;
};
