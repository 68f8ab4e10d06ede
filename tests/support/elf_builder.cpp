#include "support/elf_builder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "elf/object_validation.h"

namespace {

bool IsBig(const Bytes& image) { return image[EI_DATA] != ELFDATA2LSB; }

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

void AlignTo(Bytes& out, size_t alignment) {
  while (out.size() % alignment != 0) out.push_back(0);
}

}  // namespace

ElfBuilder::ElfBuilder(ByteOrder order) : order_(order) {
  sections_.push_back(Section{});  // the null entry
  Section names;
  names.name = ".shstrtab";
  names.header.sh_type = SHT_STRTAB;
  names.header.sh_addralign = 1;
  sections_.push_back(names);
}

Bytes ElfBuilder::Encode16(uint16_t value) const {
  if (order_ == ByteOrder::Big) return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

Bytes ElfBuilder::Encode32(uint32_t value) const {
  Bytes out(4);
  for (int i = 0; i < 4; ++i) {
    const int shift = order_ == ByteOrder::Big ? 24 - 8 * i : 8 * i;
    out[i] = static_cast<uint8_t>(value >> shift);
  }
  return out;
}

uint32_t ElfBuilder::AddSection(const std::string& name, uint32_t type, uint32_t flags, Bytes contents,
                                uint32_t link, uint32_t info, uint32_t entsize, uint32_t addralign, uint32_t addr) {
  Section section;
  section.name = name;
  section.header.sh_type = type;
  section.header.sh_flags = flags;
  section.header.sh_addr = addr;
  section.header.sh_size = static_cast<uint32_t>(contents.size());
  section.header.sh_link = link;
  section.header.sh_info = info;
  section.header.sh_addralign = addralign;
  section.header.sh_entsize = entsize;
  section.contents = std::move(contents);
  sections_.push_back(std::move(section));
  return static_cast<uint32_t>(sections_.size() - 1);
}

uint32_t ElfBuilder::AddNoBits(const std::string& name, uint32_t flags, uint32_t size) {
  const uint32_t index = AddSection(name, SHT_NOBITS, flags, {}, 0, 0, 0, 4);
  sections_[index].header.sh_size = size;
  return index;
}

uint32_t ElfBuilder::AddSymbolTable(const std::vector<SymbolSpec>& symbols) {
  Bytes strings(1, 0);
  Bytes table(16, 0);
  for (const SymbolSpec& symbol : symbols) {
    const uint32_t nameOffset = symbol.name.empty() ? 0 : static_cast<uint32_t>(strings.size());
    if (!symbol.name.empty()) {
      strings.insert(strings.end(), symbol.name.begin(), symbol.name.end());
      strings.push_back(0);
    }
    Append(table, Encode32(nameOffset));
    Append(table, Encode32(symbol.value));
    Append(table, Encode32(symbol.size));
    table.push_back(static_cast<uint8_t>((symbol.binding << 4) | (symbol.type & 0xF)));
    table.push_back(0);
    Append(table, Encode16(symbol.sectionIndex));
  }
  const uint32_t stringIndex = AddSection(".strtab", SHT_STRTAB, 0, std::move(strings));
  return AddSection(".symtab", SHT_SYMTAB, 0, std::move(table), stringIndex, 1, 16, 4);
}

uint32_t ElfBuilder::AddRela(uint32_t target, uint32_t symtab, const std::vector<RelocationSpec>& entries) {
  Bytes table;
  for (const RelocationSpec& entry : entries) {
    Append(table, Encode32(entry.offset));
    Append(table, Encode32((entry.symbol << 8) | entry.type));
    Append(table, Encode32(static_cast<uint32_t>(entry.addend)));
  }
  return AddSection(".rela" + sections_[target].name, SHT_RELA, 0, std::move(table), symtab, target, 12, 4);
}

uint32_t ElfBuilder::AddRel(uint32_t target, uint32_t symtab, const std::vector<RelocationSpec>& entries) {
  Bytes table;
  for (const RelocationSpec& entry : entries) {
    Append(table, Encode32(entry.offset));
    Append(table, Encode32((entry.symbol << 8) | entry.type));
  }
  return AddSection(".rel" + sections_[target].name, SHT_REL, 0, std::move(table), symtab, target, 8, 4);
}

Bytes ElfBuilder::Build() const {
  std::vector<Section> sections = sections_;
  Bytes names(1, 0);
  for (size_t i = 1; i < sections.size(); ++i) {
    sections[i].header.sh_name = static_cast<uint32_t>(names.size());
    names.insert(names.end(), sections[i].name.begin(), sections[i].name.end());
    names.push_back(0);
  }
  sections[1].contents = names;
  sections[1].header.sh_size = static_cast<uint32_t>(names.size());

  Bytes image(sizeof(Elf32_Ehdr), 0);
  for (size_t i = 1; i < sections.size(); ++i) {
    Section& section = sections[i];
    if (section.header.sh_type == SHT_NOBITS) {
      section.header.sh_offset = static_cast<uint32_t>(image.size());
      continue;
    }
    AlignTo(image, 4);
    section.header.sh_offset = static_cast<uint32_t>(image.size());
    Append(image, section.contents);
  }
  AlignTo(image, 4);
  const uint32_t sectionTable = static_cast<uint32_t>(image.size());
  const size_t entryStride = sectionEntrySize_ != 0 ? sectionEntrySize_ : sizeof(Elf32_Shdr);
  for (const Section& section : sections) {
    const Elf32_Shdr& h = section.header;
    for (uint32_t field : {h.sh_name, h.sh_type, h.sh_flags, h.sh_addr, h.sh_offset, h.sh_size, h.sh_link,
                           h.sh_info, h.sh_addralign, h.sh_entsize}) {
      Append(image, Encode32(field));
    }
    image.resize(image.size() + entryStride - sizeof(Elf32_Shdr), 0);
  }
  image.resize(image.size() + trailingPadding_, 0);
  if (image.size() < 261) image.resize(261, 0);

  image[0] = 0x7F;
  image[1] = 'E';
  image[2] = 'L';
  image[3] = 'F';
  image[EI_CLASS] = ELFCLASS32;
  image[EI_DATA] = order_ == ByteOrder::Big ? 2 : 1;
  image[EI_VERSION] = 1;
  Bytes header;
  Append(header, Encode16(type_));
  Append(header, Encode16(order_ == ByteOrder::Big ? 20 : 3));  // PowerPC or i386
  Append(header, Encode32(EV_CURRENT));
  Append(header, Encode32(0));  // e_entry
  Append(header, Encode32(0));  // e_phoff
  Append(header, Encode32(sectionTable));
  Append(header, Encode32(0));  // e_flags
  Append(header, Encode16(52));
  Append(header, Encode16(0));  // e_phentsize
  Append(header, Encode16(0));  // e_phnum
  Append(header, Encode16(sectionEntrySize_));
  Append(header, Encode16(static_cast<uint16_t>(sections.size())));
  Append(header, Encode16(1));  // .shstrtab
  std::memcpy(image.data() + 16, header.data(), header.size());
  return image;
}

Bytes StandardObject(ByteOrder order) {
  ElfBuilder builder(order);
  const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(32, 0x60), 0, 0, 0, 4);
  const uint32_t data = builder.AddSection(".data", 1, SHF_ALLOC | 0x1, Bytes(16, 0x11), 0, 0, 0, 4);
  const uint32_t bss = builder.AddNoBits(".bss", SHF_ALLOC | 0x1, 8);
  const uint32_t symtab = builder.AddSymbolTable({
      {"file.c", 0, 0, 0, STT_FILE, SHN_ABS},
      {"helper", 0, 8, 0, STT_FUNC, static_cast<uint16_t>(text)},
      {"compute", 8, 16, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)},
      {"hook", 24, 8, STB_WEAK, STT_FUNC, static_cast<uint16_t>(text)},
      {"table", 0, 16, STB_GLOBAL, STT_OBJECT, static_cast<uint16_t>(data)},
      {"buffer", 0, 8, STB_GLOBAL, STT_OBJECT, static_cast<uint16_t>(bss)},
      {"external", 0, 0, STB_GLOBAL, STT_NOTYPE, SHN_UNDEF},
  });
  const std::vector<RelocationSpec> relocations = {{4, 3, 10, 0}, {12, 7, 10, 4}};
  if (order == ByteOrder::Big) {
    builder.AddRela(text, symtab, relocations);
  } else {
    builder.AddRel(text, symtab, relocations);
  }
  return builder.Build();
}

