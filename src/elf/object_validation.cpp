#include "elf/object_validation.h"

#include "elf/layout_check.h"

namespace {

constexpr uint32_t kSizeWordBytes = 4;

bool IsPlacedSection(const Elf32_Shdr& section) { return section.sh_size != 0 && section.sh_type != SHT_NOBITS; }

bool IsSizePrefixed(const Elf32_Shdr& section) { return (section.sh_flags & SHF_SIZE_PREFIXED) != 0; }

bool SizeWordInsideImage(const Elf32_Shdr& section, uint32_t imageSize) {
  return uint64_t{section.sh_offset} + kSizeWordBytes <= imageSize;
}

// Whether the `count` entries of `entrySize` bytes from `offset` share a byte
// with the section header table. Such a table may only begin before the
// header table; converting it would scramble headers whose extents have
// already been checked, and later readers would follow them out of the image.
bool ReachesSectionHeaders(const ElfLayout& layout, uint32_t offset, uint32_t count, uint32_t entrySize) {
  const Elf32_Ehdr header = layout.Header();
  const uint64_t headersEnd = uint64_t{header.e_shoff} + uint64_t{header.e_shnum} * layout.sectionEntrySize;
  const uint64_t end = uint64_t{offset} + uint64_t{count} * entrySize;
  return offset < headersEnd && header.e_shoff < end;
}

ElfStatus CheckSectionContents(const ElfLayout& layout, const Elf32_Ehdr& header, uint32_t size) {
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    const Elf32_Shdr section = layout.Section(index);
    if (IsPlacedSection(section) && uint64_t{section.sh_offset} + section.sh_size > size) return ELF_SECTION_PAST_END;
  }
  return ELF_OK;
}

ElfStatus CheckSegmentContents(const ElfLayout& layout, const Elf32_Ehdr& header, uint32_t size) {
  if (header.e_phoff == 0) return ELF_OK;
  for (uint32_t index = 0; index < header.e_phnum; ++index) {
    const Elf32_Phdr segment =
        LoadUnaligned<Elf32_Phdr>(layout.header + header.e_phoff + uint64_t{index} * layout.programEntrySize);
    if (segment.p_filesz != 0 && segment.p_type != PT_NULL &&
        uint64_t{segment.p_offset} + segment.p_filesz > size) {
      return ELF_SEGMENT_PAST_END;
    }
  }
  return ELF_OK;
}

ElfStatus CheckSectionNames(const ElfLayout& layout, const Elf32_Ehdr& header, uint32_t size) {
  if (header.e_shstrndx == 0) return ELF_OK;
  const Elf32_Shdr names = layout.Section(header.e_shstrndx);
  if (names.sh_type != SHT_STRTAB) return ELF_SECTION_NAMES_NOT_STRTAB;
  uint32_t logicalSize = names.sh_size;
  if (IsSizePrefixed(names)) {
    if (!SizeWordInsideImage(names, size)) return ELF_SIZE_WORD_PAST_END;
    logicalSize = ReadSizeWord(layout.header, names.sh_offset);
  }
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    if (layout.Section(index).sh_name >= logicalSize) return ELF_SECTION_NAME_OUT_OF_RANGE;
  }
  return ELF_OK;
}

// What the two relocation checks share, with the codes that tell them apart.
struct RelocationRules {
  uint32_t defaultEntrySize;
  ElfStatus entryTooSmall;
  ElfStatus noEntry;
  ElfStatus linkOutOfRange;
  ElfStatus linkNotSymtab;
  ElfStatus symtabEntryTooSmall;
  ElfStatus infoOutOfRange;
  ElfStatus nullTargetNotZero;
};

constexpr RelocationRules kRelaRules = {kDefaultRelaEntrySize,      ELF_RELA_ENTRY_TOO_SMALL,
                                        ELF_RELA_NO_ENTRY,          ELF_RELA_LINK_OUT_OF_RANGE,
                                        ELF_RELA_LINK_NOT_SYMTAB,   ELF_RELA_SYMTAB_ENTRY_TOO_SMALL,
                                        ELF_RELA_INFO_OUT_OF_RANGE, ELF_RELA_NULL_TARGET_NOT_ZERO};

