// In-process tests register objects and queue exports on the process-wide
// lists; this gives every test a clean start and frees what it left behind.
#pragma once

#include <string>

struct MappedFile;

// Frees the object list (dropping each record's file reference) and the
// export list, and clears both counts.
void ResetRunState();

// Maps `path` (which must exist) and returns the file with one reference.
MappedFile* MapForTest(const std::string& path);

// Captures everything the tool's writer prints while alive.
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;
  // What was printed so far.
  const std::string& Text();

 private:
  std::string text_;
};
