// Record framing of the history file: leading marker, payload, trailing marker, read through
// one fixed buffer. Oversized payloads are skipped within the buffer or by a relative seek, so
// even a marker of 2^31 - 1 bytes allocates nothing; the read then fails at the trailing marker.
#include "io/history_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/history_layout.h"

namespace pairtrack::detail {

namespace {
// One megabyte holds some 18000 code-2 body records: one operating-system read per few
// thousand records.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
}  // namespace

HistoryFile::~HistoryFile() { close(); }

bool HistoryFile::open(const std::string& path, std::string* reason) {
  close();
  std::string ignored;
  std::string& why = reason != nullptr ? *reason : ignored;
  // A NUL byte would cut the name short for the operating system and open another file.
  if (path.find('\0') != std::string::npos) {
    why = "the name holds a NUL byte";
    return false;
  }
  // Non-blocking, so that a named pipe without a writer is refused instead of waiting; the
  // flag means nothing for the regular files that are accepted.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    why = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    ::close(fd);
    return false;
  }
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) {
    why = std::strerror(errno);
    ::close(fd);
    return false;
  }
  // Our own buffer does the buffering; the stream below reads straight into it.
  std::setvbuf(f, nullptr, _IONBF, 0);
  if (!buffer_) buffer_ = std::make_unique<unsigned char[]>(kBufferBytes);
  file_ = f;
  next_ = end_ = 0;
  size_ = static_cast<std::uint64_t>(info.st_size);
  consumed_ = record_offset_ = 0;
  record_length_ = -1;
  error_number_ = 0;
  return true;
}

void HistoryFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  next_ = end_ = 0;
}

std::size_t HistoryFile::take(unsigned char* dst, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    if (next_ == end_) {
      next_ = 0;
      errno = 0;
      end_ = std::fread(buffer_.get(), 1, kBufferBytes, file_);
      if (end_ == 0) {
        if (std::ferror(file_)) error_number_ = errno;
        break;
      }
    }
    const std::size_t chunk = std::min(n - done, end_ - next_);
    std::memcpy(dst + done, buffer_.get() + next_, chunk);
    next_ += chunk;
    done += chunk;
  }
  consumed_ += done;
  return done;
}

bool HistoryFile::skip(std::uint64_t n) {
  const std::size_t buffered = end_ - next_;
  if (n <= buffered) {
    next_ += static_cast<std::size_t>(n);
    consumed_ += n;
    return true;
  }
  // The stream stands at the end of the buffered bytes: seek the rest relative to it. Seeking
  // past the end of the file succeeds; the next read then finds nothing.
  const std::uint64_t beyond = n - buffered;
  next_ = end_ = 0;
  consumed_ += n;
  if (::fseeko(file_, static_cast<off_t>(beyond), SEEK_CUR) == 0) return true;
  error_number_ = errno;
  return false;
}

bool HistoryFile::seek(std::uint64_t offset) {
  if (file_ == nullptr) return false;
  if (offset > size_) {
    error_number_ = EINVAL;
    return false;
  }
  next_ = end_ = 0;
  if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
    error_number_ = errno;
    return false;
  }
  consumed_ = offset;
  return true;
}

std::int32_t HistoryFile::shortfall(std::int32_t short_status) {
  return std::ferror(file_) ? history_status::io_error : short_status;
}

std::int32_t HistoryFile::read_record(std::span<unsigned char> payload) {
  if (file_ == nullptr) return history_status::not_open;

  record_offset_ = consumed_;
  record_length_ = -1;
  unsigned char marker[kMarkerBytes];
  const std::size_t got = take(marker, kMarkerBytes);
  if (got == 0) return shortfall(history_status::end_of_file);
  if (got < kMarkerBytes) return shortfall(history_status::truncated);

  const std::int32_t length = load_i32(marker);
  record_length_ = length;
  if (length < 0) return history_status::bad_marker;
  const auto payload_bytes = static_cast<std::uint64_t>(length);
  if (payload_bytes < payload.size()) return history_status::short_payload;

  if (take(payload.data(), payload.size()) < payload.size()) {
    return shortfall(history_status::truncated);
  }
  if (!skip(payload_bytes - payload.size())) return history_status::io_error;
  // The trailing marker must be present; its value is not compared with the leading one.
  if (take(marker, kMarkerBytes) < kMarkerBytes) return shortfall(history_status::truncated);
  return history_status::ok;
}

}  // namespace pairtrack::detail
