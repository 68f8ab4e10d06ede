// Object validation: which defect gets which code, which of two defects wins,
// and the boundaries and quirks of the individual tests. Every case runs in
// both byte orders on an exactly-sized heap copy of the image.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"
#include "elf/object_validation.h"
#include "support/elf_builder.h"

namespace {

constexpr ByteOrder kOrders[] = {ByteOrder::Little, ByteOrder::Big};

const char* OrderName(ByteOrder order) { return order == ByteOrder::Big ? "big-endian" : "little-endian"; }

// Field offsets, short enough for one-line patches.
constexpr size_t kShName = offsetof(Elf32_Shdr, sh_name);
constexpr size_t kShType = offsetof(Elf32_Shdr, sh_type);
constexpr size_t kShFlags = offsetof(Elf32_Shdr, sh_flags);
constexpr size_t kShOffset = offsetof(Elf32_Shdr, sh_offset);
constexpr size_t kShSize = offsetof(Elf32_Shdr, sh_size);
constexpr size_t kShLink = offsetof(Elf32_Shdr, sh_link);
constexpr size_t kShInfo = offsetof(Elf32_Shdr, sh_info);
constexpr size_t kShEntsize = offsetof(Elf32_Shdr, sh_entsize);
constexpr size_t kStName = offsetof(Elf32_Sym, st_name);
constexpr size_t kStValue = offsetof(Elf32_Sym, st_value);
constexpr size_t kStSize = offsetof(Elf32_Sym, st_size);
constexpr size_t kStShndx = offsetof(Elf32_Sym, st_shndx);
constexpr size_t kRInfo = offsetof(Elf32_Rel, r_info);
constexpr size_t kROffset = offsetof(Elf32_Rel, r_offset);

// The object most cases start from: both relocation forms in either order.
enum : uint32_t {
  kNames = 1,
  kText,
  kData,
  kBss,
  kStrings,
  kSymbols,
  kRela,  // applies to .text
  kRel,   // applies to .data
  kSectionCount
};
constexpr uint32_t kSymbolCount = 8;  // the null symbol and seven more

Bytes RichObject(ByteOrder order, uint32_t trailingPadding = 0) {
  ElfBuilder builder(order);
  builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(32, 0x60), 0, 0, 0, 4);
  builder.AddSection(".data", 1, SHF_ALLOC | 0x1, Bytes(16, 0x11), 0, 0, 0, 4);
  builder.AddNoBits(".bss", SHF_ALLOC | 0x1, 8);
  builder.AddSymbolTable({
      {"file.c", 0, 0, 0, STT_FILE, SHN_ABS},
      {"helper", 0, 8, 0, STT_FUNC, kText},
      {"compute", 8, 16, STB_GLOBAL, STT_FUNC, kText},
      {"table", 0, 16, STB_GLOBAL, STT_OBJECT, kData},
      {"buffer", 0, 8, STB_GLOBAL, STT_OBJECT, kBss},
      {"external", 0, 0, STB_GLOBAL, STT_NOTYPE, SHN_UNDEF},
      {"", 0, 0, 0, STT_SECTION, kText},
  });
  builder.AddRela(kText, kSymbols, {{4, 3, 10, 0}, {12, 6, 10, 4}});
  builder.AddRel(kData, kSymbols, {{0, 4, 1, 0}, {8, 6, 1, 0}});
  builder.SetTrailingPadding(trailingPadding);
  return builder.Build();
}

// Only the section-name table: 144 bytes of content, padded to 261.
Bytes MinimalObject(ByteOrder order) { return ElfBuilder(order).Build(); }

uint32_t Size(const Bytes& image) { return static_cast<uint32_t>(image.size()); }

uint32_t Section(const Bytes& image, uint32_t index, size_t field) { return GetSection32(image, index, field); }

void SetSymbol32(Bytes& image, uint32_t symbol, size_t field, uint32_t value) {
  WriteStored32(image, SymbolOffset(image, kSymbols, symbol) + field, value);
}

void SetSymbol16(Bytes& image, uint32_t symbol, size_t field, uint16_t value) {
  WriteStored16(image, SymbolOffset(image, kSymbols, symbol) + field, value);
}

size_t EntryOffset(const Bytes& image, uint32_t table, uint32_t entry) {
  const uint32_t type = Section(image, table, kShType);
  uint32_t entrySize = Section(image, table, kShEntsize);
  if (entrySize == 0) entrySize = type == SHT_RELA ? 12 : 8;
  return Section(image, table, kShOffset) + size_t{entry} * entrySize;
}

void SetEntry32(Bytes& image, uint32_t table, uint32_t entry, size_t field, uint32_t value) {
  WriteStored32(image, EntryOffset(image, table, entry) + field, value);
}

uint32_t SectionTableEnd(const Bytes& image) {
  return ReadStored32(image, offsetof(Elf32_Ehdr, e_shoff)) +
         ReadStored16(image, offsetof(Elf32_Ehdr, e_shnum)) * uint32_t{40};
}

Elf32_Phdr Segment(uint32_t offset, uint32_t size, uint32_t type = 1) {
  Elf32_Phdr segment{};
  segment.p_type = type;
  segment.p_offset = offset;
  segment.p_filesz = size;
  segment.p_memsz = size;
  return segment;
}

// Builds an object around two PROGBITS sections (2 and 3) and moves them to
// the given extents, which lie in the 300 content bytes of section 2.
Bytes TwoSections(ByteOrder order, uint32_t start2, uint32_t size2, uint32_t start3, uint32_t size3) {
  ElfBuilder builder(order);
  builder.AddSection(".one", 1, SHF_ALLOC, Bytes(300, 0), 0, 0, 0, 4);
  builder.AddSection(".two", 1, SHF_ALLOC, Bytes(4, 0), 0, 0, 0, 4);
  Bytes image = builder.Build();
  SetSection32(image, 2, kShOffset, start2);
  SetSection32(image, 2, kShSize, size2);
  SetSection32(image, 3, kShOffset, start3);
  SetSection32(image, 3, kShSize, size3);
  return image;
}

// Inserts `gap` zero bytes in front of the section header table.
void MoveSectionTable(Bytes& image, uint32_t gap) {
  const uint32_t table = ReadStored32(image, offsetof(Elf32_Ehdr, e_shoff));
  image.insert(image.begin() + table, gap, 0);
  SetHeader32(image, offsetof(Elf32_Ehdr, e_shoff), table + gap);
}

// A table whose converted entries would cover bytes [e_shoff - before,
// e_shoff + after).
void PlaceTableAtHeaders(Bytes& image, uint32_t index, uint32_t before, uint32_t size) {
  MoveSectionTable(image, 64);
  SetSection32(image, index, kShOffset, ReadStored32(image, offsetof(Elf32_Ehdr, e_shoff)) - before);
  SetSection32(image, index, kShSize, size);
}

// A case changes the image it is given (or replaces it) and names the status
// that validation must return (for little-endian objects another one where
// conversion makes the difference).
constexpr ElfStatus kAsBigEndian = 1;

struct Case {
  const char* name;
  std::function<void(Bytes&, ByteOrder)> patch;
  ElfStatus expected;
  ElfStatus littleEndian = kAsBigEndian;
};

void RunCases(const std::vector<Case>& cases, std::set<ElfStatus>* reached = nullptr) {
  for (const Case& c : cases) {
    for (ByteOrder order : kOrders) {
      SCOPED_TRACE(std::string(c.name) + ", " + OrderName(order));
      Bytes image = RichObject(order);
      c.patch(image, order);
      const ElfStatus expected =
          order == ByteOrder::Little && c.littleEndian != kAsBigEndian ? c.littleEndian : c.expected;
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(expected));
    }
    if (reached != nullptr) reached->insert(c.expected);
  }
}

