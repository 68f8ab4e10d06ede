// ELF32 record layouts, the constants the tool gives a meaning to, and the
// in-place conversion of records to host order.
//
// Records inside an image sit at whatever offset the object's headers give,
// so nothing here is ever read through a cast pointer: a record is loaded
// into a local copy with memcpy and stored back the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// ---- Unaligned access -------------------------------------------------------

template <typename T>
inline T LoadUnaligned(const uint8_t* bytes) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

template <typename T>
inline void StoreUnaligned(uint8_t* bytes, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(bytes, &value, sizeof value);
}

// ---- Records ----------------------------------------------------------------

struct Elf32_Ehdr {
  uint8_t e_ident[16];
  uint16_t e_type;
  uint16_t e_machine;
  uint32_t e_version;
  uint32_t e_entry;
  uint32_t e_phoff;
  uint32_t e_shoff;
  uint32_t e_flags;
  uint16_t e_ehsize;
  uint16_t e_phentsize;
  uint16_t e_phnum;
  uint16_t e_shentsize;
  uint16_t e_shnum;
  uint16_t e_shstrndx;
};

struct Elf32_Shdr {
  uint32_t sh_name;
  uint32_t sh_type;
  uint32_t sh_flags;
  uint32_t sh_addr;
  uint32_t sh_offset;
  uint32_t sh_size;
  uint32_t sh_link;
  uint32_t sh_info;
  uint32_t sh_addralign;
  uint32_t sh_entsize;
};

struct Elf32_Phdr {
  uint32_t p_type;
  uint32_t p_offset;
  uint32_t p_vaddr;
  uint32_t p_paddr;
  uint32_t p_filesz;
  uint32_t p_memsz;
  uint32_t p_flags;
  uint32_t p_align;
};

struct Elf32_Sym {
  uint32_t st_name;
  uint32_t st_value;
  uint32_t st_size;
  uint8_t st_info;
  uint8_t st_other;
  uint16_t st_shndx;
};

struct Elf32_Rel {
  uint32_t r_offset;
  uint32_t r_info;
};

struct Elf32_Rela {
  uint32_t r_offset;
  uint32_t r_info;
  int32_t r_addend;
};

static_assert(sizeof(Elf32_Ehdr) == 52);
static_assert(sizeof(Elf32_Shdr) == 40);
static_assert(sizeof(Elf32_Phdr) == 32);
static_assert(sizeof(Elf32_Sym) == 16);
static_assert(sizeof(Elf32_Rel) == 8);
static_assert(sizeof(Elf32_Rela) == 12);

// ---- Constants --------------------------------------------------------------

constexpr uint8_t ELFMAG[4] = {0x7F, 'E', 'L', 'F'};
constexpr unsigned EI_CLASS = 4;
constexpr unsigned EI_DATA = 5;
constexpr unsigned EI_VERSION = 6;
constexpr uint8_t ELFCLASS32 = 1;
constexpr uint8_t ELFDATA2LSB = 1;
constexpr uint16_t ET_REL = 1;
constexpr uint32_t EV_CURRENT = 1;

constexpr uint32_t SHT_NULL = 0;
constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint32_t SHT_STRTAB = 3;
constexpr uint32_t SHT_RELA = 4;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHT_REL = 9;
constexpr uint32_t SHT_SKIP_OBJECT = 0x80000002;

constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_EXECINSTR = 0x4;
constexpr uint32_t SHF_THREAD_LOCAL = 0x04000000;
constexpr uint32_t SHF_SIZE_PREFIXED = 0x08000000;

constexpr uint16_t SHN_UNDEF = 0;
constexpr uint16_t SHN_LORESERVE = 0xFF00;
constexpr uint16_t SHN_THREAD_LOCAL = 0xFF03;
constexpr uint16_t SHN_ABS = 0xFFF1;
constexpr uint16_t SHN_COMMON = 0xFFF2;

