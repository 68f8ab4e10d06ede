#include "symbols/symbol_entry.h"

#include <cstring>
#include <new>
#include <string_view>

#include "elf/elf_layout.h"
#include "symbols/symbol_table.h"

namespace {

constexpr std::string_view kLinkOncePrefix = ".ghs.linkonce";
constexpr std::string_view kStaticInitialiserPrefix = "__sti__";

bool HasPrefix(const char* text, int32_t length, std::string_view prefix) {
  return length >= static_cast<int32_t>(prefix.size()) && std::memcmp(text, prefix.data(), prefix.size()) == 0;
}

}  // namespace

uint8_t NameAttributes(const char* name, int32_t nameLength, const char* sectionName, int32_t sectionNameLength) {
  uint8_t attributes = 0;
  if (sectionName != nullptr && HasPrefix(sectionName, sectionNameLength, kLinkOncePrefix)) {
    attributes |= kAttributeLinkOnceSection;
  }
  if (HasPrefix(name, nameLength, kStaticInitialiserPrefix)) attributes |= kAttributeStaticInitialiser;
  if (std::string_view(name, static_cast<size_t>(nameLength)).find("..") != std::string_view::npos) {
    attributes |= kAttributeDoubleDot;
  }
  return attributes;
}

SymbolRecord* SymbolTable::EnterSymbol(const char* name, int32_t nameLength, ObjectRecord* object,
                                       const uint8_t* elfSymbol, SymbolKind kind, const char* sectionName,
                                       int32_t sectionNameLength, bool isNoBits) {
  const uint8_t attributes = NameAttributes(name, nameLength, sectionName, sectionNameLength);
  const uint8_t info = elfSymbol[offsetof(Elf32_Sym, st_info)];
  const bool isWeak = ElfSymbolBinding(info) == STB_WEAK;

  SymbolRecord* lastVisited = nullptr;
  int32_t lastComparison = 0;
  if (SymbolRecord* record = FindSymbol(name, nameLength, &lastVisited, &lastComparison); record != nullptr) {
    record->attributes |= attributes;
    // Only a strong definition replaces, and only a weak one: the first
    // strong definition of a name stays.
    if (isWeak || !record->isWeak) return record;
    record->object = object;
    record->elfSymbol = elfSymbol;
    record->isCode = kind == SymbolKind::Code;
    record->isTls = kind == SymbolKind::ThreadLocal;
    record->isNoBits = isNoBits;
    record->isWeak = 0;
    return record;
  }

  SymbolRecord* record = new (std::nothrow) SymbolRecord;
  if (record == nullptr) return nullptr;
  record->name = name;
  record->nameLength = nameLength;
  record->object = object;
  record->elfSymbol = elfSymbol;
  record->isCode = kind == SymbolKind::Code;
  record->isWeak = isWeak;
  record->isTls = kind == SymbolKind::ThreadLocal;
  record->isNoBits = isNoBits;
  record->attributes = attributes;
  LinkSymbol(record, lastVisited, lastComparison);
  return record;
}
