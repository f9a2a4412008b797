// Support for the bad-input tests: history files assembled byte by byte in each encoding (so
// that markers, counts and cuts can be anything), the small valid catalogue and history file
// the damaged input is paired with, and the lines of a run's report.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/run_fixture.h"
#include "io/fortran_text.h"

namespace pairtrack::detail::bad_input {

using namespace pairtrack::detail::testing_support;

using Bytes = std::string;

inline void put_i32(Bytes& b, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
}
inline void put_i16(Bytes& b, std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  b.push_back(static_cast<char>(u & 0xff));
  b.push_back(static_cast<char>(u >> 8));
}
inline void put_f32(Bytes& b, float v) {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  put_i32(b, static_cast<std::int32_t>(u));
}
inline void put_f64(Bytes& b, double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
}

// One record: leading marker, payload, trailing marker, both markers `marker`.
inline Bytes record_marked(const Bytes& payload, std::int32_t marker) {
  Bytes b;
  put_i32(b, marker);
  b += payload;
  put_i32(b, marker);
  return b;
}
// One well-formed record: both markers give the payload length.
inline Bytes record(const Bytes& payload) {
  return record_marked(payload, static_cast<std::int32_t>(payload.size()));
}

// A frame header payload in encoding `code`; code 0 takes the time in hundredths (< 32767).
inline Bytes header_payload(int code, double time, std::int16_t nrec1, std::int16_t nrec2) {
  Bytes p;
  if (code == 0) {
    const auto hundredths = static_cast<std::int16_t>(time * 100);
    put_i16(p, 0);
    put_i16(p, 0);
    put_i16(p, hundredths);
  } else if (code == 1) {
    put_f32(p, static_cast<float>(time));
  } else {
    put_f64(p, time);
  }
  put_i16(p, nrec1);
  put_i16(p, nrec2);
  return p;
}

// A body payload; code 0 takes the scaled integers of a, e and inc as given.
inline Bytes body_payload(int code, std::int16_t id, double a, double e, double inc) {
  Bytes p;
  put_i16(p, id);
  for (double v : {a, e, inc, 0.0, 0.0, 0.0}) {
    if (code == 0) {
      put_i16(p, static_cast<std::int16_t>(v));
    } else if (code == 1) {
      put_f32(p, static_cast<float>(v));
    } else {
      put_f64(p, v);
    }
  }
  return p;
}

// Elements of a body that crosses the catalogue's orbits, in each encoding's form: a = 2.5 AU,
// e = 0.2, inc = 0.1 rad (code 0: 10^(6k/32767) AU, 10^(3k/32767), k * 2pi / 32767).
struct Elements {
  double a, e, inc;
};
inline Elements crossing_body(int code) {
  if (code == 0) return {2177, -7641, 521};  // a about 2.504 AU, e about 0.1997, inc about 0.0999
  return {2.5, 0.2, 0.1};
}

inline Bytes body(int code, std::int16_t id) {
  const Elements x = crossing_body(code);
  return record(body_payload(code, id, x.a, x.e, x.inc));
}
inline Bytes header(int code, double time, std::int16_t nrec1, std::int16_t nrec2) {
  return record(header_payload(code, time, nrec1, nrec2));
}

// The valid catalogue of the bad-input runs: two main-belt orbits.
inline std::vector<CatalogOrbit> two_orbits() {
  return {{5.12345, 0.08123, 2.76543}, {12.0, 0.2, 2.2}};
}

// The parameter records of the bad-input runs: bodies at positions 1 and 2 of code `code`.
inline Params params_for(int code) {
  Params p;
  p.format_code = std::to_string(code);
  p.n2_range = "1 2";
  return p;
}

// " # pairtrack: t_max = " line for `t_max` (Myr).
inline std::string closing_line(double t_max) {
  return fortran::FreeFormLine().text("# pairtrack: t_max = ").real(t_max).text(" Myr").str();
}

// The name as messages show it: 80 characters, blank-filled.
inline std::string shown(const std::string& name) { return name80(name); }

}  // namespace pairtrack::detail::bad_input
