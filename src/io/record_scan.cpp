// Raw record walk: markers are read and compared with the bytes left in the file before any
// payload is touched, so a damaged marker never leads to a huge read.
#include "io/record_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pairtrack::detail::history_tool {

RawRecordFile::~RawRecordFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RawRecordFile::open(const std::string& path, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "not a regular file";
    return false;
  }
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  position_ = 0;
  return true;
}

void RawRecordFile::next(RawRecord& r) {
  r = RawRecord{};
  r.offset = position_;
  if (file_ == nullptr) {
    r.status = RawRecord::Status::io_error;
    return;
  }
  const std::uint64_t left = size_ - std::min(position_, size_);
  // A read failure is told apart from the end of the file only by reading: one byte is asked
  // for even where the size says the file has ended, because a failing file, or one the system
  // sizes as 0 bytes although reading it is possible (or fails), reports its error only then.
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left, kMarkerBytes));
  errno = 0;
  r.marker_bytes = std::fread(r.marker.data(), 1, std::max<std::size_t>(wanted, 1), file_);
  if (std::ferror(file_)) {
    fail(r);
    return;
  }
  if (left == 0) {
    r.marker_bytes = 0;
    r.status = RawRecord::Status::end;  // bytes added since the file was opened are not read
    return;
  }
  if (r.marker_bytes < kMarkerBytes) {
    r.status = RawRecord::Status::truncated;
    return;
  }
  r.length = load_i32(r.marker.data());
  if (r.length < 0) {
    r.status = RawRecord::Status::bad_marker;
    return;
  }
  const auto payload = static_cast<std::uint64_t>(r.length);
  if (left - kMarkerBytes < payload + kMarkerBytes) {
    r.status = RawRecord::Status::truncated;
    return;
  }
  r.head_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(payload, r.head.size()));
  unsigned char trailing[kMarkerBytes];
  if (std::fread(r.head.data(), 1, r.head_bytes, file_) != r.head_bytes ||
      ::fseeko(file_, static_cast<off_t>(payload - r.head_bytes), SEEK_CUR) != 0 ||
      std::fread(trailing, 1, kMarkerBytes, file_) != kMarkerBytes) {
    // A file cut shorter since it was opened ends here too; anything else is a read error.
    if (std::ferror(file_) || errno != 0) {
      fail(r);
    } else {
      r.status = RawRecord::Status::truncated;
    }
    return;
  }
  r.trailing = load_i32(trailing);
  position_ += kMarkerBytes + payload + kMarkerBytes;
  r.status = RawRecord::Status::ok;
}

void RawRecordFile::fail(RawRecord& r) {
  r.status = RawRecord::Status::io_error;
  r.error_number = errno != 0 ? errno : EIO;
}

}  // namespace pairtrack::detail::history_tool
