// The C++ side of scripts/python_bench.py: times pairtrack::collision_pair_matrix on the orbits
// of a file written by that script, so that both sides evaluate the same pairs.
//   api_pair_matrix FILE THREADS REPEATS
// FILE: int64 n1, int64 n2, then n1 rows and n2 rows of (a AU, e, i deg), float64, native
// byte order. Prints the fastest of REPEATS calls in seconds and the XOR of the bit patterns
// of every p_coll (to show that both sides computed the same values).
#include <pairtrack/kernel.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: api_pair_matrix FILE THREADS REPEATS\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::int64_t n[2] = {0, 0};
  in.read(reinterpret_cast<char*>(n), sizeof n);
  if (!in || n[0] < 0 || n[1] < 0 || n[0] > 100000 || n[1] > 100000) return 2;
  std::vector<double> rows(static_cast<std::size_t>(3 * (n[0] + n[1])));
  in.read(reinterpret_cast<char*>(rows.data()), static_cast<std::streamsize>(rows.size() * 8));
  if (!in) return 2;
  std::vector<double> cols[2][3];
  for (int p = 0; p < 2; ++p) {
    const std::size_t first = p == 0 ? 0 : static_cast<std::size_t>(n[0]);
    for (std::int64_t k = 0; k < n[p]; ++k) {
      for (int c = 0; c < 3; ++c) cols[p][c].push_back(rows[3 * (first + k) + c]);
    }
  }
  const pairtrack::OrbitArrays o1{cols[0][0].data(), cols[0][1].data(), cols[0][2].data(),
                                  static_cast<std::size_t>(n[0])};
  const pairtrack::OrbitArrays o2{cols[1][0].data(), cols[1][1].data(), cols[1][2].data(),
                                  static_cast<std::size_t>(n[1])};
  pairtrack::KernelOptions options;
  options.threads = std::atoi(argv[2]);
  const int repeats = std::atoi(argv[3]);
  // The four outputs, as pair_matrix in Python computes them.
  std::vector<double> out[4];
  for (auto& v : out) v.resize(static_cast<std::size_t>(n[0] * n[1]));
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    pairtrack::collision_pair_matrix(
        o1, o2, {out[0].data(), out[1].data(), out[2].data(), out[3].data()}, options);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  std::uint64_t x = 0;
  for (const double p : out[0]) {
    std::uint64_t b;
    std::memcpy(&b, &p, sizeof b);
    x ^= b;
  }
  std::printf("%.6f %016llx\n", best, static_cast<unsigned long long>(x));
  return 0;
}
