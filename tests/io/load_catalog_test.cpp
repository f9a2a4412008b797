// Orbit catalogue reader: echo and count lines, the column field 148-182, the end of the reading
// (blank or unparsable line, end of file), the capacity of the arrays, and files that cannot be
// opened. Each test works in a fresh temporary directory so that short relative names are used.
#include "io/load_catalog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace pairtrack::detail {
namespace {

namespace fs = std::filesystem;

constexpr double kUntouched = -12345.0;

std::string name80(const std::string& name) { return name + std::string(80 - name.size(), ' '); }

// A catalogue line: 147 characters of other columns, then the 35-character field, then `tail`.
std::string catalog_line(const std::string& field, const std::string& tail = "  1.20 0.33") {
  std::string line = std::string(5, ' ') + "orbit" + std::string(137, '.');
  std::string padded_field = field;
  padded_field.resize(35, ' ');
  return line + padded_field + tail;
}

class LoadCatalog : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = fs::temp_directory_path() / (std::string("pairtrack_catalog_") + info->name() +
                                              "_" + std::to_string(::getpid()));
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    fs::current_path(directory_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }

  static void copy_fixture(const std::string& fixture, const std::string& name) {
    fs::copy_file(fs::path(PAIRTRACK_TEST_DATA) / "catalog" / fixture, name);
  }
  static void write_file(const std::string& name, const std::string& contents) {
    std::ofstream(name, std::ios::binary) << contents;
  }

  // Runs the reader with arrays of `capacity` entries plus guard entries behind them.
  CatalogStatus load(const std::string& name, std::int32_t capacity = 30000) {
    a_.assign(static_cast<std::size_t>(capacity) + kGuard, kUntouched);
    e_ = a_;
    inc_ = a_;
    n_ = capacity;
    out_.str("");
    return load_catalog(name80(name), a_.data(), e_.data(), inc_.data(), n_, out_);
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

  // Entries at index `from` and beyond still hold their earlier contents.
  void expect_untouched_from(std::size_t from) const {
    for (std::size_t i = from; i < a_.size(); ++i) {
      ASSERT_EQ(a_[i], kUntouched) << i;
      ASSERT_EQ(e_[i], kUntouched) << i;
      ASSERT_EQ(inc_[i], kUntouched) << i;
    }
  }

  static constexpr std::size_t kGuard = 4;
  fs::path previous_;
  fs::path directory_;
  std::vector<double> a_, e_, inc_;
  std::int32_t n_ = 0;
  std::ostringstream out_;
};

TEST_F(LoadCatalog, EmptyFileGivesTheEchoAndACountOfZero) {
  copy_fixture("empty.txt", "empty.cat");
  EXPECT_EQ(load("empty.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{" # Input filename: " + name80("empty.cat"),
                                               " # n =            0"}));
  expect_untouched_from(0);
}

