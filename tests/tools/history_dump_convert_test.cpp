// pairtrack-history dump and convert: round trips through the text form in every encoding,
// exact for the float encodings and quantised for the scaled one, selections, and every
// refusal of bad text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "history_text.h"
#include "history_tool_fixture.h"
#include "io/history/history_scaled_i2.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

struct ExampleFile {
  const char* name;
  const char* code;
};
constexpr ExampleFile kExampleFiles[] = {
    {"history_i2.bin", "0"}, {"history_f4.bin", "1"}, {"history_f8.bin", "2"}};

TEST(HistoryRoundTrip, DumpConvertDumpGivesTheSameTextAndBytesForEveryExampleEncoding) {
  ScratchDir dir;
  for (const ExampleFile& f : kExampleFiles) {
    const std::string original = (kExamples / f.name).string();
    const ToolResult first = run_tool({"dump", original});
    ASSERT_EQ(first.status, 0) << f.name << first.err;
    EXPECT_EQ(first.err, "") << f.name;
    EXPECT_EQ(lines_of(records_only(first.out)).size(), 6u * 41u) << f.name;
    write_text(dir / "dump.txt", first.out);
    const std::string copy = (dir / "copy.bin").string();
    const ToolResult conv =
        run_tool({"convert", "--format", f.code, (dir / "dump.txt").string(), copy});
    ASSERT_EQ(conv.status, 0) << f.name << conv.err;
    const ToolResult second = run_tool({"dump", copy});
    ASSERT_EQ(second.status, 0) << f.name;
    EXPECT_EQ(records_only(second.out), records_only(first.out)) << f.name;
    // The example files were written by the same writer, so even the bytes agree.
    EXPECT_EQ(read_file(copy), read_file(original)) << f.name;
  }
}

TEST(HistoryRoundTrip, Float64KeepsEveryBitOfAwkwardValues) {
  ScratchDir dir;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "awkward.bin").string()));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 1.0 / 3.0, 3, 1));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, -5, 0.1, 1e-300, -0.0,
                     4.9406564584124654e-324, 1.7976931348623157e308, 2.0 / 3.0));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 32767, 5.2, inf, -inf, nan, -1e-17,
                     6.283185307179586));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, -32768, 1e300, 123456789.123456789, 0.3,
                     0.7, 0.9, 1.1));
  ASSERT_TRUE(w.close());
  const ToolResult first = run_tool({"dump", "--format", "2", (dir / "awkward.bin").string()});
  ASSERT_EQ(first.status, 0) << first.err;
  const ToolResult conv =
      run_tool({"convert", "--format", "2", "-", (dir / "copy.bin").string()}, first.out);
  ASSERT_EQ(conv.status, 0) << conv.err;
  EXPECT_EQ(conv.err, "");
  EXPECT_EQ(read_file(dir / "copy.bin"), read_file(dir / "awkward.bin"));
  const ToolResult second = run_tool({"dump", (dir / "copy.bin").string()});
  EXPECT_EQ(records_only(second.out), records_only(first.out));
  EXPECT_NE(first.out.find("body -5 0.10000000000000001 1e-300 -0 "
                           "4.9406564584124654e-324 1.7976931348623157e+308 0.66666666666666663"),
            std::string::npos)
      << first.out;
}

TEST(HistoryRoundTrip, Float32RoundsDoublesOnceAndThenRoundTripsExactly) {
  ScratchDir dir;
  const std::string text =
      "frame 0.1 1 1\n"
      "body 3 2.5 0.1 0.25 0.5 1 0.3\n";
  const ToolResult conv =
      run_tool({"convert", "--format", "1", "-", (dir / "f4.bin").string()}, text);
  ASSERT_EQ(conv.status, 0) << conv.err;
  // 0.1 (twice) and 0.3 are not float32 values; 2.5, 0.25, 0.5 and 1 are.
  EXPECT_EQ(conv.err, "pairtrack-history: note: 3 of 7 values were rounded to float32\n");
  const ToolResult dump = run_tool({"dump", (dir / "f4.bin").string()});
  ASSERT_EQ(dump.status, 0);
  const std::string expected = "frame " + history_tool::format_real(double(0.1f)) +
                               " 1 1\nbody 3 2.5 " + history_tool::format_real(double(0.1f)) +
                               " 0.25 0.5 1 " + history_tool::format_real(double(0.3f)) + "\n";
  EXPECT_EQ(records_only(dump.out), expected);
  const ToolResult again =
      run_tool({"convert", "--format", "1", "-", (dir / "again.bin").string()}, dump.out);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.err, "");  // nothing left to round
  EXPECT_EQ(read_file(dir / "again.bin"), read_file(dir / "f4.bin"));
}

