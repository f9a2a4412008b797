// Raw record walk: markers are read and compared with the bytes left in the file before any
// payload is touched, so a damaged marker never leads to a huge read.
#include "io/record_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pairtrack::history_tool {

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
  if (left == 0) {
    r.status = RawRecord::Status::end;
    return;
  }
  unsigned char marker[kMarkerBytes];
  if (left < kMarkerBytes) {
    r.status = RawRecord::Status::truncated;
    return;
  }
  if (std::fread(marker, 1, kMarkerBytes, file_) != kMarkerBytes) {
    r.status = std::ferror(file_) ? RawRecord::Status::io_error : RawRecord::Status::truncated;
    return;
  }
  r.length = load_i32(marker);
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
  if (std::fread(r.head.data(), 1, r.head_bytes, file_) != r.head_bytes ||
      ::fseeko(file_, static_cast<off_t>(payload - r.head_bytes), SEEK_CUR) != 0 ||
      std::fread(marker, 1, kMarkerBytes, file_) != kMarkerBytes) {
    r.status = RawRecord::Status::io_error;
    return;
  }
  r.trailing = load_i32(marker);
  position_ += kMarkerBytes + payload + kMarkerBytes;
  r.status = RawRecord::Status::ok;
}

}  // namespace pairtrack::history_tool
