#include "elf/start_overlap.h"

#include <algorithm>
#include <numeric>
#include <queue>

size_t FirstStartInsideLaterExtent(const std::vector<Extent>& extents) {
  const size_t count = extents.size();
  std::vector<uint32_t> byStart(count);
  std::iota(byStart.begin(), byStart.end(), 0u);
  std::stable_sort(byStart.begin(), byStart.end(),
                   [&](uint32_t a, uint32_t b) { return extents[a].start < extents[b].start; });

  // Sweep the starts in ascending order, holding every extent that has begun.
  // The heap is ordered by table index, so its top (once extents that ended
  // at or before the current point are dropped) is the highest-numbered
  // extent that holds the point.
  struct Active {
    uint32_t index;
    uint64_t end;
    bool operator<(const Active& other) const { return index < other.index; }
  };
  std::priority_queue<Active> active;
  size_t first = kNoExtent;
  size_t added = 0;
  for (size_t k = 0; k < count; ++k) {
    const uint32_t point = extents[byStart[k]].start;
    for (; added < count && extents[byStart[added]].start <= point; ++added) {
      const Extent& extent = extents[byStart[added]];
      const uint64_t end = uint64_t{extent.start} + extent.size;
      if (end < (uint64_t{1} << 32)) active.push({byStart[added], end});
    }
    while (!active.empty() && active.top().end <= point) active.pop();
    if (!active.empty() && active.top().index > byStart[k]) first = std::min<size_t>(first, byStart[k]);
  }
  return first;
}
