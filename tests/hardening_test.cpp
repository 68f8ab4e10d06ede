// Hostile input: the inputs that once broke the tool (kept under
// tests/regressions/, where the fuzz targets also start from), and damaged
// copies of real objects and archives, cut short and with bytes changed. Every
// run must end with a status and a message from the tool's own tables. Images
// are held in exactly-sized heap copies, so that a read one byte past an input
// is seen by AddressSanitizer in the asan build.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "elf/elf_layout.h"
#include "elf/elf_status.h"
#include "exports/demangler_binding.h"
#include "exports/export_selection.h"
#include "input/archive_reader.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "platform/system_status.h"
#include "support/archive_writer.h"
#include "support/elf_builder.h"
#include "support/run_state.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "support/tool_runner.h"
#include "symbols/symbol_collection.h"
#include "symbols/symbol_table.h"

namespace {

// ---- Running one input in process -------------------------------------------

// A MappedFile whose view is a heap copy of exactly the input's bytes. The
// test keeps one reference for the file's whole life, so the tool's releases
// never reach zero (which would try to give the heap copy back as a mapping).
class HeapFile {
 public:
  HeapFile(const std::string& bytes, const std::string& path) : file_(new MappedFile) {
    file_->path = path;
    file_->size = bytes.size();
    file_->view = new uint8_t[bytes.empty() ? 1 : bytes.size()];
    std::memcpy(file_->view, bytes.data(), bytes.size());
  }
  ~HeapFile() {
    delete[] file_->view;
    delete file_;
  }
  HeapFile(const HeapFile&) = delete;
  HeapFile& operator=(const HeapFile&) = delete;
  MappedFile* get() const { return file_; }

