#include "support/archive_writer.h"

namespace {

constexpr uint32_t kProgBits = 1;  // SHT_PROGBITS

// `text` left-aligned in a field of `width` bytes, blank-padded.
std::string Field(std::string_view text, size_t width) {
  std::string field(text.substr(0, width));
  field.resize(width, ' ');
  return field;
}

}  // namespace

std::string ArchiveBytes(const std::vector<ArchiveMember>& members, std::string_view trailing) {
  std::string out = "!<arch>\n";
  for (const ArchiveMember& member : members) {
    out += Field(member.name, 16);
    out += Field("0", 12);    // date
    out += Field("0", 6);     // owner
    out += Field("0", 6);     // group
    out += Field("644", 8);   // mode
    out += Field(member.size.empty() ? std::to_string(member.data.size()) : member.size, 10);
    out += Field(member.endMarker, 2);
    out += member.data;
    if (member.padOddData && member.data.size() % 2 != 0) out += '\n';
  }
  out += trailing;
  return out;
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes ObjectDefining(const std::string& symbol, ByteOrder order, uint32_t extraBytes) {
  ElfBuilder builder(order);
  const uint32_t text = builder.AddSection(".text", kProgBits, SHF_ALLOC | SHF_EXECINSTR, Bytes(16, 0x60), 0, 0, 0, 4);
  builder.AddSymbolTable({{symbol, 0, 8, STB_GLOBAL, STT_FUNC, static_cast<uint16_t>(text)}});
  builder.SetTrailingPadding(extraBytes);
  return builder.Build();
}
