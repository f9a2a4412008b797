// Record framing of the history file: opening, clean end of file, oversized and short payloads,
// damaged and absurd markers, files cut inside a record, and records spanning the read buffer.
#include "io/history/history_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "history_test_files.h"

namespace pairtrack::detail {
namespace {

using testing_support::Bytes;
using testing_support::concat;
using testing_support::framed;
using testing_support::marker;
using testing_support::read_file;
using testing_support::ScratchFile;
using testing_support::write_file;

// A payload of `n` bytes counting up from `first`, so that misplaced reads show.
Bytes counting(std::size_t n, unsigned char first = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(first + i);
  return b;
}

class HistoryFileTest : public ::testing::Test {
 protected:
  // Writes `bytes` to the scratch file and opens it.
  void open_with(const Bytes& bytes) {
    write_file(file_.path(), bytes);
    ASSERT_TRUE(unit_.open(file_.path()));
  }
  ScratchFile file_;
  HistoryFile unit_;
};

TEST_F(HistoryFileTest, OpensRegularFileAndCloses) {
  open_with({});
  EXPECT_TRUE(unit_.is_open());
  unit_.close();
  EXPECT_FALSE(unit_.is_open());
  unit_.close();  // closing twice is harmless
  EXPECT_FALSE(unit_.is_open());
}

TEST_F(HistoryFileTest, RefusesMissingFileDirectoryAndNonRegularFile) {
  EXPECT_FALSE(unit_.open(file_.path() + "_missing"));
  EXPECT_FALSE(unit_.is_open());

  std::filesystem::create_directory(file_.path());
  EXPECT_FALSE(unit_.open(file_.path()));
  EXPECT_FALSE(unit_.is_open());

  EXPECT_FALSE(unit_.open("/dev/null"));  // a character device, not a regular file
  EXPECT_FALSE(unit_.is_open());
}

TEST_F(HistoryFileTest, RefusesNamedPipeWithoutWaitingForAWriter) {
  ASSERT_EQ(::mkfifo(file_.path().c_str(), 0600), 0);
  // No process writes to the pipe: a blocking open would hang here.
  EXPECT_FALSE(unit_.open(file_.path()));
  EXPECT_FALSE(unit_.is_open());
}

TEST_F(HistoryFileTest, ReadWithoutOpenFileFails) {
  std::array<unsigned char, 4> payload{};
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::not_open);
}

TEST_F(HistoryFileTest, EmptyFileIsCleanEndOfFile) {
  open_with({});
  std::array<unsigned char, 10> payload{};
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::end_of_file);
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::end_of_file);
}

TEST_F(HistoryFileTest, ReadsConsecutiveRecordsThenEndOfFile) {
  open_with(concat({framed(counting(10, 1)), framed(counting(10, 50))}));
  std::array<unsigned char, 10> payload{};
  ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);
  EXPECT_EQ(Bytes(payload.begin(), payload.end()), counting(10, 1));
  ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);
  EXPECT_EQ(Bytes(payload.begin(), payload.end()), counting(10, 50));
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::end_of_file);
}

TEST_F(HistoryFileTest, OversizedPayloadIsSkippedToNextRecord) {
  open_with(concat({framed(counting(60, 1)), framed(counting(8, 200))}));
  std::array<unsigned char, 50> first{};
  ASSERT_EQ(unit_.read_record(first), RecordStatus::ok);
  EXPECT_EQ(Bytes(first.begin(), first.end()), counting(50, 1));
  std::array<unsigned char, 8> second{};
  ASSERT_EQ(unit_.read_record(second), RecordStatus::ok);
  EXPECT_EQ(Bytes(second.begin(), second.end()), counting(8, 200));
  EXPECT_EQ(unit_.read_record(second), RecordStatus::end_of_file);
}

TEST_F(HistoryFileTest, PayloadLargerThanReadBufferIsSkippedBySeeking) {
  // Three megabytes of payload: more than the read buffer holds, so the skip must seek.
  const std::size_t big = 3u << 20;
  open_with(concat({framed(counting(big, 7)), framed(counting(4, 90))}));
  std::array<unsigned char, 2> head{};
  ASSERT_EQ(unit_.read_record(head), RecordStatus::ok);
  EXPECT_EQ(head[0], 7);
  EXPECT_EQ(head[1], 8);
  std::array<unsigned char, 4> next{};
  ASSERT_EQ(unit_.read_record(next), RecordStatus::ok);
  EXPECT_EQ(Bytes(next.begin(), next.end()), counting(4, 90));
  EXPECT_EQ(unit_.read_record(next), RecordStatus::end_of_file);
}

