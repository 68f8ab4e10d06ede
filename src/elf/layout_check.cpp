#include "elf/layout_check.h"

#include <vector>

#include "elf/start_overlap.h"

namespace {

constexpr uint32_t kLeastImageSize = 260;
// More than this many bytes must follow the ELF header.
constexpr uint32_t kLeastBytesAfterHeader = 208;

// offset + count * entrySize <= size, computed without wrap-around.
bool TableFits(uint32_t offset, uint32_t count, uint32_t entrySize, uint32_t size) {
  return uint64_t{offset} + uint64_t{count} * entrySize <= size;
}

ElfStatus CheckIdentification(const uint8_t* image, uint32_t size) {
  if (size < kLeastImageSize) return ELF_IMAGE_TOO_SMALL;
  if (std::memcmp(image, ELFMAG, sizeof ELFMAG) != 0) return ELF_BAD_MAGIC;
  if (image[EI_CLASS] != ELFCLASS32) return ELF_NOT_CLASS32;
  if (image[EI_VERSION] > 1) return ELF_BAD_IDENT_VERSION;
  return ELF_OK;
}

ElfStatus CheckHeaderFields(const Elf32_Ehdr& header, uint32_t size) {
  if (header.e_machine == 0) return ELF_NO_MACHINE;
  if (header.e_version != EV_CURRENT) return ELF_BAD_VERSION;
  if (header.e_ehsize != 0 && header.e_ehsize < kDefaultHeaderSize) return ELF_HEADER_SIZE_TOO_SMALL;
  const uint32_t headerSize = EntrySizeOrDefault(header.e_ehsize, kDefaultHeaderSize);
  // A signed comparison: images of 2^31 + 208 bytes or more always fail.
  if (static_cast<int32_t>(headerSize) >= static_cast<int32_t>(size - kLeastBytesAfterHeader)) {
    return ELF_TOO_LITTLE_AFTER_HEADER;
  }
  if (header.e_phoff != 0 && (header.e_phoff < headerSize || header.e_phoff >= size)) {
    return ELF_BAD_PROGRAM_TABLE_OFFSET;
  }
  if (header.e_shoff != 0 && (header.e_shoff < headerSize || header.e_shoff >= size)) {
    return ELF_BAD_SECTION_TABLE_OFFSET;
  }
  if (header.e_shstrndx != 0 && header.e_shstrndx >= header.e_shnum) return ELF_BAD_SECTION_NAME_INDEX;

  const uint32_t programEntrySize = EntrySizeOrDefault(header.e_phentsize, kDefaultProgramEntrySize);
  if (header.e_phoff != 0 && !TableFits(header.e_phoff, header.e_phnum, programEntrySize, size)) {
    return ELF_PROGRAM_TABLE_PAST_END;
  }
  // Entries narrower than their record would be read as overlapping records
  // whose last one reaches past the table.
  if (header.e_phoff != 0 && header.e_phnum != 0 && programEntrySize < sizeof(Elf32_Phdr)) {
    return ELF_PROGRAM_ENTRY_TOO_SMALL;
  }

  const uint32_t sectionEntrySize = EntrySizeOrDefault(header.e_shentsize, kDefaultSectionEntrySize);
  if (header.e_shoff != 0 && !TableFits(header.e_shoff, header.e_shnum, sectionEntrySize, size)) {
    return ELF_SECTION_TABLE_PAST_END;
  }
  // With e_shoff 0 the table would lie over the ELF header; a single entry
  // there (the null entry) stays inside it, more would not.
  if (header.e_shoff == 0 && header.e_shnum > 1) return ELF_SECTION_TABLE_AT_ZERO;
  if (header.e_shnum != 0 && sectionEntrySize < sizeof(Elf32_Shdr)) return ELF_SECTION_ENTRY_TOO_SMALL;
  return ELF_OK;
}

// Where the first byte of each placed section may not lie: in the ELF header,
// in one of the header tables, or in a higher-numbered section.
ElfStatus CheckSectionStarts(const ElfLayout& layout, const Elf32_Ehdr& header) {
  const uint32_t headerSize = EntrySizeOrDefault(header.e_ehsize, kDefaultHeaderSize);
  const uint64_t programTableEnd = uint64_t{header.e_phoff} + uint64_t{header.e_phnum} * layout.programEntrySize;
  const uint64_t sectionTableEnd = uint64_t{header.e_shoff} + uint64_t{header.e_shnum} * layout.sectionEntrySize;

  std::vector<Extent> placed;
  for (uint32_t index = 1; index < header.e_shnum; ++index) {
    const Elf32_Shdr section = layout.Section(index);
    if (IsPlacedSection(section)) placed.push_back({section.sh_offset, section.sh_size});
  }
  const size_t firstInsideLater = FirstStartInsideLaterExtent(placed);
  const size_t lastToTest = firstInsideLater == kNoExtent ? placed.size() : firstInsideLater + 1;
  for (size_t i = 0; i < lastToTest; ++i) {
    const uint32_t start = placed[i].start;
    if (start < headerSize) return ELF_SECTION_IN_HEADER;
    if (header.e_phoff != 0 && header.e_phnum != 0 && header.e_phoff <= start && start < programTableEnd) {
      return ELF_SECTION_IN_PROGRAM_TABLE;
    }
    if (header.e_shoff <= start && start < sectionTableEnd) return ELF_SECTION_IN_SECTION_TABLE;
  }
  return firstInsideLater == kNoExtent ? ELF_OK : ELF_SECTION_IN_LATER_SECTION;
}

ElfStatus CheckSegmentStarts(const ElfLayout& layout, const Elf32_Ehdr& header) {
  std::vector<Extent> placed;
  for (uint32_t index = 0; index < header.e_phnum; ++index) {
    const Elf32_Phdr segment = layout.Segment(header.e_phoff, index);
    if (IsPlacedSegment(segment)) placed.push_back({segment.p_offset, segment.p_filesz});
  }
  return FirstStartInsideLaterExtent(placed) == kNoExtent ? ELF_OK : ELF_SEGMENT_IN_LATER_SEGMENT;
}

}  // namespace

ElfStatus CheckElfLayout(uint8_t* image, uint32_t size, ElfLayout* layout) {
  if (const ElfStatus status = CheckIdentification(image, size); status != ELF_OK) return status;
  const bool convert = NeedsConversion(image);
  if (convert) SwapElfHeader(image);
  const Elf32_Ehdr header = LoadUnaligned<Elf32_Ehdr>(image);
  if (const ElfStatus status = CheckHeaderFields(header, size); status != ELF_OK) return status;

  *layout = ImageLayout(image, size);

  // The null entry 0 is never converted; the few readers of it take its
  // stored bytes.
  if (convert) {
    for (uint32_t index = 1; index < header.e_shnum; ++index) SwapSectionHeader(layout->SectionHeaderAt(index));
  }
  if (const ElfStatus status = CheckSectionStarts(*layout, header); status != ELF_OK) return status;

  if (header.e_phoff == 0) return ELF_OK;
  if (convert) {
    for (uint32_t index = 0; index < header.e_phnum; ++index) {
      SwapProgramHeader(layout->ProgramHeaderAt(header.e_phoff, index));
    }
  }
  return CheckSegmentStarts(*layout, header);
}
