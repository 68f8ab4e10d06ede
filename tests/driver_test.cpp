// End-to-end runs of the quorlix binary: every way the input loop can end,
// compared with the tool's whole standard output and its exit code.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/full_path.h"
#include "support/archive_writer.h"
#include "support/elf_builder.h"
#include "support/temp_dir.h"
#include "support/tool_runner.h"

namespace {

// Runs in `directory` under the program name "quorlix", with our demangler.
ToolOptions RunIn(const std::string& directory) {
  ToolOptions options;
  options.workingDirectory = directory;
  options.environment["GHS_ROOT"] = DemanglerDirectory();
  options.argv0 = "quorlix";
  return options;
}

// One line of the list: the name, blanks up to the next multiple of 40
// columns, "; " and the demangled name (plain C names come back unchanged).
std::string ExportLine(const std::string& name) {
  return name + std::string(40 - name.size() % 40, ' ') + "; " + name + "\n";
}

// The list of a run whose only exports are the functions `names`, in order.
std::string CodeListing(const std::vector<std::string>& names) {
  std::string text = "; Generated Export List\n\n[CODE]\n";
  for (const std::string& name : names) text += ExportLine(name);
  return text + "\n[DATA]\n";
}

// The failure report for a run of "quorlix" with `arguments`.
std::string FailureReport(int status, const std::vector<std::string>& arguments) {
  std::string text = "\n\nquorlix FAILED Error = " + std::to_string(status) + "\n\tquorlix";
  for (const std::string& argument : arguments) text += " \\\n\t\t" + argument;
  return text + "\n" + UsageText();
}

std::string CanonicalPath(const std::string& path) { return std::filesystem::canonical(path).string(); }

// An absolute path of exactly `length` bytes that names nothing.
std::string AbsolutePathOfLength(size_t length) {
  std::string path;
  while (path.size() + 101 < length) path += "/" + std::string(99, 'q') + "x";
  path += "/";
  path += std::string(length - path.size(), 'z');
  return path;
}

TEST(DriverFullPath, IsNormalisedAsTextOnly) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"/a//b/./c/../d", "/a/b/d"},
      {"/a/b/", "/a/b"},
      {"/a/b/..", "/a"},
      {"/..", "/"},
      {"/../../x/..", "/"},
      {"/", "/"},
      {"//", "/"},
      // Names made of dots and other characters, and backslashes, are plain names.
      {"/a/.b/..c/...", "/a/.b/..c/..."},
      {"/a\\..\\b", "/a\\..\\b"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(NormalizeAbsolutePath(path), expected) << path;

  EXPECT_EQ(ResolveFullPath(""), "");
  EXPECT_EQ(ResolveFullPath("/no/such/./dir/../file.o"), "/no/such/file.o");
  const std::string current = std::filesystem::current_path().string();
  EXPECT_EQ(ResolveFullPath("sub/../file.o"), current + "/file.o");
}

