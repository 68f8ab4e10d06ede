// Writes the starting corpora of the fuzz targets:
//   make_seeds OUT [OBJECT...] [--sample ARCHIVE...]
// OUT/object gets built images that reach every feature the tool gives a
// meaning to (both byte orders), the given compiled objects, and small members
// sampled from the given archives; OUT/archive gets archives with a symbol
// table, a long-name table, long and short names, odd sizes and members that
// are not objects; OUT/response gets a few response files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/elf_builder.h"

namespace {

std::string g_out;

void WriteSeed(const std::string& kind, const std::string& name, const std::string& bytes) {
  const std::string path = g_out + "/" + kind + "/" + name;
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every kind of definition that the symbol walk and the selection tell apart.
Bytes FeatureObject(ByteOrder order) {
  ElfBuilder builder(order);
  const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(48, 0x60), 0, 0, 0, 4);
  const uint32_t data = builder.AddSection(".data", 1, SHF_ALLOC | 0x1, Bytes(32, 0x11), 0, 0, 0, 4);
  const uint32_t once = builder.AddSection(".ghs.linkonce.t.f", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(8, 0), 0, 0, 0, 4);
  const uint32_t tls = builder.AddSection(".tdata", 1, SHF_ALLOC | SHF_THREAD_LOCAL | SHF_EXECINSTR, Bytes(8, 0));
  const uint32_t tbss = builder.AddNoBits(".tbss", SHF_ALLOC | SHF_THREAD_LOCAL, 8);
  const uint32_t bss = builder.AddNoBits(".bss", SHF_ALLOC | 0x1, 16);
  const uint32_t debug = builder.AddSection(".debug_info", 1, 0, Bytes(8, 0));
  const auto at = [](uint32_t index) { return static_cast<uint16_t>(index); };
  const uint32_t symtab = builder.AddSymbolTable({
      {"file.c", 0, 0, 0, STT_FILE, SHN_ABS},
      {"_Z7computei", 0, 16, STB_GLOBAL, STT_FUNC, at(text)},
      {"start", 16, 8, STB_GLOBAL, STT_FUNC, at(text)},
      {"hook", 24, 8, STB_WEAK, STT_FUNC, at(text)},
      {"hook", 32, 8, STB_GLOBAL, STT_FUNC, at(text)},
      {"__sti__init", 40, 8, STB_GLOBAL, STT_FUNC, at(text)},
      {"a..b", 0, 4, STB_GLOBAL, STT_OBJECT, at(data)},
      {".hidden", 4, 4, STB_GLOBAL, STT_OBJECT, at(data)},
      {"table", 8, 16, STB_GLOBAL, STT_OBJECT, at(data)},
      {"once", 0, 8, STB_GLOBAL, STT_FUNC, at(once)},
      {"slot", 0, 4, STB_GLOBAL, STT_OBJECT, at(tls)},
      {"zeroed_slot", 0, 8, STB_GLOBAL, STT_OBJECT, at(tbss)},
      {"buffer", 0, 16, STB_GLOBAL, STT_OBJECT, at(bss)},
      {"debug_only", 0, 8, STB_GLOBAL, STT_OBJECT, at(debug)},
      {"common_block", 4, 64, STB_GLOBAL, STT_OBJECT, SHN_COMMON},
      {"tls_outside", 0, 4, STB_GLOBAL, STT_OBJECT, SHN_THREAD_LOCAL},
      {"absolute", 0x1234, 0, STB_GLOBAL, STT_NOTYPE, SHN_ABS},
      {"external", 0, 0, STB_GLOBAL, STT_NOTYPE, SHN_UNDEF},
  });
  const std::vector<RelocationSpec> relocations = {{0, 2, 1, 0}, {8, 9, 1, 4}, {12, 0, 0, 0}};
  if (order == ByteOrder::Big) {
    builder.AddRela(text, symtab, relocations);
  } else {
    builder.AddRel(text, symtab, relocations);
  }
  // A table for the null section, emptied by validation once its first
  // entry is found zero.
  builder.AddSection(".rela.null", SHT_RELA, 0, Bytes(24, 0), symtab, 0, 12, 4);
  return builder.Build();
}

// Size-prefixed tables: the section names and a symbol table whose count an
// SHT_RELA table takes from the size word.
Bytes SizePrefixedObject(ByteOrder order) {
  ElfBuilder builder(order);
  const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16, 0x60), 0, 0, 0, 4);
  Bytes prefixed(4 + 3 * 16, 0);
  const uint32_t word = static_cast<uint32_t>(prefixed.size());
  for (int i = 0; i < 4; ++i) {
    prefixed[i] = static_cast<uint8_t>(order == ByteOrder::Big ? word >> (24 - 8 * i) : word >> (8 * i));
  }
  const uint32_t strings = builder.AddSection(".strtab", SHT_STRTAB, 0, Bytes{0, 'f', 0});
  const uint32_t symbols =
      builder.AddSection(".symtab.sized", SHT_SYMTAB, SHF_SIZE_PREFIXED, prefixed, strings, 0, 16, 4);
  builder.AddRela(text, symbols, {{0, 1, 1, 0}, {4, 2, 1, 0}});
  builder.AddSymbolTable({{"entry", 0, 16, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)}});
  Bytes image = builder.Build();
  // The names' table then takes its limit from its first four bytes.
  SetSection32(image, 1, offsetof(Elf32_Shdr, sh_flags), SHF_SIZE_PREFIXED);
  return image;
}

