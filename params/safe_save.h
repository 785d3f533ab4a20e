// Replacing a file's contents so that a failure never leaves it half written: the text goes to
// a new, exclusively created temporary beside the file, is flushed to the disk and then renamed
// over the file. A symbolic link is followed and its target is replaced, so the link stays a
// link; the file keeps its permission bits; a read-only file is not replaced. Every file the
// program writes (parameter files, reports, tables, merges) is saved this way.
//
// The temporary is named `<file>.kt-save-<pid>-XXXXXX` (the saving process and six random
// characters) and is created with O_CREAT|O_EXCL, so it never follows a link planted under
// that name and never takes a user's file. A process killed while saving (SIGKILL, a
// file-size limit) leaves its temporary behind; the next save of the same file removes the
// temporaries of that file whose process no longer runs.
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

// The part of a temporary's name after the file's name: ".kt-save-".
inline constexpr std::string_view kSaveTemporaryMark = ".kt-save-";

// Removes the temporaries of `path` (the file a link chain ends at) left by processes that no
// longer run; the number removed.
int remove_stale_temporaries(const std::string& path);

}  // namespace kt