 private:
  MappedFile* file_;
};

// Keeps our demangler loaded and GHS_ROOT pointing at it while alive, so the
// writer's load and unload per run stay cheap.
class DemanglerInReach {
 public:
  DemanglerInReach()
      : root_(DemanglerDirectory()),
        handle_(dlopen((DemanglerDirectory() + "/" + kDemanglerFileName).c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~DemanglerInReach() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  DemanglerInReach(const DemanglerInReach&) = delete;
  DemanglerInReach& operator=(const DemanglerInReach&) = delete;

 private:
  ScopedGhsRoot root_;
  void* handle_ = nullptr;
};

struct RunResult {
  Status status = 0;
  std::string output;
};

// After a successful registration: the symbol walk and the export list, as
// the driver runs them. Neither can fail without running out of memory.
void CollectAndExport(RunResult* result) {
  SymbolTable table;
  result->status = CollectSymbols(table);
  if (result->status == S_OK) result->status = SelectExports(table);
}

RunResult RunObject(const std::string& bytes, const std::string& name = "damaged.o") {
  RunResult result;
  ResetRunState();
  HeapFile file(bytes, "/work/" + name);
  {
    CapturedOutput output;
    result.status =
        RegisterObject(file.get(), file.get()->view, static_cast<uint32_t>(bytes.size()), name.data(), name.size());
    if (result.status == S_OK) CollectAndExport(&result);
    result.output = output.Text();
  }
  ResetRunState();
  return result;
}

// An archive as the driver hands it over: only files of 260 bytes or more
// that begin with the signature reach the member walk.
RunResult RunArchive(const std::string& bytes, bool* walked = nullptr) {
  RunResult result;
  if (walked != nullptr) *walked = false;
  if (bytes.size() < 260 || bytes.compare(0, 8, "!<arch>\n") != 0) return result;
  if (walked != nullptr) *walked = true;
  ResetRunState();
  HeapFile file(bytes, "/work/lib.a");
  {
    CapturedOutput output;
    result.status = ReadArchive(file.get());
    if (result.status == S_OK && g_objectCount != 0) CollectAndExport(&result);
    result.output = output.Text();
  }
  ResetRunState();
  return result;
}

// ---- What a run may end with ------------------------------------------------

bool IsValidationCode(Status status) {
  const uint32_t code = static_cast<uint32_t>(status);
  return code >= 0xBAD00001u && code <= 0xBAD00037u && code != 0xBAD00010u;
}

std::string Hex(Status status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// A message that begins with `prefix` and ends with `suffix`; what stands
// between is a name, which may hold any byte but NUL.
bool IsLine(const std::string& text, const std::string& prefix, const std::string& suffix) {
  return text.size() >= prefix.size() + suffix.size() && StartsWith(text, prefix) &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A successful run prints nothing or one export list: the heading, the code
// lines, the data heading and the data lines. Names are the objects' bytes
// up to their NUL, line ends included, so lines are not looked into.
::testing::AssertionResult IsExportListOrNothing(const std::string& output) {
  if (output.empty()) return ::testing::AssertionSuccess();
  if (!StartsWith(output, "; Generated Export List\n\n[CODE]\n") ||
      output.find("\n[DATA]\n") == std::string::npos || output.back() != '\n') {
    return ::testing::AssertionFailure() << "not an export list:\n" << output;
  }
  return ::testing::AssertionSuccess();
}

// The status of a refused object and the one message that goes with it.
::testing::AssertionResult IsObjectOutcome(const RunResult& result, const std::string& name) {
  if (result.status == S_OK) return IsExportListOrNothing(result.output);
  std::string expected;
  if (IsValidationCode(result.status)) {
    expected = "*** Error " + Hex(result.status) + " parsing ELF file \"" + name + "\"\n";
  } else if (result.status == -1 && result.output.find("is not relocatable") != std::string::npos) {
    expected = "*** Error Object file \"" + name + "\" is not relocatable. return -1.\n";
  } else if (result.status == -1) {
    expected = "*** Error Object file \"" + name + "\" has no sections. return -1.\n";
  } else {
    return ::testing::AssertionFailure() << "unexpected status " << Hex(result.status) << ":\n" << result.output;
  }
  if (result.output != expected) {
    return ::testing::AssertionFailure() << "status " << Hex(result.status) << " printed:\n"
                                         << result.output << "instead of:\n"
                                         << expected;
  }
  return ::testing::AssertionSuccess();
}

// Nothing but notes about members that are copies of earlier ones.
bool AreCopyNotes(const std::string& text) {
  const std::string warning = "!!!WARNING: Exact same object file specified under two different names:\n    \"";
  const std::string info = "!!!INFO: File \"";
  size_t position = 0;
  while (position < text.size()) {
    size_t end;
    if (text.compare(position, warning.size(), warning) == 0) {
      end = text.find("\"\n.", position);
      if (end == std::string::npos) return false;
      position = end + 3;
    } else if (text.compare(position, info.size(), info) == 0) {
      end = text.find("\".\n", position);
      if (end == std::string::npos) return false;
      position = end + 3;
    } else {
      return false;
    }
  }
  return true;
}

// An archive run ends with 0 and a list (or nothing) after any notes about
// copies, or with the one message of its failure: registration prints
// nothing when it succeeds.
::testing::AssertionResult IsArchiveOutcome(const RunResult& result) {
  const std::string& out = result.output;
  if (result.status == S_OK) {
    const size_t list = std::min(out.find("; Generated Export List\n"), out.size());
    if (!AreCopyNotes(out.substr(0, list))) return ::testing::AssertionFailure() << "unexpected notes:\n" << out;
    return IsExportListOrNothing(out.substr(list));
  }
  bool matches = false;
  if (IsValidationCode(result.status)) {
    matches = IsLine(out, "*** Error " + Hex(result.status) + " parsing ELF file \"", "\"\n");
  } else if (result.status == kArchiveBadMemberSize) {
    matches = out == "***Error: Invalid file size for file inside \"/work/lib.a\".\n";
  } else if (result.status == -1) {
    matches = out == "***Error: file \"/work/lib.a\" has invalid library file format. Return -1\n" ||
              IsLine(out, "***Error: Member \"", "\" of \"/work/lib.a\" runs past the end of the file. Return -1\n") ||
              IsLine(out, "*** Error Object file \"", "\" is not relocatable. return -1.\n") ||
              IsLine(out, "*** Error Object file \"", "\" has no sections. return -1.\n");
  }
  if (!matches) return ::testing::AssertionFailure() << "status " << Hex(result.status) << " printed:\n" << out;
  return ::testing::AssertionSuccess();
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string RegressionPath(const std::string& name) {
  return std::string(QUORLIX_SOURCE_DIR) + "/tests/regressions/" + name;
}

// ---- Regressions ------------------------------------------------------------

struct ObjectRegression {
  const char* file;  // under tests/regressions/
  Status status;
  const char* why;
};

// Converting a table's entries in place rewrites whatever bytes they cover.
// Both objects are big-endian, with a symbol table that has no string table
// (sh_link 0) and begins just before the section header table, reaching into
// it: its "symbols" are section headers, and converting them reversed the
// bytes of header fields that earlier checks had passed.
const ObjectRegression kObjectRegressions[] = {
    {"object/header_overlap_scrambles_link.o", ELF_TABLE_OVER_SECTION_HEADERS,
     "the sh_link and sh_offset of the symbol table checked before it were rewritten; the symbol walk "
     "followed the rewritten link far past the image"},
    {"object/header_overlap_scrambles_offset.o", ELF_TABLE_OVER_SECTION_HEADERS,
     "the sh_offset of a symbol table checked after it was rewritten; that table's check then converted "
     "entries far past the image"},
};

TEST(HardeningRegressions, ObjectsThatOnceBrokeTheToolEndWithTheirStatus) {
  DemanglerInReach demangler;
  for (const ObjectRegression& regression : kObjectRegressions) {
    SCOPED_TRACE(std::string(regression.file) + ": " + regression.why);
    const std::string bytes = ReadFile(RegressionPath(regression.file));
    ASSERT_FALSE(bytes.empty());
    const RunResult result = RunObject(bytes);
    EXPECT_EQ(Hex(result.status), Hex(regression.status));
    EXPECT_TRUE(IsObjectOutcome(result, "damaged.o"));
  }
}


// ---- Damaged copies of real inputs -------------------------------------------

// How hard the sweeps press: the ordinary run keeps to a few seconds under
// the sanitizers; QUORLIX_SWEEP_SCALE=large (the realworld label) takes
// many more members of the installed archives and many more damaged copies.
struct SweepScale {
  size_t membersPerArchive;
  size_t largestMember;
  size_t largestArchive;
  size_t randomCuts;
  size_t mutations;
  bool everyArchive;
  size_t binaryEvery;  // every so many runs also go through the binary
};

SweepScale Scale() {
  const char* scale = std::getenv("QUORLIX_SWEEP_SCALE");
  if (scale != nullptr && std::string(scale) == "large") return {8, 1 << 20, 1 << 20, 32, 200, true, 499};
  return {4, 16 * 1024, 64 * 1024, 16, 120, false, 97};
}

struct NamedInput {
  std::string name;
  std::string bytes;
};

// The archives of the cross toolchains, where they are installed.
std::vector<std::string> InstalledArchives(bool every) {
  const std::vector<std::string> folders = {"/usr/powerpc-linux-gnu/lib", "/usr/i686-linux-gnu/lib",
                                            "/usr/lib/gcc-cross/powerpc-linux-gnu/12",
                                            "/usr/lib/gcc-cross/i686-linux-gnu/12"};
  const std::set<std::string> chosen = {"libc.a", "libstdc++.a", "libm.a", "libgcc.a", "libc_nonshared.a",
                                        "libssp_nonshared.a"};
  std::vector<std::string> archives;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".a" || (!every && chosen.count(name) == 0)) continue;
      const std::string head = ReadFile(entry.path().string()).substr(0, 8);
      if (head == "!<arch>\n") archives.push_back(entry.path().string());
    }
  }
  std::sort(archives.begin(), archives.end());
  return archives;
}

// The ELF members of an archive, in file order, read by the plain GNU rules.
std::vector<NamedInput> ElfMembers(const std::string& archive) {
  std::vector<NamedInput> members;
  std::string longNames;
  size_t position = 8;
  while (position + 60 <= archive.size()) {
    const std::string field = archive.substr(position, 16);
    const size_t size = std::strtoul(archive.substr(position + 48, 10).c_str(), nullptr, 10);
    const size_t data = position + 60;
    if (size == 0 || data + size > archive.size()) break;
    std::string name = field.substr(0, field.find('/', 1));
    if (field.compare(0, 2, "//") == 0) longNames = archive.substr(data, size);
    if (field[0] == '/' && field[1] >= '0' && field[1] <= '9') {
      const size_t offset = std::strtoul(field.c_str() + 1, nullptr, 10);
      name = offset < longNames.size() ? longNames.substr(offset, longNames.find('/', offset) - offset) : "";
    }
    if (!name.empty() && name[0] != '/' && archive.compare(data, 4, "\x7f" "ELF") == 0) {
      members.push_back({name, archive.substr(data, size)});
    }
    position = data + size + (size & 1);
  }
  return members;
}

// The fixture objects and the builder's standard objects.
std::vector<NamedInput> FixtureObjects() {
  std::vector<NamedInput> objects;
  for (const char* flavour : {"ppc", "i386"}) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QUORLIX_FIXTURE_DIR) + "/" + flavour, error)) {
      objects.push_back({std::string(flavour) + "_" + entry.path().filename().string(),
                         ReadFile(entry.path().string())});
    }
  }
  objects.push_back({"standard_le.o", Text(StandardObject(ByteOrder::Little))});
  objects.push_back({"standard_be.o", Text(StandardObject(ByteOrder::Big))});
  return objects;
}

