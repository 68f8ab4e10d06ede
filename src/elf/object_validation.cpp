#include "elf/object_validation.h"

#include <type_traits>

#include "elf/layout_check.h"

namespace {

constexpr uint32_t kSizeWordBytes = 4;

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
    const Elf32_Phdr segment = layout.Segment(header.e_phoff, index);
    if (IsPlacedSegment(segment) && uint64_t{segment.p_offset} + segment.p_filesz > size) {
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

// What tells the two kinds of relocation table apart: record, default entry
// size, conversion routine and codes. Both are checked by one routine below.
struct RelaKind {
  using Entry = Elf32_Rela;
  static constexpr uint32_t kDefaultEntrySize = kDefaultRelaEntrySize;
  static constexpr ElfStatus kEntryTooSmall = ELF_RELA_ENTRY_TOO_SMALL;
  static constexpr ElfStatus kNoEntry = ELF_RELA_NO_ENTRY;
  static constexpr ElfStatus kLinkOutOfRange = ELF_RELA_LINK_OUT_OF_RANGE;
  static constexpr ElfStatus kLinkNotSymtab = ELF_RELA_LINK_NOT_SYMTAB;
  static constexpr ElfStatus kSymtabEntryTooSmall = ELF_RELA_SYMTAB_ENTRY_TOO_SMALL;
  static constexpr ElfStatus kInfoOutOfRange = ELF_RELA_INFO_OUT_OF_RANGE;
  static constexpr ElfStatus kNullTargetNotZero = ELF_RELA_NULL_TARGET_NOT_ZERO;
  static void Swap(uint8_t* entry) { SwapRela(entry); }
};

struct RelKind {
  using Entry = Elf32_Rel;
  static constexpr uint32_t kDefaultEntrySize = kDefaultRelEntrySize;
  static constexpr ElfStatus kEntryTooSmall = ELF_REL_ENTRY_TOO_SMALL;
  static constexpr ElfStatus kNoEntry = ELF_REL_NO_ENTRY;
  static constexpr ElfStatus kLinkOutOfRange = ELF_REL_LINK_OUT_OF_RANGE;
  static constexpr ElfStatus kLinkNotSymtab = ELF_REL_LINK_NOT_SYMTAB;
  static constexpr ElfStatus kSymtabEntryTooSmall = ELF_REL_SYMTAB_ENTRY_TOO_SMALL;
  static constexpr ElfStatus kInfoOutOfRange = ELF_REL_INFO_OUT_OF_RANGE;
  static constexpr ElfStatus kNullTargetNotZero = ELF_REL_NULL_TARGET_NOT_ZERO;
  static void Swap(uint8_t* entry) { SwapRel(entry); }
};

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

// The symbol count that an SHT_RELA table's entries are held against. It is
// signed: a size word of 0x80000000 or more makes it negative, and then every
// entry that names a symbol fails. An SHT_REL table always divides sh_size.
template <typename Kind>
ElfStatus CountSymbols(const ElfLayout& layout, const Elf32_Shdr& symbols, uint32_t entrySize, int64_t* count) {
  if (std::is_same_v<Kind, RelaKind> && IsSizePrefixed(symbols)) {
    if (!SizeWordInsideImage(symbols, layout.imageSize)) return ELF_SIZE_WORD_PAST_END;
    const int32_t word = static_cast<int32_t>(ReadSizeWord(layout.header, symbols.sh_offset));
    *count = int64_t{word} / int64_t{entrySize};
  } else {
    *count = symbols.sh_size / entrySize;
  }
  return ELF_OK;
}

// An SHT_RELA entry of type 0 names no symbol and passes; an SHT_REL entry is
// always held against the count, and its offset against the target's size.
ElfStatus CheckEntry(const Elf32_Rela& entry, int64_t symbolCount, const Elf32_Shdr&) {
  if (ElfRelocationType(entry.r_info) != 0 && int64_t{ElfRelocationSymbol(entry.r_info)} >= symbolCount) {
    return ELF_RELA_SYMBOL_OUT_OF_RANGE;
  }
  return ELF_OK;
}

ElfStatus CheckEntry(const Elf32_Rel& entry, int64_t symbolCount, const Elf32_Shdr& target) {
  if (int64_t{ElfRelocationSymbol(entry.r_info)} >= symbolCount) return ELF_REL_SYMBOL_OUT_OF_RANGE;
  if (entry.r_offset >= target.sh_size) return ELF_REL_OFFSET_OUT_OF_RANGE;
  return ELF_OK;
}

template <typename Kind>
ElfStatus CheckRelocationTable(const ElfLayout& layout, uint32_t index) {
  using Entry = typename Kind::Entry;
  const Elf32_Ehdr header = layout.Header();
  const Elf32_Shdr table = layout.Section(index);
  if (table.sh_size == 0) return ELF_OK;
  const uint32_t entrySize = EntrySizeOrDefault(table.sh_entsize, Kind::kDefaultEntrySize);
  if (entrySize < sizeof(Entry)) return Kind::kEntryTooSmall;
  const uint32_t entryCount = table.sh_size / entrySize;
  if (entryCount == 0) return Kind::kNoEntry;
  if (table.sh_link >= header.e_shnum) return Kind::kLinkOutOfRange;
  // An SHT_RELA table without a symbol table is accepted as stored; an
  // SHT_REL table has no such exemption, and header 0 is examined as stored.
  if (std::is_same_v<Kind, RelaKind> && table.sh_link == 0) return ELF_OK;
  const Elf32_Shdr symbols = layout.Section(table.sh_link);
  if (symbols.sh_type != SHT_SYMTAB) return Kind::kLinkNotSymtab;
  const uint32_t symbolEntrySize = EntrySizeOrDefault(symbols.sh_entsize, kDefaultSymbolEntrySize);
  if (symbolEntrySize < sizeof(Elf32_Sym)) return Kind::kSymtabEntryTooSmall;
  int64_t symbolCount = 0;
  if (const ElfStatus status = CountSymbols<Kind>(layout, symbols, symbolEntrySize, &symbolCount);
      status != ELF_OK) {
    return status;
  }

  if (table.sh_info >= header.e_shnum) return Kind::kInfoOutOfRange;
  const Elf32_Shdr target = layout.Section(table.sh_info);
  if (target.sh_type == SHT_NULL) {
    if (!FirstEntryIsZero(layout.header, table, entrySize)) return Kind::kNullTargetNotZero;
    EmptyRelocationTable(layout, index);
    return ELF_OK;
  }

  const bool convert = NeedsConversion(layout.header);
  if (convert && ReachesSectionHeaders(layout, table.sh_offset, entryCount, entrySize)) {
    return ELF_TABLE_OVER_SECTION_HEADERS;
  }
  uint8_t* entry = layout.header + table.sh_offset;
  for (uint32_t k = 0; k < entryCount; ++k, entry += entrySize) {
    if (convert) Kind::Swap(entry);
    if (const ElfStatus status = CheckEntry(LoadUnaligned<Entry>(entry), symbolCount, target); status != ELF_OK) {
      return status;
    }
  }
  return ELF_OK;
}

}  // namespace

ElfStatus CheckRelaTable(const ElfLayout& layout, uint32_t index) { return CheckRelocationTable<RelaKind>(layout, index); }

ElfStatus CheckRelTable(const ElfLayout& layout, uint32_t index) { return CheckRelocationTable<RelKind>(layout, index); }

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
