// The one name-ordered table of global symbols: a red-black tree whose keys
// point into the objects' string tables and are never copied.
#pragma once

#include <cstdint>

struct ObjectRecord;

enum class SymbolKind : uint8_t { Data = 1, Code = 2, ThreadLocal = 3 };

struct SymbolRecord {
  int32_t exportQueued = 0;
  int32_t red = 0;
  SymbolRecord* parent = nullptr;
  SymbolRecord* left = nullptr;
  SymbolRecord* right = nullptr;
  const char* name = nullptr;  // inside an object's string table, NUL after it
  int32_t nameLength = 0;
  ObjectRecord* object = nullptr;
  const uint8_t* elfSymbol = nullptr;  // the winning Elf32_Sym, in host order
  uint8_t isCode = 0;
  uint8_t isWeak = 0;
  uint8_t isTls = 0;
  uint8_t isNoBits = 0;
  uint8_t attributes = 0;
};

// Unsigned byte order, a name that begins another coming first. Only the sign
// of the result counts.
int CompareSymbolNames(const char* a, int32_t aLength, const char* b, int32_t bLength);

class SymbolTable {
 public:
  SymbolTable();
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;
  ~SymbolTable();

  // The record whose key equals the name, or nullptr. On a miss the
  // out-values say below which record, and on which side, the name belongs.
  SymbolRecord* FindSymbol(const char* name, int32_t nameLength, SymbolRecord** lastVisited,
                           int32_t* lastComparison) const;
  // Hangs a filled-in record where the FindSymbol miss just before reported.
  void LinkSymbol(SymbolRecord* record, SymbolRecord* lastVisited, int32_t lastComparison);

  SymbolRecord* FirstSymbol() const;
  SymbolRecord* NextSymbol(SymbolRecord* record) const;

  // Enters one definition by the merge rules: a new name gets a record; a
  // weak definition gives way to the first strong one. nullptr when no
  // memory is left for a new record.
  SymbolRecord* EnterSymbol(const char* name, int32_t nameLength, ObjectRecord* object, const uint8_t* elfSymbol,
                            SymbolKind kind, const char* sectionName, int32_t sectionNameLength, bool isNoBits);

  const SymbolRecord* Sentinel() const { return &sentinel_; }
  SymbolRecord* Root() const { return root_; }

 private:
  void BalanceAfterInsert(SymbolRecord* record);
  void RotateLeft(SymbolRecord* record);
  void RotateRight(SymbolRecord* record);
  void FreeSubtree(SymbolRecord* record);
  bool IsSentinel(const SymbolRecord* record) const { return record == &sentinel_; }

  SymbolRecord sentinel_;
  SymbolRecord* root_ = nullptr;
};
