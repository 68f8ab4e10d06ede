#include "exports/export_writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "exports/demangler_binding.h"
#include "exports/export_selection.h"
#include "platform/standard_output.h"
#include "symbols/symbol_table.h"

namespace {

// "; " starts at the smallest multiple of 40 columns past the name.
constexpr int32_t kColumnWidth = 40;

enum class ExportGroup { Code, NoBitsData, OtherData };

ExportGroup GroupOf(const SymbolRecord& symbol) {
  if (symbol.isCode) return ExportGroup::Code;
  return symbol.isNoBits ? ExportGroup::NoBitsData : ExportGroup::OtherData;
}

struct Demangler {
  DemangleFunction demangle = nullptr;
  DemangleFreeFunction release = nullptr;
};

void WriteExportLine(const SymbolRecord& symbol, const Demangler& demangler) {
  OutputWriter& out = Out();
  const std::string_view name(symbol.name, static_cast<size_t>(symbol.nameLength));
  out.Write(name);
  out.WriteBlanks(static_cast<size_t>(kColumnWidth - symbol.nameLength % kColumnWidth));
  out.Write("; ");
  // The name is NUL-terminated in its string table and passed in place.
  char* demangled = demangler.demangle(symbol.name);
  if (demangled != nullptr) {
    out.Write(std::string_view(demangled, std::strlen(demangled)));
    out.WriteByte('\n');
    demangler.release(demangled);
  } else {
    out.Write(name);
    out.WriteByte('\n');
  }
}

// The group's entries sorted by name. Selection queues symbols in ascending
// name order at the head of the list, so the list runs in descending order
// and reversing it nearly always sorts it; the sort is for any other list.
std::vector<const ExportEntry*> SortedGroup(ExportGroup group, size_t count) {
  std::vector<const ExportEntry*> entries;
  entries.reserve(count);
  for (const ExportEntry* entry = g_exportList; entry != nullptr; entry = entry->next) {
    if (GroupOf(*entry->symbol) == group) entries.push_back(entry);
  }
  std::reverse(entries.begin(), entries.end());
  const auto before = [](const ExportEntry* a, const ExportEntry* b) { return CompareExports(a, b) < 0; };
  if (!std::is_sorted(entries.begin(), entries.end(), before)) std::sort(entries.begin(), entries.end(), before);
  return entries;
}

enum class DataHeading { Data, Tls };

void WriteDataGroup(ExportGroup group, size_t count, const Demangler& demangler, DataHeading* heading) {
  for (const ExportEntry* entry : SortedGroup(group, count)) {
    const bool isTls = entry->symbol->isTls;
    if (isTls && *heading != DataHeading::Tls) {
      Out().Write("\n[TLS]\n");
      *heading = DataHeading::Tls;
    } else if (!isTls && *heading != DataHeading::Data) {
      Out().Write("\n[DATA]\n");
      *heading = DataHeading::Data;
    }
    WriteExportLine(*entry->symbol, demangler);
  }
}

}  // namespace

int CompareExports(const ExportEntry* a, const ExportEntry* b) {
  return CompareSymbolNames(a->symbol->name, a->symbol->nameLength, b->symbol->name, b->symbol->nameLength);
}

Status WriteExportList() {
  size_t counts[3] = {0, 0, 0};
  for (const ExportEntry* entry = g_exportList; entry != nullptr; entry = entry->next) {
    ++counts[static_cast<int>(GroupOf(*entry->symbol))];
  }

  Demangler demangler;
  LibraryHandle library = LoadDemangler(&demangler.demangle, &demangler.release);
  if (library == nullptr) {
    Out().Print("FAILED: LoadLibrary returned NULL; return -1\n");
    return -1;
  }
  if (demangler.demangle == nullptr) {
    Out().Print("FAILED: GetProcAddress couldn't find demangle_ghs_name(); return -1\n");
    UnloadSharedLibrary(library);
    return -1;
  }
  if (demangler.release == nullptr) {
    Out().Print("FAILED: GetProcAddress couldn't find demangle_free(); return -1\n");
    UnloadSharedLibrary(library);
    return -1;
  }

  Out().Write("; Generated Export List\n");
  Out().Write("\n[CODE]\n");
  for (const ExportEntry* entry : SortedGroup(ExportGroup::Code, counts[static_cast<int>(ExportGroup::Code)])) {
    WriteExportLine(*entry->symbol, demangler);
  }
  DataHeading heading = DataHeading::Data;
  Out().Write("\n[DATA]\n");
  WriteDataGroup(ExportGroup::NoBitsData, counts[static_cast<int>(ExportGroup::NoBitsData)], demangler, &heading);
  WriteDataGroup(ExportGroup::OtherData, counts[static_cast<int>(ExportGroup::OtherData)], demangler, &heading);

  UnloadSharedLibrary(library);
  return S_OK;
}