uint32_t ReadStored32(const Bytes& image, size_t offset) {
  uint32_t value = LoadUnaligned<uint32_t>(image.data() + offset);
  return IsBig(image) ? __builtin_bswap32(value) : value;
}

uint16_t ReadStored16(const Bytes& image, size_t offset) {
  uint16_t value = LoadUnaligned<uint16_t>(image.data() + offset);
  return IsBig(image) ? __builtin_bswap16(value) : value;
}

void WriteStored32(Bytes& image, size_t offset, uint32_t value) {
  StoreUnaligned<uint32_t>(image.data() + offset, IsBig(image) ? __builtin_bswap32(value) : value);
}

void WriteStored16(Bytes& image, size_t offset, uint16_t value) {
  StoreUnaligned<uint16_t>(image.data() + offset, IsBig(image) ? __builtin_bswap16(value) : value);
}

size_t SectionHeaderOffset(const Bytes& image, uint32_t index) {
  const uint32_t tableOffset = ReadStored32(image, offsetof(Elf32_Ehdr, e_shoff));
  uint32_t entrySize = ReadStored16(image, offsetof(Elf32_Ehdr, e_shentsize));
  if (entrySize == 0) entrySize = 40;
  return tableOffset + size_t{index} * entrySize;
}

size_t SymbolOffset(const Bytes& image, uint32_t symtabIndex, uint32_t symbolIndex) {
  const uint32_t tableOffset = GetSection32(image, symtabIndex, offsetof(Elf32_Shdr, sh_offset));
  uint32_t entrySize = GetSection32(image, symtabIndex, offsetof(Elf32_Shdr, sh_entsize));
  if (entrySize == 0) entrySize = 16;
  return tableOffset + size_t{symbolIndex} * entrySize;
}

