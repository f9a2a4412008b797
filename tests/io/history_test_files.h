// Scratch files for the history-file tests: a unique path per test under the test temporary
// directory, removed afterwards, and whole-file byte reads and writes for golden comparisons.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pairtrack::detail::testing_support {

using Bytes = std::vector<unsigned char>;

// A path unique to the running test (and process); the file is removed when it goes out of scope.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& tag = "history") {
    static int counter = 0;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    if (info != nullptr) name += std::string("_") + info->test_suite_name() + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = (std::filesystem::path(::testing::TempDir()) / name).string();
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Concatenation of byte sequences, for building files piece by piece.
inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A 32-bit little-endian length marker.
inline Bytes marker(std::int32_t n) {
  const auto u = static_cast<std::uint32_t>(n);
  return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
          static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
}

// A record framed by two markers equal to the payload length.
inline Bytes framed(const Bytes& payload) {
  const auto n = static_cast<std::int32_t>(payload.size());
  return concat({marker(n), payload, marker(n)});
}

}  // namespace pairtrack::detail::testing_support
