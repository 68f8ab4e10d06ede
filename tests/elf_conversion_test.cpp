// What validation leaves in the image: the records it examined in host order,
// every other byte as stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"

namespace {

constexpr ByteOrder kOrders[] = {ByteOrder::Little, ByteOrder::Big};

const char* OrderName(ByteOrder order) { return order == ByteOrder::Big ? "big-endian" : "little-endian"; }

constexpr size_t kShOffset = offsetof(Elf32_Shdr, sh_offset);
constexpr size_t kShSize = offsetof(Elf32_Shdr, sh_size);

Bytes ReadObject(const std::filesystem::path& path) {
  const std::string text = ReadFile(path.string());
  return Bytes(text.begin(), text.end());
}

std::vector<std::filesystem::path> FixtureObjects(const char* flavour) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(QUORLIX_FIXTURE_DIR) / flavour)) {
    if (entry.path().extension() == ".o") paths.push_back(entry.path());
  }
  return paths;
}

// Every kind of table validation meets, converted or not: the symbol table
// (with a thread-local and a common symbol), relocations of both forms, a
// SHT_RELA table without symbol table, a SHT_REL table for the null section
// whose later entry is not zero, a size-prefixed symbol table and relocation
// table (never examined), an empty symbol table, and program headers.
enum : uint32_t { kText = 2, kData, kStrings, kSymbols, kRela, kRel, kRelaUnlinked, kRelNull, kPrefixedSymbols };

Bytes EveryTableObject(ByteOrder order) {
  ElfBuilder builder(order);
  builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(32, 0x60), 0, 0, 0, 4, 0x100);
  builder.AddSection(".data", 1, SHF_ALLOC | 0x1, Bytes(16, 0x11), 0, 0, 0, 4);
  builder.AddSymbolTable({
      {"run", 0x100, 8, STB_GLOBAL, STT_FUNC, kText},
      {"value", 4, 4, STB_WEAK, STT_OBJECT, kData},
      {"per_thread", 0, 4, STB_GLOBAL, STT_OBJECT, SHN_THREAD_LOCAL},
      {"shared", 4, 8, STB_GLOBAL, STT_OBJECT, SHN_COMMON},
  });
  builder.AddRela(kText, kSymbols, {{4, 1, 10, -8}, {12, 2, 10, 0x12345678}});
  builder.AddRel(kData, kSymbols, {{0, 2, 1, 0}, {8, 4, 1, 0}});
  Bytes unlinked;
  for (uint8_t b = 1; unlinked.size() < 24; ++b) unlinked.push_back(b);
  builder.AddSection(".rela.unlinked", SHT_RELA, 0, unlinked, 0, kText, 12, 4);
  Bytes nullTarget(16, 0);
  std::fill(nullTarget.begin() + 8, nullTarget.end(), 0xAB);
  builder.AddSection(".rel.null", SHT_REL, 0, nullTarget, kSymbols, 0, 8, 4);
  builder.AddSection(".symtab.prefixed", SHT_SYMTAB, SHF_SIZE_PREFIXED, Bytes(32, 0x77), kStrings, 0, 16, 4);
  builder.AddSection(".rela.prefixed", SHT_RELA, SHF_SIZE_PREFIXED, Bytes(24, 0x99), 99, 99, 12, 4);
  builder.AddSection(".symtab.empty", SHT_SYMTAB, 0, {}, 99, 0, 3, 4);
  Bytes image = builder.Build();
  Elf32_Phdr load{};
  load.p_type = 1;
  load.p_offset = GetSection32(image, kText, kShOffset);
  load.p_vaddr = 0x100;
  load.p_filesz = 32;
  load.p_memsz = 48;
  load.p_flags = 5;
  load.p_align = 4;
  AppendProgramHeaders(image, {load, Elf32_Phdr{}});
  // st_other and the null section header are never converted; give them
  // bytes to watch (the null entry stays SHT_NULL).
  image[SymbolOffset(image, kSymbols, 1) + offsetof(Elf32_Sym, st_other)] = 0x5A;
  const uint8_t pattern[4] = {1, 2, 3, 4};
  std::memcpy(image.data() + SectionHeaderOffset(image, 0) + offsetof(Elf32_Shdr, sh_name), pattern, 4);
  std::memcpy(image.data() + SectionHeaderOffset(image, 0) + offsetof(Elf32_Shdr, sh_addr), pattern, 4);
  return image;
}

