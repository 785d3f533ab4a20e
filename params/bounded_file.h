// Reading data files that come from outside the program (measured depths, points of a study,
// shard tables): the file is opened without blocking and must be a regular file, so a pipe,
// a device such as /dev/zero or a directory is refused by name instead of being waited on or
// read forever; its size is bounded before anything is allocated; and its text must be UTF-8
// (a byte-order mark is skipped) without NUL bytes, so that UTF-16 is refused by name and a
// message never stops short at a NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kt {

// The largest data file read: 64 MiB.
inline constexpr std::size_t kMaximumDataFileBytes = std::size_t{64} << 20;

// Reads the whole file into `text`. `what` names the file in messages ("the data file");
// `limit` is the largest size accepted. On failure `error` says why, with the system's reason
// where it gave one, and `text` is unchanged.
bool read_bounded_file(const std::string& path, const std::string& what, std::size_t limit,
                       std::string& text, std::string& error);

// Checks that `text` is UTF-8 text: a leading UTF-8 byte-order mark is removed; UTF-16 and
// UTF-32 (by their byte-order marks or their zero bytes) and any NUL byte are refused, the
// error naming `source` and, for a NUL, its line.
bool check_text_encoding(std::string& text, const std::string& source, std::string& error);

// A text file read one line at a time, a block at a time, so that a large file is never held
// whole: the same checks as read_bounded_file (opened without blocking, a regular file, at most
// `limit` bytes) and check_text_encoding (UTF-8: a byte-order mark skipped, UTF-16 and UTF-32
// refused, a NUL byte refused with its line), found as the lines are read. A reader that counts
// before it stores reads the file twice (rewind).
class TextLines {
 public:
  TextLines() = default;
  ~TextLines();
  TextLines(const TextLines&) = delete;
  TextLines& operator=(const TextLines&) = delete;

  // Opens `path`; `what` names it in messages ("the points file"). On failure `error` says why.
  bool open(const std::string& path, const std::string& what, std::size_t limit,
            std::string& error);
  // The next line, without its "\n" and a "\r" before it. False at the end of the file and on
  // failure; then `error` is empty at the end and says why on failure.
  bool next(std::string& line, std::string& error);
  // Back to the first line.
  bool rewind(std::string& error);
  // The number of the line `next` gave last, from 1.
  std::size_t line_number() const { return line_number_; }

 private:
  bool fill(std::string& error);
  std::string failure(const std::string& reason) const;

  int fd_ = -1;
  std::string path_, what_;
  std::size_t limit_ = 0;
  std::string block_;       // the bytes read and not yet given as lines
  std::size_t taken_ = 0;   // how many of block_'s first bytes were given
  std::uint64_t read_ = 0;  // the bytes read from the file since the first
  bool at_end_ = false;
  std::size_t line_number_ = 0;
};

// Text as it may be shown in a message: bytes that are not printable ASCII become \xNN.
std::string printable_text(std::string_view text);

}  // namespace kt
