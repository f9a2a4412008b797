// Physical and numerical constants of the collision kernel.
// Lengths are in centimetres, times in seconds, speeds in cm/s unless a name
// says km/s. Each constant is the exact double the kernel's arithmetic uses:
// changing one changes the last digits of every result.
#pragma once

#include "pairtrack/units.h"  // the node capacity kNodeCapacity

namespace pairtrack::detail {

// Positions of the four sums (the caller's array of four doubles).
enum SumIndex : int {
  kSumP = 0,     // sum of W, the probability density, cm^-2 s^-1
  kSumV = 1,     // sum of W U, U the encounter speed in cm/s
  kSumV2 = 2,    // sum of W U^2, cm^2/s^2
  kSumVimp = 3,  // sum of W sqrt(U_km^2 + v_esc^2), km/s
};

}  // namespace pairtrack::detail

namespace pairtrack::detail::kernel {

// Solar gravitational parameter G*M_sun in cm^3 s^-2: the double-precision
// product 6.67259e-8 * 1.9891e33.
inline constexpr double kGM = 1.3272448769000002e26;
// The double nearest sqrt(kGM); divisor of the orbital periods.
inline constexpr double kSqrtGM = 11520611428652.5625;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kPi = 3.141592653589793;
// cm/s -> km/s.
inline constexpr double kCmPerSToKmPerS = 1e-5;
// 1/pi^3, the normalisation of the orientation average.
inline constexpr double kInvPiCubed = 0.032251534433199495;
// Seconds per 365-day year times cm^2 per km^2.
inline constexpr double kCm2SToKm2Yr = 3.1536e17;
// The report unit of the intrinsic collision probability: 1e-18 km^-2 yr^-1.
inline constexpr double kProbabilityUnit = 1e-18;

}  // namespace pairtrack::detail::kernel
