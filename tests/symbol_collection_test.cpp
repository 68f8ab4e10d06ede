#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "elf/elf_layout.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "symbols/symbol_collection.h"
#include "symbols/symbol_entry.h"
#include "symbols/symbol_table.h"
#include "support/elf_builder.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace {

// Registers images in-process the way the driver does, from files in a
// temporary folder, and collects their symbols into a table of its own.
class Collection {
 public:
  Collection() { ResetRunState(); }
  ~Collection() { ResetRunState(); }
  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;

  // A bare object file at `relativePath`, registered under its base name.
  ObjectRecord* AddFile(const std::string& relativePath, const Bytes& image) {
    MappedFile* file = MapForTest(dir_.Write(relativePath, image));
    EXPECT_NE(file, nullptr) << relativePath;
    if (file == nullptr) return nullptr;
    const Status status = RegisterBareObject(file);
    EXPECT_EQ(status, 0) << relativePath;
    if (status != 0) ReleaseMappedFile(file);
    return status == 0 ? g_objectList : nullptr;
  }

  // One container file holding the images back to back at even offsets, as
  // an archive holds its members; each is registered under its own name.
  std::vector<ObjectRecord*> AddContainer(const std::string& relativePath,
                                          const std::vector<std::pair<std::string, Bytes>>& members) {
    Bytes bytes;
    std::vector<size_t> offsets;
    for (const auto& [name, image] : members) {
      offsets.push_back(bytes.size());
      bytes.insert(bytes.end(), image.begin(), image.end());
      if (bytes.size() % 2 != 0) bytes.push_back('\n');
    }
    MappedFile* file = MapForTest(dir_.Write(relativePath, bytes));
    EXPECT_NE(file, nullptr) << relativePath;
    std::vector<ObjectRecord*> records;
    if (file == nullptr) return records;
    for (size_t i = 0; i < members.size(); ++i) {
      const std::string& name = members[i].first;
      const Status status = RegisterObject(file, file->view + offsets[i],
                                           static_cast<uint32_t>(members[i].second.size()), name.data(), name.size());
      EXPECT_EQ(status, 0) << name;
      records.push_back(status == 0 ? g_objectList : nullptr);
    }
    ReleaseMappedFile(file);
    return records;
  }

  // Runs the collection; returns its status and keeps what it printed.
  Status Collect() {
    CapturedOutput output;
    const Status status = CollectSymbols(table_);
    printed_ = output.Text();
    return status;
  }

  const std::string& Printed() const { return printed_; }
  std::string FullPath(const std::string& relativePath) const { return dir_.Path(relativePath); }
  SymbolTable& table() { return table_; }

  SymbolRecord* Find(const std::string& name) {
    return table_.FindSymbol(name.data(), static_cast<int32_t>(name.size()), nullptr, nullptr);
  }

  std::set<std::string> Names() {
    std::set<std::string> names;
    for (SymbolRecord* r = table_.FirstSymbol(); r != nullptr; r = table_.NextSymbol(r)) {
      names.emplace(r->name, static_cast<size_t>(r->nameLength));
    }
    return names;
  }

 private:
  TempDir dir_;
  SymbolTable table_;
  std::string printed_;
};

// An object whose .text defines each name as a strong function.
Bytes ObjectDefining(ByteOrder order, const std::vector<std::string>& names, uint32_t padding = 0) {
  ElfBuilder builder(order);
  const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16, 0x60), 0, 0, 0, 4);
  std::vector<SymbolSpec> symbols;
  for (const std::string& name : names) {
    symbols.push_back({name, 0, 0, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)});
  }
  builder.AddSymbolTable(symbols);
  builder.SetTrailingPadding(padding);
  return builder.Build();
}

const ByteOrder kOrders[] = {ByteOrder::Little, ByteOrder::Big};

const char* OrderName(ByteOrder order) { return order == ByteOrder::Big ? "big-endian" : "little-endian"; }

