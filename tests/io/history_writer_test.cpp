// The history writer: exact bytes of each encoding's records, raw records with arbitrary
// markers, and refusal of values an encoding cannot hold (nothing written, false returned).
#include "io/history/history_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>

#include "history_test_files.h"
#include "io/history/history_scaled_i2.h"

namespace pairtrack::detail {
namespace {

using testing_support::Bytes;
using testing_support::read_file;
using testing_support::ScratchFile;

class HistoryWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(writer_.open(file_.path())); }
  // Closes the writer and returns what it wrote.
  Bytes written() {
    EXPECT_TRUE(writer_.close());
    return read_file(file_.path());
  }
  ScratchFile file_;
  HistoryWriter writer_;
};

TEST_F(HistoryWriterTest, Code1HeaderGoldenBytes) {
  ASSERT_TRUE(writer_.header(pairtrack::HistoryFormat::float32, 1.5, 5, 10));
  const Bytes golden = {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,
                        0x05, 0x00, 0x0A, 0x00, 0x08, 0x00, 0x00, 0x00};
  EXPECT_EQ(written(), golden);
}

TEST_F(HistoryWriterTest, Code2HeaderGoldenBytes) {
  ASSERT_TRUE(writer_.header(pairtrack::HistoryFormat::float64, 1.5, 5, -1));
  const Bytes golden = {0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0xF8, 0x3F, 0x05, 0x00, 0xFF, 0xFF, 0x0C, 0x00, 0x00, 0x00};
  EXPECT_EQ(written(), golden);
}

TEST_F(HistoryWriterTest, Code0HeaderFromTimeAndFromDigits) {
  ASSERT_TRUE(writer_.header(pairtrack::HistoryFormat::scaled_int16, -326.67, 1, 2));
  ASSERT_TRUE(writer_.header_i2(1, 0, 0, 3, 4));
  const Bytes golden = {0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x64, 0x00, 0x01, 0x00,
                        0x02, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x01, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00};
  EXPECT_EQ(written(), golden);
}

TEST_F(HistoryWriterTest, Code0BodyGoldenBytesFromCodesAndFromValues) {
  ASSERT_TRUE(writer_.body_i2(7, 0, -32767, 0, 0, 0, 0));
  ASSERT_TRUE(
      writer_.body(pairtrack::HistoryFormat::scaled_int16, 7, 1.0, 0.001, 0.0, 0.0, 0.0, 0.0));
  const Bytes one = {0x0E, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x01, 0x80, 0x00,
                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00};
  Bytes golden = one;
  golden.insert(golden.end(), one.begin(), one.end());
  EXPECT_EQ(written(), golden);
}

TEST_F(HistoryWriterTest, Code1BodyNarrowsToFloat) {
  ASSERT_TRUE(writer_.body(pairtrack::HistoryFormat::float32, 258, 2.5, 0.25, -1.0, 0.0, 0.0, 0.0));
  const Bytes golden = {0x1A, 0x00, 0x00, 0x00, 0x02, 0x01,              // marker, id 258
                        0x00, 0x00, 0x20, 0x40, 0x00, 0x00, 0x80, 0x3E,  // 2.5, 0.25
                        0x00, 0x00, 0x80, 0xBF, 0x00, 0x00, 0x00, 0x00,  // -1, 0
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0, 0
                        0x1A, 0x00, 0x00, 0x00};
  EXPECT_EQ(written(), golden);
}

TEST_F(HistoryWriterTest, Code2BodyIsFiftyBytesOfPayload) {
  ASSERT_TRUE(writer_.body(pairtrack::HistoryFormat::float64, 1, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6));
  const Bytes bytes = written();
  ASSERT_EQ(bytes.size(), 58u);
  EXPECT_EQ(bytes[0], 50);
  EXPECT_EQ(bytes[54], 50);
  double a = 0;
  std::memcpy(&a, bytes.data() + 4 + 2, 8);
  EXPECT_EQ(a, 0.1);
  double angle7 = 0;
  std::memcpy(&angle7, bytes.data() + 4 + 42, 8);
  EXPECT_EQ(angle7, 0.6);
}

