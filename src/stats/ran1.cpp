// Park-Miller minimal-standard generator (16807 * s mod 2^31 - 1, by
// Schrage's method in 32-bit arithmetic) with a Bays-Durham shuffle over 32
// entries. Output is dimensionless, in (0, 1).
#include "stats/ran1.h"

namespace pairtrack::detail {

namespace {

constexpr std::int32_t kMultiplier = 16807;
constexpr std::int32_t kModulus = 2147483647;      // 2^31 - 1
constexpr std::int32_t kSchrageQuotient = 127773;  // kModulus / kMultiplier
constexpr std::int32_t kSchrageRemainder = 2836;   // kModulus % kMultiplier
constexpr int kTableSize = 32;
constexpr int kWarmUpSteps = 8;
constexpr std::int32_t kTableDivisor = 1 + (kModulus - 1) / kTableSize;  // 2^26
// 2^-31: the single-precision number nearest 1 / (2^31 - 1). A table value
// times this scale is exact in double.
constexpr double kOutputScale = 0x1p-31;
// 1 - 2^-23, the largest single-precision number below 1.
constexpr double kOutputCap = 0.99999988079071044921875;

// The table value drawn by the previous call (0 before the first call) and
// the shuffle table, iv[0] holding entry 1.
std::int32_t iy = 0;
std::int32_t iv[kTableSize] = {};

// One congruential step s <- 16807 s mod (2^31 - 1) for s in 1 ... 2^31 - 2,
// without overflowing 32 bits: 16807 * (s mod 127773) < 2^31 and
// 2836 * (s / 127773) < 2^31.
std::int32_t next_state(std::int32_t s) {
  const std::int32_t k = s / kSchrageQuotient;
  s = kMultiplier * (s - k * kSchrageQuotient) - kSchrageRemainder * k;
  if (s < 0) {
    s += kModulus;
  }
  return s;
}

// The starting state for a (re)initialisation from state word s: -s when it
// is a usable state (1 ... 2^31 - 2), else 1. -2147483648 cannot be negated
// in 32 bits, and -2147483647 would give the modulus itself, a state that
// the step maps to the fixed point 0; both start like -1, as 0 and positive
// seeds do.
std::int32_t starting_state(std::int32_t s) {
  if (s < 0 && s > -kModulus) {
    return -s;
  }
  return 1;
}

}  // namespace

double ran1(std::int32_t& idum) {
  std::int32_t s = idum;
  if (s <= 0 || iy == 0) {
    s = starting_state(s);
    // Warm-up steps first, then the table filled from its last entry down.
    for (int j = kTableSize + kWarmUpSteps; j >= 1; --j) {
      s = next_state(s);
      if (j <= kTableSize) {
        iv[j - 1] = s;
      }
    }
    iy = iv[0];
  }
  s = next_state(s);
  // The slot is chosen by the previous output, and the new state takes the
  // place of the value handed out.
  const int j = static_cast<int>(iy / kTableDivisor);  // 0 ... 31
  iy = iv[j];
  iv[j] = s;
  idum = s;
  const double r = static_cast<double>(iy) * kOutputScale;
  return r > kOutputCap ? kOutputCap : r;
}

void ran1_reset() {
  iy = 0;
  for (std::int32_t& entry : iv) {
    entry = 0;
  }
}

Ran1Table ran1_table() {
  Ran1Table t;
  t.iy = iy;
  for (int k = 0; k < kTableSize; ++k) t.iv[k] = iv[k];
  return t;
}

void ran1_restore(const Ran1Table& table) {
  iy = table.iy;
  for (int k = 0; k < kTableSize; ++k) iv[k] = table.iv[k];
}

}  // namespace pairtrack::detail
