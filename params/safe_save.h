// Replacing a file's contents so that a failure never leaves it half written: the text goes to
// a new, exclusively created temporary beside the file, is flushed to the disk and then renamed
// over the file. A symbolic link is followed and its target is replaced, so the link stays a
// link; the file keeps its permission bits; a read-only file is not replaced.
#pragma once

#include <string>
#include <string_view>

namespace kt {

struct SaveResult {
  bool ok = true;
  std::string reason;  // when !ok: why, in the operating system's words where it gave any
  explicit operator bool() const { return ok; }
};

SaveResult save_file_contents(const std::string& path, std::string_view text);

}  // namespace kt
