// Registration of validated object images on the process-wide object list.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "support/archive_writer.h"
#include "support/elf_builder.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace {

class ObjectRegistryTest : public testing::Test {
 protected:
  void SetUp() override { ResetRunState(); }
  void TearDown() override { ResetRunState(); }
};

TEST(ObjectRegistryBaseName, IsThePartAfterTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(BaseName("/work/lib/util.o"), "util.o");
  EXPECT_EQ(BaseName("C:\\work\\lib\\util.o"), "util.o");
  EXPECT_EQ(BaseName("/work\\lib/sub\\util.o"), "util.o");
  EXPECT_EQ(BaseName("util.o"), "util.o");
  EXPECT_EQ(BaseName("/work/"), "");
}

TEST_F(ObjectRegistryTest, BareFileIsRegisteredUnderItsBaseNameAndPassesOnItsReference) {
  TempDir dir;
  MappedFile* file = MapForTest(dir.Write("lib/util.o", StandardObject(ByteOrder::Big)));
  ASSERT_NE(file, nullptr);
  CapturedOutput output;
  ASSERT_EQ(RegisterBareObject(file), S_OK);
  EXPECT_EQ(output.Text(), "");
  ASSERT_EQ(g_objectCount, 1);
  const ObjectRecord& record = *g_objectList;
  EXPECT_EQ(record.name, "util.o");
  EXPECT_EQ(record.container, file);
  EXPECT_EQ(record.image, file->view);
  EXPECT_EQ(record.size, file->size);
  EXPECT_EQ(record.next, nullptr);
  // The record's reference replaced the caller's.
  EXPECT_EQ(file->refCount.load(), 1);
}

TEST_F(ObjectRegistryTest, RefusedImagesLeaveNoRecordAndTheCountAsItWas) {
  struct Case {
    const char* name;
    ByteOrder order;
    void (*damage)(Bytes&);
    std::string message;
    Status status;
  };
  const Case cases[] = {
      // Read after validation has put the header in host order.
      {"exe.o", ByteOrder::Big, [](Bytes& image) { SetHeader16(image, offsetof(Elf32_Ehdr, e_type), 2); },
       "*** Error Object file \"exe.o\" is not relocatable. return -1.\n", -1},
      {"bare.o", ByteOrder::Little,
       [](Bytes& image) {
         SetHeader16(image, offsetof(Elf32_Ehdr, e_shnum), 0);
         SetHeader16(image, offsetof(Elf32_Ehdr, e_shstrndx), 0);
       },
       "*** Error Object file \"bare.o\" has no sections. return -1.\n", -1},
      {"tiny.o", ByteOrder::Big, [](Bytes& image) { image.resize(259); },
       "*** Error 0xBAD00018 parsing ELF file \"tiny.o\"\n", static_cast<Status>(0xBAD00018u)},
      {"wide.o", ByteOrder::Little, [](Bytes& image) { image[EI_CLASS] = 2; },
       "*** Error 0xBAD0001A parsing ELF file \"wide.o\"\n", static_cast<Status>(0xBAD0001Au)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Bytes image = StandardObject(c.order);
    c.damage(image);
    MappedFile* file = MapForTest(dir.Write(c.name, image));
    ASSERT_NE(file, nullptr);
    CapturedOutput output;
    EXPECT_EQ(RegisterBareObject(file), c.status);
    EXPECT_EQ(output.Text(), c.message);
    EXPECT_EQ(g_objectCount, 0);
    EXPECT_EQ(g_objectList, nullptr);
    EXPECT_EQ(ReleaseMappedFile(file), 0);
  }
}

TEST_F(ObjectRegistryTest, RecordsGoToTheHeadAndEachHoldsAReference) {
  TempDir dir;
  MappedFile* file = MapForTest(dir.Write("lib.a", ObjectDefining("shared")));
  ASSERT_NE(file, nullptr);
  const uint32_t size = static_cast<uint32_t>(file->size);
  // The name is copied up to its length or up to a NUL, whichever is first.
  const char withNul[] = "B.o\0junk";
  ASSERT_EQ(RegisterObject(file, file->view, size, "A.o", 3), S_OK);
  ASSERT_EQ(RegisterObject(file, file->view, size, withNul, sizeof withNul - 1), S_OK);
  ASSERT_EQ(RegisterObject(file, file->view, size, "C.o.extra", 3), S_OK);

  EXPECT_EQ(g_objectCount, 3);
  std::vector<std::string> names;
  for (const ObjectRecord* record = g_objectList; record != nullptr; record = record->next) {
    names.push_back(record->name);
    EXPECT_EQ(record->container, file);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"C.o", "B.o", "A.o"}));
  EXPECT_EQ(file->refCount.load(), 4);

  // A refusal names the object by at most its length, and changes nothing.
  CapturedOutput output;
  EXPECT_EQ(RegisterObject(file, file->view, 259, "tiny.o.extra", 6), static_cast<Status>(0xBAD00018u));
  EXPECT_EQ(output.Text(), "*** Error 0xBAD00018 parsing ELF file \"tiny.o\"\n");
  EXPECT_EQ(g_objectCount, 3);
  EXPECT_EQ(g_objectList->name, "C.o");
  EXPECT_EQ(ReleaseMappedFile(file), 3);
}

}  // namespace
