// ElfStatus: 0 for a sound object, otherwise 0xBAD00000 plus the number of the
// first defect found. 0xBAD00010 is not assigned.
#pragma once

#include <cstdint>

using ElfStatus = int32_t;

constexpr ElfStatus ElfDefect(uint32_t number) { return static_cast<ElfStatus>(0xBAD00000u + number); }

constexpr ElfStatus ELF_OK = 0;

// Header and table layout.
constexpr ElfStatus ELF_IMAGE_TOO_SMALL = ElfDefect(0x18);
constexpr ElfStatus ELF_BAD_MAGIC = ElfDefect(0x19);
constexpr ElfStatus ELF_NOT_CLASS32 = ElfDefect(0x1A);
constexpr ElfStatus ELF_BAD_IDENT_VERSION = ElfDefect(0x1B);
constexpr ElfStatus ELF_NO_MACHINE = ElfDefect(0x1C);
constexpr ElfStatus ELF_BAD_VERSION = ElfDefect(0x1D);
constexpr ElfStatus ELF_TOO_LITTLE_AFTER_HEADER = ElfDefect(0x1E);
constexpr ElfStatus ELF_BAD_PROGRAM_TABLE_OFFSET = ElfDefect(0x1F);
constexpr ElfStatus ELF_BAD_SECTION_TABLE_OFFSET = ElfDefect(0x20);
constexpr ElfStatus ELF_BAD_SECTION_NAME_INDEX = ElfDefect(0x21);
constexpr ElfStatus ELF_PROGRAM_TABLE_PAST_END = ElfDefect(0x22);
constexpr ElfStatus ELF_SECTION_TABLE_PAST_END = ElfDefect(0x23);
constexpr ElfStatus ELF_SECTION_IN_HEADER = ElfDefect(0x24);
constexpr ElfStatus ELF_SECTION_IN_PROGRAM_TABLE = ElfDefect(0x26);
constexpr ElfStatus ELF_SECTION_IN_SECTION_TABLE = ElfDefect(0x27);
constexpr ElfStatus ELF_SECTION_IN_LATER_SECTION = ElfDefect(0x28);
constexpr ElfStatus ELF_HEADER_SIZE_TOO_SMALL = ElfDefect(0x2C);
constexpr ElfStatus ELF_SEGMENT_IN_LATER_SEGMENT = ElfDefect(0x32);

// Object contents.
constexpr ElfStatus ELF_SYMTAB_LINK_OUT_OF_RANGE = ElfDefect(0x01);
constexpr ElfStatus ELF_SYMTAB_LINK_NOT_STRTAB = ElfDefect(0x02);
constexpr ElfStatus ELF_SYMTAB_NO_ENTRY = ElfDefect(0x03);
constexpr ElfStatus ELF_SYMBOL_NAME_OUT_OF_RANGE = ElfDefect(0x04);
constexpr ElfStatus ELF_SYMBOL_SECTION_OUT_OF_RANGE = ElfDefect(0x05);
constexpr ElfStatus ELF_OBJECT_IN_NULL_SECTION = ElfDefect(0x06);
constexpr ElfStatus ELF_OBJECT_OUTSIDE_SECTION = ElfDefect(0x07);
constexpr ElfStatus ELF_FUNC_IN_NULL_SECTION = ElfDefect(0x08);
constexpr ElfStatus ELF_FUNC_OUTSIDE_SECTION = ElfDefect(0x09);
constexpr ElfStatus ELF_RELA_NO_ENTRY = ElfDefect(0x0A);
constexpr ElfStatus ELF_RELA_LINK_OUT_OF_RANGE = ElfDefect(0x0B);
constexpr ElfStatus ELF_RELA_LINK_NOT_SYMTAB = ElfDefect(0x0C);
constexpr ElfStatus ELF_RELA_INFO_OUT_OF_RANGE = ElfDefect(0x0D);
constexpr ElfStatus ELF_RELA_NULL_TARGET_NOT_ZERO = ElfDefect(0x0E);
constexpr ElfStatus ELF_RELA_SYMBOL_OUT_OF_RANGE = ElfDefect(0x0F);
constexpr ElfStatus ELF_REL_NO_ENTRY = ElfDefect(0x11);
constexpr ElfStatus ELF_REL_LINK_OUT_OF_RANGE = ElfDefect(0x12);
constexpr ElfStatus ELF_REL_LINK_NOT_SYMTAB = ElfDefect(0x13);
constexpr ElfStatus ELF_REL_INFO_OUT_OF_RANGE = ElfDefect(0x14);
constexpr ElfStatus ELF_REL_NULL_TARGET_NOT_ZERO = ElfDefect(0x15);
constexpr ElfStatus ELF_REL_SYMBOL_OUT_OF_RANGE = ElfDefect(0x16);
constexpr ElfStatus ELF_REL_OFFSET_OUT_OF_RANGE = ElfDefect(0x17);
constexpr ElfStatus ELF_SECTION_PAST_END = ElfDefect(0x25);
constexpr ElfStatus ELF_SEGMENT_PAST_END = ElfDefect(0x29);
constexpr ElfStatus ELF_SECTION_NAMES_NOT_STRTAB = ElfDefect(0x2A);
constexpr ElfStatus ELF_SECTION_NAME_OUT_OF_RANGE = ElfDefect(0x2B);
constexpr ElfStatus ELF_SYMTAB_ENTRY_TOO_SMALL = ElfDefect(0x2D);
constexpr ElfStatus ELF_RELA_ENTRY_TOO_SMALL = ElfDefect(0x2E);
constexpr ElfStatus ELF_RELA_SYMTAB_ENTRY_TOO_SMALL = ElfDefect(0x2F);
constexpr ElfStatus ELF_REL_ENTRY_TOO_SMALL = ElfDefect(0x30);
constexpr ElfStatus ELF_REL_SYMTAB_ENTRY_TOO_SMALL = ElfDefect(0x31);

// Layouts that no read could stay inside of; they get codes of their own.
constexpr ElfStatus ELF_PROGRAM_ENTRY_TOO_SMALL = ElfDefect(0x33);   // e_phentsize 1..31 with a table
constexpr ElfStatus ELF_SECTION_ENTRY_TOO_SMALL = ElfDefect(0x34);   // e_shentsize 1..39 with sections
constexpr ElfStatus ELF_SECTION_TABLE_AT_ZERO = ElfDefect(0x35);     // e_shoff 0 with e_shnum above 1
constexpr ElfStatus ELF_SIZE_WORD_PAST_END = ElfDefect(0x36);        // a size word outside the image
// Converting a table's entries in place would rewrite section headers that
// were checked before and are trusted from then on.
constexpr ElfStatus ELF_TABLE_OVER_SECTION_HEADERS = ElfDefect(0x37);
