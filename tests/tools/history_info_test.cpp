// pairtrack-history info and the encoding detection behind it: every encoding told from its
// record lengths, truncated and damaged files located, empty and ambiguous files refused.
#include <gtest/gtest.h>

#include "history_text.h"
#include "history_tool_fixture.h"
#include "pairtrack/history.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

TEST(HistoryInfo, TellsEachExampleEncodingFromItsRecordLengths) {
  const struct {
    const char* file;
    const char* encoding;
    const char* lengths;
    std::uint64_t bytes;
  } cases[] = {
      {"history_i2.bin", "0 (16-bit scaled)",
       "header payload is 10 bytes and every body payload 14", 6 * (18 + 40 * 22)},
      {"history_f4.bin", "1 (float32)", "header payload is 8 bytes and every body payload 26",
       6 * (16 + 40 * 34)},
      {"history_f8.bin", "2 (float64)", "header payload is 12 bytes and every body payload 50",
       6 * (20 + 40 * 58)},
  };
  for (const auto& c : cases) {
    const std::string path = (kExamples / c.file).string();
    const ToolResult r = run_tool({"info", path});
    EXPECT_EQ(r.status, 0) << c.file;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[0],
              "file: " + path + " (" + std::to_string(c.bytes) + " bytes, 246 complete records)");
    EXPECT_EQ(lines[1], std::string("encoding: ") + c.encoding + ", detected: every " + c.lengths);
    EXPECT_EQ(lines[2], "frames: 6 complete");
    EXPECT_EQ(lines[3].rfind("time span: 0 to 1250000 ", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "bodies per frame: min 40, max 40 (240 body records)");
    EXPECT_EQ(lines[5], "end: complete (the last frame ends with the file)");
  }
}

TEST(HistoryInfo, ReportsATruncatedLastFrameWithoutFailing) {
  ScratchDir dir;
  std::string bytes = read_file(kExamples / "history_i2.bin");
  bytes.resize(bytes.size() - 30);  // the last body record and 8 bytes of the one before
  write_text(dir / "cut.bin", bytes);
  const ToolResult r = run_tool({"info", (dir / "cut.bin").string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("encoding: 0 (16-bit scaled), detected"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("frames: 5 complete"), std::string::npos) << r.out;
  const std::uint64_t offset = 5 * (18 + 40 * 22) + 18 + 38 * 22;
  EXPECT_NE(r.out.find("end: truncated: body record 39 of 40 of frame 6 at byte " +
                       std::to_string(offset) +
                       ": the file ends inside it; pairtrack leaves that incomplete frame out"),
            std::string::npos)
      << r.out;
}

TEST(HistoryInfo, ReportsAFileThatEndsBeforeAFramesBodies) {
  ScratchDir dir;
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "h.bin").string()));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float32, 0.0, 1, 1));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float32, 1, 2.0, 0.1, 0.1, 0, 0, 0));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float32, 1.0, 1, 3));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float32, 1, 2.0, 0.1, 0.1, 0, 0, 0));
  ASSERT_TRUE(w.close());
  const ToolResult r = run_tool({"info", (dir / "h.bin").string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("frames: 1 complete"), std::string::npos) << r.out;
  EXPECT_NE(
      r.out.find(
          "end: truncated: body record 2 of 3 of frame 2: the file ends before it, at byte 100"),
      std::string::npos)
      << r.out;
}

