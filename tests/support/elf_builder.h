// Builds small ELF32 relocatable images in either byte order for tests, and
// patches single fields of a built image in that image's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"

enum class ByteOrder { Little, Big };

using Bytes = std::vector<uint8_t>;

struct SymbolSpec {
  std::string name;
  uint32_t value = 0;
  uint32_t size = 0;
  uint8_t binding = STB_GLOBAL;
  uint8_t type = STT_FUNC;
  uint16_t sectionIndex = 0;
};

struct RelocationSpec {
  uint32_t offset = 0;
  uint32_t symbol = 0;
  uint8_t type = 1;
  int32_t addend = 0;
};

class ElfBuilder {
 public:
  explicit ElfBuilder(ByteOrder order);

  // Section 1 is always .shstrtab. Returns the new section's index.
  uint32_t AddSection(const std::string& name, uint32_t type, uint32_t flags, Bytes contents, uint32_t link = 0,
                      uint32_t info = 0, uint32_t entsize = 0, uint32_t addralign = 1, uint32_t addr = 0);
  // An SHT_NOBITS section of `size` bytes.
  uint32_t AddNoBits(const std::string& name, uint32_t flags, uint32_t size);

  // A .strtab and a .symtab holding a null symbol and then `symbols`, in order
  // (locals are not moved first). Returns the symbol table's index.
  uint32_t AddSymbolTable(const std::vector<SymbolSpec>& symbols);
  // A relocation table for `target` against `symtab`.
  uint32_t AddRela(uint32_t target, uint32_t symtab, const std::vector<RelocationSpec>& entries);
  uint32_t AddRel(uint32_t target, uint32_t symtab, const std::vector<RelocationSpec>& entries);

  // Bytes appended after the section header table (images must be at least
  // 261 bytes long; Build pads to that).
  void SetTrailingPadding(uint32_t bytes) { trailingPadding_ = bytes; }
  void SetType(uint16_t type) { type_ = type; }
  // e_shentsize; the entries are laid out that far apart (40 when it is 0),
  // the room past each 40-byte record filled with zeros. Must be 0 or >= 40.
  void SetSectionEntrySize(uint16_t size) { sectionEntrySize_ = size; }

  Bytes Build() const;
  ByteOrder Order() const { return order_; }

 private:
  struct Section {
    std::string name;
    Elf32_Shdr header{};
    Bytes contents;
  };

  Bytes Encode16(uint16_t value) const;
  Bytes Encode32(uint32_t value) const;

  ByteOrder order_;
  uint16_t type_ = ET_REL;
  uint32_t trailingPadding_ = 0;
  uint16_t sectionEntrySize_ = 40;
  std::vector<Section> sections_;
};

// A small valid object: .text, .data, .bss, a symbol table with global,
// weak, local and undefined symbols, and a relocation table (SHT_RELA for big-
// endian, SHT_REL for little-endian, as the compilers make them).
Bytes StandardObject(ByteOrder order);

// Field access on a built image in its stored byte order (EI_DATA decides).
uint32_t ReadStored32(const Bytes& image, size_t offset);
uint16_t ReadStored16(const Bytes& image, size_t offset);
void WriteStored32(Bytes& image, size_t offset, uint32_t value);
void WriteStored16(Bytes& image, size_t offset, uint16_t value);

// Offsets of records inside a built (not yet validated) image.
size_t SectionHeaderOffset(const Bytes& image, uint32_t index);
size_t SymbolOffset(const Bytes& image, uint32_t symtabIndex, uint32_t symbolIndex);

// Patch helpers, in the image's byte order.
void SetHeader16(Bytes& image, size_t fieldOffset, uint16_t value);
void SetHeader32(Bytes& image, size_t fieldOffset, uint32_t value);
void SetSection32(Bytes& image, uint32_t index, size_t fieldOffset, uint32_t value);
uint32_t GetSection32(const Bytes& image, uint32_t index, size_t fieldOffset);

// Index of the first section of `type`, or 0.
uint32_t FindSectionOfType(const Bytes& image, uint32_t type);

// Appends a program header table at the end of the image (4-byte aligned)
// and points e_phoff, e_phnum and e_phentsize at it; each entry is written
// in the image's byte order and padded to `entrySize` (0 lays them 32 apart).
void AppendProgramHeaders(Bytes& image, const std::vector<Elf32_Phdr>& headers, uint16_t entrySize = 32);

// Runs validation on an exactly-sized heap copy of `image`, so that a read
// past the end is caught by the sanitizers, and copies the (converted)
// result back.
ElfStatus ValidateExactCopy(Bytes& image);
