// pairtrack public API: the units, capacities and file names that every part of the program
// shares. Each value is the one the program's arithmetic and checks use; there is no other copy.
#pragma once

#include <cstdint>

namespace pairtrack {

// Centimetres per astronomical unit: semimajor axes are converted as a_cm = a_au * this, and
// back as a_au = a_cm / this.
inline constexpr double kCentimetresPerAu = 1.4959787e13;
// Radians per degree as the program converts catalogue inclinations (3.1415926535 / 180).
inline constexpr double kRadiansPerDegree = 0.017453292519444445;

// The most orbits of population 1 (the catalogue), the most bodies of a frame, and the range
// of body identifiers (1 .. this).
inline constexpr std::int32_t kPopulationCapacity = 30000;
// The most pairs (catalogue orbits x swept bodies) one frame may evaluate.
inline constexpr std::int64_t kPairCapacity = 10000000;
// The most Gauss-Legendre nodes of one quadrature rule.
inline constexpr int kNodeCapacity = 5000;

// The pair file's default name, in the working directory.
inline constexpr char kPairFileName[] = "hitrate_pairtrack_q.tmp";

}  // namespace pairtrack