// The fixture objects and, where the cross archives are installed, evenly
// spaced members of them.
std::vector<NamedInput> SweepObjects(const SweepScale& scale) {
  std::vector<NamedInput> objects = FixtureObjects();
  for (const std::string& archive : InstalledArchives(scale.everyArchive)) {
    std::vector<NamedInput> members = ElfMembers(ReadFile(archive));
    members.erase(std::remove_if(members.begin(), members.end(),
                                 [&](const NamedInput& m) { return m.bytes.size() > scale.largestMember; }),
                  members.end());
    const size_t step = std::max<size_t>(1, members.size() / scale.membersPerArchive);
    for (size_t i = 0; i < members.size() && i / step < scale.membersPerArchive; i += step) {
      objects.push_back({archive + "(" + members[i].name + ")", members[i].bytes});
    }
  }
  return objects;
}

uint32_t Stored32(const std::string& image, size_t offset) {
  if (offset + 4 > image.size()) return 0;
  uint32_t value = LoadUnaligned<uint32_t>(reinterpret_cast<const uint8_t*>(image.data()) + offset);
  return image[EI_DATA] != ELFDATA2LSB ? __builtin_bswap32(value) : value;
}

uint16_t Stored16(const std::string& image, size_t offset) {
  if (offset + 2 > image.size()) return 0;
  uint16_t value = LoadUnaligned<uint16_t>(reinterpret_cast<const uint8_t*>(image.data()) + offset);
  return image[EI_DATA] != ELFDATA2LSB ? __builtin_bswap16(value) : value;
}

