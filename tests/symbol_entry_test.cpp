#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "input/object_registry.h"
#include "symbols/symbol_entry.h"
#include "symbols/symbol_table.h"

namespace {

TEST(SymbolEntryAttributes, NamesAndSectionNames) {
  struct Case {
    const char* name;
    const char* section;  // nullptr: no section
    uint8_t expected;
  };
  const Case cases[] = {
      {"__sti__", ".text", 2},
      {"__sti__init", ".text", 2},
      {"__sti_x", ".text", 0},
      {"__sti_", ".text", 0},
      {"x__sti__", ".text", 0},
      {"f", ".ghs.linkonce", 1},
      {"f", ".ghs.linkonce.text.f", 1},
      {"f", ".ghs.linkonc", 0},
      {"f", ".ghs.linkoncf", 0},
      {"f", ".text.ghs.linkonce", 0},
      {"f", nullptr, 0},
      {"a..b", ".data", 4},
      {"..", ".data", 4},
      {"...", ".data", 4},
      {"a.b", ".data", 0},
      {"a.", ".data", 0},
      {".a.b.", ".data", 0},
      {"__sti__..x", ".ghs.linkonce.d", 7},
  };
  for (const Case& c : cases) {
    const int32_t sectionLength = c.section != nullptr ? static_cast<int32_t>(std::strlen(c.section)) : 0;
    EXPECT_EQ(NameAttributes(c.name, static_cast<int32_t>(std::strlen(c.name)), c.section, sectionLength), c.expected)
        << c.name << " in " << (c.section != nullptr ? c.section : "(none)");
  }
}

TEST(SymbolEntryAttributes, SectionNameIsReadNoFurtherThanItsBound) {
  // A section name cut off by the end of its string table: only the bytes
  // inside count, even when the prefix would go on past them.
  const char section[] = ".ghs.linkonce.text";
  EXPECT_EQ(NameAttributes("f", 1, section, 12), 0);
  EXPECT_EQ(NameAttributes("f", 1, section, 13), kAttributeLinkOnceSection);
}

// One definition to enter: which object gives it and how.
struct Definition {
  int object;  // index into the fixture's objects
  uint8_t binding;
  SymbolKind kind = SymbolKind::Data;
  bool isNoBits = false;
  const char* section = ".data";
};

// What the record holds after all definitions of a case went in.
struct Outcome {
  int object;
  bool isWeak;
  uint8_t attributes;
  bool isCode;
  bool isTls;
  bool isNoBits;
};

// Owns what records point at: a name copy per definition (so the test can
// tell which definition's name the record keeps), the symbol entries and the
// objects.
class EntryFixture {
 public:
  EntryFixture() : objects_(4) {}

  SymbolRecord* Enter(const std::string& name, const Definition& d) {
    names_.push_back(name);
    Elf32_Sym& symbol = symbols_.emplace_back();
    symbol.st_info = static_cast<uint8_t>(d.binding << 4);
    symbol.st_shndx = 1;
    const int32_t sectionLength = d.section != nullptr ? static_cast<int32_t>(std::strlen(d.section)) : 0;
    return table_.EnterSymbol(names_.back().c_str(), static_cast<int32_t>(name.size()), &objects_[d.object],
                              reinterpret_cast<const uint8_t*>(&symbol), d.kind, d.section, sectionLength, d.isNoBits);
  }

  const char* NameOf(size_t definition) const { return names_[definition].c_str(); }
  const uint8_t* SymbolOf(size_t definition) const { return reinterpret_cast<const uint8_t*>(&symbols_[definition]); }
  ObjectRecord* Object(int index) { return &objects_[index]; }
  SymbolTable& table() { return table_; }