TEST(HistoryInfo, LocatesADamagedRecordAndFails) {
  ScratchDir dir;
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "mixed.bin").string()));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 0.0, 1, 2));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1, 2.0, 0.1, 0.1, 0, 0, 0));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float32, 2, 2.0, 0.1, 0.1, 0, 0,
                     0));  // a float32 record in a float64 file
  ASSERT_TRUE(w.close());
  const std::string path = (dir / "mixed.bin").string();
  const ToolResult r = run_tool({"info", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("encoding: 2 (float64), detected: the first header payload is 12 bytes, "
                       "as format 2 (float64) writes it\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("end: damaged: body record 2 of 2 of frame 1 at byte 78 has a payload of "
                       "26 bytes; format 2 (float64) needs 50; pairtrack stops reading there"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.err, "pairtrack-history: " + path +
                       " is damaged: body record 2 of 2 of frame 1 "
                       "at byte 78 has a payload of 26 bytes; format 2 (float64) needs 50\n");
  const ToolResult dump = run_tool({"dump", path});
  EXPECT_EQ(dump.status, 1);
  EXPECT_NE(dump.err.find("body record 2 of frame 1 cannot be read as format 2 (float64): its "
                          "payload is shorter than the encoding needs"),
            std::string::npos)
      << dump.err;
  const ToolResult given = run_tool({"info", "--format", "2", path});
  EXPECT_EQ(given.status, 1);
  EXPECT_NE(given.out.find("end: damaged: body record 2 of 2 of frame 1 at byte 78"),
            std::string::npos)
      << given.out;
  EXPECT_NE(given.err.find("is damaged"), std::string::npos);
}

TEST(HistoryInfo, RefusesEmptyAndAmbiguousFiles) {
  ScratchDir dir;
  write_text(dir / "empty.bin", "");
  const ToolResult empty = run_tool({"info", (dir / "empty.bin").string()});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.out.find("encoding: cannot be told: the file is empty"), std::string::npos);
  EXPECT_EQ(run_tool({"info", "--format", "1", (dir / "empty.bin").string()}).status, 0);

  // Headers of 14 zero bytes: longer than every encoding needs, and announcing no bodies in
  // each of them, so all three readers accept the file.
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "odd.bin").string()));
  const unsigned char zeros[14] = {};
  ASSERT_TRUE(w.record(zeros));
  ASSERT_TRUE(w.record(zeros));
  ASSERT_TRUE(w.close());
  const ToolResult odd = run_tool({"info", (dir / "odd.bin").string()});
  EXPECT_EQ(odd.status, 1);
  EXPECT_NE(odd.err.find("ambiguous: the first record's payload is 14 bytes, no header length "
                         "matches it exactly, and the readers of formats 0, 1 and 2 accept "
                         "every record; give --format"),
            std::string::npos)
      << odd.err;
  const ToolResult given = run_tool({"info", "--format", "0", (dir / "odd.bin").string()});
  EXPECT_EQ(given.status, 0);
  EXPECT_NE(given.out.find("frames announcing no bodies: 2, the first is frame 1"),
            std::string::npos)
      << given.out;
  EXPECT_NE(given.out.find("irregular records: 2, the first at byte 0"), std::string::npos);
}

TEST(HistoryInfo, FallsBackToTheReadersRuleWhenOneRecordIsLonger) {
  ScratchDir dir;
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "long.bin").string()));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 5.0, 1, 1));
  unsigned char body[60] = {};
  body[0] = 3;  // id 3, a..angle7 all 0.0, 10 bytes extra
  ASSERT_TRUE(w.record(body));
  ASSERT_TRUE(w.close());
  HistoryFormatDetection d;
  std::string error;
  ASSERT_TRUE(detect_history_format((dir / "long.bin").string(), d, error));
  ASSERT_TRUE(d.format.has_value()) << d.explanation;
  EXPECT_EQ(*d.format, HistoryFormat::float64);
  EXPECT_FALSE(d.exact);
  EXPECT_EQ(d.summary.irregular_records, 1);
}

TEST(HistoryInfo, NotesWhenTheGivenFormatDisagreesWithTheRecordLengths) {
  const ToolResult r = run_tool({"info", "--format", "0", (kExamples / "history_f8.bin").string()});
  EXPECT_NE(r.out.find("encoding: 0 (16-bit scaled), as given; but the record lengths are those "
                       "of format 2 (float64)"),
            std::string::npos)
      << r.out;
}