TEST(HistoryRoundTrip, ScaledEncodingStoresTheNearestGridValuesAndSaysSo) {
  ScratchDir dir;
  const std::string text =
      "frame 123.456 1 2\n"
      "body 7 2.5 0.1 0.3 -1 3 6.28318530717958\n"
      "body 8 1 1 0 0 0 0\n";
  const ToolResult conv =
      run_tool({"convert", "--format", "0", "-", (dir / "i2.bin").string()}, text);
  ASSERT_EQ(conv.status, 0) << conv.err;
  // 1, 1, 0, 0, 0, 0 and the full-turn constant lie on the grid; the other six do not.
  EXPECT_EQ(
      conv.err.rfind("pairtrack-history: format 0 stores quantised values: 6 of 13 values", 0), 0u)
      << conv.err;
  const ToolResult dump = run_tool({"dump", (dir / "i2.bin").string()});
  ASSERT_EQ(dump.status, 0);
  using history_tool::format_real;
  const ScaledTime t = *quantise_scaled_time(123.456);
  const std::string expected = "frame " + format_real(decode_scaled_time(t.h1, t.h2, t.h3)) +
                               " 1 2\n" + "body 7 " +
                               format_real(decode_scaled_a(*quantise_scaled_a(2.5))) + " " +
                               format_real(decode_scaled_e(*quantise_scaled_e(0.1))) + " " +
                               format_real(decode_scaled_angle(*quantise_scaled_angle(0.3))) + " " +
                               format_real(decode_scaled_angle(*quantise_scaled_angle(-1.0))) +
                               " " + format_real(decode_scaled_angle(*quantise_scaled_angle(3.0))) +
                               " 6.28318530717958\n" + "body 8 1 1 0 0 0 0\n";
  EXPECT_EQ(records_only(dump.out), expected);
  EXPECT_EQ(decode_scaled_time(t.h1, t.h2, t.h3), 123.46);
  // Quantised values are grid values: a second conversion changes nothing.
  const ToolResult again =
      run_tool({"convert", "--format", "0", "-", (dir / "again.bin").string()}, dump.out);
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.err.find("0 of 13 values"), std::string::npos) << again.err;
  EXPECT_EQ(read_file(dir / "again.bin"), read_file(dir / "i2.bin"));
}

TEST(HistoryRoundTrip, ConvertingBetweenEncodingsKeepsTheFrameStructure) {
  ScratchDir dir;
  const std::string f8 = (kExamples / "history_f8.bin").string();
  const ToolResult dump = run_tool({"dump", f8});
  const ToolResult conv =
      run_tool({"convert", "--format", "1", "-", (dir / "f4.bin").string()}, dump.out);
  ASSERT_EQ(conv.status, 0);
  const ToolResult info = run_tool({"info", (dir / "f4.bin").string()});
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("encoding: 1 (float32), detected"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("frames: 6 complete"), std::string::npos) << info.out;
}

// A frame of two massive bodies (nrec1 = 3) and three small ones (nrec2 = 3), then a second.
void write_split_frames(const fs::path& path) {
  HistoryWriter w;
  ASSERT_TRUE(w.open(path.string()));
  for (double time : {10.0, 20.0}) {
    ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, time, 3, 3));
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, -1, 5.2, 0.05, 0.01, 0, 0, 0));
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, -2, 9.5, 0.05, 0.02, 0, 0, 0));
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 4, 2.2, 0.1, 0.1, 0, 0, 0));
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 5, 2.3, 0.1, 0.1, 0, 0, 0));
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 6, 2.4, 0.1, 0.1, 0, 0, 0));
  }
  ASSERT_TRUE(w.close());
}

