#include "app/data_files.h"

#include <system_error>

namespace kt {

std::string find_data_file(std::string_view name, const std::filesystem::path& data_directory) {
  std::error_code error;
  const std::filesystem::path local(name);
  if (std::filesystem::is_regular_file(local, error)) return std::string(name);
  if (!data_directory.empty()) {
    // Beside the program in the build tree; under share/kestrium of an installed tree.
    for (const std::filesystem::path& installed :
         {data_directory / local, data_directory.parent_path() / "share" / "kestrium" / local}) {
      if (std::filesystem::is_regular_file(installed, error)) return installed.string();
    }
  }
  return std::string(name);
}

std::filesystem::path executable_directory(const char* argv0) {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || self.empty()) {
    if (argv0 == nullptr || *argv0 == '\0') return {};
    self = std::filesystem::absolute(argv0, error);
    if (error) return {};
  }
  return self.parent_path();
}

}  // namespace kt