void PutStored(std::string& image, size_t offset, uint32_t value, size_t width) {
  const bool big = image[EI_DATA] != ELFDATA2LSB;
  for (size_t i = 0; i < width && offset + i < image.size(); ++i) {
    const size_t shift = big ? 8 * (width - 1 - i) : 8 * i;
    image[offset + i] = static_cast<char>(value >> shift);
  }
}

struct SectionTable {
  uint32_t offset;
  uint32_t count;
  uint32_t entrySize;
};

SectionTable SectionsOf(const std::string& image) {
  const uint32_t entrySize = Stored16(image, offsetof(Elf32_Ehdr, e_shentsize));
  return {Stored32(image, offsetof(Elf32_Ehdr, e_shoff)), Stored16(image, offsetof(Elf32_Ehdr, e_shnum)),
          entrySize != 0 ? entrySize : 40};
}

// Where an object is most likely to be cut: at the start and end of every
// section's contents, of the header tables and of every section header, and
// one byte to either side; then at random places.
std::vector<size_t> CutPoints(const std::string& image, size_t randomCuts, std::mt19937& random) {
  std::set<size_t> cuts;
  const SectionTable table = SectionsOf(image);
  std::vector<uint64_t> boundaries = {52, Stored32(image, offsetof(Elf32_Ehdr, e_phoff)), table.offset};
  for (uint32_t i = 0; i <= table.count; ++i) {
    const uint64_t header = uint64_t{table.offset} + uint64_t{i} * table.entrySize;
    boundaries.push_back(header);
    if (i == table.count) break;
    const uint32_t start = Stored32(image, header + offsetof(Elf32_Shdr, sh_offset));
    boundaries.push_back(start);
    boundaries.push_back(uint64_t{start} + Stored32(image, header + offsetof(Elf32_Shdr, sh_size)));
  }
  for (const uint64_t boundary : boundaries) {
    for (const int64_t delta : {-1, 0, 1}) {
      const int64_t cut = static_cast<int64_t>(boundary) + delta;
      if (cut > 0 && static_cast<uint64_t>(cut) < image.size()) cuts.insert(static_cast<size_t>(cut));
    }
  }
  std::uniform_int_distribution<size_t> anywhere(1, image.size() - 1);
  for (size_t i = 0; i < randomCuts; ++i) cuts.insert(anywhere(random));
  return {cuts.begin(), cuts.end()};
}