TEST(DriverEndToEnd, EveryFailureOfTheInputLoopPrintsItsMessageAndUsage) {
  TempDir dir;
  const Bytes alpha = ObjectDefining("alpha");
  dir.Write("alpha.o", alpha);
  dir.Write("beta.o", ObjectDefining("beta"));
  dir.Write("empty.o", "");
  dir.MakeDirectory("subdir");
  // 259 bytes are passed over whatever they hold; 260 are examined, and an
  // ELF header with only 208 bytes after it is refused by validation.
  dir.Write("short.o", std::string_view(reinterpret_cast<const char*>(alpha.data()), 259));
  dir.Write("elf260.o", std::string_view(reinterpret_cast<const char*>(alpha.data()), 260));
  dir.Write("notes.txt", std::string(300, 'n'));
  dir.Write("option.rsp", "alpha.o\n-x\nmissing.o\n");
  dir.Write("nothing.rsp", " \r\n\t\n\r\r");
  dir.Write("empty.rsp", "");
  dir.Write("nested.rsp", "alpha.o\n@option.rsp\n");
  dir.Write("text-member.a", ArchiveBytes({{"alpha.o/", AsText(alpha)}, {"notes.o/", std::string(300, 't')}}));
  dir.Write("broken.a", ArchiveBytes({{"alpha.o/", AsText(alpha)}, {"beta.o/", "x", "", "`x"}}));
  const std::string brokenPath = CanonicalPath(dir.path()) + "/broken.a";
  // A full path that does not fit the driver's buffer becomes the empty one.
  const std::string tooLong(5000, 'n');
  const std::string longest = AbsolutePathOfLength(4095);
  const std::string oneLonger = AbsolutePathOfLength(4096);

  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // printed before the usage text
    int exitCode;
  };
  const Case cases[] = {
      // The cursor yields the empty string once; it fails to map.
      {{}, "***Error: Could not map in file \"\". Error 0x8000FFFF\n", 255},
      {{"@nothing.rsp"}, "***Error: Could not map in file \"\". Error 0x8000FFFF\n", 255},
      {{"alpha.o", ""}, "***Error: Could not map in file \"\". Error 0x8000FFFF\n", 255},
      // Response files do not nest: the name is taken as a file name.
      {{"@nested.rsp"}, "***Error: Could not map in file \"@option.rsp\". Error 0x80070002\n", 2},
      {{"alpha.o", "-x", "missing.o"}, "***Error: Unrecognized option \"-x\" specified. Return -1.\n", 255},
      {{"-"}, "***Error: Unrecognized option \"-\" specified. Return -1.\n", 255},
      {{"beta.o", "@option.rsp"}, "***Error: Unrecognized option \"-x\" specified. Return -1.\n", 255},
      // Messages quote the argument as written, not its full path.
      {{"./nowhere/../missing.o"}, "***Error: Could not map in file \"./nowhere/../missing.o\". Error 0x80070002\n", 2},
      {{tooLong}, "***Error: Could not map in file \"" + tooLong + "\". Error 0x8000FFFF\n", 255},
      {{longest}, "***Error: Could not map in file \"" + longest + "\". Error 0x80070002\n", 2},
      {{oneLonger}, "***Error: Could not map in file \"" + oneLonger + "\". Error 0x8000FFFF\n", 255},
      {{"empty.o"}, "***Error: Could not map in file \"empty.o\". Error 0x80004005\n", 5},
      {{"subdir"}, "***Error: Could not map in file \"subdir\". Error 0x80070015\n", 0x15},
      {{"short.o", "elf260.o"}, "*** Error 0xBAD0001E parsing ELF file \"elf260.o\"\n", 0x1E},
      {{"short.o", "notes.txt"}, "***Error: Unknown file type \"notes.txt\". Return -1\n", 255},
      {{"text-member.a"}, "*** Error 0xBAD00019 parsing ELF file \"notes.o\"\n", 0x19},
      {{"broken.a"}, "***Error: file \"" + brokenPath + "\" has invalid library file format. Return -1\n", 255},
      {{"@"}, "***Error: Command Line Parser init failed. Return -2147418113.\n", 255},
      {{"alpha.o", "@missing.rsp"}, "***Error: Command Line Parser init failed. Return -2147024894.\n", 2},
      {{"@empty.rsp"}, "***Error: Command Line Parser init failed. Return -2147467259.\n", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message.substr(0, 100));
    const ToolResult result = RunTool(c.arguments, RunIn(dir.path()));
    EXPECT_EQ(result.out, c.message + UsageText());
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.err, "");
  }
}

