// Damaged history files in each encoding, run end to end: files cut at every kind of place,
// length markers of -1, 0, 2^31-1 and -2^31, records of another encoding, extreme counts and
// identifiers. A damaged record ends the data like the end of the file: the incomplete frame
// is not reported, the closing line gives the time of the last body record read, exit status 0.
#include <gtest/gtest.h>

#include <limits>

#include "bad_input/bad_input_fixture.h"

namespace pairtrack::detail::bad_input {
namespace {

constexpr double kT1 = 0.5;  // frame times, in Myr with time_divisor 1
constexpr double kT2 = 1.5;

struct Layout {
  Bytes bytes;
  std::vector<std::size_t> starts;  // offset of every record, then the file size
  std::vector<double> time_after;   // t_max once record i has been read (0 before any body)
  std::size_t frame1_end = 0;       // offset where frame 2 begins
};

// Two frames of three bodies (identifiers 1, 2, 3; positions 1 and 2 swept).
Layout two_frames(int code) {
  Layout l;
  double t_max = 0.0;
  auto add = [&](const Bytes& rec, bool is_body, double t) {
    l.starts.push_back(l.bytes.size());
    l.bytes += rec;
    if (is_body) t_max = t;
    l.time_after.push_back(t_max);
  };
  for (double t : {kT1, kT2}) {
    add(header(code, t, 1, 3), false, t);
    for (std::int16_t id = 1; id <= 3; ++id) add(body(code, id), true, t);
    if (t == kT1) l.frame1_end = l.bytes.size();
  }
  l.starts.push_back(l.bytes.size());
  return l;
}

Params params(int code) {
  Params p = params_for(code);
  p.time_divisor = "1";
  return p;
}

RunResult run_on(int code, const Bytes& history, const std::string& history_name = "hist.bin") {
  ScratchDir dir;
  write_catalog(dir / "cat.txt", two_orbits());
  write_text(dir / history_name, history);
  Params p = params(code);
  p.history = history_name;
  return run_pairtrack(dir, p.text());
}

// The report of the undamaged file: 8 lines before the frames, two frame lines, closing line.
struct Reference {
  std::vector<std::string> head, frames;
};
Reference reference(int code) {
  const RunResult r = run_on(code, two_frames(code).bytes);
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<std::string> lines = r.lines();
  EXPECT_EQ(lines.size(), 11u) << r.out;
  EXPECT_EQ(lines.back(), closing_line(kT2));
  Reference ref;
  ref.head.assign(lines.begin(), lines.begin() + 8);
  ref.frames.assign(lines.begin() + 8, lines.begin() + 10);
  return ref;
}

// The report a run must give when the data ends normally after `frames` complete frames.
std::string expected_report(const Reference& ref, std::size_t frames, double t_max) {
  std::string out;
  for (const std::string& l : ref.head) out += l + "\n";
  for (std::size_t i = 0; i < frames; ++i) out += ref.frames[i] + "\n";
  return out + closing_line(t_max) + "\n";
}

class HistoryDamage : public ::testing::TestWithParam<int> {};

TEST_P(HistoryDamage, CutAnywhereEndsTheDataAtTheLastCompleteFrame) {
  const int code = GetParam();
  const Reference ref = reference(code);
  const Layout l = two_frames(code);
  for (std::size_t r = 0; r + 1 < l.starts.size(); ++r) {
    const std::size_t start = l.starts[r], end = l.starts[r + 1];
    const std::size_t payload_end = end - 4;
    // Between records, inside the leading marker, inside the payload, inside the trailing one.
    for (std::size_t cut : {start, start + 1, start + 3, start + 4, start + 5, payload_end - 1,
                            payload_end, payload_end + 1, end - 1}) {
      SCOPED_TRACE("record " + std::to_string(r) + ", cut at byte " + std::to_string(cut));
      const RunResult got = run_on(code, l.bytes.substr(0, cut));
      const double t_max = r == 0 ? 0.0 : l.time_after[r - 1];
      EXPECT_EQ(got.status, 0);
      EXPECT_EQ(got.out, expected_report(ref, cut >= l.frame1_end ? 1 : 0, t_max));
    }
  }
  // Uncut, both frames.
  EXPECT_EQ(run_on(code, l.bytes).out, expected_report(ref, 2, kT2));
}

TEST_P(HistoryDamage, OddLengthMarkersEndTheDataWithoutAllocatingOrCrashing) {
  const int code = GetParam();
  const Reference ref = reference(code);
  const Layout l = two_frames(code);
  for (std::int32_t marker : {-1, 0, std::numeric_limits<std::int32_t>::max(),
                              std::numeric_limits<std::int32_t>::min()}) {
    SCOPED_TRACE("marker " + std::to_string(marker));
    // As the header of frame 2: frame 1 is reported, t_max is frame 1's.
    const Bytes bad_header = record_marked(header_payload(code, kT2, 1, 3), marker);
    RunResult got = run_on(code, l.bytes.substr(0, l.frame1_end) + bad_header + body(code, 1));
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, expected_report(ref, 1, kT1));
    // As the second body of frame 2: its first body was read, so t_max is frame 2's.
    const Elements x = crossing_body(code);
    const Bytes bad_body = record_marked(body_payload(code, 2, x.a, x.e, x.inc), marker);
    got = run_on(code, l.bytes.substr(0, l.frame1_end) + header(code, kT2, 1, 3) + body(code, 1) +
                           bad_body + body(code, 3));
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, expected_report(ref, 1, kT2));
  }
}

