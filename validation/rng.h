// The Monte Carlo estimator's own random generator: xoshiro256** seeded through
// SplitMix64. Written here so that the validation shares no code with the
// program (which has its own generator for removing bodies). Deterministic: the
// same seed gives the same stream on every platform.
#pragma once

#include <cstdint>

namespace mcval {

// SplitMix64: turns one 64-bit seed into well-mixed words; used to fill the
// xoshiro state and to derive independent seeds for batches.
inline std::uint64_t splitmix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

class Xoshiro256 {
 public:
  explicit Xoshiro256(std::uint64_t seed) {
    std::uint64_t sm = seed;
    for (auto& w : s_) w = splitmix64(sm);
  }
  std::uint64_t next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }
  // Uniform on [0, 1) with 53 random bits.
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t s_[4];
};

// Seed of batch `index` of a run seeded with `seed`: independent streams for
// every batch, whatever order (or thread) the batches run in.
inline std::uint64_t batch_seed(std::uint64_t seed, std::uint64_t index) {
  std::uint64_t sm = seed ^ (0xd1b54a32d192ed03ULL * (index + 1));
  splitmix64(sm);
  return splitmix64(sm);
}

}  // namespace mcval
