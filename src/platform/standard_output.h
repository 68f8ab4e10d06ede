// The one output channel of the tool. Messages and the export list share it,
// so everything goes through one buffer and keeps its order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class OutputWriter {
 public:
  OutputWriter() = default;
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;
  ~OutputWriter();

  // printf-style message; %s, %.*s and friends print bytes as they are.
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Write(std::string_view bytes);
  void WriteByte(char byte);
  void WriteBlanks(size_t count);

  // Pushes the buffer to its destination. Safe to call any number of times.
  void Flush();

  // Sends later output into `sink` instead of standard output (tests, fuzzing);
  // nullptr goes back to standard output. Flushes what is pending first.
  void CaptureInto(std::string* sink);

  // True once a write to standard output failed; `FailureErrno` tells why.
  bool HasFailed() const { return failedErrno_ != 0; }
  int FailureErrno() const { return failedErrno_; }

 private:
  void Reserve(size_t bytes);

  static constexpr size_t kCapacity = 64 * 1024;
  char buffer_[kCapacity];
  size_t used_ = 0;
  std::string* sink_ = nullptr;
  int failedErrno_ = 0;
};

// The process-wide writer for standard output.
OutputWriter& Out();
