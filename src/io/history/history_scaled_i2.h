// The scaled 16-bit encoding (format code 0): how each int16 field k maps to a frame time, a
// semimajor axis (AU, logarithmic grid 1e-6 .. 1e6), an eccentricity (1e-3 .. 1e3) or an angle
// (radians, about -2 pi .. 2 pi), and the inverse quantisers that pick the nearest k.
#pragma once

#include <cstdint>
#include <optional>

namespace pairtrack::detail {

// The angle scale of code 0: the decimal 6.28318530717958 as a double (bit pattern
// 0x401921FB54442D11), a little below 2 pi. The integration that writes the files uses it, so
// k = 32767 decodes to exactly this value.
inline constexpr double kScaledAngleFullTurn = 6.28318530717958;

// Frame time from its three base-32767 digits: (h1 * 32767 * 32767 + h2 * 32767 + h3) / 100.
// The products and the sum are exact 64-bit integers; the quotient is formed in long double
// and rounded to double once.
double decode_scaled_time(std::int16_t h1, std::int16_t h2, std::int16_t h3);

// Semimajor axis in AU: 10^x with x = k * 6 / 32767 formed in long double and rounded to double
// before the double power function is called.
double decode_scaled_a(std::int16_t k);

// Eccentricity: 10^x with x = k * 3 / 32767, formed like decode_scaled_a. k = 0 gives 1;
// no k gives 0.
double decode_scaled_e(std::int16_t k);

// Inclination and the three further angles, radians: k * kScaledAngleFullTurn / 32767, the
// product first, then the quotient, in long double, rounded to double once.
double decode_scaled_angle(std::int16_t k);

// The three digits of a scaled frame time.
struct ScaledTime {
  std::int16_t h1 = 0;
  std::int16_t h2 = 0;
  std::int16_t h3 = 0;
};

// Quantisers: the code whose decoded value lies nearest to the given one (ties to the smaller
// code). Empty when the value is not finite, is not positive where the grid is logarithmic
// (a, e), or lies more than half a step beyond either end of the grid.
std::optional<ScaledTime> quantise_scaled_time(double time);
std::optional<std::int16_t> quantise_scaled_a(double a_au);
std::optional<std::int16_t> quantise_scaled_e(double e);
std::optional<std::int16_t> quantise_scaled_angle(double angle_rad);

}  // namespace pairtrack::detail
