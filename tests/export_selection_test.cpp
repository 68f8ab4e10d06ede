#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "exports/export_selection.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "symbols/symbol_collection.h"
#include "symbols/symbol_table.h"
#include "support/elf_builder.h"
#include "support/run_state.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "support/tool_runner.h"

namespace {

// Registers objects in-process and collects them into a table of its own.
class Selection {
 public:
  Selection() { ResetRunState(); }
  ~Selection() { ResetRunState(); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

  void Add(const std::string& name, const Bytes& image) {
    MappedFile* file = MapForTest(dir_.Write(name, image));
    ASSERT_NE(file, nullptr);
    const Status status = RegisterBareObject(file);
    if (status != 0) ReleaseMappedFile(file);
    ASSERT_EQ(status, 0) << name;
  }

  void Collect() {
    CapturedOutput output;
    ASSERT_EQ(CollectSymbols(table_), 0);
    ASSERT_EQ(output.Text(), "");
  }

  SymbolRecord* Find(const std::string& name) {
    return table_.FindSymbol(name.data(), static_cast<int32_t>(name.size()), nullptr, nullptr);
  }

  SymbolTable& table() { return table_; }

 private:
  TempDir dir_;
  SymbolTable table_;
};

constexpr uint32_t kWrite = 0x1;

struct Candidate {
  const char* name;
  bool exported;
};

// Every case of the rule in one object; weak_here is strong in a second
// object (StrongElsewhere). kRuleCandidates says what becomes of each.
Bytes RuleObject(ByteOrder order) {
  ElfBuilder builder(order);
  const auto text = static_cast<uint16_t>(builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16)));
  const auto data = static_cast<uint16_t>(builder.AddSection(".data", 1, SHF_ALLOC | kWrite, Bytes(16)));
  const auto rodata = static_cast<uint16_t>(builder.AddSection(".rodata", 1, SHF_ALLOC, Bytes(16)));
  const auto bss = static_cast<uint16_t>(builder.AddNoBits(".bss", SHF_ALLOC | kWrite, 16));
  const auto debug = static_cast<uint16_t>(builder.AddSection(".debug_info", 1, 0, Bytes(16)));
  const auto once =
      static_cast<uint16_t>(builder.AddSection(".ghs.linkonce.text.once_f", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16)));
  builder.AddSymbolTable({
      {"code_f", 0, 4, STB_GLOBAL, STT_FUNC, text},
      {"data_v", 0, 4, STB_GLOBAL, STT_OBJECT, data},
      {"ro_v", 0, 4, STB_GLOBAL, STT_OBJECT, rodata},
      {"bss_v", 0, 4, STB_GLOBAL, STT_OBJECT, bss},
      {"dot.inside", 4, 4, STB_GLOBAL, STT_FUNC, text},
      {"debug_v", 0, 4, STB_GLOBAL, STT_OBJECT, debug},
      {"only_weak", 8, 4, STB_WEAK, STT_FUNC, text},
      {"weak_here", 8, 4, STB_WEAK, STT_FUNC, text},
      {".dot_first", 12, 4, STB_GLOBAL, STT_FUNC, text},
      {"a..b", 12, 4, STB_GLOBAL, STT_FUNC, text},
      {"__sti__init", 12, 4, STB_GLOBAL, STT_FUNC, text},
      {"once_f", 0, 4, STB_GLOBAL, STT_FUNC, once},
      {"common_v", 4, 4, STB_GLOBAL, STT_OBJECT, SHN_COMMON},
      {"tls_index", 0, 4, STB_GLOBAL, STT_OBJECT, SHN_THREAD_LOCAL},
      {"abs_v", 0x100, 0, STB_GLOBAL, STT_NOTYPE, SHN_ABS},
      {"reserved_v", 0, 0, STB_GLOBAL, STT_NOTYPE, 0xFF05},
  });
  return builder.Build();
}

const Candidate kRuleCandidates[] = {
    {"code_f", true},      {"data_v", true},    {"ro_v", true},         {"bss_v", true},
    {"dot.inside", true},  {"debug_v", false},  {"only_weak", false},   {"weak_here", true},
    {".dot_first", false}, {"a..b", false},     {"__sti__init", false}, {"once_f", false},
    {"common_v", true},    {"tls_index", true}, {"abs_v", false},       {"reserved_v", false},
};

Bytes StrongElsewhere(ByteOrder order) {
  ElfBuilder builder(order);
  const auto text = static_cast<uint16_t>(builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16)));
  builder.AddSymbolTable({{"weak_here", 0, 4, STB_GLOBAL, STT_FUNC, text}});
  return builder.Build();
}