// What a sound image must look like after validation, worked out from its
// stored bytes: each field that validation converts rewritten as the value it
// stores, in host order; relocation tables for the null section emptied;
// every other byte untouched. For a little-endian image this is the stored
// image except for the emptied tables.
Bytes ExpectedAfterValidation(const Bytes& stored) {
  Bytes expected = stored;
  const auto host32 = [&](size_t offset) {
    StoreUnaligned<uint32_t>(expected.data() + offset, ReadStored32(stored, offset));
  };
  const auto host16 = [&](size_t offset) {
    StoreUnaligned<uint16_t>(expected.data() + offset, ReadStored16(stored, offset));
  };
  const auto words = [&](size_t offset, size_t count) {
    for (size_t i = 0; i < count; ++i) host32(offset + 4 * i);
  };

  for (size_t offset : {16, 18, 40, 42, 44, 46, 48, 50}) host16(offset);
  words(20, 5);
  const uint32_t phoff = ReadStored32(stored, offsetof(Elf32_Ehdr, e_phoff));
  const uint16_t phnum = ReadStored16(stored, offsetof(Elf32_Ehdr, e_phnum));
  uint32_t phentsize = ReadStored16(stored, offsetof(Elf32_Ehdr, e_phentsize));
  if (phentsize == 0) phentsize = 32;
  const uint16_t shnum = ReadStored16(stored, offsetof(Elf32_Ehdr, e_shnum));

  for (uint32_t index = 1; index < shnum; ++index) words(SectionHeaderOffset(stored, index), 10);
  if (phoff != 0) {
    for (uint32_t index = 0; index < phnum; ++index) words(phoff + size_t{index} * phentsize, 8);
  }

  const auto field = [&](uint32_t index, size_t offset) { return GetSection32(stored, index, offset); };
  for (uint32_t index = 1; index < shnum; ++index) {
    const uint32_t type = field(index, offsetof(Elf32_Shdr, sh_type));
    const uint32_t size = field(index, kShSize);
    if ((field(index, offsetof(Elf32_Shdr, sh_flags)) & SHF_SIZE_PREFIXED) != 0 || size == 0) continue;
    const uint32_t offset = field(index, kShOffset);
    uint32_t entrySize = field(index, offsetof(Elf32_Shdr, sh_entsize));
    if (type == SHT_SYMTAB) {
      if (entrySize == 0) entrySize = 16;
      for (uint32_t k = 0; k < size / entrySize; ++k) {
        const size_t symbol = offset + size_t{k} * entrySize;
        words(symbol, 3);  // st_name, st_value, st_size
        host16(symbol + offsetof(Elf32_Sym, st_shndx));
      }
    } else if (type == SHT_RELA || type == SHT_REL) {
      if (entrySize == 0) entrySize = type == SHT_RELA ? 12 : 8;
      const uint32_t link = field(index, offsetof(Elf32_Shdr, sh_link));
      if (type == SHT_RELA && link == 0) continue;
      const uint32_t target = field(index, offsetof(Elf32_Shdr, sh_info));
      // The null entry is all zero in every image used here.
      const bool nullTarget = target == 0 || field(target, offsetof(Elf32_Shdr, sh_type)) == SHT_NULL;
      if (nullTarget) {
        StoreUnaligned<uint32_t>(expected.data() + SectionHeaderOffset(stored, index) + kShSize, 0);
        continue;
      }
      for (uint32_t k = 0; k < size / entrySize; ++k) words(offset + size_t{k} * entrySize, type == SHT_RELA ? 3 : 2);
    }
  }
  return expected;
}

void ExpectConvertedAsStored(const Bytes& stored, const std::string& what) {
  SCOPED_TRACE(what);
  Bytes image = stored;
  ASSERT_EQ(ValidateExactCopy(image), ELF_OK);
  const Bytes expected = ExpectedAfterValidation(stored);
  ASSERT_EQ(image.size(), expected.size());
  for (size_t i = 0; i < image.size(); ++i) {
    if (image[i] != expected[i]) {
      ADD_FAILURE() << "first difference at offset " << i << ": " << int{image[i]} << " instead of "
                    << int{expected[i]};
      return;
    }
  }
}

TEST(ElfConversion, ExaminedRecordsInHostOrderEverythingElseAsStored) {
  for (ByteOrder order : kOrders) {
    ExpectConvertedAsStored(StandardObject(order), std::string("standard object, ") + OrderName(order));
    ExpectConvertedAsStored(EveryTableObject(order), std::string("every table, ") + OrderName(order));
  }
  for (const char* flavour : {"ppc", "i386"}) {
    for (const auto& path : FixtureObjects(flavour)) ExpectConvertedAsStored(ReadObject(path), path.string());
  }
}

