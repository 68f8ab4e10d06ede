// Walking "!<arch>\n" archives: archives made by the usual archivers, and
// hand-made ones with every kind of damaged or unusual member.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "input/archive_reader.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "support/archive_writer.h"
#include "support/elf_builder.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace {

using Names = std::vector<std::string>;

struct WalkResult {
  Status status = S_OK;
  std::string output;
  Names registered;  // in the order of registration
};

// Reads the archive at `path` in-process, then frees what it registered and
// checks that every reference taken on the file was given back.
WalkResult WalkArchive(const std::string& path) {
  WalkResult result;
  MappedFile* file = MapForTest(path);
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return result;
  {
    CapturedOutput output;
    result.status = ReadArchive(file);
    result.output = output.Text();
  }
  for (const ObjectRecord* record = g_objectList; record != nullptr; record = record->next) {
    result.registered.insert(result.registered.begin(), record->name);
    EXPECT_EQ(record->container, file);
    // Member data begins at an even offset, whatever came before it.
    EXPECT_EQ((record->image - file->view) % 2, 0) << record->name;
    EXPECT_LE(record->image + record->size, file->view + file->size) << record->name;
  }
  ResetRunState();
  EXPECT_EQ(ReleaseMappedFile(file), 0);
  return result;
}

class ArchiveReaderTest : public testing::Test {
 protected:
  void SetUp() override { ResetRunState(); }
  void TearDown() override { ResetRunState(); }
};

std::string FixtureObject(const char* flavour) {
  return ReadFile(std::string(QUORLIX_FIXTURE_DIR) + "/" + flavour + "/basics.o");
}

TEST_F(ArchiveReaderTest, ArchivesOfTheUsualArchiversRegisterTheirObjectMembersInOrder) {
  TempDir dir;
  const std::string oddObject = AsText(ObjectDefining("odd", ByteOrder::Little, 1));
  ASSERT_EQ(oddObject.size() % 2, 1u);
  ASSERT_FALSE(FixtureObject("i386").empty());
  dir.Write("a.o", FixtureObject("i386"));
  dir.Write("a_very_long_object_name.o", AsText(ObjectDefining("long_name", ByteOrder::Big)));
  dir.Write("readme.txt", "odd text\n");
  dir.Write("odd.o", oddObject);
  dir.Write("lib.so.1", "not an object, and not registered\n");
  dir.Write(".o", "named like an object, but its only dot is its first character");
  dir.Write("util.O", FixtureObject("ppc"));
  dir.Write("util.obj", AsText(ObjectDefining("util_obj")));
  const std::string members = "a.o a_very_long_object_name.o readme.txt odd.o lib.so.1 .o util.O util.obj";

  for (const std::string archiver : {"ar", "llvm-ar"}) {
    SCOPED_TRACE(archiver);
    const std::string archive = archiver + ".a";
    ASSERT_EQ(std::system(("cd '" + dir.path() + "' && " + archiver + " rcs " + archive + " " + members).c_str()), 0);
    const std::string bytes = ReadFile(dir.Path(archive));
    // A symbol table first, and a long-name table somewhere.
    ASSERT_EQ(bytes.substr(0, 10), "!<arch>\n/ ");
    ASSERT_NE(bytes.find("//              "), std::string::npos);

    const WalkResult result = WalkArchive(dir.Path(archive));
    EXPECT_EQ(result.status, S_OK);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.registered, (Names{"a.o", "a_very_long_object_name.o", "odd.o", "util.O", "util.obj"}));
  }
}