std::vector<std::string> QueuedNamesNewestFirst() {
  std::vector<std::string> names;
  for (const ExportEntry* entry = g_exportList; entry != nullptr; entry = entry->next) {
    names.emplace_back(entry->symbol->name, static_cast<size_t>(entry->symbol->nameLength));
  }
  return names;
}

TEST(ExportSelection, RuleDecidesPerRecord) {
  for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
    SCOPED_TRACE(order == ByteOrder::Big ? "big-endian" : "little-endian");
    Selection selection;
    selection.Add("strong.o", StrongElsewhere(order));
    selection.Add("rule.o", RuleObject(order));
    selection.Collect();
    std::vector<std::string> exported;
    for (const Candidate& c : kRuleCandidates) {
      SymbolRecord* record = selection.Find(c.name);
      ASSERT_NE(record, nullptr) << c.name;
      EXPECT_EQ(IsExported(*record), c.exported) << c.name;
      if (c.exported) exported.push_back(c.name);
    }

    // The walk queues exactly those, in ascending key order, so the list
    // (newest first) runs in descending order; then the writer prints.
    ScopedGhsRoot root(DemanglerDirectory());
    CapturedOutput output;
    EXPECT_EQ(SelectExports(selection.table()), 0);
    std::sort(exported.begin(), exported.end());
    std::vector<std::string> descending(exported.rbegin(), exported.rend());
    EXPECT_EQ(QueuedNamesNewestFirst(), descending);
    EXPECT_EQ(g_exportCount, static_cast<int32_t>(exported.size()));
    EXPECT_EQ(output.Text().rfind("; Generated Export List\n", 0), 0u) << output.Text();
  }
}

TEST(ExportSelection, SectionHeadersAtTheDefaultStepWhenEntrySizeIsZero) {
  ElfBuilder builder(ByteOrder::Big);
  const auto debug = static_cast<uint16_t>(builder.AddSection(".debug_info", 1, 0, Bytes(16)));
  const auto text = static_cast<uint16_t>(builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16)));
  builder.AddSymbolTable(
      {{"code_f", 0, 4, STB_GLOBAL, STT_FUNC, text}, {"debug_v", 0, 4, STB_GLOBAL, STT_OBJECT, debug}});
  Bytes image = builder.Build();
  SetHeader16(image, offsetof(Elf32_Ehdr, e_shentsize), 0);
  Selection selection;
  selection.Add("zero.o", image);
  selection.Collect();
  ASSERT_NE(selection.Find("code_f"), nullptr);
  EXPECT_TRUE(IsExported(*selection.Find("code_f")));
  EXPECT_FALSE(IsExported(*selection.Find("debug_v")));
}

TEST(ExportSelection, NothingExportedPrintsNothingAndNeverLoadsTheDemangler) {
  ElfBuilder builder(ByteOrder::Little);
  const auto text = static_cast<uint16_t>(builder.AddSection(".text", 1, SHF_ALLOC | SHF_EXECINSTR, Bytes(16)));
  const auto debug = static_cast<uint16_t>(builder.AddSection(".debug_info", 1, 0, Bytes(16)));
  builder.AddSymbolTable({{"hook", 0, 4, STB_WEAK, STT_FUNC, text},
                          {"debug_v", 0, 4, STB_GLOBAL, STT_OBJECT, debug},
                          {"abs_v", 0, 0, STB_GLOBAL, STT_NOTYPE, SHN_ABS},
                          {"local_f", 0, 4, 0, STT_FUNC, text}});
  Selection selection;
  selection.Add("quiet.o", builder.Build());
  selection.Collect();
  // Without GHS_ROOT any attempt to load the library would print a failure.
  ScopedGhsRoot root(std::nullopt);
  CapturedOutput output;
  EXPECT_EQ(SelectExports(selection.table()), 0);
  EXPECT_EQ(output.Text(), "");
  EXPECT_EQ(g_exportCount, 0);
  EXPECT_EQ(g_exportList, nullptr);
}

TEST(ExportSelection, ARecordIsQueuedOnce) {
  ResetRunState();
  SymbolRecord record;
  record.name = "f";
  record.nameLength = 1;
  EXPECT_EQ(QueueExport(&record), 0);
  EXPECT_EQ(QueueExport(&record), 0);
  EXPECT_EQ(record.exportQueued, 1);
  EXPECT_EQ(g_exportCount, 1);
  ASSERT_NE(g_exportList, nullptr);
  EXPECT_EQ(g_exportList->symbol, &record);
  EXPECT_EQ(g_exportList->next, nullptr);
  ResetRunState();
}

}  // namespace
