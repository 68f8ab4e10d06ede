// First phase of validation: the ELF header, the extents of the two header
// tables, and where section and segment contents begin.
#pragma once

#include <cstdint>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"

// Converts the header and both header tables to host order as it goes (also
// when a later test fails) and fills `layout` on success.
ElfStatus CheckElfLayout(uint8_t* image, uint32_t size, ElfLayout* layout);
