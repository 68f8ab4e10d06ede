// The sweep that finds the first extent starting inside a later one, held
// against the plain pairwise loop it replaces: directly on random extents,
// and through CheckElfLayout on objects with many random sections and
// segments.
#include "elf/start_overlap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"
#include "elf/layout_check.h"
#include "support/elf_builder.h"

namespace {

// The pairwise loop: the first i whose start lies in some later extent j,
// j's end taken modulo 2^32.
size_t PairwiseFirstStartInsideLater(const std::vector<Extent>& extents) {
  for (size_t i = 0; i < extents.size(); ++i) {
    for (size_t j = i + 1; j < extents.size(); ++j) {
      const uint32_t end = extents[j].start + extents[j].size;
      if (extents[j].start <= extents[i].start && extents[i].start < end) return i;
    }
  }
  return kNoExtent;
}

TEST(StartOverlapSweep, HandPickedExtents) {
  struct HandCase {
    const char* name;
    std::vector<Extent> extents;
    size_t expected;
  };
  const HandCase cases[] = {
      {"none", {}, kNoExtent},
      {"one", {{5, 10}}, kNoExtent},
      {"inner after outer", {{100, 100}, {150, 10}}, kNoExtent},
      {"inner before outer", {{150, 10}, {100, 100}}, 0},
      {"last byte", {{199, 1}, {100, 100}}, 0},
      {"just past", {{200, 1}, {100, 100}}, kNoExtent},
      {"same start", {{7, 1}, {7, 1}}, 0},
      {"same start, later empty", {{7, 1}, {7, 0}}, kNoExtent},
      {"end wraps to below the start", {{20, 1}, {10, 0xFFFFFFFF}}, kNoExtent},
      {"end reaches 2^32 - 1", {{20, 1}, {0, 0xFFFFFFFF}}, 0},
      {"end wraps to exactly 0", {{0xFFFFFFFF, 1}, {0xFFFFFFFF, 1}}, kNoExtent},
      {"first of several", {{1, 1}, {50, 5}, {52, 1}, {0, 100}}, 0},
      {"later one only", {{300, 1}, {50, 5}, {52, 1}, {0, 100}}, 1},
      {"a later extent holds an earlier start, not the other way", {{60, 1}, {0, 10}, {55, 10}}, 0},
  };
  for (const HandCase& c : cases) {
    EXPECT_EQ(FirstStartInsideLaterExtent(c.extents), c.expected) << c.name;
    EXPECT_EQ(PairwiseFirstStartInsideLater(c.extents), c.expected) << c.name << " (pairwise)";
  }
}

uint32_t RandomSize(std::mt19937& random, uint32_t span) {
  switch (random() % 6) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return 0xFFFFFFFFu - random() % (2 * span + 2);  // near 2^32: the end wraps or nearly does
    case 3:
      return static_cast<uint32_t>(random());
    default:
      return 1 + random() % (span + 1);
  }
}

TEST(StartOverlapSweep, AgreesWithPairwiseOnRandomExtents) {
  std::mt19937 random(4242);
  for (int trial = 0; trial < 20000; ++trial) {
    const uint32_t span = uint32_t{1} << (random() % 11);  // 1 .. 1024: small, so extents meet often
    const bool nearTop = random() % 5 == 0;
    const uint32_t base = nearTop ? 0xFFFFFFFFu - span : static_cast<uint32_t>(random() % 3) * 1000;
    std::vector<Extent> extents(random() % 40);
    for (Extent& extent : extents) {
      extent.start = base + static_cast<uint32_t>(random() % (span + 1));
      extent.size = RandomSize(random, span);
    }
    const size_t expected = PairwiseFirstStartInsideLater(extents);
    ASSERT_EQ(FirstStartInsideLaterExtent(extents), expected) << "trial " << trial;
  }
}

// 65,535 extents, none inside another: the pairwise loop would take
// billions of steps here.
TEST(StartOverlapSweep, LargestTablesStayFast) {
  std::vector<Extent> disjoint;
  for (uint32_t i = 0; i < 65535; ++i) disjoint.push_back({(i * 7919u % 65535u) * 16, 16});
  EXPECT_EQ(FirstStartInsideLaterExtent(disjoint), kNoExtent);
  disjoint.push_back({disjoint[40000].start, 1});
  EXPECT_EQ(FirstStartInsideLaterExtent(disjoint), 40000u);
}

