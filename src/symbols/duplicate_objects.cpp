#include "symbols/duplicate_objects.h"

#include <cstring>
#include <unordered_map>

#include "elf/elf_layout.h"
#include "input/object_registry.h"

namespace {

uint16_t SectionCount(const ObjectRecord& object) {
  return LoadUnaligned<uint16_t>(object.image + offsetof(Elf32_Ehdr, e_shnum));
}

uint64_t SizeAndSectionKey(const ObjectRecord& object) {
  return (uint64_t{object.size} << 16) | SectionCount(object);
}

// FNV-1a over 8-byte words: a cheap filter, never the final word.
uint64_t HashImage(const ObjectRecord& object) {
  uint64_t hash = 0xcbf29ce484222325u;
  const uint8_t* bytes = object.image;
  size_t i = 0;
  for (; i + 8 <= object.size; i += 8) {
    hash = (hash ^ LoadUnaligned<uint64_t>(bytes + i)) * 0x100000001b3u;
  }
  for (; i < object.size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3u;
  return hash;
}

}  // namespace

bool IsCopyOf(const ObjectRecord& earlier, const ObjectRecord& later) {
  return earlier.size == later.size && SectionCount(earlier) == SectionCount(later) &&
         std::memcmp(earlier.image, later.image, later.size) == 0;
}

std::vector<ObjectRecord*> FindEarlierCopies(const std::vector<ObjectRecord*>& objectsOldestFirst) {
  const size_t count = objectsOldestFirst.size();
  std::vector<ObjectRecord*> copyOf(count, nullptr);

  std::unordered_map<uint64_t, uint32_t> objectsPerShape;
  objectsPerShape.reserve(count);
  for (const ObjectRecord* object : objectsOldestFirst) ++objectsPerShape[SizeAndSectionKey(*object)];

  // Objects of one shape and one hash, oldest first; the nearest earlier copy
  // is found by walking such a group backwards from the newest member.
  std::unordered_map<uint64_t, std::vector<size_t>> groups;
  for (size_t i = 0; i < count; ++i) {
    ObjectRecord* object = objectsOldestFirst[i];
    const uint64_t shape = SizeAndSectionKey(*object);
    if (objectsPerShape[shape] < 2) continue;
    std::vector<size_t>& group = groups[shape * 0x9E3779B97F4A7C15u ^ HashImage(*object)];
    for (auto earlier = group.rbegin(); earlier != group.rend(); ++earlier) {
      if (IsCopyOf(*objectsOldestFirst[*earlier], *object)) {
        copyOf[i] = objectsOldestFirst[*earlier];
        break;
      }
    }
    group.push_back(i);
  }
  return copyOf;
}