TEST(DriverEndToEnd, LinkerFilesAreSkippedByTheLastComponentsExtension) {
  TempDir dir;
  dir.Write("x.ld.o", ObjectDefining("from_x_ld_o"));
  dir.Write("dir.ld/y.o", ObjectDefining("from_dir_ld"));
  // The skipped names need not exist: they are never opened.
  const ToolResult result = RunTool({"lib.LD", "x.Lnk", ".ld", "x.ld.o", "dir.ld/y.o"}, RunIn(dir.path()));
  EXPECT_EQ(result.out,
            "Vespane - ignoring lnk/ld \"lib.LD\"\n"
            "Vespane - ignoring lnk/ld \"x.Lnk\"\n"
            "Vespane - ignoring lnk/ld \".ld\"\n" +
                CodeListing({"from_dir_ld", "from_x_ld_o"}));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(DriverEndToEnd, NothingRegisteredEndsWithTheFailureReportEchoingTheArguments) {
  TempDir dir;
  dir.Write("short.o", std::string(259, 'x'));
  dir.Write("more.rsp", "x.Lnk\n./short.o\n");
  dir.Write("no-objects.a", ArchiveBytes({{"readme.txt/", std::string(301, 'r')}}));
  const std::vector<std::string> arguments = {"lib.LD", "short.o", "@more.rsp", "short.o", "no-objects.a"};
  const ToolResult result = RunTool(arguments, RunIn(dir.path()));
  // The echo shows the response file as it was given, not its contents.
  EXPECT_EQ(result.out,
            "Vespane - ignoring lnk/ld \"lib.LD\"\n"
            "Vespane - ignoring lnk/ld \"x.Lnk\"\n"
            "\nERROR: quorlix requires library or object files. Return -1.\n" +
                FailureReport(-1, arguments));
  EXPECT_EQ(result.exitCode, 255);
}

TEST(DriverEndToEnd, OneFullPathNamedManyWaysIsRegisteredOnce) {
  TempDir dir;
  dir.Write("alpha.o", ObjectDefining("alpha"));
  const std::string sub = dir.MakeDirectory("sub");
  dir.Write("list.rsp", "../alpha.o\n");
  // Registered twice, the copies would be reported as the same file in two
  // input files.
  const ToolResult result = RunTool(
      {"../alpha.o", CanonicalPath(dir.Path("alpha.o")), "./../alpha.o", "..//sub/./../alpha.o", "@../list.rsp"},
      RunIn(sub));
  EXPECT_EQ(result.out, CodeListing({"alpha"}));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(DriverEndToEnd, NamesDifferingInLetterCaseAreRegisteredTwice) {
  TempDir dir;
  dir.Write("alpha.o", ObjectDefining("alpha"));
  std::filesystem::create_symlink("alpha.o", dir.Path("ALPHA.O"));
  const ToolResult result = RunTool({"alpha.o", "ALPHA.O"}, RunIn(dir.path()));
  EXPECT_EQ(result.out,
            "!!!WARNING: Exact same object file specified under two different names:\n"
            "    \"alpha.o\" and \"ALPHA.O\"\n." +
                CodeListing({"alpha"}));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(DriverEndToEnd, AFailedWriteToStandardOutputIsNeverSuccess) {
  TempDir dir;
  dir.Write("alpha.o", ObjectDefining("alpha"));
  ToolOptions options = RunIn(dir.path());
  options.standardOutputPath = "/dev/full";
  const std::string complaint = std::string("quorlix: error writing standard output: ") + std::strerror(ENOSPC) + "\n";

  ToolResult result = RunTool({"alpha.o"}, options);
  EXPECT_EQ(result.err, complaint);
  EXPECT_EQ(result.exitCode, 1);

  // A failed run keeps its own status.
  result = RunTool({"missing.o"}, options);
  EXPECT_EQ(result.err, complaint);
  EXPECT_EQ(result.exitCode, 2);
}

TEST(DriverEndToEnd, ThousandsOfInputsStayWithinTheUsualDescriptorLimit) {
  TempDir dir;
  constexpr int kObjects = 2000;
  std::string list;
  std::vector<std::string> names;
  for (int i = 0; i < kObjects; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "sym_%04d", i);
    names.push_back(name);
    const std::string file = std::string(name) + ".o";
    dir.Write(file, ObjectDefining(name, i % 2 == 0 ? ByteOrder::Little : ByteOrder::Big));
    list += file + "\n";
  }
  dir.Write("objects.rsp", list);
  // Every input stays mapped to the end; only the descriptors must not.
  const ToolResult result = RunTool({"-c", "ulimit -n 1024 && exec \"$0\" @objects.rsp", QUORLIX_BINARY},
                                    RunIn(dir.path()), "/bin/sh");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.out == CodeListing(names)) << result.out.substr(0, 2000);
}

}  // namespace