 private:
  std::deque<std::string> names_;
  std::deque<Elf32_Sym> symbols_;
  std::vector<ObjectRecord> objects_;
  SymbolTable table_;
};

TEST(SymbolEntryMerge, WeakGivesWayToTheFirstStrongDefinition) {
  constexpr uint8_t W = STB_WEAK;
  constexpr uint8_t S = STB_GLOBAL;
  struct Case {
    const char* label;
    std::vector<Definition> definitions;
    Outcome outcome;
    size_t winner;  // which definition's symbol entry the record holds
  };
  const Case cases[] = {
      {"weak then strong", {{0, W}, {1, S}}, {1, false, 0, false, false, false}, 1},
      {"strong then strong", {{0, S}, {1, S}}, {0, false, 0, false, false, false}, 0},
      {"weak then weak", {{0, W}, {1, W}}, {0, true, 0, false, false, false}, 0},
      {"strong then weak", {{0, S}, {1, W}}, {0, false, 0, false, false, false}, 0},
      {"weak, weak, strong, strong", {{0, W}, {1, W}, {2, S}, {3, S}}, {2, false, 0, false, false, false}, 2},
      {"strong, then weak in a link-once section",
       {{0, S, SymbolKind::Code, false, ".text"}, {1, W, SymbolKind::Code, false, ".ghs.linkonce.text.f"}},
       {0, false, kAttributeLinkOnceSection, true, false, false},
       0},
      {"link-once marks stay when a strong definition replaces",
       {{0, W, SymbolKind::Code, false, ".ghs.linkonce.text.f"}, {1, S, SymbolKind::Code, false, ".text"}},
       {1, false, kAttributeLinkOnceSection, true, false, false},
       1},
      {"weak no-bits replaced by strong initialised data",
       {{0, W, SymbolKind::Data, true, ".bss"}, {1, S, SymbolKind::Data, false, ".data"}},
       {1, false, 0, false, false, false},
       1},
      {"weak code replaced by strong thread-local",
       {{0, W, SymbolKind::Code, false, ".text"}, {1, S, SymbolKind::ThreadLocal, true, ".tbss"}},
       {1, false, 0, false, true, true},
       1},
      {"no section name", {{0, S, SymbolKind::Data, false, nullptr}}, {0, false, 0, false, false, false}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EntryFixture fixture;
    SymbolRecord* first = nullptr;
    for (const Definition& d : c.definitions) {
      SymbolRecord* record = fixture.Enter("f", d);
      ASSERT_NE(record, nullptr);
      if (first == nullptr) first = record;
      EXPECT_EQ(record, first) << "a name has one record for good";
    }
    EXPECT_EQ(first->object, fixture.Object(c.outcome.object));
    EXPECT_EQ(first->elfSymbol, fixture.SymbolOf(c.winner));
    EXPECT_EQ(first->isWeak, c.outcome.isWeak);
    EXPECT_EQ(first->attributes, c.outcome.attributes);
    EXPECT_EQ(first->isCode, c.outcome.isCode);
    EXPECT_EQ(first->isTls, c.outcome.isTls);
    EXPECT_EQ(first->isNoBits, c.outcome.isNoBits);
    // The name stays the first definition's, whoever won.
    EXPECT_EQ(first->name, fixture.NameOf(0));
    EXPECT_EQ(first->nameLength, 1);
    EXPECT_EQ(first->exportQueued, 0);
    EXPECT_EQ(fixture.table().FirstSymbol(), first);
    EXPECT_EQ(fixture.table().NextSymbol(first), nullptr);
  }
}

TEST(SymbolEntryMerge, AttributesOfEveryNameAccumulate) {
  EntryFixture fixture;
  // Equal keys have equal bytes, so only section names can differ between
  // definitions; the name's own traits are there from the first one.
  SymbolRecord* record = fixture.Enter("__sti__a..b", {0, STB_WEAK, SymbolKind::Data, false, ".data"});
  EXPECT_EQ(record->attributes, kAttributeStaticInitialiser | kAttributeDoubleDot);
  fixture.Enter("__sti__a..b", {1, STB_GLOBAL, SymbolKind::Data, false, ".ghs.linkonce.data"});
  fixture.Enter("__sti__a..b", {2, STB_GLOBAL, SymbolKind::Data, false, ".data"});
  EXPECT_EQ(record->attributes, kAttributeLinkOnceSection | kAttributeStaticInitialiser | kAttributeDoubleDot);
  EXPECT_EQ(record->object, fixture.Object(1));
}

TEST(SymbolEntryMerge, ReplacementLeavesQueueMarkAndPlaceAlone) {
  EntryFixture fixture;
  for (const char* name : {"b", "a", "c"}) fixture.Enter(name, {0, STB_WEAK});
  SymbolRecord* b = fixture.table().FindSymbol("b", 1, nullptr, nullptr);
  ASSERT_NE(b, nullptr);
  SymbolRecord* const parent = b->parent;
  SymbolRecord* const left = b->left;
  SymbolRecord* const right = b->right;
  const int32_t red = b->red;
  b->exportQueued = 1;
  EXPECT_EQ(fixture.Enter("b", {1, STB_GLOBAL}), b);
  EXPECT_EQ(b->object, fixture.Object(1));
  EXPECT_EQ(b->exportQueued, 1);
  EXPECT_EQ(b->parent, parent);
  EXPECT_EQ(b->left, left);
  EXPECT_EQ(b->right, right);
  EXPECT_EQ(b->red, red);
}

}  // namespace
