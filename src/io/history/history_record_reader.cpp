// Record reading shared by the three encodings: one template reads the payload into a local
// buffer of the layout's size, and only when the whole record was read decodes the fields and
// stores them, so a failed read leaves the caller's variables as they were.
#include "io/history/history_record_reader.h"

#include <array>
#include <span>

#include "io/history/history_scaled_i2.h"

namespace pairtrack::detail {

namespace {

// How one encoding turns its packed fields into doubles. `p` points at the field's first byte.
template <HistoryFormat Enc>
struct FieldDecoder;

// Code 0: base-32767 time digits and scaled 16-bit codes.
template <>
struct FieldDecoder<HistoryFormat::scaled_int16> {
  static double time(const unsigned char* p) {
    return decode_scaled_time(load_i16(p), load_i16(p + 2), load_i16(p + 4));
  }
  static double a(const unsigned char* p) { return decode_scaled_a(load_i16(p)); }
  static double e(const unsigned char* p) { return decode_scaled_e(load_i16(p)); }
  static double angle(const unsigned char* p) { return decode_scaled_angle(load_i16(p)); }
};

// Code 1: single-precision floats, widened to double unchanged.
template <>
struct FieldDecoder<HistoryFormat::float32> {
  static double time(const unsigned char* p) { return static_cast<double>(load_f32(p)); }
  static double a(const unsigned char* p) { return static_cast<double>(load_f32(p)); }
  static double e(const unsigned char* p) { return static_cast<double>(load_f32(p)); }
  static double angle(const unsigned char* p) { return static_cast<double>(load_f32(p)); }
};

// Code 2: double-precision floats, taken as they stand.
template <>
struct FieldDecoder<HistoryFormat::float64> {
  static double time(const unsigned char* p) { return load_f64(p); }
  static double a(const unsigned char* p) { return load_f64(p); }
  static double e(const unsigned char* p) { return load_f64(p); }
  static double angle(const unsigned char* p) { return load_f64(p); }
};

}  // namespace

template <HistoryFormat Enc>
std::int32_t read_epoch_record(HistoryFile& unit, double& time, std::int32_t& nrec1,
                               std::int32_t& nrec2) {
  constexpr std::size_t kTime = time_field_bytes(Enc);
  std::array<unsigned char, header_payload_bytes(Enc)> payload;
  const RecordStatus status = unit.read_record(payload);
  if (status != RecordStatus::ok) return status_code(status);

  using Decode = FieldDecoder<Enc>;
  time = Decode::time(payload.data());
  nrec1 = load_i16(payload.data() + kTime);
  nrec2 = load_i16(payload.data() + kTime + 2);
  return status_code(RecordStatus::ok);
}

template <HistoryFormat Enc>
std::int32_t read_orbit_record(HistoryFile& unit, std::int32_t& id, double& a, double& e,
                               double& inc, double& angle5, double& angle6, double& angle7) {
  constexpr std::size_t kWidth = real_field_bytes(Enc);
  std::array<unsigned char, body_payload_bytes(Enc)> payload;
  const RecordStatus status = unit.read_record(payload);
  if (status != RecordStatus::ok) return status_code(status);

  using Decode = FieldDecoder<Enc>;
  const unsigned char* field = payload.data() + 2;  // the six real fields follow the id
  id = load_i16(payload.data());
  a = Decode::a(field);
  e = Decode::e(field + kWidth);
  inc = Decode::angle(field + 2 * kWidth);
  angle5 = Decode::angle(field + 3 * kWidth);
  angle6 = Decode::angle(field + 4 * kWidth);
  angle7 = Decode::angle(field + 5 * kWidth);
  return status_code(RecordStatus::ok);
}

template std::int32_t read_epoch_record<HistoryFormat::scaled_int16>(HistoryFile&, double&,
                                                                     std::int32_t&, std::int32_t&);
template std::int32_t read_epoch_record<HistoryFormat::float32>(HistoryFile&, double&,
                                                                std::int32_t&, std::int32_t&);
template std::int32_t read_epoch_record<HistoryFormat::float64>(HistoryFile&, double&,
                                                                std::int32_t&, std::int32_t&);
template std::int32_t read_orbit_record<HistoryFormat::scaled_int16>(HistoryFile&, std::int32_t&,
                                                                     double&, double&, double&,
                                                                     double&, double&, double&);
template std::int32_t read_orbit_record<HistoryFormat::float32>(HistoryFile&, std::int32_t&,
                                                                double&, double&, double&, double&,
                                                                double&, double&);
template std::int32_t read_orbit_record<HistoryFormat::float64>(HistoryFile&, std::int32_t&,
                                                                double&, double&, double&, double&,
                                                                double&, double&);

}  // namespace pairtrack::detail
