// What the fuzz targets share: inputs wrapped as mapped files, the run from
// the symbol walk to the export list, and the teardown between inputs.
#pragma once

#include <cstddef>
#include <cstdint>

struct MappedFile;

// Points GHS_ROOT at the build folder and keeps the demangler loaded for the
// whole process, so the writer's load and unload per input stay cheap.
void PrepareDemangler();

// A MappedFile whose view is a heap copy of exactly `size` bytes, so that
// AddressSanitizer sees a read one byte past the input. The caller holds one
// reference and must give the file back with DropInputFile, never through
// ReleaseMappedFile (which would unmap the heap copy).
MappedFile* WrapInput(const uint8_t* data, size_t size, const char* path);
void DropInputFile(MappedFile* file);

// Symbol collection and export selection (with the writer) on a fresh table,
// as the driver runs them after gathering. Traps when either reports a
// failure, since neither can fail here without running out of memory.
void CollectAndExport();