TEST(HistoryDumpSelection, FramesRangeShowsOnlyThoseFrames) {
  ScratchDir dir;
  write_split_frames(dir / "h.bin");
  const std::string path = (dir / "h.bin").string();
  const std::vector<std::string> second =
      lines_of(records_only(run_tool({"dump", "--frames", "2", path}).out));
  ASSERT_EQ(second.size(), 6u);
  EXPECT_EQ(second[0], "frame 20 3 3");
  EXPECT_EQ(lines_of(records_only(run_tool({"dump", "--frames=1:", path}).out)).size(), 12u);
  EXPECT_EQ(lines_of(records_only(run_tool({"dump", "--frames", ":1", path}).out))[0],
            "frame 10 3 3");
  EXPECT_EQ(records_only(run_tool({"dump", "--frames", "3:9", path}).out), "");
}

TEST(HistoryDumpSelection, IdsAndPositionsKeepTheHeaderCountsConsistent) {
  ScratchDir dir;
  write_split_frames(dir / "h.bin");
  const std::string path = (dir / "h.bin").string();
  const ToolResult ids = run_tool({"dump", "--frames", "1", "--ids", "5,-2", path});
  ASSERT_EQ(ids.status, 0);
  EXPECT_EQ(records_only(ids.out),
            "frame 10 2 1\n"
            "body -2 9.5 0.050000000000000003 0.02 0 0 0\n"
            "body 5 2.2999999999999998 0.10000000000000001 0.10000000000000001 0 0 0\n");
  const ToolResult pos = run_tool({"dump", "--frames", "2", "--positions", "3:4", path});
  EXPECT_EQ(
      lines_of(records_only(pos.out)),
      (std::vector<std::string>{
          "frame 20 1 2", "body 4 2.2000000000000002 0.10000000000000001 0.10000000000000001 0 0 0",
          "body 5 2.2999999999999998 0.10000000000000001 0.10000000000000001 0 0 0"}));
  // A selection dump is a valid text form in its own right.
  const ToolResult conv =
      run_tool({"convert", "--format", "2", "-", (dir / "sel.bin").string()}, pos.out);
  EXPECT_EQ(conv.status, 0) << conv.err;
}

