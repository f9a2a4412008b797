// Shared helpers of the fuzz targets: a private working directory entered once per process,
// files written from the fuzz input, and a check that stops the fuzzer with a readable reason.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace pairtrack::detail::fuzz {

// Moves the process into a fresh directory under /tmp, once: the run opens its files by name
// relative to the working directory, and parallel fuzzers must not share them.
inline void enter_private_dir() {
  static const bool entered = [] {
    char pattern[] = "/tmp/pairtrack_fuzz_XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chdir(pattern) != 0) std::abort();
    return true;
  }();
  (void)entered;
}

inline void write_file(const char* name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

inline std::string read_file(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A property the input broke: print why and abort, which libFuzzer records as a crash.
#define PAIRTRACK_FUZZ_CHECK(cond, ...)                       \
  do {                                                        \
    if (!(cond)) {                                            \
      std::fprintf(stderr, "fuzz check failed: %s: ", #cond); \
      std::fprintf(stderr, __VA_ARGS__);                      \
      std::fprintf(stderr, "\n");                             \
      std::abort();                                           \
    }                                                         \
  } while (0)

}  // namespace pairtrack::detail::fuzz