TEST_P(HistoryDamage, RecordsOfAnotherEncodingEndTheDataBeforeAnyFrame) {
  // Read with another reader, the first header is too short (codes 0 and 1 read as 2, code 1
  // read as 0) or announces bodies whose records are too short for that reader, or the next
  // header is: no frame is ever complete. Frame 1's time, 0.5, reads as 0 in every other form.
  const int written = GetParam();
  const Bytes bytes = two_frames(written).bytes;
  for (int read_as = 0; read_as <= 2; ++read_as) {
    if (read_as == written) continue;
    SCOPED_TRACE("written as " + std::to_string(written) + ", read as " + std::to_string(read_as));
    const RunResult got = run_on(read_as, bytes);
    EXPECT_EQ(got.status, 0) << got.out;
    const std::vector<std::string> lines = got.lines();
    ASSERT_EQ(lines.size(), 9u) << got.out;
    EXPECT_EQ(lines.back(), closing_line(0.0));
  }
}

TEST_P(HistoryDamage, HeaderCountsAtTheLimitsOfSixteenBits) {
  const int code = GetParam();
  const Reference ref = reference(code);
  // nrec1 = -32768 announces no leading records: the frame is the nrec2 bodies that follow.
  RunResult got =
      run_on(code, header(code, kT1, -32768, 3) + body(code, 1) + body(code, 2) + body(code, 3));
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.out, expected_report(ref, 1, kT1));
  // No bodies at all: the end of the data, before any frame.
  for (std::int16_t nrec2 : {std::int16_t{0}, std::int16_t{-32768}}) {
    got = run_on(code, header(code, kT1, -32768, nrec2) + body(code, 1));
    EXPECT_EQ(got.out, expected_report(ref, 0, 0.0));
  }
  // 32767 bodies announced, three present: the frame is incomplete and not reported.
  got = run_on(code, header(code, kT1, 1, 32767) + body(code, 1) + body(code, 2) + body(code, 3));
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.out, expected_report(ref, 0, kT1));
}

TEST_P(HistoryDamage, IdentifiersAtTheLimitsOfSixteenBits) {
  const int code = GetParam();
  struct IdCase {
    std::int16_t first, second, third;
    std::int32_t refused;  // the identifier the run stops at; 1: the run goes on
  };
  const IdCase cases[] = {
      {-32768, 2, 3, -32768},
      {1, 32767, 3, 32767},
      {0, 2, 3, 0},
      // Position 3 is not swept: any identifier is fine there.
      {1, 2, -32768, 1},
      {1, 2, 32767, 1},
  };
  const Reference ref = reference(code);
  for (const IdCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + " " + std::to_string(c.second) + " " +
                 std::to_string(c.third));
    const RunResult got = run_on(code, header(code, kT1, 1, 3) + body(code, c.first) +
                                           body(code, c.second) + body(code, c.third));
    if (c.refused != 1) {
      EXPECT_EQ(got.status, 1);
      ASSERT_FALSE(got.lines().empty());
      // " pairtrack: body identifier     -32768 outside 1 to       30000", free-form items.
      EXPECT_EQ(got.lines().back(), fortran::FreeFormLine()
                                        .text("pairtrack: body identifier")
                                        .integer(c.refused)
                                        .text("outside 1 to")
                                        .integer(30000)
                                        .str());
    } else {
      EXPECT_EQ(got.status, 0);
      EXPECT_EQ(got.out, expected_report(ref, 1, kT1));
    }
  }
}

TEST_P(HistoryDamage, FrameOfMoreThanThirtyThousandBodiesIsRefused) {
  const int code = GetParam();
  const Bytes one = body(code, 1);
  Bytes many = header(code, kT1, 1, 30001);
  many.reserve(many.size() + 30001 * one.size());
  for (int i = 0; i < 30001; ++i) many += one;
  RunResult got = run_on(code, many);
  EXPECT_EQ(got.status, 1);
  EXPECT_EQ(got.lines().back(), " pairtrack: frame holds more than       30000 bodies");
  // Exactly 30000 bodies make a frame.
  got = run_on(code, header(code, kT1, 1, 30000) + many.substr(many.size() - 30000 * one.size()));
  EXPECT_EQ(got.status, 0) << got.out;
  EXPECT_EQ(got.lines().size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Encodings, HistoryDamage, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "code" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace pairtrack::detail::bad_input