TEST_F(HistoryFileTest, ManyRecordsAcrossBufferBoundariesReadInOrder) {
  // 40000 records of 50 bytes (2.3 MB): markers and payloads straddle the buffer's refills.
  constexpr int kRecords = 40000;
  Bytes all;
  for (int i = 0; i < kRecords; ++i) {
    Bytes payload(50);
    for (int j = 0; j < 50; ++j) payload[j] = static_cast<unsigned char>((i * 7 + j) & 0xff);
    const Bytes rec = framed(payload);
    all.insert(all.end(), rec.begin(), rec.end());
  }
  open_with(all);
  std::array<unsigned char, 50> payload{};
  for (int i = 0; i < kRecords; ++i) {
    ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok) << "record " << i;
    ASSERT_EQ(payload[0], static_cast<unsigned char>((i * 7) & 0xff)) << "record " << i;
    ASSERT_EQ(payload[49], static_cast<unsigned char>((i * 7 + 49) & 0xff)) << "record " << i;
  }
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::end_of_file);
}

TEST_F(HistoryFileTest, ShortPayloadFails) {
  open_with(framed(counting(8)));
  std::array<unsigned char, 10> payload{};
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::short_payload);
}

TEST_F(HistoryFileTest, ZeroMarkerIsAnEmptyRecord) {
  open_with(concat({framed({}), framed({})}));
  std::array<unsigned char, 1> one{};
  EXPECT_EQ(unit_.read_record(std::span<unsigned char>()), RecordStatus::ok);
  EXPECT_EQ(unit_.read_record(one), RecordStatus::short_payload);
}

TEST_F(HistoryFileTest, NegativeMarkerFails) {
  for (std::int32_t bad : {-1, std::numeric_limits<std::int32_t>::min()}) {
    open_with(concat({marker(bad), counting(10), marker(bad)}));
    std::array<unsigned char, 10> payload{};
    EXPECT_EQ(unit_.read_record(payload), RecordStatus::bad_marker) << bad;
  }
}

TEST_F(HistoryFileTest, AbsurdMarkerSeeksPastEndAndFailsAtTrailingMarker) {
  const std::int32_t absurd = std::numeric_limits<std::int32_t>::max();
  open_with(concat({marker(absurd), counting(20), marker(20)}));
  std::array<unsigned char, 10> payload{};
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::truncated);
}

TEST_F(HistoryFileTest, AbsurdMarkerWithTooFewBytesForFieldsFails) {
  open_with(concat({marker(std::numeric_limits<std::int32_t>::max()), counting(3)}));
  std::array<unsigned char, 10> payload{};
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::truncated);
}

TEST_F(HistoryFileTest, FileEndingInsideLeadingMarkerIsNotCleanEnd) {
  for (std::size_t kept = 1; kept < 4; ++kept) {
    const Bytes m = marker(10);
    open_with(concat({framed(counting(10)), Bytes(m.begin(), m.begin() + kept)}));
    std::array<unsigned char, 10> payload{};
    ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);
    EXPECT_EQ(unit_.read_record(payload), RecordStatus::truncated) << kept << " marker bytes";
  }
}

TEST_F(HistoryFileTest, FileEndingInsidePayloadFails) {
  // Inside the bytes the reader needs, and inside the extra bytes it would skip.
  open_with(concat({marker(10), counting(6)}));
  std::array<unsigned char, 10> payload{};
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::truncated);

  open_with(concat({marker(20), counting(12)}));
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::truncated);
}

TEST_F(HistoryFileTest, FileEndingInsideTrailingMarkerFails) {
  for (std::size_t kept = 0; kept < 4; ++kept) {
    const Bytes m = marker(10);
    open_with(concat({marker(10), counting(10), Bytes(m.begin(), m.begin() + kept)}));
    std::array<unsigned char, 10> payload{};
    EXPECT_EQ(unit_.read_record(payload), RecordStatus::truncated) << kept << " marker bytes";
  }
}

