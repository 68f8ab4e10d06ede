#include "symbols/symbol_table.h"

#include <algorithm>
#include <cstring>

int CompareSymbolNames(const char* a, int32_t aLength, const char* b, int32_t bLength) {
  const size_t common = static_cast<size_t>(std::min(aLength, bLength));
  // memcmp compares as unsigned char, which is the order wanted.
  if (const int order = std::memcmp(a, b, common); order != 0) return order;
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

SymbolTable::SymbolTable() {
  sentinel_.parent = &sentinel_;
  sentinel_.left = &sentinel_;
  sentinel_.right = &sentinel_;
}

SymbolTable::~SymbolTable() {
  if (root_ != nullptr) FreeSubtree(root_);
}

void SymbolTable::FreeSubtree(SymbolRecord* record) {
  // Recursion depth is bounded by the tree's height, at most 2*log2(n+1).
  if (!IsSentinel(record->left)) FreeSubtree(record->left);
  if (!IsSentinel(record->right)) FreeSubtree(record->right);
  delete record;
}

SymbolRecord* SymbolTable::FindSymbol(const char* name, int32_t nameLength, SymbolRecord** lastVisited,
                                      int32_t* lastComparison) const {
  if (lastVisited != nullptr) *lastVisited = nullptr;
  if (lastComparison != nullptr) *lastComparison = 0;
  if (root_ == nullptr) return nullptr;
  SymbolRecord* current = root_;
  SymbolRecord* last = nullptr;
  int comparison = 0;
  while (!IsSentinel(current)) {
    comparison = CompareSymbolNames(name, nameLength, current->name, current->nameLength);
    if (comparison == 0) break;
    last = current;
    current = comparison < 0 ? current->left : current->right;
  }
  if (lastVisited != nullptr) *lastVisited = last;
  if (lastComparison != nullptr) *lastComparison = comparison;
  return IsSentinel(current) ? nullptr : current;
}

void SymbolTable::LinkSymbol(SymbolRecord* record, SymbolRecord* lastVisited, int32_t lastComparison) {
  record->left = &sentinel_;
  record->right = &sentinel_;
  record->red = 1;
  record->parent = lastVisited;
  if (lastVisited == nullptr) {
    root_ = record;
  } else if (lastComparison < 0) {
    lastVisited->left = record;
  } else {
    lastVisited->right = record;
  }
  BalanceAfterInsert(record);
}

void SymbolTable::BalanceAfterInsert(SymbolRecord* x) {
  if (x == root_) {
    x->red = 0;
    return;
  }
  for (;;) {
    SymbolRecord* parent = x->parent;
    if (!parent->red) break;
    SymbolRecord* grandparent = parent->parent;  // a red record is never the root
    if (parent == grandparent->left) {
      SymbolRecord* uncle = grandparent->right;
      if (uncle->red) {
        parent->red = 0;
        uncle->red = 0;
        grandparent->red = 1;
        x = grandparent;
      } else {
        if (x == parent->right) {
          x = parent;
          RotateLeft(x);
        }
        x->parent->red = 0;
        x->parent->parent->red = 1;
        RotateRight(x->parent->parent);
      }
    } else {
      SymbolRecord* uncle = grandparent->left;
      if (uncle->red) {
        parent->red = 0;
        uncle->red = 0;
        grandparent->red = 1;
        x = grandparent;
      } else {
        if (x == parent->left) {
          x = parent;
          RotateRight(x);
        }
        x->parent->red = 0;
        x->parent->parent->red = 1;
        RotateLeft(x->parent->parent);
      }
    }
    if (x == root_) break;
  }
  root_->red = 0;
}

// The sentinel tests keep the sentinel's own links untouched.
void SymbolTable::RotateLeft(SymbolRecord* x) {
  SymbolRecord* y = x->right;
  x->right = y->left;
  if (!IsSentinel(y->left)) y->left->parent = x;
  if (!IsSentinel(y)) y->parent = x->parent;
  if (x->parent == nullptr) {
    root_ = y;
  } else if (x == x->parent->left) {
    x->parent->left = y;
  } else {
    x->parent->right = y;
  }
  y->left = x;
  if (!IsSentinel(x)) x->parent = y;
}

void SymbolTable::RotateRight(SymbolRecord* x) {
  SymbolRecord* y = x->left;
  x->left = y->right;
  if (!IsSentinel(y->right)) y->right->parent = x;
  if (!IsSentinel(y)) y->parent = x->parent;
  if (x->parent == nullptr) {
    root_ = y;
  } else if (x == x->parent->right) {
    x->parent->right = y;
  } else {
    x->parent->left = y;
  }
  y->right = x;
  if (!IsSentinel(x)) x->parent = y;
}

SymbolRecord* SymbolTable::FirstSymbol() const {
  if (root_ == nullptr) return nullptr;
  SymbolRecord* record = root_;
  while (!IsSentinel(record->left)) record = record->left;
  return record;
}

SymbolRecord* SymbolTable::NextSymbol(SymbolRecord* record) const {
  if (!IsSentinel(record->right)) {
    record = record->right;
    while (!IsSentinel(record->left)) record = record->left;
    return record;
  }
  SymbolRecord* parent = record->parent;
  while (parent != nullptr) {
    if (record == parent->left) return parent;
    record = parent;
    parent = parent->parent;
  }
  return nullptr;
}
