#include "driver/driver.h"

#include <new>
#include <string>
#include <string_view>
#include <unordered_set>

#include "cmdline/command_line_parser.h"
#include "exports/export_selection.h"
#include "input/archive_reader.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "platform/full_path.h"
#include "platform/standard_output.h"
#include "symbols/symbol_collection.h"
#include "symbols/symbol_table.h"

namespace {

constexpr uint64_t kLeastInputSize = 260;
constexpr std::string_view kArchiveSignature = "!<arch>\n";
constexpr std::string_view kElfSignature = "\x7F" "ELF";

// The one symbol table: built before the run starts, freed at exit.
SymbolTable g_symbolTable;

// Accepted input files, newest first; never freed. The set holds their full
// paths, so a path named twice is found without walking the list.
InputFileEntry* g_inputFiles = nullptr;
std::unordered_set<std::string_view>* g_acceptedPaths = nullptr;

// The parser, and the response-file arguments it owns, last until exit.
CommandLineParser* g_parser = nullptr;

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The text from the last '.' of the path's last component, or empty when
// that component has none.
std::string_view Extension(std::string_view fullPath) {
  const size_t mark = fullPath.find_last_of("./\\");
  if (mark == std::string_view::npos || fullPath[mark] != '.') return {};
  return fullPath.substr(mark);
}

bool IsLinkerFile(std::string_view fullPath) {
  const std::string_view extension = Extension(fullPath);
  return EqualsIgnoringAsciiCase(extension, ".ld") || EqualsIgnoringAsciiCase(extension, ".lnk");
}

bool StartsWith(const MappedFile& file, std::string_view signature) {
  return file.size >= signature.size() && std::string_view(reinterpret_cast<const char*>(file.view),
                                                            signature.size()) == signature;
}

// The full path in the driver's fixed-size buffer: one that does not fit
// leaves the buffer empty.
std::string FullPathOf(std::string_view argument) {
  std::string fullPath = ResolveFullPath(argument);
  if (fullPath.size() + 1 > kFullPathCapacity) fullPath.clear();
  return fullPath;
}

bool RememberInputFile(MappedFile* file) {
  InputFileEntry* entry = new (std::nothrow) InputFileEntry{file, g_inputFiles};
  if (entry == nullptr) return false;
  g_inputFiles = entry;
  g_acceptedPaths->insert(file->path);
  return true;
}

// One argument: 0 when it was accepted, skipped or passed over.
Status GatherInput(std::string_view argument) {
  const std::string printable(argument);
  if (!argument.empty() && argument.front() == '-') {
    Out().Print("***Error: Unrecognized option \"%s\" specified. Return -1.\n", printable.c_str());
    return -1;
  }
  const std::string fullPath = FullPathOf(argument);
  if (g_acceptedPaths->count(fullPath) != 0) return S_OK;
  if (IsLinkerFile(fullPath)) {
    Out().Print("Vespane - ignoring lnk/ld \"%s\"\n", printable.c_str());
    return S_OK;
  }
  MappedFile* file = nullptr;
  if (const Status status = OpenMappedFile(fullPath, &file); status != S_OK) {
    Out().Print("***Error: Could not map in file \"%s\". Error 0x%08X\n", printable.c_str(),
                static_cast<uint32_t>(status));
    return status;
  }
  if (file->size < kLeastInputSize) {
    ReleaseMappedFile(file);
    return S_OK;
  }
  Status status;
  if (StartsWith(*file, kArchiveSignature)) {
    status = ReadArchive(file);
  } else if (StartsWith(*file, kElfSignature)) {
    status = RegisterBareObject(file);
  } else {
    Out().Print("***Error: Unknown file type \"%s\". Return -1\n", printable.c_str());
    status = -1;
  }
  if (status != S_OK) {
    // The run ends here; give back the opening's reference so that nothing is
    // left unowned (members registered from an archive hold their own).
    ReleaseMappedFile(file);
    return status;
  }
  if (!RememberInputFile(file)) {
    Out().Print("*** Error Out of memory.\n");
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace

Status GatherInputs(int argc, const char* const* argv) {
  g_parser = new (std::nothrow) CommandLineParser;
  g_acceptedPaths = new (std::nothrow) std::unordered_set<std::string_view>;
  if (g_parser == nullptr || g_acceptedPaths == nullptr) {
    Out().Print("***Error: Could not create parser for command line. Return -1.\n");
    return -1;
  }
  if (const Status status = g_parser->Init(argc, argv); status != S_OK) {
    Out().Print("***Error: Command Line Parser init failed. Return %d.\n", status);
    return status;
  }
  g_parser->Reset();
  g_parser->Advance();
  do {
    const std::string_view argument = g_parser->Current();
    g_parser->Advance();
    if (const Status status = GatherInput(argument); status != S_OK) return status;
  } while (g_parser->HasMore());
  return S_OK;
}

void PrintUsage() {
  OutputWriter& out = Out();
  out.Print("\n\nquorlix for Tirnova SDK Version %d.%02d.%02d (NBX %s %s %s)\n", 2, 11, 5, "v1.0", "Mar 21 2014",
            "18:35:00");
  out.Write("\nUsage:\n");
  out.Write("         QUORLIX files+\n");
  out.Write("\n quorlix is given .o files.\n");
  out.Write(" It outputs a sorted exports TEXT file.\n");
  out.Write("\n");
}

void PrintFailureReport(int argc, const char* const* argv, Status status) {
  OutputWriter& out = Out();
  out.Print("\n\n%s FAILED Error = %d\n", argv[0], status);
  out.Print("\t%s", argv[0]);
  for (int i = 1; i < argc; ++i) out.Print(" \\\n\t\t%s", argv[i]);
  out.Write("\n");
  PrintUsage();
}

Status RunQuorlix(int argc, const char* const* argv) {
  g_objectList = nullptr;
  g_objectCount = 0;
  g_exportList = nullptr;
  g_exportCount = 0;

  if (const Status status = GatherInputs(argc, argv); status != S_OK) {
    PrintUsage();
    return status;
  }
  if (g_objectCount == 0) {
    Out().Print("\nERROR: quorlix requires library or object files. Return -1.\n");
    PrintFailureReport(argc, argv, -1);
    return -1;
  }
  if (const Status status = CollectSymbols(g_symbolTable); status != S_OK) return status;
  if (const Status status = SelectExports(g_symbolTable); status != S_OK) {
    PrintFailureReport(argc, argv, status);
    return status;
  }
  return S_OK;
}