Bytes SkippedObject() {
  ElfBuilder builder(ByteOrder::Little);
  const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(8, 0x90));
  builder.AddSection(".skip", SHT_SKIP_OBJECT, 0, Bytes(4, 0));
  builder.AddSymbolTable({{"skipped", 0, 8, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)}});
  return builder.Build();
}

// The standard object with a program header table of two segments behind
// its section table.
Bytes ObjectWithSegments(ByteOrder order) {
  ElfBuilder builder(order);
  const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(32, 0x60), 0, 0, 0, 4);
  builder.AddSymbolTable({{"segmented", 0, 32, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)}});
  builder.SetTrailingPadding(2 * sizeof(Elf32_Phdr));
  Bytes image = builder.Build();
  const uint32_t table = static_cast<uint32_t>(image.size() - 2 * sizeof(Elf32_Phdr));
  SetHeader32(image, offsetof(Elf32_Ehdr, e_phoff), table);
  SetHeader16(image, offsetof(Elf32_Ehdr, e_phnum), 2);
  const uint32_t textOffset = GetSection32(image, text, offsetof(Elf32_Shdr, sh_offset));
  for (uint32_t i = 0; i < 2; ++i) {
    const size_t entry = table + i * sizeof(Elf32_Phdr);
    WriteStored32(image, entry + offsetof(Elf32_Phdr, p_type), 1);
    WriteStored32(image, entry + offsetof(Elf32_Phdr, p_offset), textOffset + 16 * i);
    WriteStored32(image, entry + offsetof(Elf32_Phdr, p_filesz), 16);
  }
  return image;
}

// One member: its 60-byte header (name field, size, end marker) and data,
// padded to an even length.
std::string Member(const std::string& nameField, const std::string& data) {
  char header[61];
  std::snprintf(header, sizeof header, "%-16s%-12s%-6s%-6s%-8s%-10zu`\n", nameField.c_str(), "0", "0", "0", "644",
                data.size());
  std::string member(header, 60);
  member += data;
  if (data.size() % 2 != 0) member += '\n';
  return member;
}

// A GNU-style archive of the named objects: a symbol table member, a
// long-name table for names over 15 characters, short names closed by '/'.
std::string Archive(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string longNames;
  std::vector<std::string> fields;
  for (const auto& [name, data] : members) {
    if (name.size() <= 15) {
      fields.push_back(name + "/");
    } else {
      fields.push_back("/" + std::to_string(longNames.size()));
      longNames += name + "/\n";
    }
  }
  std::string archive = "!<arch>\n";
  archive += Member("/", std::string(8, '\0'));
  if (!longNames.empty()) archive += Member("//", longNames);
  for (size_t i = 0; i < members.size(); ++i) archive += Member(fields[i], members[i].second);
  return archive;
}