TEST(SymbolCollection, ObjectsAreWalkedFromTheLastRegistered) {
  for (const ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    Collection collection;
    collection.AddFile("first.o", ObjectDefining(order, {"f", "only_first"}));
    ObjectRecord* second = collection.AddFile("second.o", ObjectDefining(order, {"f", "only_second"}));
    ASSERT_EQ(collection.Collect(), 0);
    EXPECT_EQ(collection.Printed(), "");
    EXPECT_EQ(collection.Names(), (std::set<std::string>{"f", "only_first", "only_second"}));
    // Two strong definitions: the one entered first, from the newest object, stays.
    ASSERT_NE(collection.Find("f"), nullptr);
    EXPECT_EQ(collection.Find("f")->object, second);
  }
}

TEST(SymbolCollection, CopiesUnderDifferentNamesAreReportedAndLeftOut) {
  for (const ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    Collection collection;
    const Bytes image = ObjectDefining(order, {"f"});
    ObjectRecord* a = collection.AddFile("a.o", image);
    collection.AddFile("b.o", image);
    ASSERT_EQ(collection.Collect(), 0);
    EXPECT_EQ(collection.Printed(),
              "!!!WARNING: Exact same object file specified under two different names:\n"
              "    \"a.o\" and \"b.o\"\n.");
    ASSERT_NE(collection.Find("f"), nullptr);
    EXPECT_EQ(collection.Find("f")->object, a);
  }
}

TEST(SymbolCollection, CopiesOfOneNameInTwoContainersGetANoteWithBothPaths) {
  for (const ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    Collection collection;
    const Bytes image = ObjectDefining(order, {"f"});
    ObjectRecord* first = collection.AddFile("one/x.o", image);
    collection.AddFile("two/x.o", image);
    ASSERT_EQ(collection.Collect(), 0);
    EXPECT_EQ(collection.Printed(), "!!!INFO: File \"x.o\" is in two input files:\n    \"" +
                                        collection.FullPath("one/x.o") + "\" and \"" + collection.FullPath("two/x.o") +
                                        "\".\n");
    EXPECT_EQ(collection.Find("f")->object, first);
  }
}

TEST(SymbolCollection, CopiesOfOneNameInOneContainerAreLeftOutSilently) {
  for (const ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    Collection collection;
    const Bytes image = ObjectDefining(order, {"f"});
    const std::vector<ObjectRecord*> members = collection.AddContainer("lib.a", {{"x.o", image}, {"x.o", image}});
    ASSERT_EQ(members.size(), 2u);
    ASSERT_EQ(collection.Collect(), 0);
    EXPECT_EQ(collection.Printed(), "");
    EXPECT_EQ(collection.Find("f")->object, members[0]);
  }
}

TEST(SymbolCollection, EachLaterCopyIsPairedWithTheNearestEarlierOneNewestFirst) {
  Collection collection;
  const Bytes image = ObjectDefining(ByteOrder::Big, {"f"});
  ObjectRecord* a = collection.AddFile("A.o", image);
  collection.AddFile("other.o", ObjectDefining(ByteOrder::Big, {"g"}));
  collection.AddFile("B.o", image);
  collection.AddFile("C.o", image);
  ASSERT_EQ(collection.Collect(), 0);
  EXPECT_EQ(collection.Printed(),
            "!!!WARNING: Exact same object file specified under two different names:\n"
            "    \"B.o\" and \"C.o\"\n."
            "!!!WARNING: Exact same object file specified under two different names:\n"
            "    \"A.o\" and \"B.o\"\n.");
  EXPECT_EQ(collection.Find("f")->object, a);
  EXPECT_NE(collection.Find("g"), nullptr);
}

TEST(SymbolCollection, ObjectsThatDifferOnlyInTheirLastByteAreBothWalked) {
  Bytes first = ObjectDefining(ByteOrder::Little, {"f"}, 8);
  Bytes second = first;
  second.back() = 1;
  Collection collection;
  collection.AddFile("a.o", first);
  ObjectRecord* newer = collection.AddFile("b.o", second);
  ASSERT_EQ(collection.Collect(), 0);
  EXPECT_EQ(collection.Printed(), "");
  EXPECT_EQ(collection.Find("f")->object, newer);
}