// The same image read through the host-order records: values as built.
TEST(ElfConversion, BigEndianRecordsReadAsBuilt) {
  const Bytes stored = EveryTableObject(ByteOrder::Big);
  Bytes image = stored;
  ASSERT_EQ(ValidateExactCopy(image), ELF_OK);
  const ElfLayout layout = ImageLayout(image.data(), static_cast<uint32_t>(image.size()));
  const Elf32_Ehdr header = layout.Header();
  EXPECT_EQ(0, std::memcmp(header.e_ident, stored.data(), 16));
  EXPECT_EQ(header.e_type, ET_REL);
  EXPECT_EQ(header.e_machine, 20);
  EXPECT_EQ(header.e_version, EV_CURRENT);
  EXPECT_EQ(header.e_shentsize, 40);
  EXPECT_EQ(header.e_phnum, 2);
  const size_t nullHeader = SectionHeaderOffset(stored, 0);
  EXPECT_TRUE(std::equal(image.begin() + nullHeader, image.begin() + nullHeader + 40, stored.begin() + nullHeader));

  const Elf32_Shdr text = layout.Section(kText);
  EXPECT_EQ(text.sh_flags, SHF_ALLOC | SHF_EXECINSTR);
  EXPECT_EQ(text.sh_addr, 0x100u);
  EXPECT_EQ(text.sh_size, 32u);
  EXPECT_EQ(layout.Section(kRelNull).sh_size, 0u);
  EXPECT_EQ(layout.Section(kRela).sh_entsize, 12u);
  const Elf32_Phdr load = LoadUnaligned<Elf32_Phdr>(image.data() + header.e_phoff);
  EXPECT_EQ(load.p_offset, text.sh_offset);
  EXPECT_EQ(load.p_memsz, 48u);

  const uint8_t* symbols = image.data() + layout.Section(kSymbols).sh_offset;
  const Elf32_Sym run = LoadUnaligned<Elf32_Sym>(symbols + 16);
  EXPECT_EQ(run.st_value, 0x100u);
  EXPECT_EQ(run.st_size, 8u);
  EXPECT_EQ(run.st_info, STB_GLOBAL << 4 | STT_FUNC);
  EXPECT_EQ(run.st_other, 0x5A);
  EXPECT_EQ(run.st_shndx, kText);
  // Stored as the bytes FF 03.
  const size_t perThread = SymbolOffset(stored, kSymbols, 3);
  EXPECT_EQ(stored[perThread + 14], 0xFF);
  EXPECT_EQ(stored[perThread + 15], 0x03);
  EXPECT_EQ(LoadUnaligned<Elf32_Sym>(image.data() + perThread).st_shndx, SHN_THREAD_LOCAL);
  EXPECT_EQ(LoadUnaligned<Elf32_Sym>(symbols + 4 * 16).st_shndx, SHN_COMMON);

  const Elf32_Rela second = LoadUnaligned<Elf32_Rela>(image.data() + layout.Section(kRela).sh_offset + 12);
  EXPECT_EQ(second.r_offset, 12u);
  EXPECT_EQ(second.r_info, 2u << 8 | 10);
  EXPECT_EQ(second.r_addend, 0x12345678);
  const Elf32_Rel rel = LoadUnaligned<Elf32_Rel>(image.data() + layout.Section(kRel).sh_offset + 8);
  EXPECT_EQ(rel.r_info, 4u << 8 | 1);
}

// Every EI_DATA value other than 1 is converted exactly like 2.
TEST(ElfConversion, AnyDataByteButOneIsBigEndian) {
  Bytes reference = EveryTableObject(ByteOrder::Big);
  const Bytes stored = reference;
  ASSERT_EQ(ValidateExactCopy(reference), ELF_OK);
  for (uint8_t data : {0, 3, 0x80}) {
    Bytes image = stored;
    image[EI_DATA] = data;
    ASSERT_EQ(ValidateExactCopy(image), ELF_OK) << int{data};
    EXPECT_EQ(image[EI_DATA], data);
    image[EI_DATA] = 2;
    EXPECT_EQ(image, reference) << "EI_DATA " << int{data};
  }
}

// A size word is read in the object's byte order and never converted.
TEST(ElfConversion, SizeWordFollowsTheByteOrder) {
  for (ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    ElfBuilder builder(order);
    const uint32_t names = builder.AddSection(".names", SHT_STRTAB, SHF_SIZE_PREFIXED, {0, 0, 1, 0, 0, 0, 0, 0});
    Bytes image = builder.Build();
    SetHeader16(image, offsetof(Elf32_Ehdr, e_shstrndx), static_cast<uint16_t>(names));
    const uint32_t word = GetSection32(image, names, kShOffset);
    EXPECT_EQ(ReadSizeWord(image.data(), word), order == ByteOrder::Big ? 256u : 65536u);

    // A section name at 256 lies beyond 256 bytes but within 65536.
    Bytes named = image;
    SetSection32(named, names, offsetof(Elf32_Shdr, sh_name), 256);
    Bytes below = image;
    SetSection32(below, names, offsetof(Elf32_Shdr, sh_name), 255);
    EXPECT_EQ(static_cast<uint32_t>(ValidateExactCopy(named)),
              static_cast<uint32_t>(order == ByteOrder::Big ? ELF_SECTION_NAME_OUT_OF_RANGE : ELF_OK));
    EXPECT_EQ(ValidateExactCopy(below), ELF_OK);
    EXPECT_EQ(ReadSizeWord(below.data(), word), order == ByteOrder::Big ? 256u : 65536u);
    const uint8_t stored[4] = {0, 0, 1, 0};
    EXPECT_EQ(0, std::memcmp(below.data() + word, stored, 4));
  }
}

}  // namespace
