// Record framing of the history file: leading marker, payload, trailing marker, read through
// one fixed buffer. Oversized payloads are skipped within the buffer or by a relative seek, so
// even a marker of 2^31 - 1 bytes allocates nothing; the read then fails at the trailing marker.
#include "io/history/history_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

RecordStatus HistoryFile::shortfall(RecordStatus short_status) {
  return std::ferror(file_) ? RecordStatus::io_error : short_status;
}

RecordStatus HistoryFile::read_record(std::span<unsigned char> payload) {
  if (file_ == nullptr) return RecordStatus::not_open;

  record_offset_ = consumed_;
  record_length_ = -1;
  unsigned char marker[kMarkerBytes];
  const std::size_t got = take(marker, kMarkerBytes);
  if (got == 0) return shortfall(RecordStatus::end_of_file);
  if (got < kMarkerBytes) return shortfall(RecordStatus::truncated);

  const std::int32_t length = load_i32(marker);
  record_length_ = length;
  if (length < 0) return RecordStatus::bad_marker;
  const auto payload_bytes = static_cast<std::uint64_t>(length);
  if (payload_bytes < payload.size()) return RecordStatus::short_payload;

  if (take(payload.data(), payload.size()) < payload.size()) {
    return shortfall(RecordStatus::truncated);
  }
  if (!skip(payload_bytes - payload.size())) return RecordStatus::io_error;
  // The trailing marker must be present; its value is not compared with the leading one.
  if (take(marker, kMarkerBytes) < kMarkerBytes) return shortfall(RecordStatus::truncated);
  return RecordStatus::ok;
}

void HistoryFile::read_raw(RawRecord& r) {
  r = RawRecord{};
  r.offset = consumed_;
  if (file_ == nullptr) {
    r.status = RecordStatus::not_open;
    return;
  }
  record_offset_ = consumed_;
  record_length_ = -1;
  const std::uint64_t left = bytes_left();
  // A read failure is told apart from the end of the file only by reading: one byte is asked
  // for even where the size says the file has ended, because a failing file, or one the system
  // sizes as 0 bytes although reading it is possible (or fails), reports its error only then.
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left, kMarkerBytes));
  errno = 0;
  error_number_ = 0;
  r.marker_bytes = take(r.marker.data(), std::max<std::size_t>(wanted, 1));
  if (std::ferror(file_)) {
    r.status = RecordStatus::io_error;
    r.error_number = error_number_ != 0 ? error_number_ : EIO;
    return;
  }
  if (left == 0) {
    r.marker_bytes = 0;
    r.status = RecordStatus::end_of_file;  // bytes added since the file was opened are not read
    return;
  }
  if (r.marker_bytes < kMarkerBytes) {
    r.status = RecordStatus::truncated;
    return;
  }
  r.length = load_i32(r.marker.data());
  record_length_ = r.length;
  if (r.length < 0) {
    r.status = RecordStatus::bad_marker;
    return;
  }
  const auto payload = static_cast<std::uint64_t>(r.length);
  if (left - kMarkerBytes < payload + kMarkerBytes) {
    r.status = RecordStatus::truncated;
    return;
  }
  r.head_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(payload, r.head.size()));
  unsigned char trailing[kMarkerBytes];
  if (take(r.head.data(), r.head_bytes) != r.head_bytes || !skip(payload - r.head_bytes) ||
      take(trailing, kMarkerBytes) != kMarkerBytes) {
    // A file cut shorter since it was opened ends here too; anything else is a read error.
    if (std::ferror(file_) || error_number_ != 0) {
      r.status = RecordStatus::io_error;
      r.error_number = error_number_ != 0 ? error_number_ : EIO;
    } else {
      r.status = RecordStatus::truncated;
    }
    return;
  }
  r.trailing = load_i32(trailing);
  r.status = RecordStatus::ok;
}

}  // namespace pairtrack::detail
