// The six named record readers: golden byte records of each encoding, field offsets, sign
// extension, oversized and short payloads, end of file, and outputs left untouched on failure.
#include "io/history/history_readers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "history_test_files.h"
#include "io/history/history_scaled_i2.h"
#include "io/history/history_writer.h"

namespace pairtrack::detail {
namespace {

using testing_support::Bytes;
using testing_support::concat;
using testing_support::framed;
using testing_support::marker;
using testing_support::ScratchFile;
using testing_support::write_file;

// The reader pair of one format code, with its payload sizes.
struct Encoding {
  int code;
  EpochReader epoch;
  OrbitReader orbit;
  std::size_t header_bytes;
  std::size_t body_bytes;
};

const Encoding kEncodings[] = {
    {0, rec_epoch_i2, rec_orbit_i2, 10, 14},
    {1, rec_epoch_f4, rec_orbit_f4, 8, 26},
    {2, rec_epoch_f8, rec_orbit_f8, 12, 50},
};

// Header and body outputs preset to values no record here decodes to, so that any write to
// them on a failed read shows.
struct EpochOut {
  double time = -777.25;
  std::int32_t nrec1 = 4242;
  std::int32_t nrec2 = -4242;
  std::int32_t read(const Encoding& enc, HistoryFile& unit) {
    return enc.epoch(unit, time, nrec1, nrec2);
  }
  bool untouched() const { return time == -777.25 && nrec1 == 4242 && nrec2 == -4242; }
};

struct OrbitOut {
  std::int32_t id = 31337;
  double a = -1.5, e = -2.5, inc = -3.5, angle5 = -4.5, angle6 = -5.5, angle7 = -6.5;
  std::int32_t read(const Encoding& enc, HistoryFile& unit) {
    return enc.orbit(unit, id, a, e, inc, angle5, angle6, angle7);
  }
  bool untouched() const {
    return id == 31337 && a == -1.5 && e == -2.5 && inc == -3.5 && angle5 == -4.5 &&
           angle6 == -5.5 && angle7 == -6.5;
  }
};

Bytes le_f64(double v) {
  Bytes b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}
Bytes le_f32(float v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}
Bytes le_i16(std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8)};
}

class HistoryReadersTest : public ::testing::Test {
 protected:
  HistoryFile& open_with(const Bytes& bytes) {
    write_file(file_.path(), bytes);
    EXPECT_TRUE(unit_.open(file_.path()));
    return unit_;
  }
  ScratchFile file_;
  HistoryFile unit_;
};

// ---- golden records -----------------------------------------------------------------------

TEST_F(HistoryReadersTest, Code1HeaderGoldenBytes) {
  const Bytes golden = {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,
                        0x05, 0x00, 0x0A, 0x00, 0x08, 0x00, 0x00, 0x00};
  HistoryFile& unit = open_with(golden);
  double time = 0;
  std::int32_t nrec1 = 0, nrec2 = 0;
  ASSERT_EQ(rec_epoch_f4(unit, time, nrec1, nrec2), 0);
  EXPECT_EQ(time, 1.5);
  EXPECT_EQ(nrec1, 5);
  EXPECT_EQ(nrec2, 10);
  EXPECT_EQ(rec_epoch_f4(unit, time, nrec1, nrec2), -1);
}

TEST_F(HistoryReadersTest, Code0BodyGoldenBytes) {
  const Bytes golden = {0x0E, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x01, 0x80, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00};
  HistoryFile& unit = open_with(golden);
  OrbitOut out;
  ASSERT_EQ(out.read(kEncodings[0], unit), 0);
  EXPECT_EQ(out.id, 7);
  EXPECT_EQ(out.a, 1.0);
  EXPECT_EQ(out.e, 0.001);
  EXPECT_EQ(out.inc, 0.0);
  EXPECT_EQ(out.angle5, 0.0);
  EXPECT_EQ(out.angle6, 0.0);
  EXPECT_EQ(out.angle7, 0.0);
  EXPECT_EQ(out.read(kEncodings[0], unit), -1);
}