TEST_F(HistoryFileTest, TrailingMarkerValueIsNotCompared) {
  open_with(concat({marker(10), counting(10), marker(-5), framed(counting(10, 30))}));
  std::array<unsigned char, 10> payload{};
  ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);
  ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);
  EXPECT_EQ(payload[0], 30);
}

TEST_F(HistoryFileTest, ReopeningStartsAtTheNewFilesFirstRecord) {
  open_with(concat({framed(counting(4, 1)), framed(counting(4, 9))}));
  std::array<unsigned char, 4> payload{};
  ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);

  ScratchFile other;
  write_file(other.path(), framed(counting(4, 100)));
  ASSERT_TRUE(unit_.open(other.path()));
  ASSERT_EQ(unit_.read_record(payload), RecordStatus::ok);
  EXPECT_EQ(payload[0], 100);
  EXPECT_EQ(unit_.read_record(payload), RecordStatus::end_of_file);
  EXPECT_EQ(read_file(other.path()).size(), 12u);
}

// The raw walk measures records without asking for a payload length: each row is a file and
// the record the walk finds at its start, then what follows it.
TEST_F(HistoryFileTest, RawWalkMeasuresEachRecordAndStopsAtTheFirstItCannotUse) {
  const Bytes m = marker(10);
  struct Row {
    const char* name;
    Bytes file;
    RecordStatus status;
    std::int32_t length;
    std::int32_t trailing;
    std::size_t head_bytes;
    RecordStatus next;  // the status of the walk's second record
  };
  const Row rows[] = {
      {"empty", {}, RecordStatus::end_of_file, 0, 0, 0, RecordStatus::end_of_file},
      {"two records", concat({framed(counting(10)), framed(counting(3))}), RecordStatus::ok, 10, 10,
       10, RecordStatus::ok},
      {"trailing marker unlike the leading one", concat({m, counting(10), marker(-5)}),
       RecordStatus::ok, 10, -5, 10, RecordStatus::end_of_file},
      {"payload longer than any record", framed(counting(kMaxPayloadBytes + 7)), RecordStatus::ok,
       static_cast<std::int32_t>(kMaxPayloadBytes + 7),
       static_cast<std::int32_t>(kMaxPayloadBytes + 7), kMaxPayloadBytes,
       RecordStatus::end_of_file},
      {"negative marker", concat({marker(-12), counting(12), marker(-12)}),
       RecordStatus::bad_marker, -12, 0, 0, RecordStatus::bad_marker},
      {"cut inside the marker", Bytes(m.begin(), m.begin() + 3), RecordStatus::truncated, 0, 0, 0,
       RecordStatus::truncated},
      {"length beyond the file", concat({marker(1 << 30), counting(10)}), RecordStatus::truncated,
       1 << 30, 0, 0, RecordStatus::truncated},
      {"cut inside the trailing marker", concat({m, counting(10), Bytes(m.begin(), m.begin() + 2)}),
       RecordStatus::truncated, 10, 0, 0, RecordStatus::truncated},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    open_with(row.file);
    RawRecord r;
    unit_.read_raw(r);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.offset, 0u);
    EXPECT_EQ(r.length, row.length);
    EXPECT_EQ(r.trailing, row.trailing);
    ASSERT_EQ(r.head_bytes, row.head_bytes);
    for (std::size_t i = 0; i < r.head_bytes; ++i) ASSERT_EQ(r.head[i], row.file[4 + i]);
    if (r.status != RecordStatus::ok) continue;
    unit_.read_raw(r);
    EXPECT_EQ(r.status, row.next);
    EXPECT_EQ(r.offset, 8u + static_cast<std::uint64_t>(row.length));
  }
}

TEST_F(HistoryFileTest, RawWalkReadsNoBytesAddedAfterTheFileWasOpened) {
  open_with(framed(counting(4)));
  RawRecord r;
  unit_.read_raw(r);
  ASSERT_EQ(r.status, RecordStatus::ok);
  write_file(file_.path(), concat({framed(counting(4)), framed(counting(4))}));
  unit_.read_raw(r);
  EXPECT_EQ(r.status, RecordStatus::end_of_file);
}

}  // namespace
}  // namespace pairtrack::detail
