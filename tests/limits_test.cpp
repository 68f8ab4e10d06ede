// Inputs far larger than any real build hands the tool, end to end through
// the binary: many inputs through a response file, a very long response
// file, an object with tens of thousands of sections, and a thousand copies
// of one object. Each must finish with the complete, exact output.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "support/archive_writer.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"
#include "support/tool_runner.h"

namespace {

ToolOptions WithDemangler() {
  ToolOptions options;
  options.environment["GHS_ROOT"] = DemanglerDirectory();
  return options;
}

// The line of a name that our demangler leaves alone (it returns NULL, so
// the name stands in for its demangled form).
std::string PlainLine(const std::string& name) {
  return name + std::string(40 - name.size() % 40, ' ') + "; " + name + "\n";
}

// The list of plain code symbols, given in sorted order.
std::string CodeList(const std::vector<std::string>& sortedNames) {
  std::string list = "; Generated Export List\n\n[CODE]\n";
  for (const std::string& name : sortedNames) list += PlainLine(name);
  return list + "\n[DATA]\n";
}

std::string Numbered(const char* prefix, unsigned number, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%0*u", prefix, digits, number);
  return text;
}

TEST(LimitsEndToEnd, TwentyThousandInputsThroughOneResponseFile) {
  constexpr unsigned kInputs = 20000;
  TempDir folder;
  std::string response;
  std::vector<std::string> names;
  for (unsigned i = 0; i < kInputs; ++i) {
    names.push_back(Numbered("f", i, 5));
    const ByteOrder order = i % 2 == 0 ? ByteOrder::Big : ByteOrder::Little;
    response += folder.Write("objects/" + names.back() + ".o", ObjectDefining(names.back(), order)) + "\n";
  }
  const std::string list = folder.Write("inputs.rsp", response);

  const ToolResult result = RunTool({"@" + list}, WithDemangler());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.out == CodeList(names)) << result.out.substr(0, 2000);
}

// Five hundred objects, each named 150 times in the ways a response file can
// spell one path (quoted, padded with blanks and tabs, through "." and ".."),
// among blank lines and lines of blanks, with both line ends: 100,000 lines.
// Every repeat resolves to a path accepted before and is passed over quietly.
TEST(LimitsEndToEnd, AHundredThousandLineResponseFile) {
  constexpr unsigned kObjects = 500;
  constexpr unsigned kNamings = 150;
  constexpr unsigned kLines = 100000;
  TempDir folder;
  std::vector<std::string> names;
  std::vector<std::string> spellings;
  for (unsigned i = 0; i < kObjects; ++i) {
    names.push_back(Numbered("g", i, 3));
    const std::string file = names.back() + ".o";
    const std::string path = folder.Write("objects/" + file, ObjectDefining(names.back(), ByteOrder::Big));
    spellings.push_back(path);
    spellings.push_back("\"" + path + "\"");
    spellings.push_back(" \t " + path + "\t ");
    spellings.push_back(folder.path() + "/objects/./" + file);
    spellings.push_back(folder.path() + "/objects/../objects//" + file);
  }
  std::string response;
  unsigned lines = 0;
  for (unsigned round = 0; round < kNamings; ++round) {
    for (unsigned i = 0; i < kObjects; ++i, ++lines) {
      response += spellings[5 * i + (round + i) % 5];
      response += lines % 2 == 0 ? "\n" : "\r\n";
    }
  }
  for (; lines < kLines; ++lines) response += lines % 3 == 0 ? "\n" : (lines % 3 == 1 ? " \t \r\n" : "\r");
  const std::string list = folder.Write("long.rsp", response);

  const ToolResult result = RunTool({"@" + list}, WithDemangler());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.out == CodeList(names)) << result.out.substr(0, 2000);
}