TEST_F(HistoryReadersTest, Code0HeaderWorkedTimes) {
  struct Case {
    std::int16_t h1, h2, h3;
    double time;
  };
  const Case cases[] = {{0, 0, 1, 0.01}, {1, 0, 0, 10736762.89}, {0, -1, 100, -326.67}};
  Bytes file;
  for (const Case& c : cases) {
    const Bytes rec =
        framed(concat({le_i16(c.h1), le_i16(c.h2), le_i16(c.h3), le_i16(3), le_i16(0)}));
    file.insert(file.end(), rec.begin(), rec.end());
  }
  HistoryFile& unit = open_with(file);
  for (const Case& c : cases) {
    EpochOut out;
    ASSERT_EQ(out.read(kEncodings[0], unit), 0);
    EXPECT_EQ(out.time, c.time);
    EXPECT_EQ(out.nrec1, 3);
    EXPECT_EQ(out.nrec2, 0);
  }
}

TEST_F(HistoryReadersTest, Code0BodyScaledFieldsAtTheirOffsets) {
  const Bytes payload = concat({le_i16(12), le_i16(32767), le_i16(0), le_i16(32767), le_i16(-32768),
                                le_i16(0), le_i16(100)});
  HistoryFile& unit = open_with(framed(payload));
  OrbitOut out;
  ASSERT_EQ(out.read(kEncodings[0], unit), 0);
  EXPECT_EQ(out.id, 12);
  EXPECT_EQ(out.a, 1e6);
  EXPECT_EQ(out.e, 1.0);
  EXPECT_EQ(out.inc, 6.28318530717958);
  EXPECT_EQ(out.angle5, decode_scaled_angle(-32768));
  EXPECT_NEAR(out.angle5, -6.2833770606, 1e-10);
  EXPECT_EQ(out.angle6, 0.0);
  EXPECT_EQ(out.angle7, decode_scaled_angle(100));
}

// Code-2 body payload with float64 fields at offsets 2, 10, ..., 42 and `extra` bytes after.
Bytes code2_body(std::int16_t id, const double (&v)[6], std::size_t extra) {
  Bytes p = le_i16(id);
  for (double x : v) {
    const Bytes b = le_f64(x);
    p.insert(p.end(), b.begin(), b.end());
  }
  p.insert(p.end(), extra, 0xEE);
  return p;
}

TEST_F(HistoryReadersTest, Code2BodyDecodesExactlyAtUnalignedOffsets) {
  const double v[6] = {2.7654321098765431, 0.1, 0.30000000000000004, -3.0e-300, 1e300, -0.0};
  HistoryFile& unit = open_with(framed(code2_body(-5, v, 0)));
  OrbitOut out;
  ASSERT_EQ(out.read(kEncodings[2], unit), 0);
  EXPECT_EQ(out.id, -5);
  EXPECT_EQ(out.a, v[0]);
  EXPECT_EQ(out.e, v[1]);
  EXPECT_EQ(out.inc, v[2]);
  EXPECT_EQ(out.angle5, v[3]);
  EXPECT_EQ(out.angle6, v[4]);
  EXPECT_EQ(out.angle7, v[5]);
  EXPECT_TRUE(std::signbit(out.angle7));
}

TEST_F(HistoryReadersTest, Code2OversizedBodyDecodesTheSameAndStopsAtNextRecord) {
  const double v[6] = {3.25, 0.125, 0.5, 1.0, 2.0, 3.0};
  const Bytes next_header = framed(concat({le_f64(99.5), le_i16(1), le_i16(2)}));
  HistoryFile& unit = open_with(concat({framed(code2_body(9, v, 10)), next_header}));
  OrbitOut out;
  ASSERT_EQ(out.read(kEncodings[2], unit), 0);
  EXPECT_EQ(out.id, 9);
  EXPECT_EQ(out.a, 3.25);
  EXPECT_EQ(out.angle7, 3.0);
  EpochOut header;
  ASSERT_EQ(header.read(kEncodings[2], unit), 0);
  EXPECT_EQ(header.time, 99.5);
  EXPECT_EQ(header.nrec1, 1);
  EXPECT_EQ(header.nrec2, 2);
  EXPECT_EQ(header.read(kEncodings[2], unit), -1);
}

