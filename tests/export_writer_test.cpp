#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "exports/demangler_binding.h"
#include "exports/export_selection.h"
#include "exports/export_writer.h"
#include "symbols/symbol_table.h"
#include "support/run_state.h"
#include "support/scoped_environment.h"
#include "support/tool_runner.h"

namespace {

// The folder of one of the test demanglers (tests/demanglers).
std::string TestDemangler(const std::string& name) { return std::string(QUORLIX_BUILD_DIR) + "/demanglers/" + name; }

enum class Kind { Code, Data, NoBits, Tls, NoBitsTls };

// An export list made by hand: records with NUL-terminated names, queued in
// the order given (the writer must not rely on the list's order).
class ExportList {
 public:
  ExportList() { ResetRunState(); }
  ~ExportList() { ResetRunState(); }
  ExportList(const ExportList&) = delete;
  ExportList& operator=(const ExportList&) = delete;

  void Add(const std::string& name, Kind kind) {
    names_.push_back(name);
    SymbolRecord& record = records_.emplace_back();
    record.name = names_.back().c_str();
    record.nameLength = static_cast<int32_t>(name.size());
    record.isCode = kind == Kind::Code;
    record.isTls = kind == Kind::Tls || kind == Kind::NoBitsTls;
    record.isNoBits = kind == Kind::NoBits || kind == Kind::NoBitsTls;
    ASSERT_EQ(QueueExport(&record), 0);
  }

  // Runs the writer under GHS_ROOT = `root`; returns what it printed.
  std::string Write(const std::optional<std::string>& root, Status* status = nullptr) {
    ScopedGhsRoot scoped(root);
    CapturedOutput output;
    const Status result = WriteExportList();
    if (status != nullptr) *status = result;
    return output.Text();
  }

