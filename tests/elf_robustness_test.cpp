// Validation on damaged objects: truncated and corrupted copies of real
// compiler output and of the builder's standard object, each validated in a
// heap block of exactly its size so that the sanitizers see any read past the
// image. Whatever the damage, the result is 0 or a validation code, and an
// accepted image keeps the promises that later readers rely on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"
#include "elf/object_validation.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"

namespace {

constexpr uint32_t kLastDefect = 0x37;

bool IsValidationStatus(ElfStatus status) {
  const uint32_t value = static_cast<uint32_t>(status);
  return value == 0 || (value > 0xBAD00000u && value <= 0xBAD00000u + kLastDefect && value != 0xBAD00010u);
}

struct Sample {
  std::string name;
  Bytes image;
};

std::vector<Sample> Corpus() {
  std::vector<Sample> corpus;
  for (const char* flavour : {"ppc", "i386"}) {
    for (const char* stem : {"basics", "validation_linkage", "validation_templates"}) {
      const std::filesystem::path path =
          std::filesystem::path(QUORLIX_FIXTURE_DIR) / flavour / (std::string(stem) + ".o");
      const std::string text = ReadFile(path.string());
      corpus.push_back({path.string(), Bytes(text.begin(), text.end())});
    }
  }
  for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
    const std::string name = order == ByteOrder::Big ? "standard object, big-endian" : "standard object, little-endian";
    corpus.push_back({name, StandardObject(order)});
    // With program headers, so that their tests are reached too.
    Bytes withSegments = StandardObject(order);
    Elf32_Phdr load{};
    load.p_type = 1;
    load.p_offset = 52;
    load.p_filesz = 16;
    Elf32_Phdr other = load;
    other.p_offset = 100;
    AppendProgramHeaders(withSegments, {load, Elf32_Phdr{}, other});
    corpus.push_back({name + " with segments", withSegments});
  }
  return corpus;
}

// Reads of the validated image that the promises of validation allow without
// tests of their own; each one is checked here against the image size.
testing::AssertionResult KeepsPromises(const uint8_t* image, uint64_t size) {
  if (size < 261) return testing::AssertionFailure() << "accepted " << size << " bytes";
  const Elf32_Ehdr header = LoadUnaligned<Elf32_Ehdr>(image);
  if (header.e_shstrndx != 0 && header.e_shstrndx >= header.e_shnum) {
    return testing::AssertionFailure() << "e_shstrndx " << header.e_shstrndx;
  }
  if (header.e_shnum > 1 && header.e_shoff == 0) return testing::AssertionFailure() << "section table at 0";
  const uint32_t entrySize = EntrySizeOrDefault(header.e_shentsize, kDefaultSectionEntrySize);
  if (header.e_shnum != 0 && entrySize < sizeof(Elf32_Shdr)) return testing::AssertionFailure() << "entry size";
  if (uint64_t{header.e_shoff} + uint64_t{header.e_shnum} * entrySize > size) {
    return testing::AssertionFailure() << "section table past the end";
  }
  const uint32_t headerSize = EntrySizeOrDefault(header.e_ehsize, kDefaultHeaderSize);
  const auto section = [&](uint32_t index) {
    return LoadUnaligned<Elf32_Shdr>(image + header.e_shoff + uint64_t{index} * entrySize);
  };
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    const Elf32_Shdr s = section(index);
    if (s.sh_size == 0 || s.sh_type == SHT_NOBITS) continue;
    if (s.sh_offset < headerSize || uint64_t{s.sh_offset} + s.sh_size > size) {
      return testing::AssertionFailure() << "section " << index << " outside the image";
    }
  }
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    const Elf32_Shdr s = section(index);
    if (s.sh_type != SHT_SYMTAB || s.sh_size == 0 || (s.sh_flags & SHF_SIZE_PREFIXED) != 0) continue;
    const uint32_t symbolSize = EntrySizeOrDefault(s.sh_entsize, kDefaultSymbolEntrySize);
    if (s.sh_link >= header.e_shnum || symbolSize < 16 || s.sh_size / symbolSize == 0) {
      return testing::AssertionFailure() << "symbol table " << index;
    }
    if (s.sh_link != 0) {
      const Elf32_Shdr strings = section(s.sh_link);
      if (strings.sh_type != SHT_STRTAB || strings.sh_size == 0) {
        return testing::AssertionFailure() << "strings of symbol table " << index;
      }
    }
    // Every symbol is readable.
    for (uint32_t k = 0; k < s.sh_size / symbolSize; ++k) {
      (void)LoadUnaligned<Elf32_Sym>(image + s.sh_offset + uint64_t{k} * symbolSize);
    }
  }
  return testing::AssertionSuccess();
}