TEST_F(ArchiveReaderTest, HandMadeArchivesEndTheWalkAsTheirHeadersSay) {
  const std::string object = AsText(ObjectDefining("member"));
  const std::string oddObject = AsText(ObjectDefining("odd_member", ByteOrder::Big, 3));
  ASSERT_EQ(oddObject.size() % 2, 1u);
  const std::string text(300, 't');

  struct Case {
    const char* label;
    std::vector<ArchiveMember> members;
    std::string trailing;
    Status status;
    std::string message;  // "@" stands for the archive's path
    Names registered;
  };
  const std::string badFormat = "***Error: file \"@\" has invalid library file format. Return -1\n";
  const std::string badSize = "***Error: Invalid file size for file inside \"@\".\n";
  const Case cases[] = {
      {"only the character after the last dot counts",
       {{"readme.txt/", object},
        {"lib.so.1/", object},
        {".o/", object},
        {"x./", object},
        {"util.O/", object},
        {"util.obj/", object},
        {"a.b.o/", object}},
       "", S_OK, "", {"util.O", "util.obj", "a.b.o"}},
      {"long names end at a slash or at the table's end",
       {{"/", std::string(4, '\0')},
        {"//", "first_long_name.o/\nlast_long_name.o"},
        {"/19", object},
        {"/0", object},
        {"/17", object},  // an empty name
        {"/34", object},  // "o", the table's last byte
        {"/35", object},  // past the table
        {"/-1", object},
        {"short.o/", object}},
       "", S_OK, "", {"last_long_name.o", "first_long_name.o", "short.o"}},
      {"a long-name reference before the table names nothing",
       {{"/0", object}, {"//", "long_object_name.o/\n"}, {"/0", object}},
       "", S_OK, "", {"long_object_name.o"}},
      // Read as a long-name reference, and no table has been met.
      {"a name without its closing slash",
       {{"plain.o", object}, {"a.o/", object}}, "", S_OK, "", {"a.o"}},
      {"an odd member is followed by a pad byte",
       {{"odd.o/", oddObject}, {"b.o/", object}}, "", S_OK, "", {"odd.o", "b.o"}},
      {"an odd last member without its pad byte",
       {{"a.o/", object}, {"odd.o/", oddObject, "", "`\n", false}}, "", S_OK, "", {"a.o", "odd.o"}},
      {"one trailing byte", {{"a.o/", object}}, "x", S_OK, "", {"a.o"}},
      {"59 trailing bytes", {{"a.o/", object}}, std::string(59, '\n'), S_OK, "", {"a.o"}},
      {"60 trailing bytes are a header", {{"a.o/", object}}, std::string(60, ' '), -1, badFormat, {"a.o"}},
      {"a bad end marker after registered members",
       {{"a.o/", object}, {"b.o/", object, "", "`\r"}, {"c.o/", object}}, "", -1, badFormat, {"a.o"}},
      {"size 0", {{"a.o/", object}, {"b.o/", "", "0"}, {"c.o/", object}}, "", -4, badSize, {"a.o"}},
      {"a size without digits, even for the symbol table",
       {{"a.o/", object}, {"/", std::string(4, '\0'), "size"}, {"c.o/", object}}, "", -4, badSize, {"a.o"}},
      {"a text member named like an object",
       {{"a.o/", object}, {"notes.o/", text}, {"c.o/", object}}, "", static_cast<Status>(0xBAD00019u),
       "*** Error 0xBAD00019 parsing ELF file \"notes.o\"\n", {"a.o"}},
      {"a short text member named like an object",
       {{"notes.o/", "just a few words"}, {"c.o/", object}}, "", static_cast<Status>(0xBAD00018u),
       "*** Error 0xBAD00018 parsing ELF file \"notes.o\"\n", {}},
      {"a qualifying member running past the end",
       {{"a.o/", object}, {"big.o/", object, "100000"}}, "", -1,
       "***Error: Member \"big.o\" of \"@\" runs past the end of the file. Return -1\n", {"a.o"}},
      {"a qualifying member of negative size",
       {{"a.o/", object}, {"neg.o/", object, "-8"}}, "", -1,
       "***Error: Member \"neg.o\" of \"@\" runs past the end of the file. Return -1\n", {"a.o"}},
      {"any other member running past the end ends the walk",
       {{"a.o/", object}, {"big.txt/", object, "100000"}, {"c.o/", object}}, "", S_OK, "", {"a.o"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    const std::string path = dir.Write("lib.a", ArchiveBytes(c.members, c.trailing));
    std::string message = c.message;
    if (const size_t at = message.find('@'); at != std::string::npos) message.replace(at, 1, path);

    const WalkResult result = WalkArchive(path);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.output, message);
    EXPECT_EQ(result.registered, c.registered);
  }
}

}  // namespace