TEST(ElfValidationCodes, EachDefectGetsItsCode) {
  using B = Bytes;
  using O = ByteOrder;
  const std::vector<Case> cases = {
      // The ELF header.
      {"259 bytes", [](B& i, O o) { i = MinimalObject(o), i.resize(259); }, ELF_IMAGE_TOO_SMALL},
      {"bad magic", [](B& i, O) { i[1] = 'e'; }, ELF_BAD_MAGIC},
      {"64-bit class", [](B& i, O) { i[EI_CLASS] = 2; }, ELF_NOT_CLASS32},
      {"EI_VERSION 2", [](B& i, O) { i[EI_VERSION] = 2; }, ELF_BAD_IDENT_VERSION},
      {"e_machine 0", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_machine), 0); }, ELF_NO_MACHINE},
      {"e_version 0", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_version), 0); }, ELF_BAD_VERSION},
      {"e_version 2", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_version), 2); }, ELF_BAD_VERSION},
      {"e_ehsize 1", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_ehsize), 1); }, ELF_HEADER_SIZE_TOO_SMALL},
      {"260 bytes", [](B& i, O o) { i = MinimalObject(o), i.resize(260); }, ELF_TOO_LITTLE_AFTER_HEADER},
      {"e_phoff inside header", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_phoff), 51); },
       ELF_BAD_PROGRAM_TABLE_OFFSET},
      {"e_phoff at end", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_phoff), Size(i)); },
       ELF_BAD_PROGRAM_TABLE_OFFSET},
      {"e_shoff inside header", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_shoff), 51); },
       ELF_BAD_SECTION_TABLE_OFFSET},
      {"e_shoff at end", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_shoff), Size(i)); },
       ELF_BAD_SECTION_TABLE_OFFSET},
      {"e_shstrndx = e_shnum", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), kSectionCount); },
       ELF_BAD_SECTION_NAME_INDEX},
      {"program table one entry too long",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(52, 4)});
         SetHeader16(i, offsetof(Elf32_Ehdr, e_phnum), 2);
       },
       ELF_PROGRAM_TABLE_PAST_END},
      {"e_phentsize 31",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0, 0), Segment(0, 0)}, 31);
       },
       ELF_PROGRAM_ENTRY_TOO_SMALL},
      {"section table one entry too long",
       [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_shnum), kSectionCount + 1); }, ELF_SECTION_TABLE_PAST_END},
      {"e_shoff 0 with sections", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_shoff), 0); },
       ELF_SECTION_TABLE_AT_ZERO},
      {"e_shentsize 39", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_shentsize), 39); },
       ELF_SECTION_ENTRY_TOO_SMALL},
      // Where section and segment contents begin.
      {"section in header", [](B& i, O) { SetSection32(i, kNames, kShOffset, 51); }, ELF_SECTION_IN_HEADER},
      {"section in larger header", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_ehsize), 200); },
       ELF_SECTION_IN_HEADER},
      {"section in program table",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0, 0)});
         SetSection32(i, kData, kShOffset, ReadStored32(i, offsetof(Elf32_Ehdr, e_phoff)) + 4);
       },
       ELF_SECTION_IN_PROGRAM_TABLE},
      {"section at e_shoff",
       [](B& i, O) { SetSection32(i, kData, kShOffset, ReadStored32(i, offsetof(Elf32_Ehdr, e_shoff))); },
       ELF_SECTION_IN_SECTION_TABLE},
      {"section in last section header", [](B& i, O) { SetSection32(i, kData, kShOffset, SectionTableEnd(i) - 1); },
       ELF_SECTION_IN_SECTION_TABLE},
      {"two sections at one offset", [](B& i, O) { SetSection32(i, kData, kShOffset, Section(i, kText, kShOffset)); },
       ELF_SECTION_IN_LATER_SECTION},
      {"section runs past end", [](B& i, O) { SetSection32(i, kRel, kShSize, Size(i)); }, ELF_SECTION_PAST_END},
      {"section end beyond 2^32", [](B& i, O) { SetSection32(i, kRel, kShSize, 0xFFFFFFF0); }, ELF_SECTION_PAST_END},
      {"segment past end",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(64, 8), Segment(0x10000, 8)});
       },
       ELF_SEGMENT_PAST_END},
      {"segment inside later segment",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(150, 10), Segment(100, 100)});
       },
       ELF_SEGMENT_IN_LATER_SEGMENT},
      {"two segments at one offset",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(100, 1), Segment(100, 1)});
       },
       ELF_SEGMENT_IN_LATER_SEGMENT},
      // Section names.
      {"e_shstrndx names .text", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), kText); },
       ELF_SECTION_NAMES_NOT_STRTAB},
      {"sh_name at end of names", [](B& i, O) { SetSection32(i, kRel, kShName, Section(i, kNames, kShSize)); },
       ELF_SECTION_NAME_OUT_OF_RANGE},
      {"size word of names past end",
       [](B& i, O) {
         SetSection32(i, kNames, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kNames, kShSize, 0);
         SetSection32(i, kNames, kShOffset, Size(i) - 3);
       },
       ELF_SIZE_WORD_PAST_END},
      // Symbol tables.
      {"symtab sh_link = e_shnum", [](B& i, O) { SetSection32(i, kSymbols, kShLink, kSectionCount); },
       ELF_SYMTAB_LINK_OUT_OF_RANGE},
      {"symtab sh_link names .text", [](B& i, O) { SetSection32(i, kSymbols, kShLink, kText); },
       ELF_SYMTAB_LINK_NOT_STRTAB},
      {"symtab sh_entsize 15", [](B& i, O) { SetSection32(i, kSymbols, kShEntsize, 15); }, ELF_SYMTAB_ENTRY_TOO_SMALL},
      {"symtab of 8 bytes",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShSize, 8);
         SetSection32(i, kSymbols, kShEntsize, 0);
       },
       ELF_SYMTAB_NO_ENTRY},
      {"st_name at end of strings", [](B& i, O) { SetSymbol32(i, 2, kStName, Section(i, kStrings, kShSize)); },
       ELF_SYMBOL_NAME_OUT_OF_RANGE},
      {"empty string table fails at symbol 0", [](B& i, O) { SetSection32(i, kStrings, kShSize, 0); },
       ELF_SYMBOL_NAME_OUT_OF_RANGE},
      {"notype st_shndx = e_shnum", [](B& i, O) { SetSymbol16(i, 6, kStShndx, kSectionCount); },
       ELF_SYMBOL_SECTION_OUT_OF_RANGE},
      {"object in SHT_NULL section", [](B& i, O) { SetSection32(i, kData, kShType, SHT_NULL); },
       ELF_OBJECT_IN_NULL_SECTION},
      {"object one byte too long", [](B& i, O) { SetSymbol32(i, 4, kStSize, 17); }, ELF_OBJECT_OUTSIDE_SECTION},
      {"object starts one byte in", [](B& i, O) { SetSymbol32(i, 4, kStValue, 1); }, ELF_OBJECT_OUTSIDE_SECTION},
      {"function in SHT_NULL section", [](B& i, O) { SetSection32(i, kText, kShType, SHT_NULL); },
       ELF_FUNC_IN_NULL_SECTION},
      {"function one byte too long", [](B& i, O) { SetSymbol32(i, 3, kStSize, 25); }, ELF_FUNC_OUTSIDE_SECTION},
      // SHT_RELA.
      {"rela sh_entsize 11", [](B& i, O) { SetSection32(i, kRela, kShEntsize, 11); }, ELF_RELA_ENTRY_TOO_SMALL},
      {"rela of 11 bytes", [](B& i, O) { SetSection32(i, kRela, kShSize, 11); }, ELF_RELA_NO_ENTRY},
      {"rela sh_link = e_shnum", [](B& i, O) { SetSection32(i, kRela, kShLink, kSectionCount); },
       ELF_RELA_LINK_OUT_OF_RANGE},
      {"rela sh_link names .strtab", [](B& i, O) { SetSection32(i, kRela, kShLink, kStrings); },
       ELF_RELA_LINK_NOT_SYMTAB},
      {"rela symtab entry size 8 (symtab passed over)",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kSymbols, kShEntsize, 8);
       },
       ELF_RELA_SYMTAB_ENTRY_TOO_SMALL},
      {"rela symtab entry size 8 (symtab empty)",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShSize, 0);
         SetSection32(i, kSymbols, kShEntsize, 8);
       },
       ELF_RELA_SYMTAB_ENTRY_TOO_SMALL},
      {"rela symtab size word past end",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kSymbols, kShSize, 0);
         SetSection32(i, kSymbols, kShOffset, Size(i) - 2);
       },
       ELF_SIZE_WORD_PAST_END},
      {"rela sh_info = e_shnum", [](B& i, O) { SetSection32(i, kRela, kShInfo, kSectionCount); },
       ELF_RELA_INFO_OUT_OF_RANGE},
      {"rela for the null section, first entry not zero", [](B& i, O) { SetSection32(i, kRela, kShInfo, 0); },
       ELF_RELA_NULL_TARGET_NOT_ZERO},
      {"rela symbol index = count", [](B& i, O) { SetEntry32(i, kRela, 1, kRInfo, kSymbolCount << 8 | 10); },
       ELF_RELA_SYMBOL_OUT_OF_RANGE},
      // SHT_REL.
      {"rel sh_entsize 7", [](B& i, O) { SetSection32(i, kRel, kShEntsize, 7); }, ELF_REL_ENTRY_TOO_SMALL},
      {"rel of 7 bytes", [](B& i, O) { SetSection32(i, kRel, kShSize, 7); }, ELF_REL_NO_ENTRY},
      {"rel sh_link = e_shnum", [](B& i, O) { SetSection32(i, kRel, kShLink, kSectionCount); },
       ELF_REL_LINK_OUT_OF_RANGE},
      {"rel sh_link names .strtab", [](B& i, O) { SetSection32(i, kRel, kShLink, kStrings); }, ELF_REL_LINK_NOT_SYMTAB},
      {"rel sh_link 0 (the null entry)", [](B& i, O) { SetSection32(i, kRel, kShLink, 0); }, ELF_REL_LINK_NOT_SYMTAB},
      {"rel symtab entry size 8",
       [](B& i, O) {
         SetSection32(i, kRela, kShSize, 0);
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kSymbols, kShEntsize, 8);
       },
       ELF_REL_SYMTAB_ENTRY_TOO_SMALL},
      {"rel sh_info = e_shnum", [](B& i, O) { SetSection32(i, kRel, kShInfo, kSectionCount); },
       ELF_REL_INFO_OUT_OF_RANGE},
      {"rel for the null section, first entry not zero", [](B& i, O) { SetSection32(i, kRel, kShInfo, 0); },
       ELF_REL_NULL_TARGET_NOT_ZERO},
      {"rel symbol index = count", [](B& i, O) { SetEntry32(i, kRel, 1, kRInfo, kSymbolCount << 8 | 1); },
       ELF_REL_SYMBOL_OUT_OF_RANGE},
      {"rel of type 0, symbol index = count", [](B& i, O) { SetEntry32(i, kRel, 1, kRInfo, kSymbolCount << 8); },
       ELF_REL_SYMBOL_OUT_OF_RANGE},
      {"rel r_offset = target size", [](B& i, O) { SetEntry32(i, kRel, 1, kROffset, 16); },
       ELF_REL_OFFSET_OUT_OF_RANGE},
      // Tables whose conversion would rewrite section headers; little-endian
      // objects are not converted, so nothing is rewritten there. The symbol
      // table is laid over the headers so that each of its 40-byte entries
      // would swap one header's sh_offset: the relocation table's would then
      // point far past the image.
      {"symtab converted over the section headers",
       [](B& i, O) {
         PlaceTableAtHeaders(i, kSymbols, 32, 40 * kSectionCount + 24);
         SetSection32(i, kSymbols, kShEntsize, 40);
         SetSection32(i, kSymbols, kShLink, 0);
       },
       ELF_TABLE_OVER_SECTION_HEADERS, ELF_OK},
      {"rela converted over the section headers", [](B& i, O) { PlaceTableAtHeaders(i, kRela, 12, 24); },
       ELF_TABLE_OVER_SECTION_HEADERS, ELF_OK},
      {"rel converted over the section headers", [](B& i, O) { PlaceTableAtHeaders(i, kRel, 8, 16); },
       ELF_TABLE_OVER_SECTION_HEADERS, ELF_OK},
  };
  std::set<ElfStatus> reached;
  RunCases(cases, &reached);
  for (uint32_t number = 0x01; number <= 0x37; ++number) {
    if (number == 0x10) continue;
    EXPECT_TRUE(reached.count(ElfDefect(number))) << "no case for 0xBAD000" << std::hex << number;
  }
}

