// An input file held whole in private, writable memory, shared by every
// object record that points into it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/system_status.h"

struct MappedFile {
  std::atomic<int32_t> refCount{1};
  std::string path;  // the full path under which the file was opened
  uint64_t size = 0;
  uint8_t* view = nullptr;  // `size` bytes, writable, private to the process
  bool viewInOwnMapping = false;
};

// 0 and a new file with one reference, or E_UNEXPECTED for an empty path, the
// converted system error, E_FAIL (empty or 4 GiB and more) or E_OUTOFMEMORY;
// `*out` stays nullptr on failure.
Status OpenMappedFile(const std::string& path, MappedFile** out);

void AddMappedFileReference(MappedFile* file);

// Drops one reference and returns the count left; at 0 the view is released
// and the file freed.
int32_t ReleaseMappedFile(MappedFile* file);
