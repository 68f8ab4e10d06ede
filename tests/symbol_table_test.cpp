#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "symbols/symbol_table.h"

namespace {

// A table filled through FindSymbol and LinkSymbol alone, with the names kept
// alive beside it (records only point at them).
class TreeFixture {
 public:
  // Inserts the name unless it is there; returns the record that holds it.
  SymbolRecord* Insert(const std::string& name) {
    names_.push_back(name);
    const std::string& kept = names_.back();
    const int32_t length = static_cast<int32_t>(kept.size());
    SymbolRecord* lastVisited = nullptr;
    int32_t lastComparison = 0;
    if (SymbolRecord* found = table_.FindSymbol(kept.data(), length, &lastVisited, &lastComparison)) return found;
    auto* record = new SymbolRecord;
    record->name = kept.c_str();
    record->nameLength = length;
    table_.LinkSymbol(record, lastVisited, lastComparison);
    return record;
  }

  SymbolRecord* Find(const std::string& name, SymbolRecord** lastVisited = nullptr,
                     int32_t* lastComparison = nullptr) const {
    return table_.FindSymbol(name.data(), static_cast<int32_t>(name.size()), lastVisited, lastComparison);
  }

  std::vector<std::string> Walk() const {
    std::vector<std::string> names;
    for (SymbolRecord* r = table_.FirstSymbol(); r != nullptr; r = table_.NextSymbol(r)) {
      names.emplace_back(r->name, static_cast<size_t>(r->nameLength));
    }
    return names;
  }

  SymbolTable& table() { return table_; }

 private:
  std::deque<std::string> names_;
  SymbolTable table_;
};

std::string Key(const SymbolRecord* r) { return std::string(r->name, static_cast<size_t>(r->nameLength)); }

struct TreeShape {
  int blackHeight = 0;
  int height = 0;
  int count = 0;
};

// Checks the links, colours and black heights below `record` and returns the
// subtree's shape; failures are reported through gtest.
TreeShape CheckSubtree(const SymbolTable& table, const SymbolRecord* record) {
  const SymbolRecord* sentinel = table.Sentinel();
  if (record == sentinel) return {1, 0, 0};
  TreeShape shape;
  for (const SymbolRecord* child : {record->left, record->right}) {
    EXPECT_NE(child, nullptr) << Key(record);
    if (child == nullptr) return shape;
    if (child == sentinel) continue;
    EXPECT_EQ(child->parent, record) << "parent link of " << Key(child);
    EXPECT_FALSE(record->red && child->red) << "red " << Key(record) << " has red child " << Key(child);
  }
  EXPECT_TRUE(record->red == 0 || record->red == 1);
  const TreeShape left = CheckSubtree(table, record->left);
  const TreeShape right = CheckSubtree(table, record->right);
  EXPECT_EQ(left.blackHeight, right.blackHeight) << "black heights differ below " << Key(record);
  shape.blackHeight = left.blackHeight + (record->red ? 0 : 1);
  shape.height = 1 + std::max(left.height, right.height);
  shape.count = 1 + left.count + right.count;
  return shape;
}

void ExpectSentinelUntouched(const SymbolTable& table) {
  const SymbolRecord* sentinel = table.Sentinel();
  EXPECT_EQ(sentinel->parent, sentinel);
  EXPECT_EQ(sentinel->left, sentinel);
  EXPECT_EQ(sentinel->right, sentinel);
  EXPECT_EQ(sentinel->red, 0);
  EXPECT_EQ(sentinel->name, nullptr);
  EXPECT_EQ(sentinel->nameLength, 0);
  EXPECT_EQ(sentinel->exportQueued, 0);
}

void ExpectSoundTree(const SymbolTable& table, size_t expectedCount) {
  ExpectSentinelUntouched(table);
  const SymbolRecord* root = table.Root();
  if (expectedCount == 0) {
    EXPECT_EQ(root, nullptr);
    return;
  }
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(root->red, 0);
  const TreeShape shape = CheckSubtree(table, root);
  EXPECT_EQ(static_cast<size_t>(shape.count), expectedCount);
  EXPECT_LE(shape.height, 2 * std::log2(static_cast<double>(expectedCount) + 1));
}

// Names over a small alphabet that includes bytes above 0x7F, so that the
// signedness of the comparison and shared prefixes both matter.
std::string RandomName(std::mt19937& random) {
  static const char kAlphabet[] = {'a', 'b', 'z', 'A', '_', '.', '0', '\x7f', '\x80', '\xc3', '\xff'};
  std::uniform_int_distribution<size_t> length(1, 5);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 1);
  std::string name(length(random), ' ');
  for (char& c : name) c = kAlphabet[pick(random)];
  return name;
}

TEST(SymbolTree, RandomInsertionsKeepEveryInvariantAndWalkInByteOrder) {
  const size_t kSizes[] = {1, 2, 3, 4, 7, 8, 31, 100, 1000, 4000};
  std::mt19937 random(20240521);
  for (const size_t size : kSizes) {
    SCOPED_TRACE(size);
    TreeFixture tree;
    // std::string orders by char_traits<char>, which compares as unsigned
    // char, shorter prefix first: the order the table promises.
    std::set<std::string> expected;
    while (expected.size() < size) {
      const std::string name = RandomName(random);
      expected.insert(name);
      SymbolRecord* record = tree.Insert(name);
      ASSERT_EQ(Key(record), name);
      if (size <= 100 || expected.size() % 97 == 1 || expected.size() == size) {
        ExpectSoundTree(tree.table(), expected.size());
      }
    }
    EXPECT_EQ(tree.Walk(), std::vector<std::string>(expected.begin(), expected.end()));
    for (const std::string& name : expected) {
      SymbolRecord* found = tree.Find(name);
      ASSERT_NE(found, nullptr) << name;
      EXPECT_EQ(Key(found), name);
    }
  }
}