// ---- Through CheckElfLayout --------------------------------------------------

struct RandomObject {
  Bytes image;
  uint32_t headerSize;
};

// An image whose header passes every header test, with `sections` section
// headers and `segments` program headers (or none) at disjoint random
// places. Contents offsets are drawn near the header end, the two tables and
// a few shared points, so that starts often meet other extents; or, when
// `spread`, from distinct 16-byte slots after the tables, with a few extents
// then stretched or moved onto another, so that a meeting is rare and may
// come late in the table.
RandomObject MakeRandomObject(std::mt19937& random, ByteOrder order, uint32_t sections, uint32_t segments,
                              bool spread) {
  const uint16_t ehsizes[] = {0, 52, 64};
  const uint16_t ehsize = ehsizes[random() % 3];
  const uint32_t headerSize = ehsize == 0 ? 52 : ehsize;
  const uint16_t shentsizes[] = {0, 40, 48};
  const uint16_t phentsizes[] = {0, 32, 44};
  const uint16_t shentsize = shentsizes[random() % 3];
  const uint16_t phentsize = phentsizes[random() % 3];
  const uint32_t sectionEntry = shentsize == 0 ? 40 : shentsize;
  const uint32_t programEntry = phentsize == 0 ? 32 : phentsize;
  const bool hasProgramTable = random() % 4 != 0;

  const uint32_t sectionBytes = sections * sectionEntry;
  const uint32_t programBytes = segments * programEntry;
  const uint32_t tablesEnd = headerSize + 256 + sectionBytes + programBytes + static_cast<uint32_t>(random() % 512);
  const uint32_t slots = spread ? sections + segments : 0;
  const uint32_t size = tablesEnd + slots * 16;
  Bytes image(size, 0);
  image[0] = 0x7F, image[1] = 'E', image[2] = 'L', image[3] = 'F';
  image[EI_CLASS] = ELFCLASS32;
  image[EI_DATA] = order == ByteOrder::Big ? 2 : 1;
  image[EI_VERSION] = 1;

  // Two disjoint tables, in either order, with random room around them.
  const uint32_t slack = tablesEnd - headerSize - sectionBytes - programBytes - 1;
  const uint32_t first = headerSize + static_cast<uint32_t>(random() % (slack / 2 + 1));
  const uint32_t second = first + static_cast<uint32_t>(random() % (slack / 2 + 1));
  const bool sectionsFirst = random() % 2 == 0;
  const uint32_t shoff = sectionsFirst ? first : second + programBytes;
  const uint32_t phoff = sectionsFirst ? first + sectionBytes + (second - first) : first;

  SetHeader16(image, offsetof(Elf32_Ehdr, e_type), ET_REL);
  SetHeader16(image, offsetof(Elf32_Ehdr, e_machine), 3);
  SetHeader32(image, offsetof(Elf32_Ehdr, e_version), EV_CURRENT);
  SetHeader32(image, offsetof(Elf32_Ehdr, e_phoff), hasProgramTable ? phoff : 0);
  SetHeader32(image, offsetof(Elf32_Ehdr, e_shoff), shoff);
  SetHeader16(image, offsetof(Elf32_Ehdr, e_ehsize), ehsize);
  SetHeader16(image, offsetof(Elf32_Ehdr, e_phentsize), phentsize);
  SetHeader16(image, offsetof(Elf32_Ehdr, e_phnum), static_cast<uint16_t>(segments));
  SetHeader16(image, offsetof(Elf32_Ehdr, e_shentsize), shentsize);
  SetHeader16(image, offsetof(Elf32_Ehdr, e_shnum), static_cast<uint16_t>(sections));

  // Offsets: near the header end, inside or at the edges of the tables, or
  // near a few shared points, so that starts often meet other extents.
  std::vector<uint32_t> anchors = {headerSize - 1,       headerSize, shoff,
                                   shoff + sectionBytes, phoff,      phoff + programBytes};
  for (int k = 0; k < 4; ++k) anchors.push_back(headerSize + static_cast<uint32_t>(random() % (size - headerSize)));
  std::vector<uint32_t> freeSlots(slots);
  for (uint32_t k = 0; k < slots; ++k) freeSlots[k] = tablesEnd + 16 * k;
  std::shuffle(freeSlots.begin(), freeSlots.end(), random);
  const auto randomOffset = [&] {
    if (spread) {
      const uint32_t offset = freeSlots.back();
      freeSlots.pop_back();
      return offset;
    }
    if (random() % 8 == 0) return 0xFFFFFF00u + static_cast<uint32_t>(random() % 256);
    return anchors[random() % anchors.size()] + static_cast<uint32_t>(random() % 24) - 8;
  };
  const auto randomSize = [&] { return spread ? 1 + static_cast<uint32_t>(random() % 16) : RandomSize(random, 64); };

  const uint32_t sectionTypes[] = {1, 1, 1, SHT_NOBITS, SHT_SYMTAB, SHT_NULL};
  for (uint32_t index = 1; index < sections; ++index) {
    const size_t header = shoff + size_t{index} * sectionEntry;
    WriteStored32(image, header + offsetof(Elf32_Shdr, sh_type), sectionTypes[random() % 6]);
    WriteStored32(image, header + offsetof(Elf32_Shdr, sh_offset), randomOffset());
    WriteStored32(image, header + offsetof(Elf32_Shdr, sh_size), randomSize());
  }
  for (uint32_t index = 0; index < segments; ++index) {
    const size_t header = phoff + size_t{index} * programEntry;
    WriteStored32(image, header + offsetof(Elf32_Phdr, p_type), random() % 5 == 0 ? PT_NULL : 1);
    WriteStored32(image, header + offsetof(Elf32_Phdr, p_offset), randomOffset());
    WriteStored32(image, header + offsetof(Elf32_Phdr, p_filesz), randomSize());
  }
  if (spread) {
    // A few extents stretched over their neighbours' slots or moved onto
    // another extent's start.
    const int changes = static_cast<int>(random() % 3);
    for (int change = 0; change < changes; ++change) {
      const bool onSection = segments == 0 || (sections > 1 && random() % 2 == 0);
      const uint32_t count = onSection ? sections - 1 : segments;
      if (count == 0) continue;
      const size_t base = onSection ? shoff + sectionEntry : phoff;
      const uint32_t entry = onSection ? sectionEntry : programEntry;
      const size_t header = base + (random() % count) * entry;
      const size_t other = base + (random() % count) * entry;
      const size_t offsetField = onSection ? offsetof(Elf32_Shdr, sh_offset) : offsetof(Elf32_Phdr, p_offset);
      const size_t sizeField = onSection ? offsetof(Elf32_Shdr, sh_size) : offsetof(Elf32_Phdr, p_filesz);
      if (random() % 2 == 0) {
        WriteStored32(image, header + sizeField, 16 + static_cast<uint32_t>(random() % 4096));
      } else {
        WriteStored32(image, header + offsetField, ReadStored32(image, other + offsetField) + random() % 4);
      }
    }
  }
  return {image, headerSize};
}

