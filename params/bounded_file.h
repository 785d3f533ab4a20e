// Reading data files that come from outside the program (measured depths, points of a study,
// shard tables): the file is opened without blocking and must be a regular file, so a pipe,
// a device such as /dev/zero or a directory is refused by name instead of being waited on or
// read forever; its size is bounded before anything is allocated; and its text must be UTF-8
// (a byte-order mark is skipped) without NUL bytes, so that UTF-16 is refused by name and a
// message never stops short at a NUL.
#pragma once

#include <cstddef>
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

// Text as it may be shown in a message: bytes that are not printable ASCII become \xNN.
std::string printable_text(std::string_view text);

}  // namespace kt
