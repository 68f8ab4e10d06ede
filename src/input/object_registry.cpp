#include "input/object_registry.h"

#include <cstring>
#include <new>

#include "elf/elf_layout.h"
#include "elf/object_validation.h"
#include "platform/standard_output.h"

ObjectRecord* g_objectList = nullptr;
int32_t g_objectCount = 0;

std::string_view BaseName(std::string_view path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

Status RegisterObject(MappedFile* container, uint8_t* image, uint32_t size, const char* name, size_t nameLength) {
  const int shownLength = static_cast<int>(nameLength);
  if (const ElfStatus status = ValidateElfObject(image, size); status != ELF_OK) {
    Out().Print("*** Error 0x%08X parsing ELF file \"%.*s\"\n", static_cast<uint32_t>(status), shownLength, name);
    return status;
  }
  const Elf32_Ehdr header = LoadUnaligned<Elf32_Ehdr>(image);
  if (header.e_type != ET_REL) {
    Out().Print("*** Error Object file \"%.*s\" is not relocatable. return -1.\n", shownLength, name);
    return -1;
  }
  if (header.e_shnum == 0) {
    Out().Print("*** Error Object file \"%.*s\" has no sections. return -1.\n", shownLength, name);
    return -1;
  }

  ObjectRecord* record = new (std::nothrow) ObjectRecord;
  if (record == nullptr) {
    Out().Print("*** Error Out of memory.\n");
    return E_OUTOFMEMORY;
  }
  record->name.assign(name, strnlen(name, nameLength));
  // The reference is taken only once nothing can fail any more.
  AddMappedFileReference(container);
  record->container = container;
  record->size = size;
  record->image = image;
  record->next = g_objectList;
  g_objectList = record;
  ++g_objectCount;
  return S_OK;
}

Status RegisterBareObject(MappedFile* file) {
  const std::string_view name = BaseName(file->path);
  // Files of 4 GiB or more are never mapped, so the size fits 32 bits.
  const Status status =
      RegisterObject(file, file->view, static_cast<uint32_t>(file->size), name.data(), name.size());
  if (status == S_OK) ReleaseMappedFile(file);
  return status;
}
