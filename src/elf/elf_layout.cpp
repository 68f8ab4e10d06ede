#include "elf/elf_layout.h"

#include <cstddef>

namespace {

template <typename T>
void SwapFieldAt(uint8_t* record, size_t offset) {
  static_assert(sizeof(T) == 2 || sizeof(T) == 4);
  T value = LoadUnaligned<T>(record + offset);
  if constexpr (sizeof(T) == 2) {
    value = static_cast<T>(__builtin_bswap16(value));
  } else {
    value = static_cast<T>(__builtin_bswap32(static_cast<uint32_t>(value)));
  }
  StoreUnaligned(record + offset, value);
}

void SwapWords(uint8_t* record, size_t count) {
  for (size_t i = 0; i < count; ++i) SwapFieldAt<uint32_t>(record, i * 4);
}

}  // namespace

void SwapElfHeader(uint8_t* record) {
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_type));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_machine));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Ehdr, e_version));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Ehdr, e_entry));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Ehdr, e_phoff));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Ehdr, e_shoff));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Ehdr, e_flags));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_ehsize));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_phentsize));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_phnum));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_shentsize));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_shnum));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Ehdr, e_shstrndx));
}

void SwapSectionHeader(uint8_t* record) { SwapWords(record, sizeof(Elf32_Shdr) / 4); }

void SwapProgramHeader(uint8_t* record) { SwapWords(record, sizeof(Elf32_Phdr) / 4); }

void SwapSymbol(uint8_t* record) {
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Sym, st_name));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Sym, st_value));
  SwapFieldAt<uint32_t>(record, offsetof(Elf32_Sym, st_size));
  SwapFieldAt<uint16_t>(record, offsetof(Elf32_Sym, st_shndx));
}

void SwapRel(uint8_t* record) { SwapWords(record, sizeof(Elf32_Rel) / 4); }

void SwapRela(uint8_t* record) { SwapWords(record, sizeof(Elf32_Rela) / 4); }

uint32_t ReadSizeWord(const uint8_t* image, uint32_t sectionOffset) {
  const uint32_t word = LoadUnaligned<uint32_t>(image + sectionOffset);
  return NeedsConversion(image) ? __builtin_bswap32(word) : word;
}

ElfLayout ImageLayout(uint8_t* image, uint32_t size) {
  const Elf32_Ehdr header = LoadUnaligned<Elf32_Ehdr>(image);
  ElfLayout layout;
  layout.header = image;
  layout.sectionHeaders = image + header.e_shoff;
  layout.sectionEntrySize = EntrySizeOrDefault(header.e_shentsize, kDefaultSectionEntrySize);
  layout.programEntrySize = EntrySizeOrDefault(header.e_phentsize, kDefaultProgramEntrySize);
  layout.imageSize = size;
  return layout;
}