TEST_F(HistoryReadersTest, Code1FloatsAreWidenedUnchanged) {
  const float f[6] = {2.1f, 0.15f, 0.2f, 1e-30f, 3.4e38f, -1.25f};
  Bytes payload = le_i16(30000);
  for (float x : f) {
    const Bytes b = le_f32(x);
    payload.insert(payload.end(), b.begin(), b.end());
  }
  const Bytes header = framed(concat({le_f32(0.1f), le_i16(2), le_i16(7)}));
  HistoryFile& unit = open_with(concat({header, framed(payload)}));
  EpochOut h;
  ASSERT_EQ(h.read(kEncodings[1], unit), 0);
  EXPECT_EQ(h.time, static_cast<double>(0.1f));
  OrbitOut out;
  ASSERT_EQ(out.read(kEncodings[1], unit), 0);
  EXPECT_EQ(out.id, 30000);
  EXPECT_EQ(out.a, static_cast<double>(f[0]));
  EXPECT_EQ(out.e, static_cast<double>(f[1]));
  EXPECT_EQ(out.inc, static_cast<double>(f[2]));
  EXPECT_EQ(out.angle5, static_cast<double>(f[3]));
  EXPECT_EQ(out.angle6, static_cast<double>(f[4]));
  EXPECT_EQ(out.angle7, static_cast<double>(f[5]));
}

// ---- every encoding -----------------------------------------------------------------------

TEST_F(HistoryReadersTest, NegativeCountsAndIdentifiersAreSignExtended) {
  for (const Encoding& enc : kEncodings) {
    HistoryWriter writer;
    ASSERT_TRUE(writer.open(file_.path()));
    ASSERT_TRUE(writer.header(static_cast<pairtrack::HistoryFormat>(enc.code), 2.5, -1, -32768));
    ASSERT_TRUE(writer.body(static_cast<pairtrack::HistoryFormat>(enc.code), -3, 1.0, 0.5, 0.25,
                            0.0, 0.0, 0.0));
    ASSERT_TRUE(writer.close());
    ASSERT_TRUE(unit_.open(file_.path()));
    EpochOut h;
    ASSERT_EQ(h.read(enc, unit_), 0) << enc.code;
    EXPECT_EQ(h.time, 2.5) << enc.code;
    EXPECT_EQ(h.nrec1, -1) << enc.code;
    EXPECT_EQ(h.nrec2, -32768) << enc.code;
    OrbitOut b;
    ASSERT_EQ(b.read(enc, unit_), 0) << enc.code;
    EXPECT_EQ(b.id, -3) << enc.code;
  }
}

TEST_F(HistoryReadersTest, HeaderAnnouncingNoBodiesIsValid) {
  for (const Encoding& enc : kEncodings) {
    HistoryWriter writer;
    ASSERT_TRUE(writer.open(file_.path()));
    ASSERT_TRUE(writer.header(static_cast<pairtrack::HistoryFormat>(enc.code), 10.0, 1, 0));
    ASSERT_TRUE(writer.close());
    ASSERT_TRUE(unit_.open(file_.path()));
    EpochOut h;
    EXPECT_EQ(h.read(enc, unit_), 0) << enc.code;
    EXPECT_EQ(h.nrec1, 1) << enc.code;
    EXPECT_EQ(h.nrec2, 0) << enc.code;
  }
}