// 60,000 code sections in one big-endian object, each defining one function;
// every thousandth section is a link-once section, whose symbol stays out.
TEST(LimitsEndToEnd, AnObjectWithSixtyThousandSections) {
  constexpr unsigned kSections = 60000;
  ElfBuilder builder(ByteOrder::Big);
  std::vector<SymbolSpec> symbols;
  std::vector<std::string> exported;
  for (unsigned i = 0; i < kSections; ++i) {
    const std::string name = Numbered("s", i, 5);
    const bool linkOnce = i % 1000 == 0;
    const uint32_t section = builder.AddSection(linkOnce ? ".ghs.linkonce.t." + name : ".text." + name, 1,
                                                SHF_ALLOC | SHF_EXECINSTR, Bytes(4, 0x60), 0, 0, 0, 4);
    symbols.push_back({name, 0, 4, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(section)});
    if (!linkOnce) exported.push_back(name);
  }
  builder.AddSymbolTable(symbols);
  const Bytes image = builder.Build();
  ASSERT_GT(ReadStored16(image, offsetof(Elf32_Ehdr, e_shnum)), kSections);

  TempDir folder;
  const ToolResult result = RunTool({folder.Write("sections.o", image)}, WithDemangler());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.out == CodeList(exported)) << result.out.substr(0, 2000);
}

// At the largest e_shnum, 65,535, the reserved indexes 0xFF03 and 0xFFF2 lie
// below the section count, so symbols there are read as defined in those
// sections, by the sections' flags: a function in the code section 0xFF03 is
// listed under [CODE] (not [TLS]), and an object in the unallocated section
// 0xFFF2 is not listed (it is no common symbol here).
TEST(LimitsEndToEnd, ReservedIndexesNameSectionsInAnObjectWithTheMostSections) {
  constexpr uint32_t kLastSection = 0xFFFC;  // the string and symbol tables follow
  ElfBuilder builder(ByteOrder::Little);
  for (uint32_t index = 2; index <= kLastSection; ++index) {
    const uint32_t flags = index == SHN_THREAD_LOCAL ? SHF_ALLOC | SHF_EXECINSTR
                           : index == SHN_COMMON     ? 0
                                                     : SHF_ALLOC | 0x1;
    builder.AddSection(Numbered(".s", index, 5), 1, flags, Bytes(4, 0), 0, 0, 0, 4);
  }
  builder.AddSymbolTable({{"at_ff03", 0, 4, STB_GLOBAL, STT_FUNC, SHN_THREAD_LOCAL},
                          {"at_fff2", 0, 4, STB_GLOBAL, STT_OBJECT, SHN_COMMON},
                          {"last", 0, 4, STB_GLOBAL, STT_OBJECT, static_cast<uint16_t>(kLastSection)}});
  const Bytes image = builder.Build();
  ASSERT_EQ(ReadStored16(image, offsetof(Elf32_Ehdr, e_shnum)), 0xFFFF);

  TempDir folder;
  const ToolResult result = RunTool({folder.Write("most_sections.o", image)}, WithDemangler());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, CodeList({"at_ff03"}) + PlainLine("last"));
}

// A thousand byte-identical files under different names: each later copy is
// reported once, paired with the copy just before it, from the last copy
// backwards, and the symbol is listed once.
TEST(LimitsEndToEnd, AThousandCopiesOfOneObject) {
  constexpr unsigned kCopies = 1000;
  TempDir folder;
  const Bytes object = ObjectDefining("shared_entry", ByteOrder::Big);
  std::vector<std::string> arguments;
  for (unsigned i = 0; i < kCopies; ++i) arguments.push_back(folder.Write(Numbered("c", i, 3) + ".o", object));

  std::string expected;
  for (unsigned later = kCopies - 1; later >= 1; --later) {
    expected += "!!!WARNING: Exact same object file specified under two different names:\n    \"" +
                Numbered("c", later - 1, 3) + ".o\" and \"" + Numbered("c", later, 3) + ".o\"\n.";
  }
  expected += CodeList({"shared_entry"});

  const ToolResult result = RunTool(arguments, WithDemangler());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.out == expected) << result.out.substr(0, 2000);
}

}  // namespace
