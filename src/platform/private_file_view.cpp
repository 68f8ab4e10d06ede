#include "platform/private_file_view.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr uint64_t kHugePage = uint64_t{2} << 20;

// A mapping whose length is a whole number of huge pages starts on a huge-page
// boundary, which the kernel needs before it can back it with huge pages.
uint64_t OwnMappingLength(uint64_t size) { return (size + kHugePage - 1) / kHugePage * kHugePage; }

uint8_t* AllocateView(uint64_t size, bool* inOwnMapping) {
  *inOwnMapping = size > kLargestHeapFile;
  if (!*inOwnMapping) return static_cast<uint8_t*>(std::malloc(size));
  void* memory = ::mmap(nullptr, OwnMappingLength(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return nullptr;
  // Huge pages only where the file fills them, so the memory used stays the
  // file's size. Only a hint: where they are not to be had, small pages serve.
  const uint64_t filledHugePages = size / kHugePage * kHugePage;
  if (filledHugePages != 0) ::madvise(memory, filledHugePages, MADV_HUGEPAGE);
  return static_cast<uint8_t*>(memory);
}

// Reads exactly `size` bytes; a file that shrank meanwhile counts as failing.
Status ReadWhole(int descriptor, uint64_t size, FileView* view) {
  FileView read;
  read.bytes = AllocateView(size, &read.inOwnMapping);
  if (read.bytes == nullptr) return E_OUTOFMEMORY;
  read.size = size;
  uint64_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(descriptor, read.bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ReleaseFileView(read);
      return StatusFromSystemError(error);
    }
    done += static_cast<uint64_t>(n);
  }
  *view = read;
  return S_OK;
}

Status ViewOpenFile(int descriptor, FileView* view) {
  struct stat info;
  if (::fstat(descriptor, &info) != 0) return StatusFromSystemError(errno);
  if (S_ISDIR(info.st_mode)) return StatusFromSystemError(EISDIR);
  // Pipes and other files that report no size count as empty.
  const uint64_t size = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  if (size == 0 || size >= (uint64_t{1} << 32)) return E_FAIL;
  return ReadWhole(descriptor, size, view);
}

}  // namespace

Status OpenPrivateFileView(const char* path, FileView* view) {
  // O_NONBLOCK only matters for a FIFO: without a writer it would block the
  // open for ever; this way it opens, reports no size and is refused.
  const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return StatusFromSystemError(errno);
  const Status status = ViewOpenFile(descriptor, view);
  ::close(descriptor);
  return status;
}

void ReleaseFileView(const FileView& view) {
  if (view.bytes == nullptr) return;
  if (view.inOwnMapping) {
    ::munmap(view.bytes, OwnMappingLength(view.size));
  } else {
    std::free(view.bytes);
  }
}