constexpr RelocationRules kRelRules = {kDefaultRelEntrySize,      ELF_REL_ENTRY_TOO_SMALL,
                                       ELF_REL_NO_ENTRY,          ELF_REL_LINK_OUT_OF_RANGE,
                                       ELF_REL_LINK_NOT_SYMTAB,   ELF_REL_SYMTAB_ENTRY_TOO_SMALL,
                                       ELF_REL_INFO_OUT_OF_RANGE, ELF_REL_NULL_TARGET_NOT_ZERO};

// The first entry of a table that applies to the null section must be zero:
// as bytes when sh_addralign is below 4, else as 32-bit words, which needs an
// entry size that is a multiple of 4.
bool FirstEntryIsZero(const uint8_t* image, const Elf32_Shdr& table, uint32_t entrySize) {
  const uint8_t* entry = image + table.sh_offset;
  if (table.sh_addralign < 4) {
    for (uint32_t i = 0; i < entrySize; ++i) {
      if (entry[i] != 0) return false;
    }
    return true;
  }
  if (entrySize % 4 != 0) return false;
  for (uint32_t i = 0; i < entrySize; i += 4) {
    if (LoadUnaligned<uint32_t>(entry + i) != 0) return false;
  }
  return true;
}

// Empties a table whose first entry passed the zero test, so that every later
// reader sees no entries.
void EmptyRelocationTable(const ElfLayout& layout, uint32_t index) {
  StoreUnaligned<uint32_t>(layout.SectionHeaderAt(index) + offsetof(Elf32_Shdr, sh_size), 0);
}

}  // namespace

ElfStatus CheckSymbolTable(const ElfLayout& layout, uint32_t index) {
  const Elf32_Ehdr header = layout.Header();
  const Elf32_Shdr table = layout.Section(index);
  if (table.sh_size == 0) return ELF_OK;
  if (table.sh_link >= header.e_shnum) return ELF_SYMTAB_LINK_OUT_OF_RANGE;
  const bool hasStrings = table.sh_link != 0;
  uint32_t stringsSize = 0;
  if (hasStrings) {
    const Elf32_Shdr strings = layout.Section(table.sh_link);
    if (strings.sh_type != SHT_STRTAB) return ELF_SYMTAB_LINK_NOT_STRTAB;
    stringsSize = strings.sh_size;
  }
  const uint32_t entrySize = EntrySizeOrDefault(table.sh_entsize, kDefaultSymbolEntrySize);
  if (entrySize < sizeof(Elf32_Sym)) return ELF_SYMTAB_ENTRY_TOO_SMALL;
  const uint32_t count = table.sh_size / entrySize;
  if (count == 0) return ELF_SYMTAB_NO_ENTRY;

  const bool convert = NeedsConversion(layout.header);
  if (convert && ReachesSectionHeaders(layout, table.sh_offset, count, entrySize)) {
    return ELF_TABLE_OVER_SECTION_HEADERS;
  }
  uint8_t* entry = layout.header + table.sh_offset;
  for (uint32_t k = 0; k < count; ++k, entry += entrySize) {
    if (convert) SwapSymbol(entry);
    const Elf32_Sym symbol = LoadUnaligned<Elf32_Sym>(entry);
    if (hasStrings && symbol.st_name >= stringsSize) return ELF_SYMBOL_NAME_OUT_OF_RANGE;
    if (symbol.st_shndx == SHN_UNDEF || symbol.st_shndx >= SHN_LORESERVE) continue;
    const uint8_t type = ElfSymbolType(symbol.st_info);
    if (type == STT_SECTION || type == STT_FILE) continue;
    if (symbol.st_shndx >= header.e_shnum) return ELF_SYMBOL_SECTION_OUT_OF_RANGE;
    if (type != STT_OBJECT && type != STT_FUNC) continue;
    const Elf32_Shdr home = layout.Section(symbol.st_shndx);
    if (home.sh_size == 0 || (home.sh_flags & SHF_ALLOC) == 0) continue;
    const bool isObject = type == STT_OBJECT;
    if (home.sh_type == SHT_NULL) return isObject ? ELF_OBJECT_IN_NULL_SECTION : ELF_FUNC_IN_NULL_SECTION;
    // Modulo 2^32 on purpose: a value below sh_addr wraps to a huge offset.
    const uint32_t offset = symbol.st_value - home.sh_addr;
    if (offset > home.sh_size || offset + symbol.st_size > home.sh_size) {
      return isObject ? ELF_OBJECT_OUTSIDE_SECTION : ELF_FUNC_OUTSIDE_SECTION;
    }
  }
  return ELF_OK;
}