// Where section and segment contents may not begin, as plain loops over the
// stored fields: the ELF header, the header tables, and every later section
// (or segment) in turn.
ElfStatus PairwiseLayoutStatus(const RandomObject& object) {
  const Bytes& image = object.image;
  const uint32_t phoff = ReadStored32(image, offsetof(Elf32_Ehdr, e_phoff));
  const uint32_t shoff = ReadStored32(image, offsetof(Elf32_Ehdr, e_shoff));
  const uint32_t phnum = ReadStored16(image, offsetof(Elf32_Ehdr, e_phnum));
  const uint32_t shnum = ReadStored16(image, offsetof(Elf32_Ehdr, e_shnum));
  uint32_t phentsize = ReadStored16(image, offsetof(Elf32_Ehdr, e_phentsize));
  if (phentsize == 0) phentsize = 32;
  uint32_t shentsize = ReadStored16(image, offsetof(Elf32_Ehdr, e_shentsize));
  if (shentsize == 0) shentsize = 40;

  const auto section = [&](uint32_t index, size_t field) {
    return ReadStored32(image, shoff + index * shentsize + field);
  };
  const auto placedSection = [&](uint32_t index) {
    return section(index, offsetof(Elf32_Shdr, sh_size)) != 0 &&
           section(index, offsetof(Elf32_Shdr, sh_type)) != SHT_NOBITS;
  };
  for (uint32_t i = 1; i < shnum; ++i) {
    if (!placedSection(i)) continue;
    const uint32_t start = section(i, offsetof(Elf32_Shdr, sh_offset));
    if (start < object.headerSize) return ELF_SECTION_IN_HEADER;
    if (phoff != 0 && phnum != 0 && phoff <= start && start < phoff + phnum * phentsize) {
      return ELF_SECTION_IN_PROGRAM_TABLE;
    }
    if (shoff <= start && start < shoff + shnum * shentsize) return ELF_SECTION_IN_SECTION_TABLE;
    for (uint32_t j = i + 1; j < shnum; ++j) {
      if (!placedSection(j)) continue;
      const uint32_t other = section(j, offsetof(Elf32_Shdr, sh_offset));
      const uint32_t end = other + section(j, offsetof(Elf32_Shdr, sh_size));
      if (other <= start && start < end) return ELF_SECTION_IN_LATER_SECTION;
    }
  }
  if (phoff == 0) return ELF_OK;
  const auto segment = [&](uint32_t index, size_t field) {
    return ReadStored32(image, phoff + index * phentsize + field);
  };
  const auto placedSegment = [&](uint32_t index) {
    return segment(index, offsetof(Elf32_Phdr, p_filesz)) != 0 &&
           segment(index, offsetof(Elf32_Phdr, p_type)) != PT_NULL;
  };
  for (uint32_t i = 0; i < phnum; ++i) {
    if (!placedSegment(i)) continue;
    const uint32_t start = segment(i, offsetof(Elf32_Phdr, p_offset));
    for (uint32_t j = i + 1; j < phnum; ++j) {
      if (!placedSegment(j)) continue;
      const uint32_t other = segment(j, offsetof(Elf32_Phdr, p_offset));
      const uint32_t end = other + segment(j, offsetof(Elf32_Phdr, p_filesz));
      if (other <= start && start < end) return ELF_SEGMENT_IN_LATER_SEGMENT;
    }
  }
  return ELF_OK;
}

