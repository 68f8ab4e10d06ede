// The choice of the symbols that the library exports.
#pragma once

#include <cstdint>

#include "platform/system_status.h"

struct SymbolRecord;
class SymbolTable;

struct ExportEntry {
  SymbolRecord* symbol;
  ExportEntry* next;  // the entry queued just before this one
};

// Newest first, so in descending name order. The driver clears both at the
// start of a run.
extern ExportEntry* g_exportList;
extern int32_t g_exportCount;

// Queues every exportable symbol in name order and, when there is at least
// one, writes the list. 0, -1 when an entry could not be allocated, or the
// writer's status.
Status SelectExports(SymbolTable& table);

// Queues a record once; a record queued before is passed over.
Status QueueExport(SymbolRecord* symbol);

// The selection rule for one record.
bool IsExported(const SymbolRecord& symbol);
