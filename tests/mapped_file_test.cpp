// Input files mapped whole as private, writable views with a reference count.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "input/mapped_file.h"
#include "platform/private_file_view.h"
#include "platform/system_status.h"
#include "support/temp_dir.h"

namespace {

std::string ViewText(const MappedFile& file) {
  return std::string(reinterpret_cast<const char*>(file.view), file.size);
}

TEST(MappedFile, WritesThroughTheViewStayPrivateToThatView) {
  TempDir dir;
  // Small files are read into the heap, large ones mapped: both must behave
  // as a private copy.
  for (const uint64_t size : {uint64_t{14}, kLargestHeapFile + 1}) {
    SCOPED_TRACE(size);
    std::string contents(size, 'b');
    contents.front() = 'o';
    const std::string path = dir.Write("data.o", contents);
    MappedFile* first = nullptr;
    MappedFile* second = nullptr;
    ASSERT_EQ(OpenMappedFile(path, &first), S_OK);
    ASSERT_EQ(OpenMappedFile(path, &second), S_OK);
    EXPECT_EQ(first->viewInOwnMapping, size > kLargestHeapFile);
    EXPECT_EQ(first->path, path);
    EXPECT_EQ(first->refCount.load(), 1);
    ASSERT_EQ(first->size, size);

    first->view[0] = 'O';
    first->view[size - 1] = 'B';
    std::string changed = contents;
    changed.front() = 'O';
    changed.back() = 'B';
    EXPECT_TRUE(ViewText(*first) == changed);
    EXPECT_TRUE(ViewText(*second) == contents);
    EXPECT_TRUE(ReadFile(path) == contents);

    ReleaseMappedFile(first);
    ReleaseMappedFile(second);
    EXPECT_TRUE(ReadFile(path) == contents);
  }
}

TEST(MappedFile, TheLastReleaseGivesTheViewBack) {
  TempDir dir;
  for (const uint64_t size : {uint64_t{1}, kLargestHeapFile + 1}) {
    SCOPED_TRACE(size);
    const std::string contents(size, 'x');
    MappedFile* file = nullptr;
    ASSERT_EQ(OpenMappedFile(dir.Write("file.o", contents), &file), S_OK);
    AddMappedFileReference(file);
    EXPECT_EQ(ReleaseMappedFile(file), 1);
    // Still there for the remaining holder.
    EXPECT_TRUE(ViewText(*file) == contents);
    EXPECT_EQ(ReleaseMappedFile(file), 0);
  }
}

TEST(MappedFile, RefusesWhatCannotBeMappedWhole) {
  TempDir dir;
  const std::string empty = dir.Write("empty.o", "");
  // A sparse file of 4 GiB costs no disk space.
  const std::string huge = dir.Write("huge.o", "");
  ASSERT_EQ(::truncate(huge.c_str(), off_t{1} << 32), 0);
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::write(pipeEnds[1], "bytes", 5), 5);
  const std::string pipePath = "/proc/self/fd/" + std::to_string(pipeEnds[0]);
  // A named pipe that nobody writes to must be refused, not waited on.
  const std::string fifo = dir.Path("fifo.o");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  struct Case {
    std::string path;
    Status expected;
  };
  const Case cases[] = {
      {"", E_UNEXPECTED},
      {dir.Path("missing.o"), static_cast<Status>(0x80070002u)},
      {dir.path(), static_cast<Status>(0x80070015u)},  // EISDIR
      {empty, E_FAIL},
      {huge, E_FAIL},
      {pipePath, E_FAIL},  // reports no size
      {fifo, E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MappedFile sentinel;
    MappedFile* file = &sentinel;
    EXPECT_EQ(OpenMappedFile(c.path, &file), c.expected);
    if (!c.path.empty()) {
      EXPECT_EQ(file, nullptr);
    }
  }
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

}  // namespace