// Validates a copy of the first `size` bytes in a heap block of exactly that
// size; on acceptance checks the promises. `describe` names the damage, and
// is only called on a failure.
template <typename Describe>
void Check(const Bytes& damaged, size_t size, const Describe& describe) {
  const std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), damaged.data(), size);
  const ElfStatus status = ValidateElfObject(image.get(), static_cast<uint32_t>(size));
  ASSERT_TRUE(IsValidationStatus(status)) << describe() << ": status 0x" << std::hex << static_cast<uint32_t>(status);
  if (status != ELF_OK) return;
  ASSERT_TRUE(KeepsPromises(image.get(), size)) << describe();
}

TEST(ElfRobustness, TruncatedObjects) {
  for (const Sample& sample : Corpus()) {
    Bytes whole = sample.image;
    ASSERT_EQ(ValidateExactCopy(whole), ELF_OK) << sample.name;
    for (size_t length = 0; length < sample.image.size(); ++length) {
      Check(sample.image, length, [&] { return sample.name + " cut to " + std::to_string(length); });
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(ElfRobustness, SingleByteChanges) {
  std::mt19937 random(20240611);
  for (Sample& sample : Corpus()) {
    Bytes& damaged = sample.image;
    // Every byte gets a random change; the ELF header and the section
    // header table also get 0 and 0xFF.
    const uint32_t tableOffset = ReadStored32(damaged, offsetof(Elf32_Ehdr, e_shoff));
    const uint32_t tableEnd = tableOffset + ReadStored16(damaged, offsetof(Elf32_Ehdr, e_shnum)) * uint32_t{40};
    for (size_t offset = 0; offset < damaged.size(); ++offset) {
      const uint8_t stored = damaged[offset];
      const bool inHeaders = offset < sizeof(Elf32_Ehdr) || (offset >= tableOffset && offset < tableEnd);
      std::vector<uint8_t> values = {uint8_t(stored ^ (1u + random() % 255))};
      if (inHeaders) values.insert(values.end(), {uint8_t(0), uint8_t(0xFF)});
      for (uint8_t value : values) {
        damaged[offset] = value;
        Check(damaged, damaged.size(),
              [&] { return sample.name + ": byte " + std::to_string(offset) + " = " + std::to_string(value); });
        if (testing::Test::HasFatalFailure()) return;
      }
      damaged[offset] = stored;
    }
  }
}

// Several header, table or entry fields at once set to values near the
// boundaries the tests draw: 0, 1, the image size, all ones, the sign bit,
// the platform's flags and indexes.
TEST(ElfRobustness, FieldValuesNearBoundaries) {
  std::mt19937 random(77);
  constexpr int kRoundsPerSample = 1500;
  for (const Sample& sample : Corpus()) {
    const uint32_t size = static_cast<uint32_t>(sample.image.size());
    const uint32_t tableOffset = ReadStored32(sample.image, offsetof(Elf32_Ehdr, e_shoff));
    const uint32_t values[] = {0,           1,          2,          3,          4,          8,
                               9,           12,         16,         40,         52,         0xFF03,
                               0xFFF2,      0xFFFF,     size - 4,   size - 1,   size,       size + 1,
                               tableOffset, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFF, SHF_SIZE_PREFIXED,
                               SHT_NOBITS,  SHT_SYMTAB, SHT_RELA,   SHT_REL};
    for (int round = 0; round < kRoundsPerSample; ++round) {
      Bytes damaged = sample.image;
      std::string what = sample.name + ":";
      what.reserve(200);
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int change = 0; change < changes; ++change) {
        // Half of the changes hit the ELF header or the section headers.
        size_t offset;
        switch (random() % 4) {
          case 0:
            offset = 16 + random() % 36;
            break;
          case 1:
            offset = tableOffset + random() % (size - tableOffset);
            break;
          default:
            offset = random() % size;
            break;
        }
        offset &= ~size_t{1};
        const uint32_t value =
            random() % 4 == 0 ? static_cast<uint32_t>(random() % size) : values[random() % std::size(values)];
        if (offset + 4 <= size && random() % 2 == 0) {
          WriteStored32(damaged, offset, value);
        } else if (offset + 2 <= size) {
          WriteStored16(damaged, offset, static_cast<uint16_t>(value));
        }
        what += " [" + std::to_string(offset) + "]=" + std::to_string(value);
      }
      Check(damaged, damaged.size(), [&] { return what; });
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
