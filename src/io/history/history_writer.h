// Writing side of the binary history file, for tests, the bundled example and conversion
// tools: appends framed records in any of the three encodings, or raw records with arbitrary
// payloads and markers for damaged-file tests. Units as in the readers (AU, radians).
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "pairtrack/history.h"

namespace pairtrack::detail {

// Appends records to a history file. Every write either appends the whole record or, when the
// values cannot be represented, appends nothing and returns false. Errors of the stream are
// remembered and reported by close().
class HistoryWriter {
 public:
  HistoryWriter() = default;
  ~HistoryWriter();
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // Creates the file, or empties it when it exists, closing any file open before. False when
  // it cannot be created.
  bool open(const std::string& path);

  // Flushes and closes. False when no file was open, or any write since open() or the close
  // itself failed.
  bool close();

  bool is_open() const { return file_ != nullptr; }

  // Frame header in `format`: float64 stores the time as it is, float32 narrows it, scaled_int16
  // stores the nearest scaled time (quantise_scaled_time). The counts are stored as int16.
  // False, writing nothing, for a value outside the enumeration, a count outside -32768 ..
  // 32767, a finite time that overflows float32, or a time off the scaled grid.
  bool header(HistoryFormat format, double time, std::int32_t nrec1, std::int32_t nrec2);

  // Body record in `format`: identifier as int16, then a (AU), e, inc, angle5, angle6, angle7
  // (radians) as float64, narrowed to float32, or as the nearest scaled codes. False, writing
  // nothing, for a value outside the enumeration, an identifier outside int16, a finite value
  // that overflows float32, or a value off a scaled grid.
  bool body(HistoryFormat format, std::int32_t id, double a, double e, double inc, double angle5,
            double angle6, double angle7);

  // Code-0 header from its raw fields: the three time digits and the two counts.
  bool header_i2(std::int16_t h1, std::int16_t h2, std::int16_t h3, std::int16_t nrec1,
                 std::int16_t nrec2);

  // Code-0 body record from its raw fields: the identifier and the six scaled codes.
  bool body_i2(std::int16_t id, std::int16_t k_a, std::int16_t k_e, std::int16_t k_inc,
               std::int16_t k_angle5, std::int16_t k_angle6, std::int16_t k_angle7);

  // A record with an arbitrary payload, framed by two markers equal to its length. False when
  // the payload is 2 GiB or longer.
  bool record(std::span<const unsigned char> payload);

  // A record with arbitrary markers around an arbitrary payload (negative, zero, mismatched or
  // absurd lengths), for files that must look damaged.
  bool record(std::int32_t leading_marker, std::span<const unsigned char> payload,
              std::int32_t trailing_marker);

  // Raw bytes with no framing, for files that end inside a marker or a payload.
  bool bytes(std::span<const unsigned char> raw);

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace pairtrack::detail
