#include "params/safe_save.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace kt {
namespace {

SaveResult failure(const std::string& reason) {
  return {false, reason};
}
SaveResult os_failure(const std::string& what, int error) {
  return failure(what + ": " + std::strerror(error));
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a save replaces: `path`, or the file its chain of symbolic links ends at (which need
// not exist yet).
bool resolve_links(const std::string& path, std::string& target, std::string& reason) {
  target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
      if (errno == ENOENT) return true;
      reason = "cannot look at \"" + target + "\": " + std::strerror(errno);
      return false;
    }
    if (!S_ISLNK(info.st_mode)) return true;
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0) {
      reason = "cannot read the link \"" + target + "\": " + std::strerror(errno);
      return false;
    }
    link.resize(static_cast<std::size_t>(length));
    target = (!link.empty() && link[0] == '/') ? link : directory_of(target) + "/" + link;
  }
  reason = std::string("cannot follow the links of \"") + path + "\": " + std::strerror(ELOOP);
  return false;
}

// The permission bits a newly created file gets from the process's file-creation mask.
mode_t new_file_mode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(0666 & ~std::stoul(line.substr(6), nullptr, 8));
    }
  }
  return 0644;
}

// Removes the temporary unless it was renamed into place.
struct Temporary {
  std::string name;
  int fd = -1;
  bool kept = false;
  ~Temporary() {
    if (fd >= 0) ::close(fd);
    if (!kept && !name.empty()) ::unlink(name.c_str());
  }
};

std::string base_name_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process id in a temporary's name `<base>.kt-save-<pid>-XXXXXX`, or 0 when `name` is not
// such a name.
long temporary_owner(const std::string& name, const std::string& base) {
  const std::string prefix = base + std::string(kSaveTemporaryMark);
  if (name.size() <= prefix.size() + 7 || name.compare(0, prefix.size(), prefix) != 0) return 0;
  const std::string rest = name.substr(prefix.size());
  const std::size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string::npos || rest.size() - dash - 1 != 6 || dash > 10) return 0;
  long pid = 0;
  for (std::size_t i = 0; i < dash; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return 0;
    pid = pid * 10 + (rest[i] - '0');
  }
  return pid;
}

}  // namespace

int remove_stale_temporaries(const std::string& path) {
  const std::string directory = directory_of(path), base = base_name_of(path);
  DIR* folder = ::opendir(directory.c_str());
  if (!folder) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    const long pid = temporary_owner(name, base);
    if (pid <= 0 || static_cast<pid_t>(pid) == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running
    const std::string full = directory + "/" + name;
    struct stat info {};
    if (::lstat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
      continue;
    if (::unlink(full.c_str()) == 0) ++removed;
  }
  ::closedir(folder);
  return removed;
}

SaveResult save_file_contents(const std::string& path, std::string_view text) {
  std::string target, reason;
  if (!resolve_links(path, target, reason)) return failure(reason);

  mode_t mode = 0;
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return failure("it is a directory");
    if (!S_ISREG(info.st_mode)) return failure("it is not a regular file");
    if ((info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
      return failure("it is read-only; make it writable or save under another name");
    }
    mode = info.st_mode & 07777;
  } else if (errno == ENOENT) {
    mode = new_file_mode();
  } else {
    return os_failure("cannot look at \"" + target + "\"", errno);
  }

  remove_stale_temporaries(target);
  Temporary temporary;
  std::string pattern =
      target + std::string(kSaveTemporaryMark) + std::to_string(::getpid()) + "-XXXXXX";
  temporary.fd = ::mkstemp(pattern.data());
  if (temporary.fd < 0) {
    return os_failure("cannot create a temporary file in \"" + directory_of(target) + "\"", errno);
  }
  temporary.name = pattern;
  if (::fchmod(temporary.fd, mode) != 0) return os_failure("cannot set the file's mode", errno);

  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(temporary.fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return os_failure("cannot write", errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(temporary.fd) != 0) return os_failure("cannot write", errno);
  const int fd = temporary.fd;
  temporary.fd = -1;
  if (::close(fd) != 0) return os_failure("cannot write", errno);
  if (::rename(temporary.name.c_str(), target.c_str()) != 0) {
    return os_failure("cannot replace \"" + target + "\"", errno);
  }
  temporary.kept = true;

  // The rename itself reaches the disk with the directory.
  const int directory = ::open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return {};
}

}  // namespace kt