TEST(ElfValidationCodes, NearMissesPass) {
  using B = Bytes;
  using O = ByteOrder;
  const std::vector<Case> cases = {
      {"the object as built", [](B&, O) {}, ELF_OK},
      {"261 bytes", [](B& i, O o) { i = MinimalObject(o); }, ELF_OK},
      {"EI_VERSION 0", [](B& i, O) { i[EI_VERSION] = 0; }, ELF_OK},
      {"e_machine 0xFFFF", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_machine), 0xFFFF); }, ELF_OK},
      {"e_ehsize 0", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_ehsize), 0); }, ELF_OK},
      {"e_phoff = H with no entries", [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_phoff), 52); }, ELF_OK},
      {"e_shstrndx 0", [](B& i, O) { SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), 0); }, ELF_OK},
      {"section table ends at the last byte", [](B& i, O) { ASSERT_EQ(SectionTableEnd(i), Size(i)); }, ELF_OK},
      {"section starts at the end of the section table",
       [](B& i, O o) {
         i = RichObject(o, 16);
         SetSection32(i, kData, kShOffset, SectionTableEnd(i));
       },
       ELF_OK},
      {"program table with no entries over a section",
       [](B& i, O) { SetHeader32(i, offsetof(Elf32_Ehdr, e_phoff), Section(i, kData, kShOffset)); }, ELF_OK},
      {"section reaching into the section table from below",
       [](B& i, O) { SetSection32(i, kStrings, kShSize, Size(i) - Section(i, kStrings, kShOffset)); }, ELF_OK},
      {"empty section with any offset",
       [](B& i, O) { SetSection32(i, kText, kShSize, 0), SetSection32(i, kText, kShOffset, 1); }, ELF_OK},
      {"NOBITS section past the image", [](B& i, O) { SetSection32(i, kBss, kShOffset, 0xFFFFFFF0); }, ELF_OK},
      {"segments of type PT_NULL or size 0 anywhere",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0xFFFFFFF0, 0x100, PT_NULL), Segment(0xFFFFFFF0, 0), Segment(100, 100),
                                  Segment(150, 0), Segment(150, 10, PT_NULL)});
       },
       ELF_OK},
      {"segment ending at the image end", [](B& i, O) { AppendProgramHeaders(i, {Segment(Size(i) - 4, 4 + 32)}); },
       ELF_OK},
      {"sh_name = names size - 1", [](B& i, O) { SetSection32(i, kRel, kShName, Section(i, kNames, kShSize) - 1); },
       ELF_OK},
      {"sh_name of section 0 is not tested", [](B& i, O) { SetSection32(i, 0, kShName, 0xFFFFFFFF); }, ELF_OK},
      {"symtab of 24 bytes holds one symbol",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShSize, 24);
         SetSection32(i, kSymbols, kShEntsize, 0);
         SetSection32(i, kRela, kShSize, 0);
         SetSection32(i, kRel, kShSize, 0);
       },
       ELF_OK},
      {"symtab with sh_link 0 takes any st_name",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShLink, 0);
         SetSymbol32(i, 0, kStName, 0xFFFFFFFF);
       },
       ELF_OK},
      {"section symbol with st_shndx = e_shnum", [](B& i, O) { SetSymbol16(i, 7, kStShndx, kSectionCount); }, ELF_OK},
      {"file symbol with st_shndx = e_shnum", [](B& i, O) { SetSymbol16(i, 1, kStShndx, kSectionCount); }, ELF_OK},
      {"notype symbol with reserved st_shndx", [](B& i, O) { SetSymbol16(i, 6, kStShndx, SHN_LORESERVE); }, ELF_OK},
      {"function at reserved st_shndx 0xFF05", [](B& i, O) { SetSymbol16(i, 3, kStShndx, 0xFF05); }, ELF_OK},
      {"object in a section without SHF_ALLOC",
       [](B& i, O) {
         SetSection32(i, kData, kShFlags, 0);
         SetSymbol32(i, 4, kStSize, 0x1000);
       },
       ELF_OK},
      {"object in an empty SHT_NULL section",
       [](B& i, O) {
         SetSection32(i, kData, kShType, SHT_NULL);
         SetSection32(i, kData, kShSize, 0);
         SetSection32(i, kRel, kShSize, 0);
       },
       ELF_OK},
      {"notype symbol outside its section",
       [](B& i, O) { SetSymbol16(i, 6, kStShndx, kData), SetSymbol32(i, 6, kStValue, 999); }, ELF_OK},
      {"rela sh_link 0 with sh_info = e_shnum",
       [](B& i, O) {
         SetSection32(i, kRela, kShLink, 0);
         SetSection32(i, kRela, kShInfo, kSectionCount);
         SetEntry32(i, kRela, 0, kRInfo, 0xFFFFFF01);
       },
       ELF_OK},
      {"rela type 0 with any symbol index", [](B& i, O) { SetEntry32(i, kRela, 1, kRInfo, 0xFFFFFF00); }, ELF_OK},
      {"rela with any r_offset", [](B& i, O) { SetEntry32(i, kRela, 1, kROffset, 0xFFFFFFFF); }, ELF_OK},
      {"rel r_offset = target size - 1", [](B& i, O) { SetEntry32(i, kRel, 1, kROffset, 15); }, ELF_OK},
      {"rel with a size-prefixed symtab counts by sh_size",
       [](B& i, O) {
         SetSection32(i, kRela, kShSize, 0);
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSymbol32(i, 0, kStName, 16);  // the size word: one symbol
       },
       ELF_OK},
      {"size-prefixed relocation tables are passed over",
       [](B& i, O) {
         SetSection32(i, kRela, kShFlags, SHF_SIZE_PREFIXED), SetSection32(i, kRela, kShLink, kSectionCount);
         SetSection32(i, kRel, kShFlags, SHF_SIZE_PREFIXED), SetSection32(i, kRel, kShLink, kSectionCount);
       },
       ELF_OK},
      {"rela ending at the section headers", [](B& i, O) { PlaceTableAtHeaders(i, kRela, 24, 24); }, ELF_OK},
      {"rela whose remainder reaches the section headers", [](B& i, O) { PlaceTableAtHeaders(i, kRela, 12, 23); },
       ELF_OK},
      {"rela without symbol table over the section headers",
       [](B& i, O) {
         PlaceTableAtHeaders(i, kRela, 12, 24);
         SetSection32(i, kRela, kShLink, 0);
       },
       ELF_OK},
      {"rela for the null section over the section headers",
       [](B& i, O) {
         PlaceTableAtHeaders(i, kRela, 12, 24);
         SetSection32(i, kRela, kShInfo, 0);
       },
       ELF_OK},
      {"size-prefixed symbol table is passed over",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kSymbols, kShLink, kSectionCount);
         SetSymbol32(i, 0, kStName, kSymbolCount * 16);
       },
       ELF_OK},
  };
  RunCases(cases);
}

