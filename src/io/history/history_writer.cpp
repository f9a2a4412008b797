// Encoding of history records: packs header and body fields in the layout of each format code
// and frames them with two little-endian length markers. Values that the encoding cannot hold
// are refused rather than wrapped or saturated, so a written file always reads back as meant.
#include "io/history/history_writer.h"

#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "io/history/history_layout.h"
#include "io/history/history_scaled_i2.h"

namespace pairtrack::detail {

namespace {

std::optional<std::int16_t> to_int16(std::int32_t v) {
  if (v < std::numeric_limits<std::int16_t>::min() ||
      v > std::numeric_limits<std::int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int16_t>(v);
}

// Narrows to float32; empty when a finite value overflows (non-finite values pass as they are).
std::optional<float> to_float32(double v) {
  const auto f = static_cast<float>(v);
  if (std::isfinite(v) && !std::isfinite(f)) return std::nullopt;
  return f;
}

bool valid_format(HistoryFormat format) {
  return format == HistoryFormat::scaled_int16 || format == HistoryFormat::float32 ||
         format == HistoryFormat::float64;
}

}  // namespace

HistoryWriter::~HistoryWriter() { close(); }

bool HistoryWriter::open(const std::string& path) {
  close();
  file_ = std::fopen(path.c_str(), "wb");
  failed_ = false;
  return file_ != nullptr;
}

bool HistoryWriter::close() {
  if (file_ == nullptr) return false;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return closed && !failed_;
}

bool HistoryWriter::bytes(std::span<const unsigned char> raw) {
  if (file_ == nullptr) return false;
  if (std::fwrite(raw.data(), 1, raw.size(), file_) != raw.size()) failed_ = true;
  return !failed_;
}

bool HistoryWriter::record(std::int32_t leading_marker, std::span<const unsigned char> payload,
                           std::int32_t trailing_marker) {
  if (file_ == nullptr) return false;
  std::array<unsigned char, kMarkerBytes> lead;
  std::array<unsigned char, kMarkerBytes> trail;
  store_i32(lead.data(), leading_marker);
  store_i32(trail.data(), trailing_marker);
  return bytes(lead) && bytes(payload) && bytes(trail);
}

bool HistoryWriter::record(std::span<const unsigned char> payload) {
  if (payload.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  const auto length = static_cast<std::int32_t>(payload.size());
  return record(length, payload, length);
}

bool HistoryWriter::header_i2(std::int16_t h1, std::int16_t h2, std::int16_t h3, std::int16_t nrec1,
                              std::int16_t nrec2) {
  std::array<unsigned char, header_payload_bytes(HistoryFormat::scaled_int16)> p;
  store_i16(p.data(), h1);
  store_i16(p.data() + 2, h2);
  store_i16(p.data() + 4, h3);
  store_i16(p.data() + 6, nrec1);
  store_i16(p.data() + 8, nrec2);
  return record(p);
}

bool HistoryWriter::body_i2(std::int16_t id, std::int16_t k_a, std::int16_t k_e, std::int16_t k_inc,
                            std::int16_t k_angle5, std::int16_t k_angle6, std::int16_t k_angle7) {
  std::array<unsigned char, body_payload_bytes(HistoryFormat::scaled_int16)> p;
  const std::int16_t fields[] = {id, k_a, k_e, k_inc, k_angle5, k_angle6, k_angle7};
  for (std::size_t i = 0; i < 7; ++i) store_i16(p.data() + 2 * i, fields[i]);
  return record(p);
}

bool HistoryWriter::header(HistoryFormat format, double time, std::int32_t nrec1,
                           std::int32_t nrec2) {
  const std::optional<std::int16_t> n1 = to_int16(nrec1);
  const std::optional<std::int16_t> n2 = to_int16(nrec2);
  if (!valid_format(format) || !n1 || !n2) return false;

  if (format == HistoryFormat::scaled_int16) {
    const std::optional<ScaledTime> t = quantise_scaled_time(time);
    return t && header_i2(t->h1, t->h2, t->h3, *n1, *n2);
  }
  std::array<unsigned char, header_payload_bytes(HistoryFormat::float64)> p;
  std::size_t at = 0;
  if (format == HistoryFormat::float32) {
    const std::optional<float> t = to_float32(time);
    if (!t) return false;
    store_f32(p.data(), *t);
    at = 4;
  } else {
    store_f64(p.data(), time);
    at = 8;
  }
  store_i16(p.data() + at, *n1);
  store_i16(p.data() + at + 2, *n2);
  return record(std::span<const unsigned char>(p.data(), at + 4));
}

bool HistoryWriter::body(HistoryFormat format, std::int32_t id, double a, double e, double inc,
                         double angle5, double angle6, double angle7) {
  const std::optional<std::int16_t> id16 = to_int16(id);
  if (!valid_format(format) || !id16) return false;

  if (format == HistoryFormat::scaled_int16) {
    const std::optional<std::int16_t> k[] = {
        quantise_scaled_a(a),          quantise_scaled_e(e),
        quantise_scaled_angle(inc),    quantise_scaled_angle(angle5),
        quantise_scaled_angle(angle6), quantise_scaled_angle(angle7)};
    for (const auto& code : k) {
      if (!code) return false;
    }
    return body_i2(*id16, *k[0], *k[1], *k[2], *k[3], *k[4], *k[5]);
  }

  const double values[] = {a, e, inc, angle5, angle6, angle7};
  std::array<unsigned char, body_payload_bytes(HistoryFormat::float64)> p;
  store_i16(p.data(), *id16);
  const std::size_t width = real_field_bytes(format);
  for (std::size_t i = 0; i < 6; ++i) {
    unsigned char* field = p.data() + 2 + width * i;
    if (format == HistoryFormat::float32) {
      const std::optional<float> f = to_float32(values[i]);
      if (!f) return false;
      store_f32(field, *f);
    } else {
      store_f64(field, values[i]);
    }
  }
  return record(std::span<const unsigned char>(p.data(), 2 + 6 * width));
}

}  // namespace pairtrack::detail