TEST(HistoryDump, TruncatedLastFrameIsLeftOutWithANote) {
  ScratchDir dir;
  std::string bytes = read_file(kExamples / "history_f8.bin");
  bytes.resize(bytes.size() - 100);  // inside the last frame's body records
  write_text(dir / "cut.bin", bytes);
  const ToolResult r = run_tool({"dump", (dir / "cut.bin").string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(lines_of(records_only(r.out)).size(), 5u * 41u);
  EXPECT_NE(r.err.find("note: " + (dir / "cut.bin").string() +
                       " ends inside frame 6 (38 of 40 body records complete)"),
            std::string::npos)
      << r.err;
}

TEST(HistoryDump, RecordsTooShortForTheGivenFormatAreAnError) {
  const ToolResult r = run_tool({"dump", "--format", "2", (kExamples / "history_f4.bin").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find(
          "the header of frame 1 cannot be read as format 2 (float64): its payload is shorter"),
      std::string::npos)
      << r.err;
}

TEST(HistoryDump, AFileWhoseEncodingCannotBeToldNeedsFormat) {
  ScratchDir dir;
  write_text(dir / "empty.bin", "");
  const ToolResult r = run_tool({"dump", (dir / "empty.bin").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the encoding cannot be told (the file is empty"), std::string::npos)
      << r.err;
  EXPECT_EQ(run_tool({"dump", "--format", "0", (dir / "empty.bin").string()}).status, 0);
}

struct BadText {
  const char* text;
  const char* message;
};

TEST(HistoryConvert, RefusesBadTextWithItsLineAndLeavesNoFile) {
  const BadText cases[] = {
      {"frame 0 1 2\nbody 1 1 0.1 0 0 0 0\n",
       "the frame at line 1 announces 2 body records, but 1 body lines follow it"},
      {"frame 0 1 1\nbody 1 1 0.1 0 0 0 0\nframe 1 1 2\nbody 1 1 0.1 0 0 0 0\nframe 2 1 0\n",
       "the frame at line 3 announces 2 body records, but 1 body lines follow it"},
      {"frame 0 1 1\nbody 1 1 0.1 0 0 0 0\nbody 2 1 0.1 0 0 0 0\n",
       ":3: one body line more than the 1 that the frame at line 1 announces"},
      {"# comment\nbody 1 1 0.1 0 0 0 0\n", ":2: a body line before the first frame line"},
      {"frame 0 1\n", ":1: a frame line holds the time, nrec1 and nrec2 (2 values given)"},
      {"frame zero 1 1\n", ":1: frame time 'zero' is not a real number"},
      {"frame 0 1.5 1\n", ":1: nrec1 and nrec2 must be integers"},
      {"frame 0 1 40000\n", ":1: nrec2 = 40000 does not fit 16 bits"},
      {"frame 0 -2147483648 1\n", ":1: nrec1 = -2147483648 does not fit 16 bits"},
      {"frame 0 1 1\nbody 1 1 0.1 0 0 0\n",
       ":2: a body line holds the identifier and six reals (6 values given)"},
      {"frame 0 1 1\nbody x 1 0.1 0 0 0 0\n", ":2: body identifier 'x' is not an integer"},
      {"frame 0 1 1\nbody 1 1 0.1 0 0 0 1e999\n", ":2: value '1e999' is not a real number"},
      {"frame 0 1 1\nbody 40000 1 0.1 0 0 0 0\n", ":2: body identifier 40000 does not fit 16 bits"},
      {"frame 0 1 1\nbody 1 1 1e40 0 0 0 0\n", ":2: e = 1e+40 overflows float32"},
      {"time 0 1 1\n", ":1: a line starts with 'frame', 'body' or '#', not 'time'"},
  };
  ScratchDir dir;
  for (const BadText& c : cases) {
    const fs::path out = dir / "out.bin";
    const ToolResult r = run_tool({"convert", "--format", "1", "-", out.string()}, c.text);
    EXPECT_EQ(r.status, 1) << c.text;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.text << " -> " << r.err;
    EXPECT_EQ(r.err.rfind("pairtrack-history: standard input", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(out)) << c.text;
  }
}

TEST(HistoryConvert, RefusesValuesOutsideTheScaledGrid) {
  ScratchDir dir;
  const BadText cases[] = {
      {"frame 0 1 1\nbody 1 2e6 0.1 0 0 0 0\n", "a = 2000000 lies outside 1e-6 .. 1e6 AU"},
      {"frame 0 1 1\nbody 1 2 0 0 0 0 0\n", "e = 0 lies outside 1e-3 .. 1e3"},
      {"frame 0 1 1\nbody 1 2 0.1 7 0 0 0\n", "inc = 7 lies outside -2 pi .. 2 pi"},
      {"frame 0 1 1\nbody 1 2 0.1 0 0 0 nan\n", "angle7 = nan lies outside"},
      {"frame 1e20 1 0\n", "time 1e+20 lies outside what format 0 can store"},
  };
  for (const BadText& c : cases) {
    const ToolResult r =
        run_tool({"convert", "--format", "0", "-", (dir / "out.bin").string()}, c.text);
    EXPECT_EQ(r.status, 1) << c.text;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
  }
}

TEST(HistoryConvert, RefusesToOverwriteItsOwnInputAndReportsUnreadableFiles) {
  ScratchDir dir;
  write_text(dir / "t.txt", "frame 0 1 0\n");
  const ToolResult same =
      run_tool({"convert", "--format", "2", (dir / "t.txt").string(), (dir / "t.txt").string()});
  EXPECT_EQ(same.status, 1);
  EXPECT_NE(same.err.find("is the text being converted"), std::string::npos);
  EXPECT_EQ(read_file(dir / "t.txt"), "frame 0 1 0\n");
  const ToolResult missing =
      run_tool({"convert", "--format", "2", (dir / "none.txt").string(), (dir / "o.bin").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
  const ToolResult no_dir = run_tool(
      {"convert", "--format", "2", (dir / "t.txt").string(), (dir / "no/such/o.bin").string()});
  EXPECT_EQ(no_dir.status, 1);
  EXPECT_NE(no_dir.err.find("cannot create"), std::string::npos);
}

TEST(HistoryConvert, AcceptsCommentsBlankLinesAndCarriageReturns) {
  ScratchDir dir;
  const ToolResult r = run_tool({"convert", "--format", "2", "-", (dir / "o.bin").string()},
                                "# made by hand\n\nframe 5 1 1\r\n  body 2 1.5 0.2 0.1 0 0 0\r\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(records_only(run_tool({"dump", (dir / "o.bin").string()}).out),
            "frame 5 1 1\nbody 2 1.5 0.20000000000000001 0.10000000000000001 0 0 0\n");
}

}  // namespace
}  // namespace pairtrack::detail