// When an object has two defects, the order of the tests decides its code.
TEST(ElfValidationOrder, FirstFailingTestWins) {
  using B = Bytes;
  using O = ByteOrder;
  constexpr size_t kPhoff = offsetof(Elf32_Ehdr, e_phoff);
  constexpr size_t kShoff = offsetof(Elf32_Ehdr, e_shoff);
  const std::vector<Case> cases = {
      {"short image before magic", [](B& i, O) { i.resize(259), i[0] = 0; }, ELF_IMAGE_TOO_SMALL},
      {"magic before class", [](B& i, O) { i[0] = 0, i[EI_CLASS] = 2; }, ELF_BAD_MAGIC},
      {"class before EI_VERSION", [](B& i, O) { i[EI_CLASS] = 0, i[EI_VERSION] = 9; }, ELF_NOT_CLASS32},
      {"EI_VERSION before e_machine",
       [](B& i, O) { i[EI_VERSION] = 2, SetHeader16(i, offsetof(Elf32_Ehdr, e_machine), 0); }, ELF_BAD_IDENT_VERSION},
      {"e_machine before e_version",
       [](B& i, O) {
         SetHeader16(i, offsetof(Elf32_Ehdr, e_machine), 0);
         SetHeader32(i, offsetof(Elf32_Ehdr, e_version), 2);
       },
       ELF_NO_MACHINE},
      {"e_version before e_ehsize",
       [](B& i, O) {
         SetHeader32(i, offsetof(Elf32_Ehdr, e_version), 2);
         SetHeader16(i, offsetof(Elf32_Ehdr, e_ehsize), 51);
       },
       ELF_BAD_VERSION},
      {"e_ehsize 51 before the room after it",
       [](B& i, O o) {
         i = MinimalObject(o), i.resize(260);
         SetHeader16(i, offsetof(Elf32_Ehdr, e_ehsize), 51);
       },
       ELF_HEADER_SIZE_TOO_SMALL},
      {"room after the header before e_phoff",
       [](B& i, O o) {
         i = MinimalObject(o), i.resize(260);
         SetHeader32(i, kPhoff, 1);
       },
       ELF_TOO_LITTLE_AFTER_HEADER},
      {"e_phoff before e_shoff", [](B& i, O) { SetHeader32(i, kPhoff, Size(i)), SetHeader32(i, kShoff, 1); },
       ELF_BAD_PROGRAM_TABLE_OFFSET},
      {"e_shoff before e_shstrndx",
       [](B& i, O) { SetHeader32(i, kShoff, 1), SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), 999); },
       ELF_BAD_SECTION_TABLE_OFFSET},
      {"e_shstrndx before the table extents",
       [](B& i, O) {
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shnum), 500);
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), 501);
       },
       ELF_BAD_SECTION_NAME_INDEX},
      {"program table extent before its entry size",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0, 0)}, 16), SetHeader16(i, offsetof(Elf32_Ehdr, e_phnum), 1000);
       },
       ELF_PROGRAM_TABLE_PAST_END},
      {"program entry size before the section table extent",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0, 0)}, 16);
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shnum), 1000);
       },
       ELF_PROGRAM_ENTRY_TOO_SMALL},
      {"section table extent before its entry size",
       [](B& i, O) {
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shnum), 1000);
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shentsize), 20);
       },
       ELF_SECTION_TABLE_PAST_END},
      {"table at offset 0 before entry size",
       [](B& i, O) { SetHeader32(i, kShoff, 0), SetHeader16(i, offsetof(Elf32_Ehdr, e_shentsize), 20); },
       ELF_SECTION_TABLE_AT_ZERO},
      {"entry size before section starts",
       [](B& i, O) {
         SetSection32(i, kNames, kShOffset, 0);
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shentsize), 39);
       },
       ELF_SECTION_ENTRY_TOO_SMALL},
      {"lower-numbered section decides: inside later section",
       [](B& i, O) {
         SetSection32(i, kText, kShOffset, Section(i, kStrings, kShOffset));
         SetSection32(i, kData, kShOffset, 8);
       },
       ELF_SECTION_IN_LATER_SECTION},
      {"lower-numbered section decides: inside header",
       [](B& i, O) {
         SetSection32(i, kText, kShOffset, 8);
         SetSection32(i, kData, kShOffset, Section(i, kStrings, kShOffset));
       },
       ELF_SECTION_IN_HEADER},
      {"one section: header tables before later sections",
       [](B& i, O) {
         SetSection32(i, kText, kShOffset, ReadStored32(i, kShoff));
         SetSection32(i, kData, kShOffset, ReadStored32(i, kShoff));
       },
       ELF_SECTION_IN_SECTION_TABLE},
      {"section starts before contents",
       [](B& i, O) {
         SetSection32(i, kRel, kShSize, Size(i));
         SetSection32(i, kText, kShOffset, Section(i, kData, kShOffset));
       },
       ELF_SECTION_IN_LATER_SECTION},
      {"segment starts before section contents",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(100, 1), Segment(100, 1)});
         SetSection32(i, kRel, kShSize, Size(i));
       },
       ELF_SEGMENT_IN_LATER_SEGMENT},
      {"section contents before segment contents",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0x10000, 1)});
         SetSection32(i, kRel, kShSize, Size(i));
       },
       ELF_SECTION_PAST_END},
      {"segment contents before section names",
       [](B& i, O) {
         AppendProgramHeaders(i, {Segment(0x10000, 1)});
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), kText);
       },
       ELF_SEGMENT_PAST_END},
      {"names table type before sh_name",
       [](B& i, O) {
         SetHeader16(i, offsetof(Elf32_Ehdr, e_shstrndx), kStrings);
         SetSection32(i, kStrings, kShType, 1);
         SetSection32(i, kText, kShName, 0xFFFF);
       },
       ELF_SECTION_NAMES_NOT_STRTAB},
      {"section names before symbols",
       [](B& i, O) {
         SetSection32(i, kText, kShName, 0xFFFF);
         SetSection32(i, kSymbols, kShLink, kSectionCount);
       },
       ELF_SECTION_NAME_OUT_OF_RANGE},
      {"symtab sh_link range before type",
       [](B& i, O) { SetSection32(i, kSymbols, kShLink, kSectionCount), SetSection32(i, kSymbols, kShEntsize, 1); },
       ELF_SYMTAB_LINK_OUT_OF_RANGE},
      {"symtab string table type before entry size",
       [](B& i, O) { SetSection32(i, kSymbols, kShLink, kText), SetSection32(i, kSymbols, kShEntsize, 1); },
       ELF_SYMTAB_LINK_NOT_STRTAB},
      {"symtab entry size before count",
       [](B& i, O) { SetSection32(i, kSymbols, kShSize, 4), SetSection32(i, kSymbols, kShEntsize, 1); },
       ELF_SYMTAB_ENTRY_TOO_SMALL},
      {"st_name before st_shndx",
       [](B& i, O) { SetSymbol32(i, 6, kStName, 0xFFFF), SetSymbol16(i, 6, kStShndx, kSectionCount); },
       ELF_SYMBOL_NAME_OUT_OF_RANGE},
      {"earlier symbol decides",
       [](B& i, O) { SetSymbol32(i, 3, kStSize, 0xFFFF), SetSymbol32(i, 6, kStName, 0xFFFF); },
       ELF_FUNC_OUTSIDE_SECTION},
      {"symbols before relocations",
       [](B& i, O) { SetSection32(i, kRela, kShSize, 5), SetSymbol32(i, 7, kStName, 0xFFFF); },
       ELF_SYMBOL_NAME_OUT_OF_RANGE},
      {"rela entry size before count",
       [](B& i, O) { SetSection32(i, kRela, kShEntsize, 11), SetSection32(i, kRela, kShSize, 5); },
       ELF_RELA_ENTRY_TOO_SMALL},
      {"rela count before sh_link",
       [](B& i, O) { SetSection32(i, kRela, kShSize, 11), SetSection32(i, kRela, kShLink, kSectionCount); },
       ELF_RELA_NO_ENTRY},
      {"rela sh_link before sh_info",
       [](B& i, O) { SetSection32(i, kRela, kShLink, kSectionCount), SetSection32(i, kRela, kShInfo, kSectionCount); },
       ELF_RELA_LINK_OUT_OF_RANGE},
      {"rela symtab type before sh_info",
       [](B& i, O) { SetSection32(i, kRela, kShLink, kText), SetSection32(i, kRela, kShInfo, kSectionCount); },
       ELF_RELA_LINK_NOT_SYMTAB},
      {"rela symtab entry size before sh_info",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kSymbols, kShEntsize, 8);
         SetSection32(i, kRela, kShInfo, kSectionCount);
       },
       ELF_RELA_SYMTAB_ENTRY_TOO_SMALL},
      {"rela size word before sh_info",
       [](B& i, O) {
         SetSection32(i, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
         SetSection32(i, kSymbols, kShSize, 0);
         SetSection32(i, kSymbols, kShOffset, Size(i));
         SetSection32(i, kRela, kShInfo, kSectionCount);
       },
       ELF_SIZE_WORD_PAST_END},
      {"rela sh_info before entries",
       [](B& i, O) {
         SetSection32(i, kRela, kShInfo, kSectionCount);
         SetEntry32(i, kRela, 0, kRInfo, 0xFFFFFF01);
       },
       ELF_RELA_INFO_OUT_OF_RANGE},
      {"rela zero test before entries",
       [](B& i, O) {
         SetSection32(i, kRela, kShInfo, 0);
         SetEntry32(i, kRela, 1, kRInfo, 0xFFFFFF01);
       },
       ELF_RELA_NULL_TARGET_NOT_ZERO},
      {"relocation tables in index order",
       [](B& i, O) { SetSection32(i, kRela, kShLink, kText), SetSection32(i, kRel, kShLink, kText); },
       ELF_RELA_LINK_NOT_SYMTAB},
      {"rel sh_link 0 has no exemption",
       [](B& i, O) { SetSection32(i, kRel, kShLink, 0), SetSection32(i, kRel, kShInfo, kSectionCount); },
       ELF_REL_LINK_NOT_SYMTAB},
      {"rel symbol index before r_offset",
       [](B& i, O) {
         SetEntry32(i, kRel, 0, kRInfo, 0xFFFFFF01);
         SetEntry32(i, kRel, 0, kROffset, 0xFFFF);
       },
       ELF_REL_SYMBOL_OUT_OF_RANGE},
      {"earlier rel entry decides",
       [](B& i, O) {
         SetEntry32(i, kRel, 0, kROffset, 0xFFFF);
         SetEntry32(i, kRel, 1, kRInfo, 0xFFFFFF01);
       },
       ELF_REL_OFFSET_OUT_OF_RANGE},
  };
  RunCases(cases);
}