TEST(SymbolCollection, ObjectsWithASkipSectionAddNothingAndSayNothing) {
  struct Case {
    const char* label;
    std::function<Bytes(ByteOrder)> make;
    std::vector<ByteOrder> orders;
  };
  const Case cases[] = {
      {"an extra section of the skip type",
       [](ByteOrder order) {
         ElfBuilder builder(order);
         const uint32_t text = builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16), 0, 0, 0, 4);
         builder.AddSection(".skip", SHT_SKIP_OBJECT, 0, Bytes(4));
         builder.AddSymbolTable({{"skipped", 0, 0, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)}});
         return builder.Build();
       },
       {ByteOrder::Little, ByteOrder::Big}},
      // Header 0 is never converted to host order, so it is read as stored:
      // only in a little-endian object does it carry the type as written.
      {"header 0 of the skip type",
       [](ByteOrder order) {
         Bytes image = ObjectDefining(order, {"skipped"});
         SetSection32(image, 0, offsetof(Elf32_Shdr, sh_type), SHT_SKIP_OBJECT);
         return image;
       },
       {ByteOrder::Little}},
  };
  for (const Case& c : cases) {
    for (const ByteOrder order : c.orders) {
      SCOPED_TRACE(std::string(OrderName(order)) + ", " + c.label);
      Collection collection;
      collection.AddFile("skip.o", c.make(order));
      collection.AddFile("keep.o", ObjectDefining(order, {"kept"}));
      ASSERT_EQ(collection.Collect(), 0);
      EXPECT_EQ(collection.Printed(), "");
      EXPECT_EQ(collection.Names(), std::set<std::string>{"kept"});
    }
  }
}

TEST(SymbolCollection, KindsNoBitsMarksAndSectionNamesComeFromTheDefiningSection) {
  struct Expected {
    const char* name;
    bool isCode;
    bool isTls;
    bool isNoBits;
    bool isWeak;
    uint8_t attributes;
  };
  const Expected expected[] = {
      {"code_f", true, false, false, false, 0},
      {"weak_f", true, false, false, true, 0},
      {"data_v", false, false, false, false, 0},
      {"bss_v", false, false, true, false, 0},
      {"tdata_v", false, true, false, false, 0},
      {"tbss_v", false, true, true, false, 0},
      {"tcode_f", false, true, false, false, 0},
      {"common_v", false, false, false, false, 0},
      {"abs_v", false, false, false, false, 0},
      {"tls_index", false, true, false, false, 0},
      {"once_f", true, false, false, false, kAttributeLinkOnceSection},
  };
  for (const ByteOrder order : kOrders) {
    SCOPED_TRACE(OrderName(order));
    ElfBuilder builder(order);
    constexpr uint32_t kWrite = 0x1;
    const auto text =
        static_cast<uint16_t>(builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16), 0, 0, 0, 4));
    const auto data = static_cast<uint16_t>(builder.AddSection(".data", 1, SHF_ALLOC | kWrite, Bytes(16), 0, 0, 0, 4));
    const auto bss = static_cast<uint16_t>(builder.AddNoBits(".bss", SHF_ALLOC | kWrite, 16));
    const auto tdata = static_cast<uint16_t>(
        builder.AddSection(".tdata", 1, SHF_ALLOC | kWrite | SHF_THREAD_LOCAL, Bytes(16), 0, 0, 0, 4));
    const auto tbss = static_cast<uint16_t>(builder.AddNoBits(".tbss", SHF_ALLOC | kWrite | SHF_THREAD_LOCAL, 16));
    const auto tcode = static_cast<uint16_t>(
        builder.AddSection(".tcode", 1, SHF_ALLOC | SHF_EXECINSTR | SHF_THREAD_LOCAL, Bytes(16), 0, 0, 0, 4));
    const auto once = static_cast<uint16_t>(
        builder.AddSection(".ghs.linkonce.t.once_f", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16), 0, 0, 0, 4));
    builder.AddSymbolTable({
        {"local_v", 0, 4, 0, STT_OBJECT, data},
        {"code_f", 0, 4, STB_GLOBAL, STT_FUNC, text},
        {"weak_f", 4, 4, STB_WEAK, STT_FUNC, text},
        {"data_v", 4, 4, STB_GLOBAL, STT_OBJECT, data},
        {"bss_v", 0, 4, STB_GLOBAL, STT_OBJECT, bss},
        {"tdata_v", 0, 4, STB_GLOBAL, STT_OBJECT, tdata},
        {"tbss_v", 0, 4, STB_GLOBAL, STT_OBJECT, tbss},
        {"tcode_f", 0, 4, STB_GLOBAL, STT_FUNC, tcode},
        {"common_v", 4, 4, STB_GLOBAL, STT_OBJECT, SHN_COMMON},
        {"abs_v", 0x1234, 0, STB_GLOBAL, STT_NOTYPE, SHN_ABS},
        {"tls_index", 0, 4, STB_GLOBAL, STT_OBJECT, SHN_THREAD_LOCAL},
        {"once_f", 0, 4, STB_GLOBAL, STT_FUNC, once},
        {"undefined_f", 0, 0, STB_GLOBAL, STT_NOTYPE, SHN_UNDEF},
        {"undefined_weak", 0, 0, STB_WEAK, STT_NOTYPE, SHN_UNDEF},
    });
    Collection collection;
    ObjectRecord* object = collection.AddFile("kinds.o", builder.Build());
    ASSERT_EQ(collection.Collect(), 0);
    std::set<std::string> names;
    for (const Expected& e : expected) {
      SCOPED_TRACE(e.name);
      names.insert(e.name);
      SymbolRecord* record = collection.Find(e.name);
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->isCode, e.isCode);
      EXPECT_EQ(record->isTls, e.isTls);
      EXPECT_EQ(record->isNoBits, e.isNoBits);
      EXPECT_EQ(record->isWeak, e.isWeak);
      EXPECT_EQ(record->attributes, e.attributes);
      EXPECT_EQ(record->object, object);
    }
    // Locals and undefined symbols are never entered.
    EXPECT_EQ(collection.Names(), names);
  }
}