void CompareOn(std::mt19937& random, int trials, uint32_t maxSections, uint32_t maxSegments, bool spread) {
  std::vector<int> seen(0x40, 0);
  for (int trial = 0; trial < trials; ++trial) {
    const ByteOrder order = trial % 2 == 0 ? ByteOrder::Little : ByteOrder::Big;
    const uint32_t sections = 1 + static_cast<uint32_t>(random() % maxSections);
    const uint32_t segments = static_cast<uint32_t>(random() % (maxSegments + 1));
    const RandomObject object = MakeRandomObject(random, order, sections, segments, spread);
    const ElfStatus expected = PairwiseLayoutStatus(object);
    Bytes image = object.image;
    ElfLayout layout;
    const ElfStatus status = CheckElfLayout(image.data(), static_cast<uint32_t>(image.size()), &layout);
    ASSERT_EQ(static_cast<uint32_t>(status), static_cast<uint32_t>(expected))
        << "trial " << trial << ", " << sections << " sections, " << segments << " segments";
    ++seen[static_cast<uint32_t>(status) & 0x3F];
  }
  // The objects are varied enough to reach each outcome of these tests.
  const std::vector<uint32_t> outcomes =
      spread ? std::vector<uint32_t>{0x00, 0x28, 0x32} : std::vector<uint32_t>{0x00, 0x24, 0x26, 0x27, 0x28, 0x32};
  for (uint32_t code : outcomes) EXPECT_GT(seen[code], 0) << "code " << code;
}

TEST(StartOverlapLayout, AgreesWithPairwiseTests) {
  std::mt19937 random(9001);
  CompareOn(random, 6000, 12, 8, false);
}

TEST(StartOverlapLayout, AgreesWithPairwiseTestsOnLargeTables) {
  std::mt19937 random(31337);
  CompareOn(random, 400, 400, 200, true);
}

}  // namespace