// Every symbol table is examined before the first relocation table, even one
// with a higher index.
TEST(ElfValidationOrder, SymbolTablesBeforeLowerNumberedRelocations) {
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    ElfBuilder builder(order);
    const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16, 0), 0, 0, 0, 4);
    const uint32_t rela = builder.AddRela(text, 5, {{0, 1, 1, 0}});  // .strtab 4, .symtab 5
    const uint32_t symtab = builder.AddSymbolTable({{"f", 0, 4, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)}});
    ASSERT_EQ(symtab, 5u);
    Bytes image = builder.Build();
    Bytes good = image;
    EXPECT_EQ(ValidateExactCopy(good), ELF_OK);
    SetSection32(image, rela, kShSize, 5);
    WriteStored32(image, SymbolOffset(image, symtab, 1) + kStSize, 17);
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(ELF_FUNC_OUTSIDE_SECTION));
  }
}

// Only the start of the lower-numbered of two sections (or segments) is
// tested against the extent of the higher-numbered one.
TEST(ElfValidationOrder, OverlapsTestLowerStartAgainstHigherExtent) {
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    Bytes outerFirst = TwoSections(order, 100, 100, 150, 10);
    Bytes innerFirst = TwoSections(order, 150, 10, 100, 100);
    Bytes lastByte = TwoSections(order, 199, 1, 100, 100);
    Bytes justPast = TwoSections(order, 200, 1, 100, 100);
    EXPECT_EQ(ValidateExactCopy(outerFirst), ELF_OK);
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(innerFirst)),
              static_cast<uint32_t>(ELF_SECTION_IN_LATER_SECTION));
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(lastByte)), static_cast<uint32_t>(ELF_SECTION_IN_LATER_SECTION));
    EXPECT_EQ(ValidateExactCopy(justPast), ELF_OK);

    Bytes segmentsOuterFirst = RichObject(order);
    AppendProgramHeaders(segmentsOuterFirst, {Segment(100, 100), Segment(150, 10)});
    EXPECT_EQ(ValidateExactCopy(segmentsOuterFirst), ELF_OK);
    Bytes segmentsWrapping = RichObject(order);
    // An extent whose end wraps past 2^32 contains nothing.
    AppendProgramHeaders(segmentsWrapping, {Segment(100, 1, PT_NULL + 1), Segment(50, 0xFFFFFFF0)});
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(segmentsWrapping)), static_cast<uint32_t>(ELF_SEGMENT_PAST_END));
  }
}

