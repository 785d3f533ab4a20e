// Helpers shared by the test suites: default parameters, scratch directories, whole-file reads
// and writes, and a scoped change of the current directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "params/parameter_set.h"

namespace kt::test {

ParameterSet default_parameters();

// A fresh, empty directory, removed at destruction.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Changes the current directory for the lifetime of the object.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::filesystem::path& path);
  ~CurrentDirectory();

 private:
  std::filesystem::path previous_;
};

// A full disk for this process: while the object lives, a write that would make a file longer
// than `bytes` is cut short and then fails (EFBIG), as on a disk that has filled up.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(long long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  unsigned long long previous_soft_ = 0;
  void (*previous_handler_)(int) = nullptr;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& text);
std::vector<std::string> file_names(const std::filesystem::path& directory);

// True when KT_WRITE_GOLDEN=1: the reference files are written from the results instead of
// compared with them (then review the change with git diff and commit it).
bool writing_golden_files();

// The files of `golden` (a reference folder) as `produced` holds them: compared byte for byte,
// or, with KT_WRITE_GOLDEN=1, the folder replaced by the produced files. Empty when they match
// (or were written); otherwise what differs.
std::string compare_with_golden(const std::filesystem::path& produced,
                                const std::filesystem::path& golden);

}  // namespace kt::test