// One damaged copy: a few bytes changed anywhere, or one field of the ELF
// header, a section header or a symbol set to a value that sits on the edge
// of some test.
std::string Mutate(const std::string& image, std::mt19937& random) {
  std::string copy = image;
  const SectionTable table = SectionsOf(image);
  const uint32_t size = static_cast<uint32_t>(image.size());
  const uint32_t edges[] = {0, 1, 2, 3, 4, 8, 16, 39, 40, 0xFF, 0xFF00, 0xFF03, 0xFFF1, 0xFFF2, 0xFFFF,
                            0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, size - 1, size, size + 1, table.count,
                            table.count - 1u, table.offset, 0x80000002, SHF_SIZE_PREFIXED, SHF_THREAD_LOCAL};
  auto pick = [&](size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(random); };
  auto edge = [&] { return pick(4) == 0 ? static_cast<uint32_t>(random()) : edges[pick(std::size(edges))]; };
  switch (pick(4)) {
    case 0:  // bytes anywhere
      for (size_t n = 1 + pick(4); n > 0; --n) copy[pick(copy.size())] ^= static_cast<char>(1 + pick(255));
      break;
    case 1: {  // an ELF header field
      const size_t field = 16 + 2 * pick(18);
      PutStored(copy, field, edge(), field >= 20 && field < 40 && field % 4 == 0 ? 4 : 2);
      break;
    }
    case 2: {  // a section header field
      if (table.count == 0) break;
      const size_t header = uint64_t{table.offset} + uint64_t{pick(table.count)} * table.entrySize;
      PutStored(copy, header + 4 * pick(10), edge(), 4);
      break;
    }
    default: {  // a symbol field of the first symbol table
      for (uint32_t i = 1; i < table.count; ++i) {
        const size_t header = uint64_t{table.offset} + uint64_t{i} * table.entrySize;
        if (Stored32(image, header + offsetof(Elf32_Shdr, sh_type)) != SHT_SYMTAB) continue;
        const uint32_t symbols = Stored32(image, header + offsetof(Elf32_Shdr, sh_size)) / 16;
        if (symbols == 0) break;
        const size_t symbol = Stored32(image, header + offsetof(Elf32_Shdr, sh_offset)) + 16 * pick(symbols);
        const size_t field = pick(4);
        if (field == 3) {
          PutStored(copy, symbol + offsetof(Elf32_Sym, st_shndx), edge(), 2);
        } else if (field == 2) {
          copy[symbol + offsetof(Elf32_Sym, st_info)] = static_cast<char>(pick(256));
        } else {
          PutStored(copy, symbol + 4 * field, edge(), 4);
        }
        break;
      }
    }
  }
  return copy;
}