// The room after the header: more than 208 bytes must follow it, compared as
// signed numbers.
TEST(ElfValidationHeader, HeaderSizeAndImageSize) {
  struct SizeCase {
    uint16_t ehsize;
    uint32_t size;
    ElfStatus expected;
  };
  const SizeCase cases[] = {
      {0, 259, ELF_IMAGE_TOO_SMALL},
      {52, 259, ELF_IMAGE_TOO_SMALL},
      {0, 260, ELF_TOO_LITTLE_AFTER_HEADER},
      {52, 260, ELF_TOO_LITTLE_AFTER_HEADER},
      {51, 260, ELF_HEADER_SIZE_TOO_SMALL},
      {51, 261, ELF_HEADER_SIZE_TOO_SMALL},
      {0, 261, ELF_OK},
      {52, 261, ELF_OK},
      {53, 261, ELF_TOO_LITTLE_AFTER_HEADER},
      {53, 262, ELF_OK},
      {64, 272, ELF_TOO_LITTLE_AFTER_HEADER},
      {64, 273, ELF_OK},
  };
  for (ByteOrder order : kOrders) {
    for (const SizeCase& c : cases) {
      SCOPED_TRACE(std::string(OrderName(order)) + ", e_ehsize " + std::to_string(c.ehsize) + ", " +
                   std::to_string(c.size) + " bytes");
      ElfBuilder builder(order);
      builder.SetTrailingPadding(c.size);
      Bytes image = builder.Build();
      image.resize(c.size);
      SetHeader16(image, offsetof(Elf32_Ehdr, e_ehsize), c.ehsize);
      // The names go after the section table (at 64..143), clear of every
      // header size tried.
      SetSection32(image, kNames, kShOffset, 144);
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(c.expected));
    }
  }
}

TEST(ElfValidationHeader, ImagesOf2GiBPlus208BytesFail) {
  constexpr uint32_t kLimit = 0x80000000u + 208;
  const size_t mapped = kLimit;
  void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  uint8_t* bytes = static_cast<uint8_t*>(memory);
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    const Bytes image = RichObject(order);
    std::memcpy(bytes, image.data(), image.size());
    EXPECT_EQ(ValidateElfObject(bytes, kLimit - 1), ELF_OK);
    std::memcpy(bytes, image.data(), image.size());
    EXPECT_EQ(static_cast<uint32_t>(ValidateElfObject(bytes, kLimit)),
              static_cast<uint32_t>(ELF_TOO_LITTLE_AFTER_HEADER));
  }
  munmap(memory, mapped);
}

// Header fields are tested as converted: the same four bytes mean 1 in a
// big-endian object and 0x01000000 in a little-endian one.
TEST(ElfValidationHeader, FieldsAreTestedAfterConversion) {
  for (ByteOrder order : kOrders) {
    Bytes image = RichObject(order);
    const uint8_t one[4] = {0, 0, 0, 1};
    std::memcpy(image.data() + offsetof(Elf32_Ehdr, e_version), one, 4);
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)),
              static_cast<uint32_t>(order == ByteOrder::Big ? ELF_OK : ELF_BAD_VERSION))
        << OrderName(order);
  }
  // Every EI_DATA value other than 1 means big-endian.
  for (uint8_t data : {0, 2, 3, 0xFF}) {
    Bytes image = RichObject(ByteOrder::Big);
    image[EI_DATA] = data;
    EXPECT_EQ(ValidateExactCopy(image), ELF_OK) << "EI_DATA " << int{data};
  }
  Bytes bigAsLittle = RichObject(ByteOrder::Big);
  bigAsLittle[EI_DATA] = 1;
  EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(bigAsLittle)), static_cast<uint32_t>(ELF_BAD_VERSION));
}

