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

// A filter, never the final word: four independent multiply-xor lanes over
// 32-byte blocks keep the multiplier busy, then the tail and the lanes fold.
uint64_t HashImage(const ObjectRecord& object) {
  constexpr uint64_t kPrime = 0x9E3779B97F4A7C15u;
  uint64_t lanes[4] = {kPrime, kPrime ^ 1, kPrime ^ 2, kPrime ^ 3};
  const uint8_t* bytes = object.image;
  size_t i = 0;
  for (; i + 32 <= object.size; i += 32) {
    for (size_t lane = 0; lane < 4; ++lane) {
      lanes[lane] = (lanes[lane] ^ LoadUnaligned<uint64_t>(bytes + i + 8 * lane)) * kPrime;
      lanes[lane] ^= lanes[lane] >> 29;
    }
  }
  uint64_t hash = lanes[0] ^ (lanes[1] * 3) ^ (lanes[2] * 5) ^ (lanes[3] * 7);
  for (; i < object.size; ++i) hash = (hash ^ bytes[i]) * kPrime;
  return hash ^ (hash >> 32);
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
