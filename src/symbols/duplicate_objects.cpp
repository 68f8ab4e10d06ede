#include "symbols/duplicate_objects.h"

#include <cstring>
#include <unordered_map>

#include "elf/elf_layout.h"
#include "input/object_registry.h"

namespace {

uint16_t SectionCount(const ObjectRecord& object) {
  return LoadUnaligned<uint16_t>(object.image + offsetof(Elf32_Ehdr, e_shnum));
}

uint64_t SizeAndSectionKey(const ObjectRecord& object) { return (uint64_t{object.size} << 16) | SectionCount(object); }

// 64x64->128-bit multiply, folded: the mixing step of the hash below.
uint64_t Mix(uint64_t a, uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

// A hash of every byte. Four independent lanes over 64-byte blocks keep the
// multiplier busy; what costs is reading the image from memory at all.
uint64_t HashWholeImage(const ObjectRecord& object) {
  constexpr uint64_t kSeeds[4] = {0xa0761d6478bd642fu, 0xe7037ed1a0b428dbu, 0x8ebc6af09c88c6e3u, 0x589965cc75374cc3u};
  uint64_t lanes[4] = {kSeeds[0], kSeeds[1], kSeeds[2], kSeeds[3]};
  const uint8_t* bytes = object.image;
  size_t i = 0;
  for (; i + 64 <= object.size; i += 64) {
    for (size_t lane = 0; lane < 4; ++lane) {
      const uint64_t first = LoadUnaligned<uint64_t>(bytes + i + 16 * lane);
      const uint64_t second = LoadUnaligned<uint64_t>(bytes + i + 16 * lane + 8);
      lanes[lane] = Mix(first ^ kSeeds[lane], second ^ lanes[lane]);
    }
  }
  uint64_t hash = Mix(lanes[0] ^ lanes[1], lanes[2] ^ lanes[3] ^ object.size);
  for (; i < object.size; ++i) hash = Mix(hash ^ bytes[i], kSeeds[i % 4]);
  return hash;
}

// A hash of a sample of the image: its first and last 256 bytes and 16 bytes
// at each of 32 evenly spread places. Objects that merely share size and
// section count (a generated library's units, say) nearly always differ there
// already, so only objects that look alike are read whole. The sample is kept
// to a few pages on purpose: touching a page costs far more than hashing it.
uint64_t HashImageSample(const ObjectRecord& object) {
  constexpr size_t kEdge = 256;
  constexpr size_t kProbes = 32;
  constexpr size_t kProbe = 16;
  constexpr uint64_t kMultiplier = 0x9FB21C651E98DF25u;
  const uint8_t* bytes = object.image;
  const size_t size = object.size;
  uint64_t hash = Mix(size, 0x9E3779B97F4A7C15u);
  auto add = [&](size_t from, size_t length) {
    for (size_t i = from; i + 8 <= from + length; i += 8) {
      hash = Mix(hash ^ LoadUnaligned<uint64_t>(bytes + i), kMultiplier);
    }
  };
  if (size <= 2 * kEdge + kProbes * kProbe) {
    add(0, size);
    return hash;
  }
  add(0, kEdge);
  const size_t middle = size - 2 * kEdge - kProbe;
  for (size_t probe = 0; probe < kProbes; ++probe) add(kEdge + middle * probe / kProbes, kProbe);
  add(size - kEdge, kEdge);
  return hash;
}

using Group = std::vector<size_t>;  // indices into the objects, ascending

// Splits every group by `key` and keeps the parts that still hold two or
// more objects: only those can hold copies.
template <typename Key>
std::vector<Group> Refine(const std::vector<Group>& groups, const std::vector<ObjectRecord*>& objects, Key key) {
  std::vector<Group> refined;
  std::unordered_map<uint64_t, Group> parts;
  for (const Group& group : groups) {
    parts.clear();
    for (size_t index : group) parts[key(*objects[index])].push_back(index);
    for (auto& [unused, part] : parts) {
      if (part.size() >= 2) refined.push_back(std::move(part));
    }
  }
  return refined;
}

}  // namespace

bool IsCopyOf(const ObjectRecord& earlier, const ObjectRecord& later) {
  return earlier.size == later.size && SectionCount(earlier) == SectionCount(later) &&
         std::memcmp(earlier.image, later.image, later.size) == 0;
}

std::vector<ObjectRecord*> FindEarlierCopies(const std::vector<ObjectRecord*>& objectsOldestFirst) {
  const std::vector<ObjectRecord*>& objects = objectsOldestFirst;
  std::vector<ObjectRecord*> copyOf(objects.size(), nullptr);

  Group everything(objects.size());
  for (size_t i = 0; i < everything.size(); ++i) everything[i] = i;
  std::vector<Group> candidates = Refine({everything}, objects, SizeAndSectionKey);
  candidates = Refine(candidates, objects, HashImageSample);
  candidates = Refine(candidates, objects, HashWholeImage);

  // Within a group of equal hashes, the nearest earlier copy is found by
  // walking back from each object; it is nearly always the one just before.
  for (const Group& group : candidates) {
    for (size_t position = 1; position < group.size(); ++position) {
      ObjectRecord* object = objects[group[position]];
      for (size_t earlier = position; earlier-- > 0;) {
        if (IsCopyOf(*objects[group[earlier]], *object)) {
          copyOf[group[position]] = objects[group[earlier]];
          break;
        }
      }
    }
  }
  return copyOf;
}