// Entry sizes other than the defaults: larger entries are fine, smaller ones
// get codes of their own, and a table that holds no entries is never read.
TEST(ElfValidationHeader, EntrySizesAndEmptyTables) {
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    for (uint16_t entrySize : {0, 40, 41, 64}) {
      ElfBuilder builder(order);
      builder.AddSection(".data", 1, SHF_ALLOC, Bytes(8, 1), 0, 0, 0, 4);
      builder.AddSymbolTable({{"d", 0, 8, STB_GLOBAL, STT_OBJECT, 2}});
      builder.SetSectionEntrySize(entrySize);
      Bytes image = builder.Build();
      EXPECT_EQ(ValidateExactCopy(image), ELF_OK) << "e_shentsize " << entrySize;
    }
    for (uint16_t entrySize : {1, 39}) {
      Bytes image = RichObject(order);
      SetHeader16(image, offsetof(Elf32_Ehdr, e_shentsize), entrySize);
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(ELF_SECTION_ENTRY_TOO_SMALL));
    }

    // Program entry sizes: 1..31 fail only when there is a table with entries.
    struct ProgramCase {
      bool table;
      uint16_t count;
      uint16_t entrySize;
      ElfStatus expected;
    };
    const ProgramCase programCases[] = {
        {true, 1, 31, ELF_PROGRAM_ENTRY_TOO_SMALL},
        {true, 1, 1, ELF_PROGRAM_ENTRY_TOO_SMALL},
        {true, 0, 16, ELF_OK},
        {false, 3, 16, ELF_OK},
        {true, 2, 0, ELF_OK},
        {true, 2, 32, ELF_OK},
        {true, 2, 48, ELF_OK},
    };
    for (const ProgramCase& c : programCases) {
      Bytes image = RichObject(order);
      AppendProgramHeaders(image, std::vector<Elf32_Phdr>(c.count, Segment(64, 0)), c.entrySize);
      if (c.count == 0) SetHeader32(image, offsetof(Elf32_Ehdr, e_phoff), 52);
      if (!c.table) SetHeader32(image, offsetof(Elf32_Ehdr, e_phoff), 0);
      SetHeader16(image, offsetof(Elf32_Ehdr, e_phentsize), c.entrySize);
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(c.expected))
          << "table " << c.table << ", " << c.count << " entries of " << c.entrySize;
    }

    // e_shoff 0: one entry (the null entry over the ELF header) or none pass.
    for (uint16_t count : {0, 1}) {
      Bytes image = MinimalObject(order);
      SetHeader32(image, offsetof(Elf32_Ehdr, e_shoff), 0);
      SetHeader16(image, offsetof(Elf32_Ehdr, e_shnum), count);
      SetHeader16(image, offsetof(Elf32_Ehdr, e_shstrndx), 0);
      EXPECT_EQ(ValidateExactCopy(image), ELF_OK) << count << " sections at offset 0";
    }
    Bytes two = MinimalObject(order);
    SetHeader32(two, offsetof(Elf32_Ehdr, e_shoff), 0);
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(two)), static_cast<uint32_t>(ELF_SECTION_TABLE_AT_ZERO));
    // With e_shnum 0 the entry size is never used.
    Bytes none = MinimalObject(order);
    SetHeader16(none, offsetof(Elf32_Ehdr, e_shnum), 0);
    SetHeader16(none, offsetof(Elf32_Ehdr, e_shstrndx), 0);
    SetHeader16(none, offsetof(Elf32_Ehdr, e_shentsize), 1);
    EXPECT_EQ(ValidateExactCopy(none), ELF_OK);
  }
}

// e_phoff 0 means no program header table, whatever e_phnum holds: nothing at
// offset 0 is read as one or converted.
TEST(ElfValidationHeader, NoProgramHeadersWithoutOffset) {
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    Bytes plain = RichObject(order);
    Bytes withCount = plain;
    SetHeader16(withCount, offsetof(Elf32_Ehdr, e_phnum), 5);
    ASSERT_EQ(ValidateExactCopy(plain), ELF_OK);
    ASSERT_EQ(ValidateExactCopy(withCount), ELF_OK);
    // Only e_phnum differs after validation.
    const Elf32_Ehdr header = LoadUnaligned<Elf32_Ehdr>(withCount.data());
    EXPECT_EQ(header.e_phnum, 5);
    StoreUnaligned<uint16_t>(withCount.data() + offsetof(Elf32_Ehdr, e_phnum), 0);
    EXPECT_EQ(withCount, plain);
  }
}

// Symbol extents are formed modulo 2^32 from st_value - sh_addr.
TEST(ElfValidationSymbols, ExtentsAgainstSectionAddresses) {
  struct ExtentCase {
    uint8_t type;
    uint32_t value;
    uint32_t size;
    ElfStatus expected;
  };
  const ExtentCase cases[] = {
      {STT_FUNC, 0x1000, 0x100, ELF_OK},
      {STT_FUNC, 0x1100, 0, ELF_OK},
      {STT_FUNC, 0x1100, 1, ELF_FUNC_OUTSIDE_SECTION},
      {STT_FUNC, 0x10FF, 1, ELF_OK},
      {STT_FUNC, 0x0FFF, 0, ELF_FUNC_OUTSIDE_SECTION},  // the offset wraps to 0xFFFFFFFF
      {STT_FUNC, 0x0FFF, 1, ELF_FUNC_OUTSIDE_SECTION},
      {STT_FUNC, 0x1001, 0xFFFFFFFF, ELF_OK},  // 1 + 0xFFFFFFFF wraps to 0
      {STT_FUNC, 0x1002, 0xFFFFFFFF, ELF_OK},
      {STT_FUNC, 0x1000, 0xFFFFFFFF, ELF_FUNC_OUTSIDE_SECTION},
      {STT_OBJECT, 0x1100, 0, ELF_OK},
      {STT_OBJECT, 0x1100, 1, ELF_OBJECT_OUTSIDE_SECTION},
      {STT_OBJECT, 0x0FFF, 0, ELF_OBJECT_OUTSIDE_SECTION},
      {STT_NOTYPE, 0x0FFF, 0x1000, ELF_OK},
      {STT_SECTION, 0x0FFF, 0x1000, ELF_OK},
  };
  for (ByteOrder order : kOrders) {
    for (const ExtentCase& c : cases) {
      SCOPED_TRACE(std::string(OrderName(order)) + ", type " + std::to_string(c.type) + ", value " +
                   std::to_string(c.value) + ", size " + std::to_string(c.size));
      ElfBuilder builder(order);
      const uint32_t text =
          builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(0x100, 0), 0, 0, 0, 4, 0x1000);
      builder.AddSymbolTable({{"s", c.value, c.size, STB_GLOBAL, c.type, static_cast<uint16_t>(text)}});
      Bytes image = builder.Build();
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(c.expected));
    }
  }
}

// The section-name table of a size-prefixed section bounds sh_name by its
// size word, whatever its sh_size says.
TEST(ElfValidationLogicalSize, SectionNamesUseTheSizeWord) {
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    // A second string table holding a size word; e_shstrndx names it.
    ElfBuilder builder(order);
    const uint32_t names = builder.AddSection(".names", SHT_STRTAB, SHF_SIZE_PREFIXED, Bytes(64, 0));
    Bytes base = builder.Build();
    SetHeader16(base, offsetof(Elf32_Ehdr, e_shstrndx), static_cast<uint16_t>(names));
    const size_t word = Section(base, names, kShOffset);
    uint32_t highest = 0;
    for (uint32_t index = 1; index <= names; ++index) highest = std::max(highest, Section(base, index, kShName));
    ASSERT_LT(highest, 64u);

    struct WordCase {
      uint32_t sizeWord;
      uint32_t sectionSize;
      ElfStatus expected;
    };
    const WordCase cases[] = {
        {highest + 1, 64, ELF_OK}, {highest, 64, ELF_SECTION_NAME_OUT_OF_RANGE}, {0, 64, ELF_SECTION_NAME_OUT_OF_RANGE},
        {highest + 1, 4, ELF_OK},  // sh_size does not bound the names
        {0xFFFFFFFF, 4, ELF_OK},
    };
    for (const WordCase& c : cases) {
      Bytes image = base;
      WriteStored32(image, word, c.sizeWord);
      SetSection32(image, names, kShSize, c.sectionSize);
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(c.expected))
          << "size word " << c.sizeWord << ", sh_size " << c.sectionSize;
    }

    // The word is read wherever the section says, also when it is empty:
    // the last four bytes of the image are fine, one byte further is not.
    Bytes atEnd = base;
    atEnd.resize(atEnd.size() + 8, 0);
    SetSection32(atEnd, names, kShSize, 0);
    SetSection32(atEnd, names, kShOffset, Size(atEnd) - 4);
    WriteStored32(atEnd, atEnd.size() - 4, highest + 1);
    Bytes pastEnd = atEnd;
    SetSection32(pastEnd, names, kShOffset, Size(pastEnd) - 3);
    EXPECT_EQ(ValidateExactCopy(atEnd), ELF_OK);
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(pastEnd)), static_cast<uint32_t>(ELF_SIZE_WORD_PAST_END));
  }
}

