// Writes "!<arch>\n" archives byte by byte, so that tests can build both
// well-formed archives and every kind of damaged member header.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/elf_builder.h"

struct ArchiveMember {
  ArchiveMember(std::string nameField, std::string bytes, std::string sizeField = "", std::string marker = "`\n",
                bool pad = true)
      : name(std::move(nameField)),
        data(std::move(bytes)),
        size(std::move(sizeField)),
        endMarker(std::move(marker)),
        padOddData(pad) {}

  std::string name;       // the 16-byte name field, blank-padded (e.g. "a.o/", "/", "//", "/12")
  std::string data;       // the member's bytes
  std::string size;       // the 10-byte size field; empty: the data's length in decimal
  std::string endMarker;  // the header's last two bytes
  bool padOddData;        // odd-sized data is followed by one '\n'
};

// The global header, then each member's 60-byte header and data, then `trailing`.
std::string ArchiveBytes(const std::vector<ArchiveMember>& members, std::string_view trailing = {});

std::string AsText(const Bytes& bytes);

// A valid little- or big-endian relocatable object whose only export is the
// function `symbol` (in an executable section). `extraBytes` are appended
// after the section table, so an object of any size can be made.
Bytes ObjectDefining(const std::string& symbol, ByteOrder order = ByteOrder::Little, uint32_t extraBytes = 0);
