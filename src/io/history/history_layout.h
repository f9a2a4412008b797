// Byte layout of the history file's records in its three encodings: payload sizes, field
// widths, and little-endian loads and stores of the packed fields. Times are in the
// integration's own unit, semimajor axes in AU, angles in radians.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pairtrack/history.h"

namespace pairtrack::detail {

// The encodings are the public HistoryFormat (pairtrack/history.h), numbered by the format
// code: scaled_int16 (see history_scaled_i2.h), float32 and float64.

// Bytes of one record length marker (a 32-bit signed little-endian integer).
inline constexpr std::size_t kMarkerBytes = 4;

// Width in bytes of the frame time field of a header record: three 16-bit digits for code 0,
// one float for codes 1 and 2.
constexpr std::size_t time_field_bytes(HistoryFormat enc) {
  return enc == HistoryFormat::scaled_int16 ? 6 : enc == HistoryFormat::float32 ? 4 : 8;
}

// Width in bytes of each of the six real-valued fields of a body record (a, e, inc and the
// three angles).
constexpr std::size_t real_field_bytes(HistoryFormat enc) {
  return enc == HistoryFormat::scaled_int16 ? 2 : enc == HistoryFormat::float32 ? 4 : 8;
}

// Header payload: the time, then nrec1 and nrec2 as int16 (10, 8 and 12 bytes).
constexpr std::size_t header_payload_bytes(HistoryFormat enc) {
  return time_field_bytes(enc) + 2 * 2;
}

// Body payload: id as int16, then a, e, inc, angle5, angle6, angle7 (14, 26 and 50 bytes).
constexpr std::size_t body_payload_bytes(HistoryFormat enc) {
  return 2 + 6 * real_field_bytes(enc);
}

// Largest payload any reader needs; a buffer of this size holds every decoded record.
inline constexpr std::size_t kMaxPayloadBytes = body_payload_bytes(HistoryFormat::float64);

static_assert(header_payload_bytes(HistoryFormat::scaled_int16) == 10);
static_assert(header_payload_bytes(HistoryFormat::float32) == 8);
static_assert(header_payload_bytes(HistoryFormat::float64) == 12);
static_assert(body_payload_bytes(HistoryFormat::scaled_int16) == 14);
static_assert(body_payload_bytes(HistoryFormat::float32) == 26);
static_assert(body_payload_bytes(HistoryFormat::float64) == 50);

// The file is little-endian whatever the host; the loads below assume a little-endian host,
// which every supported platform (x86-64, AArch64 Linux) is.
static_assert(std::endian::native == std::endian::little,
              "history records are decoded on little-endian hosts only");

// Loads of packed fields; `p` need not be aligned.
inline std::int16_t load_i16(const unsigned char* p) {
  std::int16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline std::int32_t load_i32(const unsigned char* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline float load_f32(const unsigned char* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline double load_f64(const unsigned char* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Stores of packed fields, the inverse of the loads.
inline void store_i16(unsigned char* p, std::int16_t v) { std::memcpy(p, &v, sizeof v); }
inline void store_i32(unsigned char* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }
inline void store_f32(unsigned char* p, float v) { std::memcpy(p, &v, sizeof v); }
inline void store_f64(unsigned char* p, double v) { std::memcpy(p, &v, sizeof v); }

}  // namespace pairtrack::detail
