#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "input/object_registry.h"
#include "symbols/duplicate_objects.h"

namespace {

// The straightforward search that FindEarlierCopies must agree with: for
// each object from the newest, walk the earlier ones newest first and take
// the first whose size, e_shnum and bytes all equal its own.
std::vector<ObjectRecord*> QuadraticCopySearch(const std::vector<ObjectRecord*>& oldestFirst) {
  std::vector<ObjectRecord*> copyOf(oldestFirst.size(), nullptr);
  for (size_t later = oldestFirst.size(); later-- > 0;) {
    const ObjectRecord& o = *oldestFirst[later];
    for (size_t earlier = later; earlier-- > 0;) {
      const ObjectRecord& e = *oldestFirst[earlier];
      uint16_t oSections;
      uint16_t eSections;
      std::memcpy(&oSections, o.image + offsetof(Elf32_Ehdr, e_shnum), sizeof oSections);
      std::memcpy(&eSections, e.image + offsetof(Elf32_Ehdr, e_shnum), sizeof eSections);
      if (e.size == o.size && eSections == oSections && std::memcmp(e.image, o.image, o.size) == 0) {
        copyOf[later] = oldestFirst[earlier];
        break;
      }
    }
  }
  return copyOf;
}

// A random object set drawn from a few contents, so that copies are common:
// the contents share sizes and section counts, some differ in one byte only.
class ObjectSet {
 public:
  ObjectSet(std::mt19937& random, size_t objectCount) {
    std::uniform_int_distribution<int> contentCount(1, 6);
    const int distinct = contentCount(random);
    static const uint32_t kSizes[] = {52, 61, 64, 67};
    std::uniform_int_distribution<size_t> pickSize(0, 1);  // at most two sizes: most pairs need a byte look
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> coin(0, 3);
    const size_t sizeBase = random() % 3;
    for (int c = 0; c < distinct; ++c) {
      const uint32_t size = kSizes[sizeBase + pickSize(random)];
      std::vector<uint8_t> image(size);
      if (c > 0 && coin(random) != 0 && contents_[c - 1].size() == size) {
        // A near twin of the previous content: one byte differs, sometimes
        // the section count, sometimes the last byte.
        image = contents_[c - 1];
        const size_t where = coin(random) == 0 ? offsetof(Elf32_Ehdr, e_shnum) : random() % size;
        image[where] ^= static_cast<uint8_t>(1 + random() % 255);
      } else {
        for (uint8_t& b : image) b = static_cast<uint8_t>(byte(random));
      }
      contents_.push_back(image);
    }
    // Every object gets its own copy of its bytes (as separate files would)
    // and a name that may or may not match another's.
    std::uniform_int_distribution<int> pickContent(0, distinct - 1);
    images_.reserve(objectCount);
    for (size_t i = 0; i < objectCount; ++i) {
      images_.push_back(contents_[static_cast<size_t>(pickContent(random))]);
      ObjectRecord record{};
      record.size = static_cast<uint32_t>(images_.back().size());
      record.name = "o" + std::to_string(random() % 3) + ".o";
      records_.push_back(record);
    }
    for (size_t i = 0; i < objectCount; ++i) records_[i].image = images_[i].data();
    for (ObjectRecord& record : records_) pointers_.push_back(&record);
  }

  const std::vector<ObjectRecord*>& OldestFirst() const { return pointers_; }

 private:
  std::vector<std::vector<uint8_t>> contents_;
  std::vector<std::vector<uint8_t>> images_;
  std::vector<ObjectRecord> records_;
  std::vector<ObjectRecord*> pointers_;
};

TEST(DuplicateObjects, AgreesWithTheQuadraticSearchOnRandomSets) {
  std::mt19937 random(4242);
  std::uniform_int_distribution<size_t> count(0, 40);
  size_t copiesSeen = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const ObjectSet set(random, count(random));
    const std::vector<ObjectRecord*> expected = QuadraticCopySearch(set.OldestFirst());
    ASSERT_EQ(FindEarlierCopies(set.OldestFirst()), expected) << "trial " << trial;
    for (ObjectRecord* copy : expected) copiesSeen += copy != nullptr;
  }
  // The sets must actually exercise the search.
  EXPECT_GT(copiesSeen, 10000u);
}

TEST(DuplicateObjects, SizeAndSectionCountAloneMakeNoCopy) {
  // Equal sizes and section counts with different bytes, and equal bytes up
  // to the shorter length: none is a copy; the exact twin is.
  std::vector<uint8_t> base(64, 0x11);
  std::vector<uint8_t> lastByte = base;
  lastByte.back() = 0x12;
  std::vector<uint8_t> longer = base;
  longer.push_back(0x11);
  std::vector<uint8_t> twin = base;
  std::vector<std::vector<uint8_t>*> images = {&base, &lastByte, &longer, &twin};
  std::vector<ObjectRecord> records(images.size());
  std::vector<ObjectRecord*> oldestFirst;
  for (size_t i = 0; i < images.size(); ++i) {
    records[i].image = images[i]->data();
    records[i].size = static_cast<uint32_t>(images[i]->size());
    oldestFirst.push_back(&records[i]);
  }
  const std::vector<ObjectRecord*> copies = FindEarlierCopies(oldestFirst);
  EXPECT_EQ(copies, (std::vector<ObjectRecord*>{nullptr, nullptr, nullptr, &records[0]}));
  EXPECT_TRUE(IsCopyOf(records[0], records[3]));
  EXPECT_FALSE(IsCopyOf(records[0], records[1]));
  EXPECT_FALSE(IsCopyOf(records[0], records[2]));
}

}  // namespace
