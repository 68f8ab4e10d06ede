#include "exports/export_selection.h"

#include <new>

#include "elf/elf_layout.h"
#include "exports/export_writer.h"
#include "input/object_registry.h"
#include "platform/standard_output.h"
#include "symbols/symbol_table.h"

ExportEntry* g_exportList = nullptr;
int32_t g_exportCount = 0;

bool IsExported(const SymbolRecord& symbol) {
  if (symbol.isWeak || symbol.attributes != 0 || symbol.name[0] == '.') return false;
  const uint16_t sectionIndex = LoadUnaligned<Elf32_Sym>(symbol.elfSymbol).st_shndx;
  const ElfLayout layout = ImageLayout(symbol.object->image, symbol.object->size);
  if (sectionIndex < layout.Header().e_shnum) return (layout.Section(sectionIndex).sh_flags & SHF_ALLOC) != 0;
  return sectionIndex == SHN_COMMON || sectionIndex == SHN_THREAD_LOCAL;
}

Status QueueExport(SymbolRecord* symbol) {
  if (symbol->exportQueued) return S_OK;
  symbol->exportQueued = 1;
  ExportEntry* entry = new (std::nothrow) ExportEntry;
  if (entry == nullptr) {
    Out().Print("***Error: Out of memory. Return -1\n");
    return -1;
  }
  entry->symbol = symbol;
  entry->next = g_exportList;
  g_exportList = entry;
  ++g_exportCount;
  return S_OK;
}

Status SelectExports(SymbolTable& table) {
  for (SymbolRecord* symbol = table.FirstSymbol(); symbol != nullptr; symbol = table.NextSymbol(symbol)) {
    if (!IsExported(*symbol)) continue;
    if (const Status status = QueueExport(symbol); status != S_OK) return status;
  }
  return g_exportCount != 0 ? WriteExportList() : S_OK;
}
