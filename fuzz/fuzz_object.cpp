// One object image, in whichever byte order its EI_DATA byte names, through
// validation and registration and, when it is accepted, through symbol
// collection, export selection and the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "support/run_state.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PrepareDemangler();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Images are 32-bit sized; libFuzzer never comes near that.
  if (size > UINT32_MAX) return 0;
  CapturedOutput output;
  MappedFile* file = WrapInput(data, size, "/fuzz/object.o");
  const Status status = RegisterObject(file, file->view, static_cast<uint32_t>(size), "object.o", 8);
  // A refused object prints its reason; an accepted one is registered once.
  if ((status == S_OK) != (g_objectCount == 1)) abort();
  if (status != S_OK && output.Text().empty()) abort();
  if (status == S_OK) CollectAndExport();
  ResetRunState();
  DropInputFile(file);
  return 0;
}
