// Decoding and quantising of the scaled 16-bit history encoding (format code 0). The decoders
// fix every bit of what the readers hand to the program: extended-precision products and
// quotients, one rounding to double, then the double power function for a and e.
#include "io/history/history_scaled_i2.h"

#include <cmath>
#include <limits>

namespace pairtrack::detail {

namespace {

// The digit base of the scaled time and the full scale of every other field.
constexpr std::int64_t kBase = 32767;
constexpr int kMinCode = std::numeric_limits<std::int16_t>::min();
constexpr int kMaxCode = std::numeric_limits<std::int16_t>::max();

// 10^(k * decades / 32767), the exponent rounded to double before the power is taken.
double decode_log_grid(std::int16_t k, int decades) {
  const double x =
      static_cast<double>(static_cast<long double>(k) * decades / static_cast<long double>(kBase));
  return std::pow(10.0, x);
}

// Nearest code on a grid given the continuous position `k_real` of `value` on it and the
// grid's decoder: examines the integers around k_real and keeps the one whose decoded value is
// nearest (the smaller on a tie). Empty when k_real is not finite or lies more than half a
// step outside the int16 range.
template <class Decode>
std::optional<std::int16_t> nearest_code(long double k_real, double value, Decode decode) {
  if (!std::isfinite(k_real) || k_real < kMinCode - 0.5L || k_real > kMaxCode + 0.5L) {
    return std::nullopt;
  }
  const long double base = std::floor(k_real);
  std::optional<std::int16_t> best;
  long double best_distance = 0;
  for (int offset = -1; offset <= 2; ++offset) {
    const long double candidate = base + offset;
    if (candidate < kMinCode || candidate > kMaxCode) continue;
    const auto k = static_cast<std::int16_t>(candidate);
    const long double distance = std::fabs(static_cast<long double>(decode(k)) - value);
    if (!best || distance < best_distance) {
      best = k;
      best_distance = distance;
    }
  }
  return best;
}

// Sum of three base-32767 digits, exact in 64 bits.
std::int64_t scaled_time_sum(std::int16_t h1, std::int16_t h2, std::int16_t h3) {
  return std::int64_t{h1} * kBase * kBase + std::int64_t{h2} * kBase + std::int64_t{h3};
}

// Splits a sum into three digits in -32768 .. 32767, most significant first; each digit is
// the nearest multiple at its place, clamped to the digit range, so the remainder left for the
// last digit stays within range wherever the sum is representable at all.
std::optional<ScaledTime> split_scaled_time(std::int64_t sum) {
  auto clamp_digit = [](long double q) {
    const long double r = std::nearbyint(q);
    return static_cast<std::int64_t>(r < kMinCode ? kMinCode : r > kMaxCode ? kMaxCode : r);
  };
  const std::int64_t h1 = clamp_digit(static_cast<long double>(sum) / (kBase * kBase));
  const std::int64_t rest = sum - h1 * kBase * kBase;
  const std::int64_t h2 = clamp_digit(static_cast<long double>(rest) / kBase);
  const std::int64_t h3 = rest - h2 * kBase;
  if (h3 < kMinCode || h3 > kMaxCode) return std::nullopt;
  return ScaledTime{static_cast<std::int16_t>(h1), static_cast<std::int16_t>(h2),
                    static_cast<std::int16_t>(h3)};
}

}  // namespace

double decode_scaled_time(std::int16_t h1, std::int16_t h2, std::int16_t h3) {
  const std::int64_t sum = scaled_time_sum(h1, h2, h3);
  return static_cast<double>(static_cast<long double>(sum) / 100.0L);
}

double decode_scaled_a(std::int16_t k) { return decode_log_grid(k, 6); }

double decode_scaled_e(std::int16_t k) { return decode_log_grid(k, 3); }

double decode_scaled_angle(std::int16_t k) {
  const long double product =
      static_cast<long double>(k) * static_cast<long double>(kScaledAngleFullTurn);
  return static_cast<double>(product / static_cast<long double>(kBase));
}

std::optional<ScaledTime> quantise_scaled_time(double time) {
  const long double sum_min =
      static_cast<long double>(scaled_time_sum(kMinCode, kMinCode, kMinCode));
  const long double sum_max =
      static_cast<long double>(scaled_time_sum(kMaxCode, kMaxCode, kMaxCode));
  const long double target = static_cast<long double>(time) * 100.0L;
  if (!std::isfinite(target) || target < sum_min - 0.5L || target > sum_max + 0.5L) {
    return std::nullopt;
  }
  const long double base = std::floor(target);
  std::optional<ScaledTime> best;
  long double best_distance = 0;
  for (int offset = 0; offset <= 1; ++offset) {
    const long double candidate = base + offset;
    if (candidate < sum_min || candidate > sum_max) continue;
    const std::optional<ScaledTime> digits =
        split_scaled_time(static_cast<std::int64_t>(candidate));
    if (!digits) continue;
    const double decoded = decode_scaled_time(digits->h1, digits->h2, digits->h3);
    const long double distance = std::fabs(static_cast<long double>(decoded) - time);
    if (!best || distance < best_distance) {
      best = digits;
      best_distance = distance;
    }
  }
  return best;
}

std::optional<std::int16_t> quantise_scaled_a(double a_au) {
  if (!(a_au > 0)) return std::nullopt;
  const long double k_real = std::log10(static_cast<long double>(a_au)) * kBase / 6;
  return nearest_code(k_real, a_au, decode_scaled_a);
}

std::optional<std::int16_t> quantise_scaled_e(double e) {
  if (!(e > 0)) return std::nullopt;
  const long double k_real = std::log10(static_cast<long double>(e)) * kBase / 3;
  return nearest_code(k_real, e, decode_scaled_e);
}

std::optional<std::int16_t> quantise_scaled_angle(double angle_rad) {
  const long double k_real =
      static_cast<long double>(angle_rad) * kBase / static_cast<long double>(kScaledAngleFullTurn);
  return nearest_code(k_real, angle_rad, decode_scaled_angle);
}

}  // namespace pairtrack::detail