TEST(SymbolTree, SortedAndReversedRunsStayBalanced) {
  for (const bool ascending : {true, false}) {
    SCOPED_TRACE(ascending ? "ascending" : "descending");
    TreeFixture tree;
    const int count = 3000;
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "sym%05d", ascending ? i : count - 1 - i);
      tree.Insert(name);
    }
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "sym%05d", i);
      expected.emplace_back(name);
    }
    ExpectSoundTree(tree.table(), count);
    EXPECT_EQ(tree.Walk(), expected);
  }
}

TEST(SymbolTree, KeyOrderIsUnsignedBytesWithShorterNamesFirst) {
  struct Case {
    std::string a;
    std::string b;
    int sign;
  };
  const Case cases[] = {
      {"ab", "abc", -1},     {"abc", "abcd", -1}, {"abcd", "abd", -1}, {"abd", "abcd", 1},
      {"A", "_", -1},        {"_", "a", -1},      {"z", "\xc3", -1},   {"\x7f", "\x80", -1},
      {"x\xff", "x\x01", 1}, {"same", "same", 0}, {"", "a", -1},
  };
  for (const Case& c : cases) {
    const int order =
        CompareSymbolNames(c.a.data(), static_cast<int32_t>(c.a.size()), c.b.data(), static_cast<int32_t>(c.b.size()));
    EXPECT_EQ((order > 0) - (order < 0), c.sign) << c.a << " vs " << c.b;
  }

  TreeFixture tree;
  for (const char* name : {"abcd", "abc", "\xc3\xa9t\xc3\xa9", "abd", "ab", "z"}) tree.Insert(name);
  EXPECT_EQ(tree.Walk(), (std::vector<std::string>{"ab", "abc", "abcd", "abd", "z", "\xc3\xa9t\xc3\xa9"}));
}

TEST(SymbolTree, EmptyAndSingleRecordTables) {
  TreeFixture tree;
  SymbolRecord dummy;
  SymbolRecord* lastVisited = &dummy;
  int32_t lastComparison = 77;
  EXPECT_EQ(tree.Find("x", &lastVisited, &lastComparison), nullptr);
  EXPECT_EQ(lastVisited, nullptr);
  EXPECT_EQ(lastComparison, 0);
  EXPECT_EQ(tree.table().FirstSymbol(), nullptr);
  ExpectSoundTree(tree.table(), 0);

  SymbolRecord* only = tree.Insert("only");
  EXPECT_EQ(tree.table().Root(), only);
  EXPECT_EQ(only->parent, nullptr);
  EXPECT_EQ(only->red, 0);
  EXPECT_EQ(only->left, tree.table().Sentinel());
  EXPECT_EQ(only->right, tree.table().Sentinel());
  EXPECT_EQ(tree.table().FirstSymbol(), only);
  EXPECT_EQ(tree.table().NextSymbol(only), nullptr);
}

TEST(SymbolTree, ThreeAscendingNamesRotateIntoABlackRootWithRedChildren) {
  TreeFixture tree;
  SymbolRecord* a = tree.Insert("a");
  SymbolRecord* b = tree.Insert("b");
  SymbolRecord* c = tree.Insert("c");
  EXPECT_EQ(tree.table().Root(), b);
  EXPECT_EQ(b->red, 0);
  EXPECT_EQ(b->left, a);
  EXPECT_EQ(b->right, c);
  EXPECT_EQ(a->red, 1);
  EXPECT_EQ(c->red, 1);
  EXPECT_EQ(a->parent, b);
  EXPECT_EQ(c->parent, b);
  ExpectSoundTree(tree.table(), 3);
}

TEST(SymbolTree, FindReportsWhereTheSearchEnded) {
  TreeFixture tree;
  for (const char* name : {"m", "f", "t", "c", "h"}) tree.Insert(name);
  // m is the black root, f and t its black children, c and h red below f.
  SymbolRecord* root = tree.table().Root();
  ASSERT_EQ(Key(root), "m");
  SymbolRecord* f = root->left;
  ASSERT_EQ(Key(f), "f");

  SymbolRecord* lastVisited = f;
  int32_t lastComparison = 5;
  EXPECT_EQ(tree.Find("m", &lastVisited, &lastComparison), root);
  EXPECT_EQ(lastVisited, nullptr);
  EXPECT_EQ(lastComparison, 0);

  EXPECT_EQ(tree.Find("h", &lastVisited, &lastComparison), f->right);
  EXPECT_EQ(lastVisited, f);
  EXPECT_EQ(lastComparison, 0);

  // Misses: the record the name would hang below, and the side.
  EXPECT_EQ(tree.Find("g", &lastVisited, &lastComparison), nullptr);
  EXPECT_EQ(Key(lastVisited), "h");
  EXPECT_LT(lastComparison, 0);
  EXPECT_EQ(tree.Find("hh", &lastVisited, &lastComparison), nullptr);
  EXPECT_EQ(Key(lastVisited), "h");
  EXPECT_GT(lastComparison, 0);
  EXPECT_EQ(tree.Find("z", &lastVisited, &lastComparison), nullptr);
  EXPECT_EQ(Key(lastVisited), "t");
  EXPECT_GT(lastComparison, 0);

  // The out-parameters are optional.
  EXPECT_EQ(tree.Find("c"), f->left);
  EXPECT_EQ(tree.Find("q"), nullptr);
}

}  // namespace
