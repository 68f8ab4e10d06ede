// Fills the symbol table from every registered object.
#pragma once

#include <cstdint>

#include "platform/system_status.h"

struct ObjectRecord;
class SymbolTable;

// Walks the object list from the newest object, leaves out byte-identical
// copies of earlier objects (with a warning or a note) and objects with a
// section of type SHT_SKIP_OBJECT, and enters every defined global or weak
// symbol. 0, or -1 when a symbol could not be entered.
Status CollectSymbols(SymbolTable& table);

// Enters the symbols of the symbol table at section `index` of the object.
Status EnterSectionSymbols(SymbolTable& table, ObjectRecord* object, uint32_t index);
