// Reading side of the binary history file: a sequence of records, each a payload framed by two
// 4-byte little-endian length markers. HistoryFile owns the file position and hands out the
// leading bytes of one record at a time; the record readers (history_readers.h) decode them,
// and the walks of history_summary.h measure them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "io/history/history_layout.h"

namespace pairtrack::detail {

// How the reading of one record ended: the one vocabulary of HistoryFile, of the raw walk and
// of the six record readers (which return it as its int32 value, so that the frame loop tests
// zero against non-zero; the distinct positive codes help diagnosis and tests).
enum class RecordStatus : std::int32_t {
  ok = 0,
  end_of_file = -1,   // no byte of a further record
  truncated = 1,      // file ends inside a record
  short_payload = 2,  // payload shorter than the fields it must hold
  bad_marker = 3,     // negative length marker
  io_error = 4,       // the operating system reported a failure
  not_open = 5,       // no file is open
};

// The int32 value a record reader returns, and back.
constexpr std::int32_t status_code(RecordStatus status) {
  return static_cast<std::int32_t>(status);
}
constexpr RecordStatus record_status(std::int32_t code) { return static_cast<RecordStatus>(code); }

// One record as it lies in the file, for walks that measure records instead of decoding them.
struct RawRecord {
  RecordStatus status = RecordStatus::end_of_file;
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

// An open history file: a sequence of records, each framed by 4-byte little-endian length
// markers. Reads go through one fixed buffer (allocated at the first open, reused afterwards);
// payload bytes that no reader needs are skipped by moving within the buffer or by seeking,
// never by allocating, so a record of any length costs no memory.
class HistoryFile {
 public:
  HistoryFile() = default;
  ~HistoryFile();
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;

  // Opens an existing regular file for reading, closing any file open before. Returns false
  // when it cannot be opened, is a directory or is not a regular file (a pipe or device could
  // not be skipped through by seeking), or when the name holds a NUL byte. No allocation
  // proportional to the file.
  // `reason`, when given, receives the system's reason for a failure ("No such file or
  // directory", "Is a directory", "not a regular file", ...).
  bool open(const std::string& path, std::string* reason = nullptr);

  // Closes the file; harmless when none is open.
  void close();

  bool is_open() const { return file_ != nullptr; }

  // Reads one record: its leading marker N, then copies the first payload.size() bytes of the
  // payload into `payload`, skips the remaining N - payload.size() bytes and the trailing marker
  // (whose value is not compared with N). Returns RecordStatus::ok, end_of_file (-1) when the
  // file ends before the first byte of a new record, or a positive code: truncated (the file
  // ends inside the leading marker, the payload or the trailing marker), short_payload
  // (N < payload.size()), bad_marker (N < 0), io_error, not_open. On failure the contents of
  // `payload` and the file position are left undefined; the caller reads no further.
  RecordStatus read_record(std::span<unsigned char> payload);

  // Reads the next record into `record` without asking for a payload length: its markers, the
  // first min(length, kMaxPayloadBytes) payload bytes, the status, the offset and the system's
  // error code. Bounded by the size the file had when opened (bytes added since are not read,
  // a length beyond it is truncated before any payload is read); short_payload never occurs.
  // After any status other than ok the walk is over.
  void read_raw(RawRecord& record);

  // Where the data stand, for diagnostics. record_offset(): byte offset of the leading marker
  // of the last record read_record() tried; record_length(): that record's leading marker, or
  // -1 when not even the marker could be read. bytes_left(): bytes of the file after the last
  // record read whole (the size as the file was opened). error_number(): the operating
  // system's error code of the last io_error, 0 otherwise.
  std::uint64_t record_offset() const { return record_offset_; }
  std::int64_t record_length() const { return record_length_; }
  std::uint64_t bytes_left() const { return size_ > consumed_ ? size_ - consumed_ : 0; }
  // The size of the file when it was opened.
  std::uint64_t size() const { return size_; }
  int error_number() const { return error_number_; }

  // The offset of the next record: the bytes taken or skipped since the file was opened.
  std::uint64_t position() const { return consumed_; }
  // Moves to `offset`, a position() of an earlier reading of the same file (a run resumed
  // after a frame). False, with error_number() set, when the seek fails; an offset beyond
  // the file's size is refused (EINVAL).
  bool seek(std::uint64_t offset);

 private:
  // Copies up to `n` bytes from the stream; returns the number copied (short at end of file
  // or on an error, which `file_`'s error flag then tells apart).
  std::size_t take(unsigned char* dst, std::size_t n);
  // Advances the position by `n` bytes; false when the operating system refuses the seek.
  bool skip(std::uint64_t n);
  // Status for a read that came up short: io_error or `short_status`.
  RecordStatus shortfall(RecordStatus short_status);

  std::FILE* file_ = nullptr;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t next_ = 0;             // first unread byte in buffer_
  std::size_t end_ = 0;              // one past the last valid byte in buffer_
  std::uint64_t size_ = 0;           // file size when opened
  std::uint64_t consumed_ = 0;       // bytes taken or skipped since the file was opened
  std::uint64_t record_offset_ = 0;  // see record_offset()
  std::int64_t record_length_ = -1;  // see record_length()
  int error_number_ = 0;
};

}  // namespace pairtrack::detail
