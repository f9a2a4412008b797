// Reading side of the binary history file: a sequence of records, each a payload framed by two
// 4-byte little-endian length markers. HistoryFile owns the file position and hands out the
// leading bytes of one record at a time; the record readers (history_readers.h) decode them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace pairtrack::detail {

// Status values of HistoryFile::read_record and of the six record readers. The frame loop only
// tests zero against non-zero; the distinct positive codes help diagnosis and tests.
namespace history_status {
inline constexpr std::int32_t ok = 0;
inline constexpr std::int32_t end_of_file = -1;   // no byte of a further record
inline constexpr std::int32_t truncated = 1;      // file ends inside a record
inline constexpr std::int32_t short_payload = 2;  // payload shorter than the fields it must hold
inline constexpr std::int32_t bad_marker = 3;     // negative length marker
inline constexpr std::int32_t io_error = 4;       // the operating system reported a failure
inline constexpr std::int32_t not_open = 5;       // no file is open
}  // namespace history_status

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
  // (whose value is not compared with N). Returns history_status::ok, end_of_file (-1) when the
  // file ends before the first byte of a new record, or a positive code: truncated (the file
  // ends inside the leading marker, the payload or the trailing marker), short_payload
  // (N < payload.size()), bad_marker (N < 0), io_error, not_open. On failure the contents of
  // `payload` and the file position are left undefined; the caller reads no further.
  std::int32_t read_record(std::span<unsigned char> payload);

  // Where the data stand, for diagnostics. record_offset(): byte offset of the leading marker
  // of the last record read_record() tried; record_length(): that record's leading marker, or
  // -1 when not even the marker could be read. bytes_left(): bytes of the file after the last
  // record read whole (the size as the file was opened). error_number(): the operating
  // system's error code of the last io_error, 0 otherwise.
  std::uint64_t record_offset() const { return record_offset_; }
  std::int64_t record_length() const { return record_length_; }
  std::uint64_t bytes_left() const { return size_ > consumed_ ? size_ - consumed_ : 0; }
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
  std::int32_t shortfall(std::int32_t short_status);

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
