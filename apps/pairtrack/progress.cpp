// The progress line on a terminal: rates over the whole run so far, the remaining time of the
// current frame from that rate. Written with write(2) so that nothing is buffered behind the
// report on standard output.
#include "progress.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

namespace pairtrack::detail {

namespace {

// Writes all of `s`, retrying after interruptions; a terminal that refuses output only loses
// the indicator, never the run.
void write_all(int fd, const std::string& s) {
  const char* p = s.data();
  std::size_t left = s.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

// Seconds as m:ss, or h:mm:ss from an hour on.
std::string clock_text(double seconds) {
  const auto s = static_cast<long long>(std::llround(seconds));
  char buf[32];
  if (s >= 3600) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  }
  return buf;
}

constexpr const char* kEraseLine = "\r\033[K";

}  // namespace

ProgressReporter::ProgressReporter(int fd, std::chrono::milliseconds min_interval)
    : fd_(fd), min_interval_(min_interval), start_(Clock::now()), last_draw_(start_) {}

double ProgressReporter::elapsed_seconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

void ProgressReporter::frame_started(std::int64_t frame, double t_myr, std::int64_t frame_pairs) {
  pairs_before_frame_ += frame_done_;
  frame_ = frame;
  t_myr_ = t_myr;
  frame_pairs_ = frame_pairs;
  frame_done_ = 0;
  draw(false);
}

void ProgressReporter::pairs_done(std::int64_t done) {
  frame_done_ = done;
  draw(false);
}

std::string ProgressReporter::line() const {
  const double elapsed = elapsed_seconds();
  const std::int64_t total = pairs_before_frame_ + frame_done_;
  char head[160];
  std::snprintf(head, sizeof head, "pairtrack: frame %lld  t = %.6g Myr  %lld/%lld pairs",
                static_cast<long long>(frame_), t_myr_, static_cast<long long>(frame_done_),
                static_cast<long long>(frame_pairs_));
  std::string s = head;
  if (total > 0 && elapsed > 0.0) {
    const double rate = static_cast<double>(total) / elapsed;
    char tail[96];
    std::snprintf(tail, sizeof tail, "  %.3g pairs/s  frame left %s", rate,
                  clock_text(static_cast<double>(frame_pairs_ - frame_done_) / rate).c_str());
    s += tail;
  } else {
    s += "  -- pairs/s  frame left --";
  }
  return s;
}

void ProgressReporter::draw(bool force) {
  const Clock::time_point now = Clock::now();
  if (!force && drawn_ever_ && now - last_draw_ < min_interval_) return;
  last_draw_ = now;
  drawn_ever_ = true;
  shown_ = true;
  write_all(fd_, "\r" + line() + "\033[K");
}

void ProgressReporter::clear() {
  if (!shown_) return;
  write_all(fd_, kEraseLine);
  shown_ = false;
}

void ProgressReporter::finish() {
  const std::int64_t total = pairs_before_frame_ + frame_done_;
  char buf[160];
  std::snprintf(buf, sizeof buf, "pairtrack: %lld frames, %lld pairs in %.1f s\n",
                static_cast<long long>(frame_), static_cast<long long>(total), elapsed_seconds());
  write_all(fd_, std::string(kEraseLine) + buf);
  shown_ = false;
}

bool progress_wanted() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace pairtrack::detail