 private:
  std::deque<std::string> names_;
  std::deque<SymbolRecord> records_;
};

// A line for a name the demangler returned NULL for.
std::string Plain(const std::string& name) {
  return name + std::string(40 - name.size() % 40, ' ') + "; " + name + "\n";
}

const std::string kHeading = "; Generated Export List\n";

TEST(ExportWriter, PrintsCodeThenEachDataGroupByteForByte) {
  ExportList list;
  list.Add("table", Kind::Data);
  list.Add("start", Kind::Code);
  list.Add("tls_slot", Kind::NoBitsTls);
  list.Add("buffer", Kind::NoBits);
  list.Add("compute", Kind::Code);
  Status status = 1;
  const std::string printed = list.Write(DemanglerDirectory(), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed,
            "; Generated Export List\n"
            "\n"
            "[CODE]\n"
            "compute" + std::string(33, ' ') + "; compute\n"
            "start" + std::string(35, ' ') + "; start\n"
            "\n"
            "[DATA]\n"
            "buffer" + std::string(34, ' ') + "; buffer\n"
            "\n"
            "[TLS]\n"
            "tls_slot" + std::string(32, ' ') + "; tls_slot\n"
            "\n"
            "[DATA]\n"
            "table" + std::string(35, ' ') + "; table\n");
}

TEST(ExportWriter, DataHeadingsFollowEachChangeWithinAndAcrossGroups) {
  struct Case {
    const char* label;
    std::vector<std::pair<std::string, Kind>> symbols;
    std::string body;  // everything after "\n[CODE]\n"
  };
  const Case cases[] = {
      {"only code", {{"g", Kind::Code}, {"f", Kind::Code}}, Plain("f") + Plain("g") + "\n[DATA]\n"},
      {"only data", {{"d", Kind::Data}}, "\n[DATA]\n" + Plain("d")},
      {"first data symbol thread-local", {{"t", Kind::Tls}, {"u", Kind::Data}},
       "\n[DATA]\n\n[TLS]\n" + Plain("t") + "\n[DATA]\n" + Plain("u")},
      {"no-bits group ends under TLS, next group starts thread-local",
       {{"z_tls", Kind::NoBitsTls}, {"a_tls", Kind::Tls}},
       "\n[DATA]\n\n[TLS]\n" + Plain("z_tls") + Plain("a_tls")},
      {"no-bits group ends under TLS, next group starts with data",
       {{"z_tls", Kind::NoBitsTls}, {"a_data", Kind::Data}},
       "\n[DATA]\n\n[TLS]\n" + Plain("z_tls") + "\n[DATA]\n" + Plain("a_data")},
      {"alternation within one group",
       {{"d4", Kind::Tls}, {"d1", Kind::Data}, {"d3", Kind::Data}, {"d2", Kind::Tls}},
       "\n[DATA]\n" + Plain("d1") + "\n[TLS]\n" + Plain("d2") + "\n[DATA]\n" + Plain("d3") + "\n[TLS]\n" +
           Plain("d4")},
      {"no-bits data before other data whatever the names",
       {{"a_init", Kind::Data}, {"z_zero", Kind::NoBits}, {"m_code", Kind::Code}},
       Plain("m_code") + "\n[DATA]\n" + Plain("z_zero") + Plain("a_init")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ExportList list;
    for (const auto& [name, kind] : c.symbols) list.Add(name, kind);
    EXPECT_EQ(list.Write(DemanglerDirectory()), kHeading + "\n[CODE]\n" + c.body);
  }
}

TEST(ExportWriter, BlanksRunToTheNextMultipleOfFortyColumns) {
  const struct {
    size_t length;
    size_t blanks;
  } cases[] = {{1, 39}, {39, 1}, {40, 40}, {41, 39}, {79, 1}, {80, 40}, {81, 39}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string name(c.length, 'n');
    ExportList list;
    list.Add(name, Kind::Code);
    EXPECT_EQ(list.Write(DemanglerDirectory()),
              kHeading + "\n[CODE]\n" + name + std::string(c.blanks, ' ') + "; " + name + "\n\n[DATA]\n");
  }
}

TEST(ExportWriter, GroupsSortByUnsignedBytesShorterNamesFirst) {
  const std::vector<std::string> sorted = {"Zed", "_x", "a", "abc", "abcd", "abd", "zed", "\xc3\xa9t\xc3\xa9"};
  for (const Kind kind : {Kind::Code, Kind::Data}) {
    ExportList list;
    for (const char* name : {"abd", "\xc3\xa9t\xc3\xa9", "zed", "a", "abcd", "_x", "abc", "Zed"}) list.Add(name, kind);
    std::string lines;
    for (const std::string& name : sorted) lines += Plain(name);
    const std::string expected = kind == Kind::Code ? kHeading + "\n[CODE]\n" + lines + "\n[DATA]\n"
                                                    : kHeading + "\n[CODE]\n\n[DATA]\n" + lines;
    EXPECT_EQ(list.Write(DemanglerDirectory()), expected);
  }
}

bool IsLoaded(const std::string& libraryPath) {
  void* handle = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  ::dlclose(handle);
  return true;
}

TEST(ExportWriter, ALibraryThatCannotBeBoundPrintsOneLineAndNoList) {
  struct Case {
    const char* label;
    std::optional<std::string> root;
    std::string message;
  };
  const Case cases[] = {
      {"GHS_ROOT unset", std::nullopt, "FAILED: LoadLibrary returned NULL; return -1\n"},
      {"no library there", TestDemangler("missing"), "FAILED: LoadLibrary returned NULL; return -1\n"},
      {"no demangle_ghs_name", TestDemangler("lacks_name"),
       "FAILED: GetProcAddress couldn't find demangle_ghs_name(); return -1\n"},
      {"no demangle_free", TestDemangler("lacks_free"),
       "FAILED: GetProcAddress couldn't find demangle_free(); return -1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ExportList list;
    list.Add("f", Kind::Code);
    list.Add("d", Kind::Data);
    Status status = 0;
    EXPECT_EQ(list.Write(c.root, &status), c.message);
    EXPECT_EQ(status, -1);
    // A library that was found is unloaded again.
    if (c.root) {
      EXPECT_FALSE(IsLoaded(*c.root + "/demangle_ghs.so"));
    }
  }
}

TEST(ExportWriter, EveryDemangledTextIsPrintedAndFreedOnce) {
  // The counting demangler gives "<name>" for most names and NULL for names
  // that begin with "plain". Holding it open keeps its counters alive across
  // the writer's own load and unload.
  const std::string path = TestDemangler("counting") + "/demangle_ghs.so";
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  using Counts = void (*)(int*, int*, int*);
  auto counts = reinterpret_cast<Counts>(::dlsym(library, "demangle_test_counts"));
  ASSERT_NE(counts, nullptr);
  int handed = 0;
  int given = 0;
  int stray = 0;
  counts(&handed, &given, &stray);

  {
    ExportList list;
    list.Add("beta", Kind::Code);
    list.Add("plain_code", Kind::Code);
    list.Add("alpha", Kind::Code);
    list.Add("plain_tls", Kind::Tls);
    list.Add("zero", Kind::NoBits);
    list.Add("value", Kind::Data);
    Status status = 1;
    const std::string expected = kHeading + "\n[CODE]\n" +
                                 "alpha" + std::string(35, ' ') + "; <alpha>\n" +
                                 "beta" + std::string(36, ' ') + "; <beta>\n" +
                                 Plain("plain_code") +
                                 "\n[DATA]\n" +
                                 "zero" + std::string(36, ' ') + "; <zero>\n" +
                                 "\n[TLS]\n" + Plain("plain_tls") +
                                 "\n[DATA]\n" +
                                 "value" + std::string(35, ' ') + "; <value>\n";
    EXPECT_EQ(list.Write(TestDemangler("counting"), &status), expected);
    EXPECT_EQ(status, 0);
  }
  counts(&handed, &given, &stray);
  EXPECT_EQ(handed, 4);
  EXPECT_EQ(given, 4);
  EXPECT_EQ(stray, 0) << "demangle_free was called with NULL or with a text it did not hand out";
  ::dlclose(library);
}

TEST(ExportWriter, DemanglerPathFromGhsRoot) {
  const struct {
    const char* root;
    const char* path;
  } cases[] = {
      {"/opt/ghs/comp", "/opt/ghs/comp/demangle_ghs.so"},
      {"/cygdrive/d/ghs", "d:/ghs/demangle_ghs.so"},
      {"/cygdrive/c/tools/ghs", "c:/tools/ghs/demangle_ghs.so"},
      {"/cygdrive/e", "e:/demangle_ghs.so"},
      {"/cygdrive/", "/demangle_ghs.so"},
      {"/cygdrive", "/cygdrive/demangle_ghs.so"},
      {"/Cygdrive/d/ghs", "/Cygdrive/d/ghs/demangle_ghs.so"},
      {"C:\\ghs\\comp", "C:\\ghs\\comp/demangle_ghs.so"},
      {"C://ghs", "C://ghs/demangle_ghs.so"},
      {"ab", "ab/demangle_ghs.so"},
      {"", "/demangle_ghs.so"},
  };
  for (const auto& c : cases) EXPECT_EQ(DemanglerPath(c.root), c.path) << c.root;
}

}  // namespace