// The base object for the symbol-table shapes below: alpha, beta and gamma,
// in that order in both the string table and the symbol table.
Bytes ThreeNames(ByteOrder order) { return ObjectDefining(order, {"alpha", "beta", "gamma"}); }

TEST(SymbolCollection, SymbolTableShapesAndTheTablesThatAreNotRead) {
  struct Case {
    const char* label;
    std::function<void(Bytes&)> change;
    std::set<std::string> names;
  };
  auto symtabOf = [](const Bytes& image) { return FindSectionOfType(image, SHT_SYMTAB); };
  auto patchSymtab = [symtabOf](size_t field, std::function<uint32_t(uint32_t)> update) {
    return [=](Bytes& image) {
      const uint32_t symtab = symtabOf(image);
      SetSection32(image, symtab, field, update(GetSection32(image, symtab, field)));
    };
  };
  const Case cases[] = {
      {"as built", [](Bytes&) {}, {"alpha", "beta", "gamma"}},
      {"entry size 0 reads 16-byte entries",
       patchSymtab(offsetof(Elf32_Shdr, sh_entsize), [](uint32_t) { return 0u; }),
       {"alpha", "beta", "gamma"}},
      {"size 0 yields nothing", patchSymtab(offsetof(Elf32_Shdr, sh_size), [](uint32_t) { return 0u; }), {}},
      {"a trailing part shorter than an entry is ignored",
       patchSymtab(offsetof(Elf32_Shdr, sh_size), [](uint32_t size) { return size + 15; }),
       {"alpha", "beta", "gamma"}},
      {"the size decides how many entries are read",
       patchSymtab(offsetof(Elf32_Shdr, sh_size), [](uint32_t size) { return size - 16; }),
       {"alpha", "beta"}},
      {"a dynamic symbol table is not walked",
       patchSymtab(offsetof(Elf32_Shdr, sh_type), [](uint32_t) { return 11u; }),
       {}},
      {"a table without a string table is skipped",
       patchSymtab(offsetof(Elf32_Shdr, sh_link), [](uint32_t) { return 0u; }),
       {}},
      {"a size-prefixed table is skipped",
       patchSymtab(offsetof(Elf32_Shdr, sh_flags), [](uint32_t flags) { return flags | SHF_SIZE_PREFIXED; }),
       {}},
      {"a symbol table in header 0 is skipped",
       [symtabOf](Bytes& image) {
         // Header 0 takes over the table; the real header stops being one,
         // so validation never looks at (or converts) the entries.
         const uint32_t symtab = symtabOf(image);
         for (size_t field = 0; field < sizeof(Elf32_Shdr); field += 4) {
           SetSection32(image, 0, field, GetSection32(image, symtab, field));
         }
         SetSection32(image, 0, offsetof(Elf32_Shdr, sh_name), 0);
         SetSection32(image, symtab, offsetof(Elf32_Shdr, sh_type), 1);
       },
       {}},
      {"a name without a NUL inside its string table is skipped, the rest are not",
       [symtabOf](Bytes& image) {
         // gamma is last in the string table; cut its NUL off and move it to
         // the first entry, so entries after it show that the walk goes on.
         const uint32_t symtab = symtabOf(image);
         const uint32_t strtab = GetSection32(image, symtab, offsetof(Elf32_Shdr, sh_link));
         SetSection32(image, strtab, offsetof(Elf32_Shdr, sh_size),
                      GetSection32(image, strtab, offsetof(Elf32_Shdr, sh_size)) - 1);
         const size_t first = SymbolOffset(image, symtab, 1);
         const size_t third = SymbolOffset(image, symtab, 3);
         const uint32_t alpha = ReadStored32(image, first);
         WriteStored32(image, first, ReadStored32(image, third));
         WriteStored32(image, third, alpha);
       },
       {"alpha", "beta"}},
  };
  for (const ByteOrder order : kOrders) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(OrderName(order)) + ", " + c.label);
      Bytes image = ThreeNames(order);
      c.change(image);
      Collection collection;
      ASSERT_NE(collection.AddFile("shape.o", image), nullptr);
      ASSERT_EQ(collection.Collect(), 0);
      EXPECT_EQ(collection.Printed(), "");
      EXPECT_EQ(collection.Names(), c.names);
    }
  }
}

