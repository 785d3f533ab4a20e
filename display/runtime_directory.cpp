#include "display/runtime_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace kt::display {

void prepare_runtime_directory() {
  const char* existing = std::getenv("XDG_RUNTIME_DIR");
  if (existing && *existing) return;
  const uid_t uid = ::getuid();
  const std::string folder = "/tmp/runtime-" + std::to_string(uid);
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid &&
      (info.st_mode & 0777) == 0700) {
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  }
}

}  // namespace kt::display
