// The pair test shared by sections and segments: does the first byte of an
// extent lie inside an extent that comes after it in table order?
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Extent {
  uint32_t start;
  uint32_t size;
};

constexpr size_t kNoExtent = static_cast<size_t>(-1);

// The first i, in order, for which some j > i has
//   extents[j].start <= extents[i].start < extents[j].start + extents[j].size,
// the end formed modulo 2^32 (so an extent whose end wraps contains nothing);
// kNoExtent when there is none. Gives exactly what the pairwise loop over
// (i, j) gives, in O(n log n).
size_t FirstStartInsideLaterExtent(const std::vector<Extent>& extents);
