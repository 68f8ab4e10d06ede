#include "input/archive_reader.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "input/object_registry.h"
#include "platform/standard_output.h"

namespace {

constexpr uint64_t kGlobalHeaderSize = 8;
constexpr uint64_t kMemberHeaderSize = 60;
constexpr size_t kNameFieldSize = 16;
constexpr size_t kSizeField = 48;
constexpr size_t kEndMarker = 58;
// A long-name reference is read no further than the end of the date field.
constexpr size_t kLongNameReferenceEnd = 28;

// The decimal number at the start of [begin, end), read the way atol reads
// one: leading blanks, an optional sign, then digits up to the first other
// character. Saturates instead of overflowing.
int64_t ReadDecimal(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  constexpr int64_t kLimit = INT64_C(1) << 40;
  int64_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > kLimit) value = kLimit;
  }
  return negative ? -value : value;
}

// Blanks at the end of the name field become NULs; the index of the last '/'
// among bytes 1 to 15 is returned, or 0 when there is none. Byte 0 is never
// looked at.
size_t ScanNameField(char* field) {
  bool metOther = false;
  for (size_t i = kNameFieldSize - 1; i >= 1; --i) {
    if (field[i] == '/') return i;
    if (field[i] == ' ' && !metOther) {
      field[i] = '\0';
    } else {
      metOther = true;
    }
  }
  return 0;
}

// A member qualifies when the character after the last '.' (at index 1 or
// more) of its name is 'o' or 'O'.
bool IsObjectMemberName(std::string_view name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 >= name.size()) return false;
  return name[dot + 1] == 'o' || name[dot + 1] == 'O';
}

struct LongNameTable {
  const char* bytes = nullptr;
  uint64_t size = 0;
};

// The member's name from its header copy, or nothing for members that carry
// none (the symbol table, unresolvable references, empty names). Records the
// long-name table when this member is it.
std::optional<std::string_view> MemberName(char* header, const uint8_t* data, int64_t memberSize,
                                           LongNameTable* longNames) {
  const size_t slash = ScanNameField(header);
  if (slash >= 2) return std::string_view(header, slash);
  if (slash == 1) {
    longNames->bytes = reinterpret_cast<const char*>(data);
    longNames->size = static_cast<uint64_t>(memberSize);
    return std::nullopt;
  }
  if (header[1] == '\0' || longNames->bytes == nullptr) return std::nullopt;
  const int64_t offset = ReadDecimal(header + 1, header + kLongNameReferenceEnd);
  if (offset < 0 || static_cast<uint64_t>(offset) >= longNames->size) return std::nullopt;
  const std::string_view rest(longNames->bytes + offset, longNames->size - static_cast<uint64_t>(offset));
  const std::string_view name = rest.substr(0, rest.find('/'));
  if (name.empty()) return std::nullopt;
  return name;
}

}  // namespace

Status ReadArchive(MappedFile* file) {
  uint64_t position = kGlobalHeaderSize;
  uint64_t remaining = file->size - kGlobalHeaderSize;
  LongNameTable longNames;
  for (;;) {
    char header[kMemberHeaderSize];
    std::memcpy(header, file->view + position, kMemberHeaderSize);
    if (header[kEndMarker] != 0x60 || header[kEndMarker + 1] != 0x0A) {
      Out().Print("***Error: file \"%s\" has invalid library file format. Return -1\n", file->path.c_str());
      return -1;
    }
    remaining -= kMemberHeaderSize;
    uint8_t* data = file->view + position + kMemberHeaderSize;

    const int64_t memberSize = ReadDecimal(header + kSizeField, header + kEndMarker);
    if (memberSize == 0) {
      Out().Print("***Error: Invalid file size for file inside \"%s\".\n", file->path.c_str());
      return kArchiveBadMemberSize;
    }
    // A negative size counts as larger than anything left in the file.
    const bool memberFits = memberSize > 0 && static_cast<uint64_t>(memberSize) <= remaining;

    const std::optional<std::string_view> name = MemberName(header, data, memberSize, &longNames);
    if (name && IsObjectMemberName(*name)) {
      // An object cut off by the end of the file would hand validation bytes
      // that are not there; the archive is damaged, so say so.
      if (!memberFits) {
        Out().Print("***Error: Member \"%.*s\" of \"%s\" runs past the end of the file. Return -1\n",
                    static_cast<int>(name->size()), name->data(), file->path.c_str());
        return -1;
      }
      const Status status =
          RegisterObject(file, data, static_cast<uint32_t>(memberSize), name->data(), strnlen(name->data(), name->size()));
      if (status != S_OK) return status;
    }

    if (!memberFits) return S_OK;
    const uint64_t advance = static_cast<uint64_t>(memberSize) + (memberSize & 1);
    if (remaining <= advance) return S_OK;
    remaining -= advance;
    if (remaining < kMemberHeaderSize) return S_OK;
    position += kMemberHeaderSize + advance;
  }
}
