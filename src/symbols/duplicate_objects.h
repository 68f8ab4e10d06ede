// Finding objects whose images are byte for byte those of an object
// registered before them.
#pragma once

#include <vector>

struct ObjectRecord;

// For the objects in registration order (oldest first), entry i of the result
// is the nearest earlier object that is a copy of object i, or nullptr. Two
// objects are copies when their sizes, their e_shnum and all their bytes are
// equal. Candidates are narrowed by size and e_shnum, then by a hash of a
// sample of their bytes, then by a hash of all of them; bytes are compared
// only within equal hashes.
std::vector<ObjectRecord*> FindEarlierCopies(const std::vector<ObjectRecord*>& objectsOldestFirst);

// The byte-for-byte test itself.
bool IsCopyOf(const ObjectRecord& earlier, const ObjectRecord& later);
