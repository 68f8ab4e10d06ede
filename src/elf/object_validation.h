// Second phase of validation: everything a later reader of the object relies
// on without tests of its own.
#pragma once

#include <cstdint>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"

// 0 when the image is sound, otherwise the code of the first defect found.
// Converts the header, the section headers 1.., the program headers, the
// symbols of examined symbol tables and the entries of examined relocation
// tables to host order in place; empties relocation tables for the null
// section.
ElfStatus ValidateElfObject(uint8_t* image, uint32_t size);

// Used by ValidateElfObject; `index` names a section of the table's type.
ElfStatus CheckSymbolTable(const ElfLayout& layout, uint32_t index);
ElfStatus CheckRelaTable(const ElfLayout& layout, uint32_t index);
ElfStatus CheckRelTable(const ElfLayout& layout, uint32_t index);
