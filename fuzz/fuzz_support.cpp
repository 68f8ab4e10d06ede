#include "fuzz_support.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "exports/demangler_binding.h"
#include "exports/export_selection.h"
#include "input/mapped_file.h"
#include "symbols/symbol_collection.h"
#include "symbols/symbol_table.h"

void PrepareDemangler() {
  setenv("GHS_ROOT", QUORLIX_FUZZ_DEMANGLER_DIR, 1);
  // Never closed: the writer's own dlopen and dlclose then only count.
  const std::string path = std::string(QUORLIX_FUZZ_DEMANGLER_DIR) + "/" + kDemanglerFileName;
  if (dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) == nullptr) abort();
}

MappedFile* WrapInput(const uint8_t* data, size_t size, const char* path) {
  MappedFile* file = new MappedFile;
  file->path = path;
  file->size = size;
  file->view = new uint8_t[size == 0 ? 1 : size];
  if (size != 0) std::memcpy(file->view, data, size);
  return file;
}

void DropInputFile(MappedFile* file) {
  // Every record's reference has been dropped by now; only the caller's is left.
  if (file->refCount.load() != 1) abort();
  delete[] file->view;
  delete file;
}

void CollectAndExport() {
  SymbolTable table;
  if (CollectSymbols(table) != S_OK) abort();
  if (SelectExports(table) != S_OK) abort();
}