// The same damaged object through the built binary: the driver adds only the
// usage text to a failure, and narrows the status to the exit code.
void ExpectBinaryAgrees(const TempDir& folder, const std::string& bytes, const RunResult& inProcess) {
  const std::string path = folder.Write("damaged.o", bytes);
  ToolOptions options;
  options.environment["GHS_ROOT"] = DemanglerDirectory();
  const ToolResult result = RunTool({path}, options);
  EXPECT_EQ(result.exitCode, ExitCodeFromStatus(inProcess.status));
  EXPECT_EQ(result.out, inProcess.status == S_OK ? inProcess.output : inProcess.output + UsageText());
  EXPECT_EQ(result.err, "");
}

TEST(HardeningSweep, DamagedObjectsEndWithAStatusAndMessageOfTheirOwn) {
  const SweepScale scale = Scale();
  DemanglerInReach demangler;
  TempDir folder;
  std::mt19937 random(20240611);
  size_t runs = 0;
  size_t throughBinary = 0;
  for (const NamedInput& object : SweepObjects(scale)) {
    SCOPED_TRACE(object.name);
    ASSERT_GE(object.bytes.size(), 261u);
    const RunResult whole = RunObject(object.bytes);
    ASSERT_EQ(Hex(whole.status), Hex(S_OK)) << whole.output;

    std::vector<std::pair<std::string, std::string>> cases;
    for (const size_t cut : CutPoints(object.bytes, scale.randomCuts, random)) {
      cases.emplace_back("cut at " + std::to_string(cut), object.bytes.substr(0, cut));
    }
    for (size_t i = 0; i < scale.mutations; ++i) cases.emplace_back("mutation " + std::to_string(i), Mutate(object.bytes, random));
    for (const auto& [label, bytes] : cases) {
      const RunResult result = RunObject(bytes);
      ++runs;
      const ::testing::AssertionResult outcome = IsObjectOutcome(result, "damaged.o");
      if (!outcome) {
        ADD_FAILURE() << label << ": " << outcome.message();
        break;
      }
      // Now and then the whole way through the binary, where the driver would
      // hand the file to registration (it skips short files and other types).
      if (runs % scale.binaryEvery == 0 && bytes.size() >= 260 && bytes.compare(0, 4, "\x7f" "ELF") == 0) {
        SCOPED_TRACE(label);
        ExpectBinaryAgrees(folder, bytes, result);
        ++throughBinary;
      }
    }
  }
  EXPECT_GT(throughBinary, 0u);
  RecordProperty("runs", static_cast<int>(runs));
}

