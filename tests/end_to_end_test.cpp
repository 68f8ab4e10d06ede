#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tool_runner.h"

namespace {

std::string Fixture(const std::string& flavour, const std::string& stem) {
  return std::string(QUORLIX_FIXTURE_DIR) + "/" + flavour + "/" + stem + ".o";
}

// One line of the list: the name, blanks up to column 40, and its
// demangled form.
std::string Line(const std::string& name, const std::string& demangled) {
  return name + std::string(40 - name.size() % 40, ' ') + "; " + demangled + "\n";
}

std::string Line(const std::string& plain) { return Line(plain, plain); }

// The list for e2e_counters.c and e2e_shapes.cpp, whichever byte order they
// were compiled for. Left out: the weak e2e_hook, the static e2e_clamp and
// e2e_hidden_total, the undefined e2e_elsewhere and the C++ runtime names.
// The Linux objects flag thread-local sections with 0x400, not with this
// platform's flag, so e2e_slot and e2e_seed list as ordinary data; the
// zero-filled ones (.bss, .tbss) come before the rest.
const std::string kExpectedList =
    "; Generated Export List\n"
    "\n[CODE]\n" +
    Line("E2E_Banner") +
    Line("_ZN3e2e3geo5ShapeD0Ev", "e2e::geo::Shape::~Shape()") +
    Line("_ZN3e2e3geo5ShapeD1Ev", "e2e::geo::Shape::~Shape()") +
    Line("_ZN3e2e3geo5ShapeD2Ev", "e2e::geo::Shape::~Shape()") +
    Line("_ZN3e2e3geo5UnboxERKNS0_3BoxIiEEl", "e2e::geo::Unbox(e2e::geo::Box<int> const&, long)") +
    Line("_ZN3e2e3geo8DistanceERKNS0_5PointES3_",
         "e2e::geo::Distance(e2e::geo::Point const&, e2e::geo::Point const&)") +
    Line("_ZN3e2e3geoplERKNS0_5PointES3_", "e2e::geo::operator+(e2e::geo::Point const&, e2e::geo::Point const&)") +
    Line("_ZNK3e2e3geo3BoxIiE3GetEv", "e2e::geo::Box<int>::Get() const") +
    Line("_ZNK3e2e3geo5Shape4AreaEv", "e2e::geo::Shape::Area() const") +
    Line("e2e_c_entry") +
    Line("e2e_count") +
    Line("e2e_forward") +
    "\n[DATA]\n" +
    Line("_ZN3e2e3geo5Shape4madeE", "e2e::geo::Shape::made") +
    Line("e2e_slot") +
    Line("e2e_zeroed") +
    Line("_ZTIN3e2e3geo5ShapeE", "typeinfo for e2e::geo::Shape") +
    Line("_ZTSN3e2e3geo5ShapeE", "typeinfo name for e2e::geo::Shape") +
    Line("_ZTVN3e2e3geo5ShapeE", "vtable for e2e::geo::Shape") +
    Line("e2e_banner") +
    Line("e2e_counter") +
    Line("e2e_scratch") +
    Line("e2e_seed") +
    Line("e2e_shared");

ToolResult RunWithDemangler(const std::vector<std::string>& arguments) {
  ToolOptions options;
  options.environment["GHS_ROOT"] = DemanglerDirectory();
  return RunTool(arguments, options);
}

TEST(EndToEnd, CompiledObjectsOfEitherByteOrderGiveTheSameList) {
  const struct {
    const char* label;
    std::vector<std::string> arguments;
  } cases[] = {
      {"big-endian", {Fixture("ppc", "e2e_counters"), Fixture("ppc", "e2e_shapes")}},
      {"little-endian", {Fixture("i386", "e2e_counters"), Fixture("i386", "e2e_shapes")}},
      {"mixed, reversed", {Fixture("i386", "e2e_shapes"), Fixture("ppc", "e2e_counters")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolResult result = RunWithDemangler(c.arguments);
    EXPECT_EQ(result.out, kExpectedList);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
  }
}

TEST(EndToEnd, ACopyUnderAnotherNameIsReportedBeforeTheList) {
  TempDir dir;
  const std::string copy = dir.Write("again.o", ReadFile(Fixture("ppc", "e2e_counters")));
  const ToolResult result =
      RunWithDemangler({Fixture("ppc", "e2e_counters"), Fixture("i386", "e2e_shapes"), copy});
  EXPECT_EQ(result.out,
            "!!!WARNING: Exact same object file specified under two different names:\n"
            "    \"e2e_counters.o\" and \"again.o\"\n." +
                kExpectedList);
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
