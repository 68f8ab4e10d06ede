#include "platform/standard_output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

OutputWriter::~OutputWriter() { Flush(); }

void OutputWriter::Flush() {
  if (used_ == 0) return;
  if (sink_ != nullptr) {
    sink_->append(buffer_, used_);
    used_ = 0;
    return;
  }
  size_t written = 0;
  // After a failure the rest is dropped: the exit path reports it once.
  while (written < used_ && failedErrno_ == 0) {
    const ssize_t n = ::write(STDOUT_FILENO, buffer_ + written, used_ - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      failedErrno_ = errno;
    } else if (n == 0) {
      failedErrno_ = EIO;
    } else {
      written += static_cast<size_t>(n);
    }
  }
  used_ = 0;
}

void OutputWriter::CaptureInto(std::string* sink) {
  Flush();
  sink_ = sink;
}

void OutputWriter::Reserve(size_t bytes) {
  if (kCapacity - used_ < bytes) Flush();
}

void OutputWriter::Write(std::string_view bytes) {
  if (bytes.size() >= kCapacity) {
    Flush();
    // Larger than the buffer: pass it through in buffer-sized pieces.
    while (!bytes.empty()) {
      const size_t piece = bytes.size() < kCapacity ? bytes.size() : kCapacity;
      std::memcpy(buffer_, bytes.data(), piece);
      used_ = piece;
      Flush();
      bytes.remove_prefix(piece);
    }
    return;
  }
  Reserve(bytes.size());
  std::memcpy(buffer_ + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

void OutputWriter::WriteByte(char byte) {
  Reserve(1);
  buffer_[used_++] = byte;
}

void OutputWriter::WriteBlanks(size_t count) {
  while (count > 0) {
    Reserve(1);
    const size_t room = kCapacity - used_;
    const size_t piece = count < room ? count : room;
    std::memset(buffer_ + used_, ' ', piece);
    used_ += piece;
    count -= piece;
  }
}

void OutputWriter::Print(const char* format, ...) {
  char local[1024];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(local, sizeof local, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) < sizeof local) {
    Write(std::string_view(local, static_cast<size_t>(length)));
  } else {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    Write(std::string_view(text.data(), static_cast<size_t>(length)));
  }
  va_end(again);
}

OutputWriter& Out() {
  static OutputWriter writer;
  return writer;
}
