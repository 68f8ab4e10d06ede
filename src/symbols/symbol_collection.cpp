#include "symbols/symbol_collection.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "elf/elf_layout.h"
#include "input/object_registry.h"
#include "platform/standard_output.h"
#include "symbols/duplicate_objects.h"
#include "symbols/symbol_table.h"

namespace {

// A string inside an object image: starts at `offset` of a table of
// `tableSize` bytes at `tableOffset`, and ends at its NUL or at the end of the
// table or the image, whichever comes first.
struct BoundedName {
  const char* text = nullptr;
  int32_t length = 0;
  bool terminated = false;
};

BoundedName NameInTable(const ObjectRecord& object, uint32_t tableOffset, uint32_t tableSize, uint32_t offset) {
  const uint64_t tableEnd = std::min<uint64_t>(uint64_t{tableOffset} + tableSize, object.size);
  const uint64_t start = uint64_t{tableOffset} + offset;
  if (offset >= tableSize || start >= tableEnd) return {};
  const char* text = reinterpret_cast<const char*>(object.image + start);
  const size_t room = static_cast<size_t>(tableEnd - start);
  const void* nul = std::memchr(text, '\0', room);
  const size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : room;
  return {text, static_cast<int32_t>(length), nul != nullptr};
}

bool HasSkipSection(const ElfLayout& layout, uint16_t sectionCount) {
  for (uint32_t index = 0; index < sectionCount; ++index) {
    if (layout.Section(index).sh_type == SHT_SKIP_OBJECT) return true;
  }
  return false;
}

// Only symbol tables that validation examined, and so converted, are read: a
// table at index 0 or carrying the size prefix was never looked at, and one
// without a string table has no names to enter.
bool IsCollectableSymbolTable(uint32_t index, const Elf32_Shdr& section) {
  return section.sh_type == SHT_SYMTAB && index != 0 && (section.sh_flags & SHF_SIZE_PREFIXED) == 0 &&
         section.sh_link != 0;
}

void ReportCopy(const ObjectRecord& earlier, const ObjectRecord& later) {
  if (earlier.name != later.name) {
    Out().Print("!!!WARNING: Exact same object file specified under two different names:\n    \"%s\" and \"%s\"\n.",
                earlier.name.c_str(), later.name.c_str());
  } else if (earlier.container != later.container) {
    Out().Print("!!!INFO: File \"%s\" is in two input files:\n    \"%s\" and \"%s\".\n", later.name.c_str(),
                earlier.container->path.c_str(), later.container->path.c_str());
  }
}

}  // namespace

Status EnterSectionSymbols(SymbolTable& table, ObjectRecord* object, uint32_t index) {
  const ElfLayout layout = ImageLayout(object->image, object->size);
  const Elf32_Ehdr header = layout.Header();
  const Elf32_Shdr symbols = layout.Section(index);
  const uint32_t entrySize = EntrySizeOrDefault(symbols.sh_entsize, kDefaultSymbolEntrySize);
  const uint32_t count = symbols.sh_size / entrySize;
  if (count == 0) return S_OK;
  const Elf32_Shdr strings = layout.Section(symbols.sh_link);
  const bool hasSectionNames = header.e_shstrndx != 0;
  const Elf32_Shdr sectionNames = hasSectionNames ? layout.Section(header.e_shstrndx) : Elf32_Shdr{};

  const uint8_t* entry = object->image + symbols.sh_offset;
  for (uint32_t i = 0; i < count; ++i, entry += entrySize) {
    const Elf32_Sym symbol = LoadUnaligned<Elf32_Sym>(entry);
    const uint8_t binding = ElfSymbolBinding(symbol.st_info);
    if (binding != STB_GLOBAL && binding != STB_WEAK) continue;
    if (symbol.st_shndx == SHN_UNDEF) continue;
    // The name is handed on as a NUL-terminated string in place; one that runs
    // to the end of its string table without a NUL is malformed and left out.
    const BoundedName name = NameInTable(*object, strings.sh_offset, strings.sh_size, symbol.st_name);
    if (!name.terminated) continue;

    SymbolKind kind = SymbolKind::Data;
    bool isNoBits = false;
    BoundedName sectionName;
    if (symbol.st_shndx < header.e_shnum) {
      const Elf32_Shdr home = layout.Section(symbol.st_shndx);
      if ((home.sh_flags & SHF_THREAD_LOCAL) != 0) {
        kind = SymbolKind::ThreadLocal;
      } else if ((home.sh_flags & SHF_EXECINSTR) != 0) {
        kind = SymbolKind::Code;
      }
      isNoBits = home.sh_type == SHT_NOBITS;
      if (hasSectionNames) {
        sectionName = NameInTable(*object, sectionNames.sh_offset, sectionNames.sh_size, home.sh_name);
      }
    } else if (symbol.st_shndx == SHN_THREAD_LOCAL) {
      kind = SymbolKind::ThreadLocal;
    }

    if (table.EnterSymbol(name.text, name.length, object, entry, kind, sectionName.text, sectionName.length,
                          isNoBits) == nullptr) {
      Out().Print("***Error tracking symbol \"%.*s\". Return -1\n", static_cast<int>(name.length), name.text);
      return -1;
    }
  }
  return S_OK;
}

Status CollectSymbols(SymbolTable& table) {
  std::vector<ObjectRecord*> oldestFirst;
  oldestFirst.reserve(static_cast<size_t>(g_objectCount));
  for (ObjectRecord* object = g_objectList; object != nullptr; object = object->next) oldestFirst.push_back(object);
  std::reverse(oldestFirst.begin(), oldestFirst.end());
  const std::vector<ObjectRecord*> earlierCopy = FindEarlierCopies(oldestFirst);

  for (size_t position = oldestFirst.size(); position-- > 0;) {
    ObjectRecord* object = oldestFirst[position];
    if (earlierCopy[position] != nullptr) {
      ReportCopy(*earlierCopy[position], *object);
      continue;
    }
    const ElfLayout layout = ImageLayout(object->image, object->size);
    const uint16_t sectionCount = layout.Header().e_shnum;
    if (HasSkipSection(layout, sectionCount)) continue;
    for (uint32_t index = 0; index < sectionCount; ++index) {
      if (!IsCollectableSymbolTable(index, layout.Section(index))) continue;
      if (const Status status = EnterSectionSymbols(table, object, index); status != S_OK) return status;
    }
  }
  return S_OK;
}