TEST_F(LoadCatalog, ReadsInclinationEccentricityAndSemimajorAxisInThatOrder) {
  copy_fixture("three_orbits.txt", "three.cat");
  ASSERT_EQ(load("three.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 3);
  EXPECT_EQ(inc_[0], 5.12345);
  EXPECT_EQ(e_[0], 0.08123);
  EXPECT_EQ(a_[0], 2.76543);
  EXPECT_EQ(inc_[1], 10.0);
  EXPECT_EQ(e_[1], 0.15);
  EXPECT_EQ(a_[1], 2.7);
  // Stored as read: no range check on a negative eccentricity or a zero semimajor axis.
  EXPECT_EQ(inc_[2], -1.5);
  EXPECT_EQ(e_[2], -0.01);
  EXPECT_EQ(a_[2], 0.0);
  expect_untouched_from(3);
  EXPECT_EQ(lines().back(), " # n =            3");
}

TEST_F(LoadCatalog, LastLineWithoutTerminatorAndCrlfLinesAreRead) {
  for (const char* fixture : {"three_orbits_no_final_newline.txt", "three_orbits_crlf.txt"}) {
    fs::remove("orbits.cat");
    copy_fixture(fixture, "orbits.cat");
    ASSERT_EQ(load("orbits.cat"), CatalogStatus::ok) << fixture;
    EXPECT_EQ(n_, 3) << fixture;
    EXPECT_EQ(a_[2], 0.0) << fixture;
    EXPECT_EQ(inc_[2], -1.5) << fixture;
  }
}

TEST_F(LoadCatalog, IgnoresCharactersBeyondColumn255AndReadsTheNextLine) {
  copy_fixture("long_lines.txt", "long.cat");
  ASSERT_EQ(load("long.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 2);
  EXPECT_EQ(a_[0], 2.76543);
  EXPECT_EQ(inc_[1], 10.0);
  EXPECT_EQ(a_[1], 2.7);
}

TEST_F(LoadCatalog, ReadsAHugeLineWithoutTroubleAndGoesOnWithTheNext) {
  write_file("huge.cat", catalog_line("1 0.1 2.0", std::string(5'000'000, 'x')) + "\n" +
                             catalog_line("2 0.2 3.0") + "\n");
  ASSERT_EQ(load("huge.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 2);
  EXPECT_EQ(a_[1], 3.0);
}

TEST_F(LoadCatalog, AcceptsCommaSeparatedFields) {
  copy_fixture("comma_separated.txt", "comma.cat");
  ASSERT_EQ(load("comma.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 2);
  EXPECT_EQ(inc_[0], 5.12345);
  EXPECT_EQ(e_[0], 0.08123);
  EXPECT_EQ(a_[0], 2.76543);
  EXPECT_EQ(inc_[1], 10.0);
  EXPECT_EQ(e_[1], 0.15);
  EXPECT_EQ(a_[1], 2.7);
}

TEST_F(LoadCatalog, BlankLineEndsTheReadingWithoutBeingCounted) {
  copy_fixture("blank_line_in_middle.txt", "gap.cat");
  ASSERT_EQ(load("gap.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 1);
  EXPECT_EQ(a_[0], 2.76543);
  expect_untouched_from(1);
  EXPECT_EQ(lines().back(), " # n =            1");
}

TEST_F(LoadCatalog, UnparsableFieldEndsTheReadingWithoutBeingCounted) {
  const std::string good = catalog_line("10 0.15 2.7");
  const std::string fields[] = {
      "10 0.15",        // two numbers only: nothing of this line is stored
      "10 0.15 1e999",  // beyond the double range
      "nan 0.15 2.7",   // a word, not a number
      "10 0.15 inf",
      "10 0.15 2.7x",                    // junk stuck to the last number
      "10 ,, 0.15 2.7",                  // a null value
      std::string("10 0.15\0 2.7", 12),  // a NUL byte in the field
  };
  for (const std::string& field : fields) {
    write_file("bad.cat", good + "\n" + catalog_line(field) + "\n" + good + "\n");
    ASSERT_EQ(load("bad.cat"), CatalogStatus::ok) << field;
    EXPECT_EQ(n_, 1) << field;
    expect_untouched_from(1);
    EXPECT_EQ(lines().back(), " # n =            1") << field;
  }
  // A line that ends before column 148 has a blank field.
  write_file("short.cat", good + "\nshort line\n" + good + "\n");
  ASSERT_EQ(load("short.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 1);
}

TEST_F(LoadCatalog, ReadsOnlyColumns148To182) {
  // The third number starts at column 180: only "2.7" of "2.7654321" lies in the field, and the
  // columns after 182 are not read even though a value is stuck to it there.
  std::string field = "10 0.15";
  field.resize(32, ' ');
  field += "2.7";
  const std::string line = std::string(147, '7') + field + "654321" + " 99 99";
  write_file("cut.cat", line + "\n");
  ASSERT_EQ(load("cut.cat"), CatalogStatus::ok);
  ASSERT_EQ(n_, 1);
  EXPECT_EQ(inc_[0], 10.0);
  EXPECT_EQ(e_[0], 0.15);
  EXPECT_EQ(a_[0], 2.7);
}

TEST_F(LoadCatalog, TenCharacterNameWithSeventyBlanksOpensTheShortName) {
  copy_fixture("three_orbits.txt", "orbits.cat");
  ASSERT_EQ(std::string("orbits.cat").size(), 10u);
  ASSERT_EQ(load("orbits.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 3);
  const std::string echo = lines().front();
  EXPECT_EQ(echo, " # Input filename: orbits.cat" + std::string(70, ' '));
}

TEST_F(LoadCatalog, MissingFileWritesExactlyTheEchoAndTheErrorLine) {
  EXPECT_EQ(load("missing.cat"), CatalogStatus::cannot_open);
  EXPECT_EQ(lines(), (std::vector<std::string>{" # Input filename: " + name80("missing.cat"),
                                               " Error reading file " + name80("missing.cat")}));
  EXPECT_EQ(n_, 30000);  // unchanged
  expect_untouched_from(0);
}

TEST_F(LoadCatalog, DirectoryOrBlankNameCannotBeOpened) {
  fs::create_directory("orbits.d");
  EXPECT_EQ(load("orbits.d"), CatalogStatus::cannot_open);
  EXPECT_EQ(lines().back(), " Error reading file " + name80("orbits.d"));
  EXPECT_EQ(lines().size(), 2u);
  EXPECT_EQ(load(""), CatalogStatus::cannot_open);
  EXPECT_EQ(lines().back(), " Error reading file " + std::string(80, ' '));
}

TEST_F(LoadCatalog, NameIsTakenAsEightyCharacters) {
  copy_fixture("three_orbits.txt", "orbits.cat");
  std::int32_t n = 30000;
  std::vector<double> a(30000), e(30000), inc(30000);
  std::ostringstream out;
  // A shorter text is blank-filled for the echo; the file opened is the same.
  ASSERT_EQ(load_catalog("orbits.cat", a.data(), e.data(), inc.data(), n, out), CatalogStatus::ok);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(out.str().substr(0, 99), " # Input filename: " + name80("orbits.cat"));
  // Characters past the 80th are not part of the name.
  out.str("");
  n = 30000;
  const std::string too_long = name80("orbits.cat") + "extra";
  ASSERT_EQ(load_catalog(too_long, a.data(), e.data(), inc.data(), n, out), CatalogStatus::ok);
  EXPECT_EQ(n, 3);
}

TEST_F(LoadCatalog, ExactlyThirtyThousandOrbitsAreAccepted) {
  std::string contents;
  for (int k = 1; k <= 30000; ++k) {
    contents +=
        catalog_line(std::to_string(k % 30) + " 0.1 " + std::to_string(2.0 + k * 1e-5)) + "\n";
  }
  write_file("full.cat", contents);
  ASSERT_EQ(load("full.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 30000);
  EXPECT_EQ(a_[29999], 2.0 + 30000 * 1e-5);
  expect_untouched_from(30000);
  EXPECT_EQ(lines().back(), " # n =        30000");

  // A blank line after the last orbit is no orbit and changes nothing.
  write_file("full.cat", contents + "\n");
  ASSERT_EQ(load("full.cat"), CatalogStatus::ok);
  EXPECT_EQ(n_, 30000);
}

TEST_F(LoadCatalog, OrbitPastTheCapacityIsRefusedWithoutACountLine) {
  std::string contents;
  for (int k = 1; k <= 30001; ++k) contents += catalog_line("1 0.1 2.5") + "\n";
  write_file("over.cat", contents);
  EXPECT_EQ(load("over.cat"), CatalogStatus::too_many_orbits);
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         " # Input filename: " + name80("over.cat"),
                         " pairtrack: orbit catalogue holds more than       30000 orbits"}));
  expect_untouched_from(30000);
}

TEST_F(LoadCatalog, NeverStoresPastTheCapacityGivenOnEntry) {
  copy_fixture("three_orbits.txt", "three.cat");
  EXPECT_EQ(load("three.cat", 2), CatalogStatus::too_many_orbits);
  EXPECT_EQ(a_[1], 2.7);
  expect_untouched_from(2);
  EXPECT_EQ(lines().back(), " pairtrack: orbit catalogue holds more than           2 orbits");

  EXPECT_EQ(load("three.cat", 3), CatalogStatus::ok);
  EXPECT_EQ(n_, 3);
  EXPECT_EQ(load("three.cat", 0), CatalogStatus::too_many_orbits);
  expect_untouched_from(0);
}

}  // namespace
}  // namespace pairtrack::detail