TEST(SymbolCollection, SectionNamesAreBoundedByTheirStringTable) {
  // The defining section's name is the last one in the section-name table;
  // cutting the table short cuts the name, whatever bytes follow it.
  struct Case {
    const char* label;
    uint32_t keptNameBytes;  // of ".ghs.linkonceX", or 0 for the whole table
    uint8_t attributes;
  };
  const Case cases[] = {
      {"whole table", 0, kAttributeLinkOnceSection},
      {"13 bytes left", 13, kAttributeLinkOnceSection},
      {"12 bytes left", 12, 0},
  };
  for (const ByteOrder order : kOrders) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(OrderName(order)) + ", " + c.label);
      ElfBuilder builder(order);
      // .strtab and .symtab take indexes 2 and 3; the section added after
      // them is 4 and its name is the table's last.
      builder.AddSymbolTable({{"f", 0, 4, STB_GLOBAL, STT_FUNC, 4}});
      const uint32_t once = builder.AddSection(".ghs.linkonceX", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16), 0, 0, 0, 4);
      ASSERT_EQ(once, 4u);
      Bytes image = builder.Build();
      if (c.keptNameBytes != 0) {
        const uint32_t nameOffset = GetSection32(image, once, offsetof(Elf32_Shdr, sh_name));
        SetSection32(image, 1, offsetof(Elf32_Shdr, sh_size), nameOffset + c.keptNameBytes);
      }
      Collection collection;
      ASSERT_NE(collection.AddFile("names.o", image), nullptr);
      ASSERT_EQ(collection.Collect(), 0);
      ASSERT_NE(collection.Find("f"), nullptr);
      EXPECT_EQ(collection.Find("f")->attributes, c.attributes);
    }
  }
}

}  // namespace
