// The command-line cursor and the splitting of response files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cmdline/command_line_parser.h"
#include "platform/system_status.h"
#include "support/temp_dir.h"

namespace {

using Arguments = std::vector<std::string>;

Arguments Split(std::string_view text) {
  Arguments arguments;
  SplitResponseText(text, &arguments);
  return arguments;
}

TEST(ResponseText, SplitsLinesTrimsBlanksAndGroupsQuotedSpaces) {
  struct Case {
    std::string_view text;
    Arguments expected;
  };
  const Case cases[] = {
      {"", {}},
      {"a.o b.o", {"a.o", "b.o"}},
      // CR LF, LF and CR end lines alike; the last line needs no line end.
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"\r\n\n\r\r\n  \t \r\n\tx\n\n", {"x"}},
      {"   lead and trail \t \r\n", {"lead", "and", "trail"}},
      {"a \t  b", {"a", "b"}},
      {"\"two words\"  next", {"two words", "next"}},
      {"a\"b c\"d", {"ab cd"}},
      // A tab ends an argument even inside quotes.
      {"\"a\tb\"", {"a", "b"}},
      {"\"\"", {""}},
      {"\"\" x", {"", "x"}},
      {"\"open quote runs to the end", {"open quote runs to the end"}},
      // A quote left open ends with its line.
      {"x\"y z\r\nw", {"xy z", "w"}},
      {"\"\"\"", {""}},
      {"back\\slash \\\"", {"back\\slash", "\\"}},
      // Neither is special here; the driver sees them as they are.
      {"@nested.rsp -option", {"@nested.rsp", "-option"}},
      {"\xC3\xA9t\xC3\xA9.o", {"\xC3\xA9t\xC3\xA9.o"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(Split(c.text), c.expected);
  }
}

// Everything the cursor yields after the program name, as the driver walks it.
Arguments Walk(CommandLineParser& parser) {
  Arguments arguments;
  parser.Reset();
  parser.Advance();
  while (parser.HasMore()) {
    arguments.emplace_back(parser.Current());
    parser.Advance();
  }
  EXPECT_EQ(parser.Current(), "");
  return arguments;
}

// An argument vector that outlives the parser reading it.
class Argv {
 public:
  explicit Argv(std::vector<std::string> strings) : strings_(std::move(strings)) {
    for (const std::string& s : strings_) pointers_.push_back(s.c_str());
  }
  Status InitInto(CommandLineParser& parser) const {
    return parser.Init(static_cast<int>(pointers_.size()), pointers_.data());
  }

 private:
  std::vector<std::string> strings_;
  std::vector<const char*> pointers_;
};

TEST(CommandLineParser, YieldsResponseFileArgumentsInPlaceOfTheirFile) {
  TempDir dir;
  const std::string first = dir.Write("first.rsp", "a.o \"b c.o\"\r\n@inner.rsp\n");
  const std::string blank = dir.Write("blank.rsp", "\r\n \t \n");
  const std::string single = dir.Write("single.rsp", "only.o");
  const Argv argv({"quorlix", "@" + single, "x.o",        "@" + first, "@" + blank,
                                         "@" + single, "y.o",     "@" + first, "@" + blank});
  CommandLineParser parser;
  ASSERT_EQ(argv.InitInto(parser), S_OK);
  // A response file named twice is read twice; one that yields nothing
  // leaves no trace, also at the end.
  EXPECT_EQ(Walk(parser), (Arguments{"only.o", "x.o", "a.o", "b c.o", "@inner.rsp", "only.o", "y.o", "a.o", "b c.o",
                                     "@inner.rsp"}));
}

TEST(CommandLineParser, ProgramNameOnlyOrOnlyEmptyResponseFilesYieldNothing) {
  TempDir dir;
  const std::string blank = dir.Write("blank.rsp", " \n");
  for (const std::vector<std::string>& strings :
       {std::vector<std::string>{"quorlix"}, std::vector<std::string>{"quorlix", "@" + blank, "@" + blank}}) {
    const Argv argv(strings);
    CommandLineParser parser;
    ASSERT_EQ(argv.InitInto(parser), S_OK);
    EXPECT_EQ(Walk(parser), Arguments{});
    EXPECT_FALSE(parser.HasMore());
  }
}

TEST(CommandLineParser, AProgramNameBeginningWithAtIsAResponseFile) {
  TempDir dir;
  const std::string names = dir.Write("names.rsp", "p.o q.o");
  const Argv argv({"@" + names, "x.o"});
  CommandLineParser parser;
  ASSERT_EQ(argv.InitInto(parser), S_OK);
  parser.Reset();
  EXPECT_EQ(parser.Current(), "p.o");
  // The one Advance over the "program name" passes over its first argument only.
  EXPECT_EQ(Walk(parser), (Arguments{"q.o", "x.o"}));
}

TEST(CommandLineParser, ResponseFileNamesResolveAgainstTheCurrentDirectory) {
  TempDir dir;
  dir.Write("relative.rsp", "r.o");
  const std::string previous = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  const Argv argv({"quorlix", "@relative.rsp", "@./relative.rsp"});
  CommandLineParser parser;
  const Status status = argv.InitInto(parser);
  std::filesystem::current_path(previous);
  ASSERT_EQ(status, S_OK);
  EXPECT_EQ(Walk(parser), (Arguments{"r.o", "r.o"}));
}

TEST(CommandLineParser, InitReportsTheFirstResponseFileThatCannotBeRead) {
  TempDir dir;
  const std::string good = dir.Write("good.rsp", "a.o");
  const std::string empty = dir.Write("empty.rsp", "");
  struct Case {
    std::vector<std::string> argv;
    Status expected;
  };
  const Case cases[] = {
      {{"quorlix", "@"}, E_UNEXPECTED},
      {{"quorlix", "@" + good, "@" + dir.Path("missing.rsp")}, static_cast<Status>(0x80070002u)},
      {{"quorlix", "@" + empty, "@" + dir.Path("missing.rsp")}, E_FAIL},
      {{"quorlix", "@" + dir.path()}, static_cast<Status>(0x80070015u)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argv.back());
    CommandLineParser parser;
    EXPECT_EQ(Argv(c.argv).InitInto(parser), c.expected);
  }
}

TEST(CommandLineParser, CursorIsEmptyBeforeInitAndAfterABadVector) {
  CommandLineParser parser;
  EXPECT_FALSE(parser.HasMore());
  EXPECT_EQ(parser.Current(), "");
  parser.Reset();
  parser.Advance();
  EXPECT_FALSE(parser.HasMore());

  const char* const noName[] = {nullptr};
  EXPECT_EQ(parser.Init(0, noName), kParserBadArguments);
  EXPECT_EQ(parser.Init(1, nullptr), kParserBadArguments);
  EXPECT_EQ(parser.Init(1, noName), kParserBadArguments);
  EXPECT_FALSE(parser.HasMore());
  EXPECT_EQ(parser.Current(), "");
}

}  // namespace
