// Raw walk over the records of a history file: the position, the two length markers and the
// first payload bytes of each record, without decoding. The history tool uses it to tell the
// encoding of a file from its record lengths and to locate truncation or damage by byte offset.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "io/history_layout.h"

namespace pairtrack::detail::history_tool {

// One record as it lies in the file.
struct RawRecord {
  enum class Status {
    ok,          // both markers and the whole payload are present
    end,         // the file ends where this record would begin
    truncated,   // the file ends inside the leading marker, the payload or the trailing marker
    bad_marker,  // the leading marker is negative
    io_error,    // the operating system reported a read or seek failure
  };
  Status status = Status::end;
  std::uint64_t offset = 0;   // byte offset of the leading marker
  std::int32_t length = 0;    // leading marker: the payload length in bytes
  std::int32_t trailing = 0;  // trailing marker (valid when status is ok)
  int error_number = 0;       // the system's error code (errno) for io_error
  // The bytes of the leading marker as read (fewer than 4 where the file ends inside it), so
  // that the start of a file that is not a history file can be described.
  std::array<unsigned char, kMarkerBytes> marker{};
  std::size_t marker_bytes = 0;
  // The first head_bytes (at most kMaxPayloadBytes) bytes of the payload.
  std::array<unsigned char, kMaxPayloadBytes> head{};
  std::size_t head_bytes = 0;
};

// A history file opened for a raw walk from its first byte.
class RawRecordFile {
 public:
  RawRecordFile() = default;
  ~RawRecordFile();
  RawRecordFile(const RawRecordFile&) = delete;
  RawRecordFile& operator=(const RawRecordFile&) = delete;

  // Opens a regular file. On failure returns false and sets `error` to a reason such as
  // "no such file or directory" or "not a regular file".
  bool open(const std::string& path, std::string& error);

  // Size of the file in bytes.
  std::uint64_t size() const { return size_; }

  // Reads the next record into `record`. After any status other than ok the walk is over.
  void next(RawRecord& record);

 private:
  // Marks `record` as a read error with the system's error code.
  void fail(RawRecord& record);

  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace pairtrack::detail::history_tool
