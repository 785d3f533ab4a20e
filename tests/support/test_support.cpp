#include "test_support.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kt::test {

ParameterSet default_parameters() {
  ParameterSet p;
  set_default_parameter_groups(p);
  return p;
}

FileSizeLimit::FileSizeLimit(long long bytes) {
  previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);  // a failed write instead of an abort
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  previous_soft_ = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(previous_soft_);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previous_handler_);
}

ScratchDirectory::ScratchDirectory() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("kt_tests_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

CurrentDirectory::CurrentDirectory(const std::filesystem::path& path)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(path);
}

CurrentDirectory::~CurrentDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> file_names(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool writing_golden_files() {
  const char* value = std::getenv("KT_WRITE_GOLDEN");
  return value != nullptr && std::string(value) == "1";
}

std::string compare_with_golden(const std::filesystem::path& produced,
                                const std::filesystem::path& golden) {
  namespace fs = std::filesystem;
  const std::vector<std::string> names = file_names(produced);
  if (writing_golden_files()) {
    fs::remove_all(golden);
    fs::create_directories(golden);
    for (const std::string& name : names) fs::copy_file(produced / name, golden / name);
    return {};
  }
  std::string problems;
  if (names != file_names(golden))
    problems += "the produced files are not those of " + golden.string() + "\n";
  for (const std::string& name : file_names(golden)) {
    if (!fs::exists(produced / name) || read_file(produced / name) != read_file(golden / name))
      problems += name + " differs from " + (golden / name).string() + "\n";
  }
  if (!problems.empty()) problems += "(KT_WRITE_GOLDEN=1 rewrites the reference files)";
  return problems;
}

}  // namespace kt::test