// Members of at most `largest` bytes from the start of a real archive.
std::vector<std::pair<std::string, std::string>> SampleMembers(const std::string& path, size_t wanted,
                                                               size_t largest) {
  std::vector<std::pair<std::string, std::string>> sample;
  const std::string bytes = ReadWhole(path);
  if (bytes.compare(0, 8, "!<arch>\n") != 0) return sample;
  std::string longNames;
  size_t position = 8;
  while (position + 60 <= bytes.size() && sample.size() < wanted) {
    const std::string field = bytes.substr(position, 16);
    const size_t size = std::strtoul(bytes.substr(position + 48, 10).c_str(), nullptr, 10);
    const size_t data = position + 60;
    if (size == 0 || data + size > bytes.size()) break;
    std::string name = field.substr(0, field.find('/', 1));
    if (field.compare(0, 2, "//") == 0) {
      longNames = bytes.substr(data, size);
    } else if (field[0] == '/' && field[1] >= '0' && field[1] <= '9') {
      const size_t offset = std::strtoul(field.c_str() + 1, nullptr, 10);
      name = offset < longNames.size() ? longNames.substr(offset, longNames.find('/', offset) - offset) : "";
    }
    if (!name.empty() && name[0] != '/' && size <= largest && bytes.compare(data, 4, "\x7f" "ELF") == 0) {
      sample.emplace_back(name, bytes.substr(data, size));
    }
    position = data + size + (size & 1);
  }
  return sample;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_seeds OUT [OBJECT...] [--sample ARCHIVE...]\n");
    return 2;
  }
  g_out = argv[1];
  std::vector<std::string> objects;
  std::vector<std::string> archives;
  bool sampling = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sample") == 0) {
      sampling = true;
    } else {
      (sampling ? archives : objects).push_back(argv[i]);
    }
  }

  std::vector<std::pair<std::string, std::string>> built = {
      {"standard_le.o", Text(StandardObject(ByteOrder::Little))},
      {"standard_be.o", Text(StandardObject(ByteOrder::Big))},
      {"features_little_endian.o", Text(FeatureObject(ByteOrder::Little))},
      {"features_big_endian.o", Text(FeatureObject(ByteOrder::Big))},
      {"size_prefixed_be.o", Text(SizePrefixedObject(ByteOrder::Big))},
      {"size_prefixed_le.o", Text(SizePrefixedObject(ByteOrder::Little))},
      {"skipped.o", Text(SkippedObject())},
      {"segments_be.o", Text(ObjectWithSegments(ByteOrder::Big))},
  };
  for (const auto& [name, bytes] : built) WriteSeed("object", name, bytes);

  std::vector<std::pair<std::string, std::string>> compiled;
  for (const std::string& path : objects) {
    const std::string parent = path.substr(0, path.find_last_of('/'));
    const std::string name = BaseName(parent) + "_" + BaseName(path);
    compiled.emplace_back(name, ReadWhole(path));
    WriteSeed("object", name, compiled.back().second);
  }
  for (size_t k = 0; k < archives.size(); ++k) {
    for (const auto& [name, bytes] : SampleMembers(archives[k], 12, 6000)) {
      WriteSeed("object", "real" + std::to_string(k) + "_" + name, bytes);
    }
  }

  WriteSeed("archive", "built.a", Archive(built));
  std::vector<std::pair<std::string, std::string>> mixed = {
      {"readme.txt", "not an object\n"},
      {"standard_be.o", built[1].second},
      {"odd.o", built[0].second + "x"},
      {"a_rather_long_member_name.O", built[2].second},
      {"standard_be.o", built[1].second},
  };
  WriteSeed("archive", "mixed.a", Archive(mixed));
  if (!compiled.empty()) WriteSeed("archive", "compiled.a", Archive(compiled));

  WriteSeed("response", "plain.rsp", "a.o b.o\nlib/c.a\n");
  WriteSeed("response", "quoted.rsp", "\"dir with space/x.o\" y\"z w\"v\r\n\t  last.o  \r\rq\"\"\n\"\"");
  WriteSeed("response", "mixed.rsp", "\t-opt\n@nested.rsp\n\"open quote\tx\n  \n\r\n");
  return 0;
}