// An archive of the fixture objects with a symbol table member, a long-name
// table, short and long names, an odd-sized member and a member that is not
// an object.
std::string SweepArchive() {
  std::vector<ArchiveMember> members = {{"/", std::string(12, '\0')}};
  std::string longNames;
  std::vector<ArchiveMember> objects;
  for (const NamedInput& object : FixtureObjects()) {
    if (object.name.size() <= 15) {
      objects.emplace_back(object.name + "/", object.bytes);
    } else {
      objects.emplace_back("/" + std::to_string(longNames.size()), object.bytes);
      longNames += object.name + "/\n";
    }
  }
  members.emplace_back("//", longNames);
  members.emplace_back("notes.txt/", "three\n");
  members.emplace_back("odd.o/", Text(StandardObject(ByteOrder::Big)) + "!");
  members.insert(members.end(), objects.begin(), objects.end());
  return ArchiveBytes(members);
}

// Cuts at the start of every member header, inside its size field and end
// marker, at the start and end of its data and one byte to either side; then
// damaged headers and bytes.
TEST(HardeningSweep, DamagedArchivesEndWithAStatusAndMessageOfTheirOwn) {
  const SweepScale scale = Scale();
  DemanglerInReach demangler;
  std::mt19937 random(7);
  std::vector<NamedInput> archives = {{"built", SweepArchive()}};
  for (const std::string& path : InstalledArchives(scale.everyArchive)) {
    const std::string bytes = ReadFile(path);
    // The driver never walks an archive under 260 bytes (some are empty).
    if (bytes.size() >= 260 && bytes.size() <= scale.largestArchive) archives.push_back({path, bytes});
  }
  for (const NamedInput& archive : archives) {
    SCOPED_TRACE(archive.name);
    const std::string& bytes = archive.bytes;
    std::set<size_t> cuts;
    std::vector<size_t> headers;
    // The first members' boundaries; a long archive is cut at random beyond.
    for (size_t position = 8; position + 60 <= bytes.size() && headers.size() < 48;) {
      headers.push_back(position);
      const size_t size = std::strtoul(bytes.substr(position + 48, 10).c_str(), nullptr, 10);
      for (const size_t point : {position, position + 48, position + 58, position + 60, position + 60 + size}) {
        for (const size_t cut : {point - 1, point, point + 1}) {
          if (cut < bytes.size()) cuts.insert(cut);
        }
      }
      position += 60 + size + (size & 1);
    }
    std::uniform_int_distribution<size_t> anywhere(260, bytes.size() - 1);
    for (size_t i = 0; i < scale.randomCuts; ++i) cuts.insert(anywhere(random));

    std::vector<std::pair<std::string, std::string>> cases;
    for (const size_t cut : cuts) cases.emplace_back("cut at " + std::to_string(cut), bytes.substr(0, cut));
    const char* sizes[] = {"0", "-1", "1", "59", "99999999999", "4294967296", "  12", "x", "-", ""};
    const char glyphs[] = {'/', ' ', '.', 'o', 'O', '0', '9', '`', '\n', '\0'};
    auto pick = [&](size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(random); };
    for (size_t i = 0; i < scale.mutations; ++i) {
      std::string copy = bytes;
      const size_t header = headers[pick(headers.size())];
      switch (pick(3)) {
        case 0: {  // a size field
          char field[11];
          std::snprintf(field, sizeof field, "%-10s", sizes[pick(std::size(sizes))]);
          copy.replace(header + 48, 10, field, 10);
          break;
        }
        case 1:  // a character of a name field or the end marker
          copy[header + (pick(2) == 0 ? pick(16) : 58 + pick(2))] = glyphs[pick(std::size(glyphs))];
          break;
        default:  // bytes anywhere after the signature
          for (size_t n = 1 + pick(4); n > 0; --n) copy[8 + pick(copy.size() - 8)] ^= static_cast<char>(1 + pick(255));
      }
      cases.emplace_back("mutation " + std::to_string(i), copy);
    }
    for (const auto& [label, damaged] : cases) {
      const RunResult result = RunArchive(damaged);
      const ::testing::AssertionResult outcome = IsArchiveOutcome(result);
      if (!outcome) {
        ADD_FAILURE() << label << ": " << outcome.message();
        break;
      }
    }
  }
}

}  // namespace