namespace {

// Steps common to both relocation checks up to the symbol count. On ELF_OK
// with *done set, the table is accepted as it is.
struct RelocationTable {
  Elf32_Shdr table;
  uint32_t entrySize;
  uint32_t entryCount;
  Elf32_Shdr symbols;
  uint32_t symbolEntrySize;
  Elf32_Shdr target;
};

ElfStatus CheckTargetAndEmpty(const ElfLayout& layout, uint32_t index, const RelocationRules& rules,
                              const Elf32_Ehdr& header, RelocationTable* relocations, bool* done) {
  if (relocations->table.sh_info >= header.e_shnum) return rules.infoOutOfRange;
  relocations->target = layout.Section(relocations->table.sh_info);
  if (relocations->target.sh_type != SHT_NULL) return ELF_OK;
  if (!FirstEntryIsZero(layout.header, relocations->table, relocations->entrySize)) return rules.nullTargetNotZero;
  EmptyRelocationTable(layout, index);
  *done = true;
  return ELF_OK;
}

}  // namespace

ElfStatus CheckRelaTable(const ElfLayout& layout, uint32_t index) {
  const RelocationRules& rules = kRelaRules;
  const Elf32_Ehdr header = layout.Header();
  RelocationTable relocations{};
  relocations.table = layout.Section(index);
  if (relocations.table.sh_size == 0) return ELF_OK;
  relocations.entrySize = EntrySizeOrDefault(relocations.table.sh_entsize, rules.defaultEntrySize);
  if (relocations.entrySize < sizeof(Elf32_Rela)) return rules.entryTooSmall;
  relocations.entryCount = relocations.table.sh_size / relocations.entrySize;
  if (relocations.entryCount == 0) return rules.noEntry;
  if (relocations.table.sh_link >= header.e_shnum) return rules.linkOutOfRange;
  // Without a symbol table the entries are accepted as stored.
  if (relocations.table.sh_link == 0) return ELF_OK;
  relocations.symbols = layout.Section(relocations.table.sh_link);
  if (relocations.symbols.sh_type != SHT_SYMTAB) return rules.linkNotSymtab;
  relocations.symbolEntrySize = EntrySizeOrDefault(relocations.symbols.sh_entsize, kDefaultSymbolEntrySize);
  if (relocations.symbolEntrySize < sizeof(Elf32_Sym)) return rules.symtabEntryTooSmall;

  // The count is signed: a size word of 0x80000000 or more makes it negative,
  // and then every entry that names a symbol fails.
  int64_t symbolCount;
  if (IsSizePrefixed(relocations.symbols)) {
    if (!SizeWordInsideImage(relocations.symbols, layout.imageSize)) return ELF_SIZE_WORD_PAST_END;
    const int32_t word = static_cast<int32_t>(ReadSizeWord(layout.header, relocations.symbols.sh_offset));
    symbolCount = int64_t{word} / int64_t{relocations.symbolEntrySize};
  } else {
    symbolCount = static_cast<int32_t>(relocations.symbols.sh_size / relocations.symbolEntrySize);
  }

  bool done = false;
  if (const ElfStatus status = CheckTargetAndEmpty(layout, index, rules, header, &relocations, &done);
      status != ELF_OK || done) {
    return status;
  }

  const bool convert = NeedsConversion(layout.header);
  if (convert && ReachesSectionHeaders(layout, relocations.table.sh_offset, relocations.entryCount,
                                       relocations.entrySize)) {
    return ELF_TABLE_OVER_SECTION_HEADERS;
  }
  uint8_t* entry = layout.header + relocations.table.sh_offset;
  for (uint32_t k = 0; k < relocations.entryCount; ++k, entry += relocations.entrySize) {
    if (convert) SwapRela(entry);
    const uint32_t info = LoadUnaligned<uint32_t>(entry + offsetof(Elf32_Rela, r_info));
    if (ElfRelocationType(info) != 0 && int64_t{ElfRelocationSymbol(info)} >= symbolCount) {
      return ELF_RELA_SYMBOL_OUT_OF_RANGE;
    }
  }
  return ELF_OK;
}