TEST(HistoryInfo, MissingFileOrDirectoryIsAnError) {
  ScratchDir dir;
  const ToolResult missing = run_tool({"info", (dir / "none.bin").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "pairtrack-history: cannot open " + (dir / "none.bin").string() +
                             ": No such file or directory\n");
  const ToolResult directory = run_tool({"info", dir.path().string()});
  EXPECT_EQ(directory.status, 1);
  EXPECT_NE(directory.err.find("not a regular file"), std::string::npos);
}

// A text file (a catalogue or run file given by mistake) or other binary is named as not a
// history file, by info and by dump with or without --format; a header still being written is
// not. Each refusal is one line on standard error and exit status 1.
TEST(HistoryStart, FilesThatAreNoHistoryFilesAreNamedAsSuch) {
  ScratchDir dir;
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;  // empty: not refused as "not a history file"
  } cases[] = {
      {"text.cat", "# pairtrack catalogue\n",
       "its first 4 bytes are text ('# pa'), not a record length marker"},
      {"short.txt", "a\t\n", "its first 3 bytes are text ('a\\t\\n'), not a record length marker"},
      // 0x89 'P' 'N' 'G' read as a little-endian length: 0x474e5089 = 1196314761.
      {"image.png", std::string("\x89PNG") + std::string(96, '\0'),
       "its first 4 bytes give a record length of 1196314761 bytes, larger than the whole file "
       "(100 bytes)"},
      {"negative.bin", std::string("\xff\xff\xff\xff") + std::string(20, '\0'),
       "its first 4 bytes give a negative record length (-1), not a record length marker"},
      {"being_written.bin", std::string("\x0c\0\0\0\0\0", 6), ""},
  };
  for (const auto& c : cases) {
    const std::string path = (dir / c.name).string();
    write_text(path, c.bytes);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"info"}, {"dump"}, {"dump", "--format", "2"}}) {
      std::vector<std::string> args = command;
      args.push_back(path);
      const ToolResult r = run_tool(args);
      const std::string where = c.name + (" " + command.back());
      if (*c.reason == '\0') {
        EXPECT_EQ(r.err.find("not a history file"), std::string::npos) << where << r.err;
        continue;
      }
      EXPECT_EQ(r.status, 1) << where;
      EXPECT_EQ(r.err, "pairtrack-history: " + path + ": not a history file: " + c.reason + "\n")
          << where;
    }
  }
  // The bundled catalogue and the public detection say the same.
  const std::string catalogue = (kExamples / "mainbelt.cat").string();
  EXPECT_NE(run_tool({"info", catalogue})
                .out.find("not a history file: its first 4 bytes are "
                          "text"),
            std::string::npos);
  HistoryFormatDetection d;
  std::string error;
  ASSERT_TRUE(detect_history_format(catalogue, d, error));
  EXPECT_FALSE(d.format.has_value());
  EXPECT_EQ(d.explanation.rfind("not a history file: its first 4 bytes are text", 0), 0u);
}

// /proc/self/mem is a regular file of size 0 whose first page (address 0 is never mapped) reads
// as EIO: a failing disk in miniature. It is a read error with the system's reason, not an
// empty file.
TEST(HistoryStart, AReadErrorIsReportedWithTheSystemsReason) {
  const std::string path = "/proc/self/mem";
  if (!fs::exists(path)) GTEST_SKIP() << "no " << path;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"info", path},
                                               {"dump", path},
                                               {"dump", "--format", "0", path},
                                               {"info", "--format", "1", path}}) {
    const ToolResult r = run_tool(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pairtrack-history: cannot read " + path + ": Input/output error\n");
  }
  HistoryFormatDetection d;
  std::string error;
  EXPECT_FALSE(detect_history_format(path, d, error));
  EXPECT_EQ(error, "read error at byte 0: Input/output error");
}

}  // namespace
}  // namespace pairtrack::detail