TEST_F(HistoryReadersTest, WrittenFramesReadBackInEveryEncoding) {
  struct Body {
    std::int32_t id;
    double a, e, inc, a5, a6, a7;
  };
  const Body bodies[] = {{1, 2.2, 0.1, 0.05, 1.0, 2.0, 3.0},
                         {2, 3.4, 0.29, 0.5, -1.0, -2.0, -3.0},
                         {30000, 45.0, 0.999, 3.0, 6.0, 0.001, -6.0}};
  for (const Encoding& enc : kEncodings) {
    HistoryWriter writer;
    ASSERT_TRUE(writer.open(file_.path()));
    for (int frame = 0; frame < 2; ++frame) {
      ASSERT_TRUE(writer.header(static_cast<pairtrack::HistoryFormat>(enc.code),
                                1000.0 * frame + 0.25, 2, 1));
      for (const Body& b : bodies) {
        ASSERT_TRUE(writer.body(static_cast<pairtrack::HistoryFormat>(enc.code), b.id, b.a, b.e,
                                b.inc, b.a5, b.a6, b.a7));
      }
    }
    ASSERT_TRUE(writer.close());

    // What each encoding can hold of a value.
    auto held = [&](double v, double (*decode)(std::int16_t),
                    std::optional<std::int16_t> (*quantise)(double)) {
      if (enc.code == 2) return v;
      if (enc.code == 1) return static_cast<double>(static_cast<float>(v));
      return decode(*quantise(v));
    };
    ASSERT_TRUE(unit_.open(file_.path()));
    for (int frame = 0; frame < 2; ++frame) {
      EpochOut h;
      ASSERT_EQ(h.read(enc, unit_), 0);
      const double t = 1000.0 * frame + 0.25;
      EXPECT_EQ(h.time, enc.code == 1 ? static_cast<double>(static_cast<float>(t)) : t);
      EXPECT_EQ(h.nrec1, 2);
      EXPECT_EQ(h.nrec2, 1);
      for (const Body& b : bodies) {
        OrbitOut o;
        ASSERT_EQ(o.read(enc, unit_), 0) << enc.code;
        EXPECT_EQ(o.id, b.id);
        EXPECT_EQ(o.a, held(b.a, decode_scaled_a, quantise_scaled_a)) << enc.code;
        EXPECT_EQ(o.e, held(b.e, decode_scaled_e, quantise_scaled_e)) << enc.code;
        EXPECT_EQ(o.inc, held(b.inc, decode_scaled_angle, quantise_scaled_angle)) << enc.code;
        EXPECT_EQ(o.angle5, held(b.a5, decode_scaled_angle, quantise_scaled_angle)) << enc.code;
        EXPECT_EQ(o.angle6, held(b.a6, decode_scaled_angle, quantise_scaled_angle)) << enc.code;
        EXPECT_EQ(o.angle7, held(b.a7, decode_scaled_angle, quantise_scaled_angle)) << enc.code;
        EXPECT_NEAR(o.a, b.a, 3e-4 * b.a) << enc.code;  // within half a code-0 step
      }
    }
    EpochOut end;
    EXPECT_EQ(end.read(enc, unit_), -1) << enc.code;
    EXPECT_TRUE(end.untouched());
  }
}

TEST_F(HistoryReadersTest, OversizedHeaderPayloadIsAccepted) {
  for (const Encoding& enc : kEncodings) {
    Bytes payload(enc.header_bytes + 7, 0);
    payload[enc.header_bytes - 4] = 5;  // nrec1 = 5
    payload[enc.header_bytes - 2] = 6;  // nrec2 = 6
    open_with(concat({framed(payload), framed(Bytes(enc.body_bytes, 0))}));
    EpochOut h;
    ASSERT_EQ(h.read(enc, unit_), 0) << enc.code;
    EXPECT_EQ(h.nrec1, 5);
    EXPECT_EQ(h.nrec2, 6);
    OrbitOut b;
    EXPECT_EQ(b.read(enc, unit_), 0) << enc.code;
  }
}

// ---- failures leave the outputs untouched -------------------------------------------------

TEST_F(HistoryReadersTest, EmptyFileIsEndOfFileForEveryReader) {
  for (const Encoding& enc : kEncodings) {
    open_with({});
    EpochOut h;
    EXPECT_EQ(h.read(enc, unit_), -1) << enc.code;
    EXPECT_TRUE(h.untouched());
    OrbitOut b;
    EXPECT_EQ(b.read(enc, unit_), -1) << enc.code;
    EXPECT_TRUE(b.untouched());
  }
}

