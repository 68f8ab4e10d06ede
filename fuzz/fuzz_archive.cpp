// One archive through the member walk, the registration of its object
// members and, when any was registered, everything after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "support/run_state.h"
#include "input/archive_reader.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"

namespace {

// The driver hands an archive over only when it has at least this many
// bytes and begins with the signature.
constexpr size_t kLeastInputSize = 260;
constexpr char kSignature[] = "!<arch>\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PrepareDemangler();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kLeastInputSize || size > UINT32_MAX) return 0;
  if (std::memcmp(data, kSignature, sizeof kSignature - 1) != 0) return 0;
  CapturedOutput output;
  MappedFile* file = WrapInput(data, size, "/fuzz/library.a");
  const Status status = ReadArchive(file);
  // Every failure but a missing name buffer comes with a message.
  if (status != S_OK && output.Text().empty()) abort();
  if (status == S_OK && g_objectCount != 0) CollectAndExport();
  ResetRunState();
  DropInputFile(file);
  return 0;
}