constexpr uint8_t STT_NOTYPE = 0;
constexpr uint8_t STT_OBJECT = 1;
constexpr uint8_t STT_FUNC = 2;
constexpr uint8_t STT_SECTION = 3;
constexpr uint8_t STT_FILE = 4;
constexpr uint8_t STB_GLOBAL = 1;
constexpr uint8_t STB_WEAK = 2;

constexpr uint32_t PT_NULL = 0;

constexpr uint8_t ElfSymbolBinding(uint8_t info) { return info >> 4; }
constexpr uint8_t ElfSymbolType(uint8_t info) { return info & 0xF; }
constexpr uint32_t ElfRelocationSymbol(uint32_t info) { return info >> 8; }
constexpr uint32_t ElfRelocationType(uint32_t info) { return info & 0xFF; }

// Default entry sizes, standing in for a zero size field wherever it is used.
constexpr uint32_t kDefaultHeaderSize = 52;
constexpr uint32_t kDefaultProgramEntrySize = 32;
constexpr uint32_t kDefaultSectionEntrySize = 40;
constexpr uint32_t kDefaultSymbolEntrySize = 16;
constexpr uint32_t kDefaultRelaEntrySize = 12;
constexpr uint32_t kDefaultRelEntrySize = 8;

constexpr uint32_t EntrySizeOrDefault(uint32_t entrySize, uint32_t defaultSize) {
  return entrySize != 0 ? entrySize : defaultSize;
}

// ---- Byte order ---------------------------------------------------------------

// An object needs conversion unless its EI_DATA byte says little-endian; every
// other value, 2 or not, is taken as big-endian. e_ident is never converted,
// so the stored byte answers this for the whole run.
inline bool NeedsConversion(const uint8_t* image) { return image[EI_DATA] != ELFDATA2LSB; }

// Each routine reverses the multi-byte fields of one record in place.
void SwapElfHeader(uint8_t* record);
void SwapSectionHeader(uint8_t* record);
void SwapProgramHeader(uint8_t* record);
void SwapSymbol(uint8_t* record);
void SwapRel(uint8_t* record);
void SwapRela(uint8_t* record);

// The size word at the start of a SHF_SIZE_PREFIXED section's contents, read
// in the object's byte order; the contents themselves are never converted.
uint32_t ReadSizeWord(const uint8_t* image, uint32_t sectionOffset);

// ---- The checked layout of an image ------------------------------------------

struct ElfLayout {
  uint8_t* header = nullptr;          // the image itself
  uint8_t* sectionHeaders = nullptr;  // header + e_shoff
  uint32_t sectionEntrySize = 0;      // e_shentsize, or 40
  uint32_t programEntrySize = 0;      // e_phentsize, or 32
  uint32_t imageSize = 0;

  Elf32_Ehdr Header() const { return LoadUnaligned<Elf32_Ehdr>(header); }
  uint8_t* SectionHeaderAt(uint32_t index) const { return sectionHeaders + uint64_t{index} * sectionEntrySize; }
  Elf32_Shdr Section(uint32_t index) const { return LoadUnaligned<Elf32_Shdr>(SectionHeaderAt(index)); }
  // Program headers sit at e_phoff, which the caller reads from the header.
  uint8_t* ProgramHeaderAt(uint32_t programTableOffset, uint32_t index) const {
    return header + programTableOffset + uint64_t{index} * programEntrySize;
  }
  Elf32_Phdr Segment(uint32_t programTableOffset, uint32_t index) const {
    return LoadUnaligned<Elf32_Phdr>(ProgramHeaderAt(programTableOffset, index));
  }
};

// A section whose contents occupy bytes of the image, and a segment that
// describes some: only these take part in the range and overlap tests.
inline bool IsPlacedSection(const Elf32_Shdr& section) { return section.sh_size != 0 && section.sh_type != SHT_NOBITS; }
inline bool IsPlacedSegment(const Elf32_Phdr& segment) { return segment.p_filesz != 0 && segment.p_type != PT_NULL; }

// The layout given by an image's ELF header, which must be in host order:
// the header checks fill it once they pass, and later readers rebuild it
// from a validated image.
ElfLayout ImageLayout(uint8_t* image, uint32_t size);
