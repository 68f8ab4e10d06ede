#include "platform/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

Status MapFileCopyOnWrite(const char* path, FileView* view) {
  const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return StatusFromSystemError(errno);

  struct stat info;
  if (::fstat(descriptor, &info) != 0) {
    const int error = errno;
    ::close(descriptor);
    return StatusFromSystemError(error);
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(descriptor);
    return StatusFromSystemError(EISDIR);
  }
  // Pipes and other files that report no size count as empty.
  const uint64_t size = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  if (size == 0 || size >= (uint64_t{1} << 32)) {
    ::close(descriptor);
    return E_FAIL;
  }

  void* bytes = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, descriptor, 0);
  const int mapError = errno;
  ::close(descriptor);
  if (bytes == MAP_FAILED) return StatusFromSystemError(mapError);

  view->bytes = static_cast<uint8_t*>(bytes);
  view->size = size;
  return S_OK;
}

void UnmapFile(const FileView& view) {
  if (view.bytes != nullptr) ::munmap(view.bytes, view.size);
}