void SetHeader16(Bytes& image, size_t fieldOffset, uint16_t value) { WriteStored16(image, fieldOffset, value); }

void SetHeader32(Bytes& image, size_t fieldOffset, uint32_t value) { WriteStored32(image, fieldOffset, value); }

void SetSection32(Bytes& image, uint32_t index, size_t fieldOffset, uint32_t value) {
  WriteStored32(image, SectionHeaderOffset(image, index) + fieldOffset, value);
}

uint32_t GetSection32(const Bytes& image, uint32_t index, size_t fieldOffset) {
  return ReadStored32(image, SectionHeaderOffset(image, index) + fieldOffset);
}

uint32_t FindSectionOfType(const Bytes& image, uint32_t type) {
  const uint16_t count = ReadStored16(image, offsetof(Elf32_Ehdr, e_shnum));
  for (uint32_t index = 1; index < count; ++index) {
    if (GetSection32(image, index, offsetof(Elf32_Shdr, sh_type)) == type) return index;
  }
  return 0;
}

void AppendProgramHeaders(Bytes& image, const std::vector<Elf32_Phdr>& headers, uint16_t entrySize) {
  AlignTo(image, 4);
  const size_t stride = entrySize != 0 ? entrySize : sizeof(Elf32_Phdr);
  const size_t tableOffset = image.size();
  // Entries narrower than a record still get room for the last whole record.
  const size_t tableBytes = headers.empty() ? 0 : std::max(headers.size() * stride, (headers.size() - 1) * stride + 32);
  image.resize(tableOffset + tableBytes, 0);
  for (size_t i = 0; i < headers.size(); ++i) {
    const Elf32_Phdr& h = headers[i];
    const uint32_t fields[] = {h.p_type, h.p_offset, h.p_vaddr, h.p_paddr, h.p_filesz, h.p_memsz, h.p_flags, h.p_align};
    for (size_t f = 0; f < 8; ++f) WriteStored32(image, tableOffset + i * stride + f * 4, fields[f]);
  }
  SetHeader32(image, offsetof(Elf32_Ehdr, e_phoff), static_cast<uint32_t>(tableOffset));
  SetHeader16(image, offsetof(Elf32_Ehdr, e_phnum), static_cast<uint16_t>(headers.size()));
  SetHeader16(image, offsetof(Elf32_Ehdr, e_phentsize), entrySize);
}

ElfStatus ValidateExactCopy(Bytes& image) {
  const uint32_t size = static_cast<uint32_t>(image.size());
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
  if (size != 0) std::memcpy(copy.get(), image.data(), size);
  const ElfStatus status = ValidateElfObject(copy.get(), size);
  if (size != 0) std::memcpy(image.data(), copy.get(), size);
  return status;
}