ElfStatus CheckRelTable(const ElfLayout& layout, uint32_t index) {
  const RelocationRules& rules = kRelRules;
  const Elf32_Ehdr header = layout.Header();
  RelocationTable relocations{};
  relocations.table = layout.Section(index);
  if (relocations.table.sh_size == 0) return ELF_OK;
  relocations.entrySize = EntrySizeOrDefault(relocations.table.sh_entsize, rules.defaultEntrySize);
  if (relocations.entrySize < sizeof(Elf32_Rel)) return rules.entryTooSmall;
  relocations.entryCount = relocations.table.sh_size / relocations.entrySize;
  if (relocations.entryCount == 0) return rules.noEntry;
  if (relocations.table.sh_link >= header.e_shnum) return rules.linkOutOfRange;
  // No exemption for sh_link 0: section 0 is examined as stored.
  relocations.symbols = layout.Section(relocations.table.sh_link);
  if (relocations.symbols.sh_type != SHT_SYMTAB) return rules.linkNotSymtab;
  relocations.symbolEntrySize = EntrySizeOrDefault(relocations.symbols.sh_entsize, kDefaultSymbolEntrySize);
  if (relocations.symbolEntrySize < sizeof(Elf32_Sym)) return rules.symtabEntryTooSmall;
  const uint32_t symbolCount = relocations.symbols.sh_size / relocations.symbolEntrySize;

  bool done = false;
  if (const ElfStatus status = CheckTargetAndEmpty(layout, index, rules, header, &relocations, &done);
      status != ELF_OK || done) {
    return status;
  }

  const bool convert = NeedsConversion(layout.header);
  if (convert && ReachesSectionHeaders(layout, relocations.table.sh_offset, relocations.entryCount,
                                       relocations.entrySize)) {
    return ELF_TABLE_OVER_SECTION_HEADERS;
  }
  uint8_t* entry = layout.header + relocations.table.sh_offset;
  for (uint32_t k = 0; k < relocations.entryCount; ++k, entry += relocations.entrySize) {
    if (convert) SwapRel(entry);
    const Elf32_Rel relocation = LoadUnaligned<Elf32_Rel>(entry);
    if (ElfRelocationSymbol(relocation.r_info) >= symbolCount) return ELF_REL_SYMBOL_OUT_OF_RANGE;
    if (relocation.r_offset >= relocations.target.sh_size) return ELF_REL_OFFSET_OUT_OF_RANGE;
  }
  return ELF_OK;
}

ElfStatus ValidateElfObject(uint8_t* image, uint32_t size) {
  ElfLayout layout;
  if (const ElfStatus status = CheckElfLayout(image, size, &layout); status != ELF_OK) return status;
  const Elf32_Ehdr header = layout.Header();
  if (const ElfStatus status = CheckSectionContents(layout, header, size); status != ELF_OK) return status;
  if (const ElfStatus status = CheckSegmentContents(layout, header, size); status != ELF_OK) return status;
  if (const ElfStatus status = CheckSectionNames(layout, header, size); status != ELF_OK) return status;

  // Every symbol table is examined, and converted, before the first
  // relocation table; tables carrying the size prefix are passed over.
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    const Elf32_Shdr section = layout.Section(index);
    if (section.sh_type != SHT_SYMTAB || IsSizePrefixed(section)) continue;
    if (const ElfStatus status = CheckSymbolTable(layout, index); status != ELF_OK) return status;
  }
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    const Elf32_Shdr section = layout.Section(index);
    if (IsSizePrefixed(section)) continue;
    ElfStatus status = ELF_OK;
    if (section.sh_type == SHT_RELA) status = CheckRelaTable(layout, index);
    if (section.sh_type == SHT_REL) status = CheckRelTable(layout, index);
    if (status != ELF_OK) return status;
  }
  return ELF_OK;
}
