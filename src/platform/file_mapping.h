// A whole file mapped as a private, writable, copy-on-write view.
#pragma once

#include <cstdint>

#include "platform/system_status.h"

struct FileView {
  uint8_t* bytes = nullptr;
  uint64_t size = 0;
};

// Opens `path` for reading, maps all of it with private copy-on-write pages
// and closes the descriptor again, so any number of files can stay mapped.
// An empty file, or one of 4 GiB or more, gives E_FAIL; a failed system call
// gives its converted error number.
Status MapFileCopyOnWrite(const char* path, FileView* view);

void UnmapFile(const FileView& view);