TEST_F(HistoryReadersTest, Code1HeaderReadWithCode0ReaderFails) {
  const Bytes code1_header = {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,
                              0x05, 0x00, 0x0A, 0x00, 0x08, 0x00, 0x00, 0x00};
  HistoryFile& unit = open_with(code1_header);
  EpochOut h;
  const std::int32_t status = h.read(kEncodings[0], unit);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, -1);
  EXPECT_TRUE(h.untouched());
}

TEST_F(HistoryReadersTest, ShortPayloadFailsForEveryReader) {
  for (const Encoding& enc : kEncodings) {
    open_with(
        concat({framed(Bytes(enc.header_bytes - 1, 1)), framed(Bytes(enc.body_bytes - 1, 1))}));
    EpochOut h;
    EXPECT_GT(h.read(enc, unit_), 0) << enc.code;
    EXPECT_TRUE(h.untouched());
    open_with(framed(Bytes(enc.body_bytes - 1, 1)));
    OrbitOut b;
    EXPECT_GT(b.read(enc, unit_), 0) << enc.code;
    EXPECT_TRUE(b.untouched());
  }
}

TEST_F(HistoryReadersTest, BodyReaderOnAHeaderRecordFails) {
  for (const Encoding& enc : kEncodings) {
    open_with(framed(Bytes(enc.header_bytes, 1)));
    OrbitOut b;
    EXPECT_GT(b.read(enc, unit_), 0) << enc.code;
    EXPECT_TRUE(b.untouched());
  }
}

TEST_F(HistoryReadersTest, DamagedRecordsFailForEveryReader) {
  const std::int32_t absurd = std::numeric_limits<std::int32_t>::max();
  for (const Encoding& enc : kEncodings) {
    const Bytes body(enc.body_bytes, 3);
    const Bytes full = framed(body);
    const std::vector<Bytes> damaged = {
        Bytes(full.begin(), full.begin() + 2),           // inside the leading marker
        Bytes(full.begin(), full.begin() + 4 + 5),       // inside the payload
        Bytes(full.begin(), full.end() - 1),             // inside the trailing marker
        Bytes(full.begin(), full.end() - 4),             // trailing marker missing
        concat({marker(-1), body, marker(-1)}),          // negative marker
        concat({marker(0), marker(0)}),                  // empty payload
        concat({marker(absurd), body, marker(absurd)}),  // absurd length
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
      open_with(damaged[i]);
      OrbitOut b;
      EXPECT_GT(b.read(enc, unit_), 0) << "code " << enc.code << " case " << i;
      EXPECT_TRUE(b.untouched()) << "code " << enc.code << " case " << i;
      open_with(damaged[i]);
      EpochOut h;
      EXPECT_GT(h.read(enc, unit_), 0) << "code " << enc.code << " case " << i;
      EXPECT_TRUE(h.untouched()) << "code " << enc.code << " case " << i;
    }
  }
}

TEST_F(HistoryReadersTest, FrameCutAfterThirdBodyReadsThreeThenFails) {
  HistoryWriter writer;
  ASSERT_TRUE(writer.open(file_.path()));
  ASSERT_TRUE(writer.header(pairtrack::HistoryFormat::float64, 7.0, 1, 5));
  for (int i = 1; i <= 3; ++i)
    ASSERT_TRUE(writer.body(pairtrack::HistoryFormat::float64, i, 2.0 + i, 0.1, 0.1, 0, 0, 0));
  const Bytes partial = {0x32, 0x00, 0x00, 0x00, 0x04, 0x00};  // fourth record cut after its id
  ASSERT_TRUE(writer.bytes(partial));
  ASSERT_TRUE(writer.close());
  ASSERT_TRUE(unit_.open(file_.path()));
  EpochOut h;
  ASSERT_EQ(h.read(kEncodings[2], unit_), 0);
  for (int i = 1; i <= 3; ++i) {
    OrbitOut b;
    ASSERT_EQ(b.read(kEncodings[2], unit_), 0);
    EXPECT_EQ(b.id, i);
  }
  OrbitOut cut;
  EXPECT_GT(cut.read(kEncodings[2], unit_), 0);
  EXPECT_TRUE(cut.untouched());
}

}  // namespace
}  // namespace pairtrack::detail
