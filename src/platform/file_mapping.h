// A whole file as a private, writable view: writes into it never reach the
// file, and it stays valid until it is given back.
#pragma once

#include <cstdint>

#include "platform/system_status.h"

struct FileView {
  uint8_t* bytes = nullptr;
  uint64_t size = 0;
  bool isMapping = false;  // mapped copy-on-write, rather than read into the heap
};

// Files up to this size are read into private heap memory: for the many
// small objects of a library that is cheaper than a mapping (one read
// instead of a mapping and its page faults; 20,000 small objects took 3.4 s
// mapped and 0.5 s read), and the process never runs short of mappings.
// Larger files are mapped privately with their pages filled at once.
constexpr uint64_t kLargestReadFile = 256 * 1024;

// Opens `path` for reading, gives its bytes as a private view and closes the
// descriptor again, so any number of files can stay open. An empty file, or
// one of 4 GiB or more, gives E_FAIL; a failed system call gives its
// converted error number.
Status OpenPrivateFileView(const char* path, FileView* view);

void ReleaseFileView(const FileView& view);
