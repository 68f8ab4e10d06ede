// Prints the export list: code symbols under [CODE], then data symbols under
// [DATA] and [TLS], each beside its demangled name.
#pragma once

#include "platform/system_status.h"

struct ExportEntry;

// 0 after the whole list is printed; -1 when the demangler library cannot be
// loaded or lacks one of its functions, in which case nothing of the list is
// printed.
Status WriteExportList();

// The sort order of the groups: the symbol table's key order.
int CompareExports(const ExportEntry* a, const ExportEntry* b);
