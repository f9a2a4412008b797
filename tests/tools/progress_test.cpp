// The progress reporter: what its line says, how often it redraws, and how it is erased and
// finished, written to a scratch file in place of a terminal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "progress.h"

namespace pairtrack::detail {
namespace {

// A scratch file standing in for the terminal.
class Capture {
 public:
  Capture() : file_(std::tmpfile()) {}
  ~Capture() { std::fclose(file_); }
  int fd() const { return ::fileno(file_); }
  std::string text() const {
    std::string s;
    const off_t size = ::lseek(fd(), 0, SEEK_END);
    s.resize(static_cast<std::size_t>(size));
    if (::pread(fd(), s.data(), s.size(), 0) != size) s.clear();
    return s;
  }

 private:
  std::FILE* file_;
};

std::size_t count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST(ProgressReporter, LineShowsFrameTimePairsRateAndTimeLeft) {
  Capture c;
  ProgressReporter p(c.fd(), std::chrono::milliseconds(0));
  EXPECT_EQ(p.line(), "pairtrack: frame 0  t = 0 Myr  0/0 pairs  -- pairs/s  frame left --");
  p.frame_started(3, 0.75, 12000);
  p.pairs_done(4000);
  const std::string line = p.line();
  EXPECT_EQ(line.rfind("pairtrack: frame 3  t = 0.75 Myr  4000/12000 pairs  ", 0), 0u) << line;
  EXPECT_NE(line.find(" pairs/s  frame left "), std::string::npos) << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(ProgressReporter, RedrawsAtMostOncePerInterval) {
  Capture c;
  ProgressReporter p(c.fd(), std::chrono::hours(1));
  p.frame_started(1, 0.0, 100);
  for (int i = 1; i <= 100; ++i) p.pairs_done(i);
  p.frame_started(2, 0.25, 100);
  const std::string text = c.text();
  EXPECT_EQ(count(text, "\rpairtrack: frame"), 1u) << text;  // only the first draw
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(ProgressReporter, EveryReportRedrawsInPlaceWithoutAnInterval) {
  Capture c;
  ProgressReporter p(c.fd(), std::chrono::milliseconds(0));
  p.frame_started(1, 0.0, 100);
  p.pairs_done(50);
  p.pairs_done(100);
  const std::string text = c.text();
  EXPECT_EQ(count(text, "\rpairtrack: frame 1  t = 0 Myr  "), 3u) << text;
  EXPECT_EQ(count(text, "\033[K"), 3u);
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(ProgressReporter, ClearErasesOnlyAShownLineAndFinishEndsWithANewline) {
  Capture c;
  ProgressReporter p(c.fd(), std::chrono::milliseconds(0));
  p.clear();
  EXPECT_EQ(c.text(), "");  // nothing shown, nothing to erase
  p.frame_started(1, 0.0, 10);
  p.pairs_done(10);
  p.clear();
  EXPECT_EQ(c.text().substr(c.text().size() - 4), "\r\033[K");
  p.frame_started(2, 1.0, 20);
  p.pairs_done(20);
  p.finish();
  const std::string text = c.text();
  const std::size_t last = text.rfind("\r\033[K");
  ASSERT_NE(last, std::string::npos);
  const std::string closing = text.substr(last + 4);
  EXPECT_EQ(closing.rfind("pairtrack: 2 frames, 30 pairs in ", 0), 0u) << closing;
  EXPECT_EQ(closing.back(), '\n');
  EXPECT_EQ(count(closing, "\n"), 1u);
}

}  // namespace
}  // namespace pairtrack::detail