// The symbol count of an SHT_RELA table whose symbol table is size-prefixed
// comes from the size word, as a signed number; SHT_REL always uses sh_size.
TEST(ElfValidationLogicalSize, RelocationSymbolCounts) {
  struct CountCase {
    uint32_t sizeWord;
    uint32_t symbolIndex;
    uint8_t type;
    ElfStatus rela;
    ElfStatus rel;
  };
  const CountCase cases[] = {
      {3 * 16, 2, 1, ELF_OK, ELF_OK},
      {3 * 16, 3, 1, ELF_RELA_SYMBOL_OUT_OF_RANGE, ELF_OK},
      {3 * 16 + 15, 3, 1, ELF_RELA_SYMBOL_OUT_OF_RANGE, ELF_OK},
      {3 * 16, 7, 1, ELF_RELA_SYMBOL_OUT_OF_RANGE, ELF_OK},
      {3 * 16, kSymbolCount, 1, ELF_RELA_SYMBOL_OUT_OF_RANGE, ELF_REL_SYMBOL_OUT_OF_RANGE},
      {0x7FFFFFF0, 0xFFFFFF, 1, ELF_OK, ELF_REL_SYMBOL_OUT_OF_RANGE},
      {0x80000000, 0, 1, ELF_RELA_SYMBOL_OUT_OF_RANGE, ELF_OK},  // a negative count
      {0xFFFFFFF0, 0, 1, ELF_RELA_SYMBOL_OUT_OF_RANGE, ELF_OK},  // -1
      {0x80000000, 5, 0, ELF_OK, ELF_OK},                        // type 0 is never tested in SHT_RELA
  };
  for (ByteOrder order : kOrders) {
    for (const CountCase& c : cases) {
      SCOPED_TRACE(std::string(OrderName(order)) + ", size word " + std::to_string(c.sizeWord) + ", symbol " +
                   std::to_string(c.symbolIndex) + ", type " + std::to_string(c.type));
      Bytes image = RichObject(order);
      SetSection32(image, kSymbols, kShFlags, SHF_SIZE_PREFIXED);
      SetSymbol32(image, 0, kStName, c.sizeWord);
      Bytes rel = image;
      SetEntry32(image, kRela, 0, kRInfo, c.symbolIndex << 8 | c.type);
      SetEntry32(image, kRela, 1, kRInfo, 0);
      SetSection32(image, kRel, kShSize, 0);
      SetEntry32(rel, kRel, 0, kRInfo, c.symbolIndex << 8 | c.type);
      SetSection32(rel, kRela, kShSize, 0);
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), static_cast<uint32_t>(c.rela)) << "rela";
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(rel)), static_cast<uint32_t>(c.rel)) << "rel";
    }
  }
}

// A relocation table for the null section: only its first entry is tested,
// as bytes or as words depending on sh_addralign, and the table is emptied.
TEST(ElfValidationNullTarget, FirstEntryZeroTestAndEmptying) {
  struct ZeroCase {
    uint32_t type;
    uint32_t entrySize;
    uint32_t align;
    size_t nonZeroByte;  // in the first entry; kNone for none
    ElfStatus expected;
  };
  constexpr size_t kNone = ~size_t{0};
  const ZeroCase cases[] = {
      {SHT_RELA, 12, 4, kNone, ELF_OK},
      {SHT_RELA, 12, 4, 11, ELF_RELA_NULL_TARGET_NOT_ZERO},
      {SHT_RELA, 12, 0, 0, ELF_RELA_NULL_TARGET_NOT_ZERO},
      {SHT_RELA, 14, 4, kNone, ELF_RELA_NULL_TARGET_NOT_ZERO},  // 14 is not a whole number of words
      {SHT_RELA, 14, 1, kNone, ELF_OK},
      {SHT_RELA, 14, 3, kNone, ELF_OK},
      {SHT_RELA, 14, 1, 13, ELF_RELA_NULL_TARGET_NOT_ZERO},
      {SHT_RELA, 16, 8, 15, ELF_RELA_NULL_TARGET_NOT_ZERO},
      {SHT_RELA, 16, 8, kNone, ELF_OK},
      {SHT_REL, 8, 4, kNone, ELF_OK},
      {SHT_REL, 8, 4, 4, ELF_REL_NULL_TARGET_NOT_ZERO},
      {SHT_REL, 10, 4, kNone, ELF_REL_NULL_TARGET_NOT_ZERO},
      {SHT_REL, 10, 2, kNone, ELF_OK},
      {SHT_REL, 10, 2, 9, ELF_REL_NULL_TARGET_NOT_ZERO},
  };
  for (ByteOrder order : kOrders) {
    for (const ZeroCase& c : cases) {
      SCOPED_TRACE(std::string(OrderName(order)) + (c.type == SHT_RELA ? ", rela" : ", rel") + ", entsize " +
                   std::to_string(c.entrySize) + ", align " + std::to_string(c.align));
      ElfBuilder builder(order);
      builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16, 0), 0, 0, 0, 4);
      const uint32_t symtab = builder.AddSymbolTable({{"f", 0, 4, STB_GLOBAL, STT_FUNC, 2}});
      // Three entries; every byte after the first entry is not zero.
      Bytes contents(3 * c.entrySize, 0xEE);
      std::fill(contents.begin(), contents.begin() + c.entrySize, 0);
      if (c.nonZeroByte != kNone) contents[c.nonZeroByte] = 1;
      const uint32_t table = builder.AddSection(".rel", c.type, 0, contents, symtab, 0, c.entrySize, c.align);
      Bytes image = builder.Build();
      const Bytes stored = image;
      const ElfStatus status = ValidateExactCopy(image);
      EXPECT_EQ(static_cast<uint32_t>(status), static_cast<uint32_t>(c.expected));
      if (status != ELF_OK) continue;
      // Emptied in the header; the entries themselves stay as stored.
      const size_t header = SectionHeaderOffset(stored, table);
      EXPECT_EQ(LoadUnaligned<uint32_t>(image.data() + header + kShSize), 0u);
      const size_t offset = GetSection32(stored, table, kShOffset);
      EXPECT_TRUE(std::equal(contents.begin(), contents.end(), image.begin() + static_cast<ptrdiff_t>(offset)));
    }
  }
}

// Real compiler output of both byte orders validates.
TEST(ElfValidationFixtures, CompiledObjectsAreSound) {
  namespace fs = std::filesystem;
  for (const char* flavour : {"ppc", "i386"}) {
    size_t seen = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(QUORLIX_FIXTURE_DIR) / flavour)) {
      if (entry.path().extension() != ".o") continue;
      ++seen;
      const std::string path = entry.path().string();
      Bytes image;
      {
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr) << path;
        uint8_t buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
          image.insert(image.end(), buffer, buffer + got);
        std::fclose(file);
      }
      ASSERT_EQ(image[EI_DATA], std::string(flavour) == "ppc" ? 2 : 1) << path;
      EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(image)), 0u) << path;
    }
    EXPECT_GT(seen, 0u) << flavour;
  }
}

}  // namespace