TEST_F(HistoryWriterTest, RawRecordsKeepArbitraryMarkers) {
  const Bytes payload = {1, 2, 3};
  ASSERT_TRUE(writer_.record(payload));
  ASSERT_TRUE(writer_.record(-1, payload, std::numeric_limits<std::int32_t>::max()));
  ASSERT_TRUE(writer_.bytes(Bytes{9, 9}));
  const Bytes golden = {3,    0,    0,    0, 1, 2, 3,    3,    0,    0,    0, 0xFF,
                        0xFF, 0xFF, 0xFF, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0x7F, 9, 9};
  EXPECT_EQ(written(), golden);
}

TEST_F(HistoryWriterTest, RefusesValuesTheEncodingCannotHoldAndWritesNothing) {
  EXPECT_FALSE(
      writer_.header(static_cast<pairtrack::HistoryFormat>(3), 1.0, 1, 1));  // unknown code
  EXPECT_FALSE(writer_.header(static_cast<pairtrack::HistoryFormat>(-1), 1.0, 1, 1));
  EXPECT_FALSE(
      writer_.header(pairtrack::HistoryFormat::float64, 1.0, 32768, 1));  // counts are int16
  EXPECT_FALSE(writer_.header(pairtrack::HistoryFormat::float32, 1.0, 1, -32769));
  EXPECT_FALSE(writer_.header(pairtrack::HistoryFormat::float32, 1e39, 1, 1));  // overflows float32
  EXPECT_FALSE(writer_.header(pairtrack::HistoryFormat::scaled_int16, 4e11, 1,
                              1));  // beyond three base-32767 digits
  EXPECT_FALSE(writer_.body(pairtrack::HistoryFormat::float64, 40000, 1, 0.1, 0, 0, 0,
                            0));  // identifiers are int16
  EXPECT_FALSE(writer_.body(pairtrack::HistoryFormat::float32, 1, 1, 0.1, 0, 0, 0, -1e40));
  EXPECT_FALSE(writer_.body(pairtrack::HistoryFormat::scaled_int16, 1, 2e6, 0.1, 0, 0, 0,
                            0));  // a beyond 10^6 AU
  EXPECT_FALSE(writer_.body(pairtrack::HistoryFormat::scaled_int16, 1, 1.0, 0.0, 0, 0, 0,
                            0));  // e = 0 has no code
  EXPECT_FALSE(writer_.body(pairtrack::HistoryFormat::scaled_int16, 1, 1.0, 0.1, 0, 0, 0,
                            7.0));  // angle beyond the scale
  EXPECT_FALSE(writer_.body(static_cast<pairtrack::HistoryFormat>(7), 1, 1.0, 0.1, 0, 0, 0, 0));
  EXPECT_TRUE(written().empty());
}

TEST_F(HistoryWriterTest, NonFiniteFloatsPassUnchanged) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(writer_.body(pairtrack::HistoryFormat::float32, 1, inf, 0.1, 0, 0, 0, 0));
  EXPECT_TRUE(writer_.body(pairtrack::HistoryFormat::float64, 1, -inf, 0.1, 0, 0, 0, 0));
  EXPECT_EQ(written().size(), 34u + 58u);
}

TEST(HistoryWriterLifecycle, OpenFailsForDirectoryAndCloseReportsNoFile) {
  ScratchFile dir;
  std::filesystem::create_directory(dir.path());
  HistoryWriter writer;
  EXPECT_FALSE(writer.open(dir.path()));
  EXPECT_FALSE(writer.is_open());
  EXPECT_FALSE(writer.close());
  EXPECT_FALSE(writer.header(pairtrack::HistoryFormat::float64, 1.0, 1, 1));
  EXPECT_FALSE(writer.bytes(Bytes{1}));
}

TEST(HistoryWriterLifecycle, OpenTruncatesAnExistingFile) {
  ScratchFile file;
  testing_support::write_file(file.path(), Bytes(100, 0xAB));
  HistoryWriter writer;
  ASSERT_TRUE(writer.open(file.path()));
  ASSERT_TRUE(writer.header(pairtrack::HistoryFormat::float32, 1.5, 5, 10));
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(read_file(file.path()).size(), 16u);
}

TEST(HistoryWriterLifecycle, WriteErrorIsReportedByClose) {
  // /dev/full accepts the open and fails every write that reaches it.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  HistoryWriter writer;
  ASSERT_TRUE(writer.open("/dev/full"));
  for (int i = 0; i < 2000; ++i)
    writer.body(pairtrack::HistoryFormat::float64, 1, 1.0, 0.1, 0, 0, 0, 0);
  EXPECT_FALSE(writer.close());
}

}  // namespace
}  // namespace pairtrack::detail
