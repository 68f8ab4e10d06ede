// The traits of a name that keep it out of the export list.
#pragma once

#include <cstdint>

constexpr uint8_t kAttributeLinkOnceSection = 1;
constexpr uint8_t kAttributeStaticInitialiser = 2;
constexpr uint8_t kAttributeDoubleDot = 4;

// `sectionName` may be nullptr (no section); it is read no further than
// `sectionNameLength` bytes, which may end before its NUL.
uint8_t NameAttributes(const char* name, int32_t nameLength, const char* sectionName, int32_t sectionNameLength);
