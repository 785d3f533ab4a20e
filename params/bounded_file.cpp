#include "params/bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kt {
namespace {

std::string quoted(const std::string& path) {
  std::string out(1, '"');
  out += printable_text(path);
  out += '"';
  return out;
}

const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a pipe (FIFO)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

}  // namespace

std::string printable_text(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte < 0x7f) || byte >= 0x80) {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  return out;
}

bool read_bounded_file(const std::string& path, const std::string& what, std::size_t limit,
                       std::string& text, std::string& error) {
  // Not blocking: a pipe is refused below instead of being waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = "cannot open " + what + " " + quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = "cannot read " + what + " " + quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = what + " " + quoted(path) + " is " + kind_of(info.st_mode) + "; it must be a file";
    return false;
  }
  const std::string too_long = what + " " + quoted(path) + " is larger than " +
                               std::to_string(limit) + " bytes, the most that is read";
  if (static_cast<unsigned long long>(info.st_size) > limit) {
    error = too_long;
    return false;
  }
  // The size may change while the file is read: at most limit + 1 bytes are taken.
  std::string read(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t size = 0;
  while (size <= limit) {
    if (size == read.size()) read.resize(std::min(limit + 1, read.size() * 2));
    const ssize_t n = ::read(fd, read.data() + size, read.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = "cannot read " + what + " " + quoted(path) + ": " + std::strerror(errno);
      return false;
    }
    size += static_cast<std::size_t>(n);
  }
  if (size > limit) {
    error = too_long;
    return false;
  }
  read.resize(size);
  text = std::move(read);
  return true;
}

bool check_text_encoding(std::string& text, const std::string& source, std::string& error) {
  auto starts = [&](std::string_view mark) {
    return std::string_view(text).substr(0, mark.size()) == mark;
  };
  if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4))) {
    error = source + " is UTF-32 text; save it as UTF-8 (or ASCII) text";
    return false;
  }
  const bool utf16_mark = starts("\xFF\xFE") || starts("\xFE\xFF");
  // Without a mark, UTF-16 text shows as ASCII letters with zero bytes between them.
  const bool utf16_zeros = text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0');
  if (utf16_mark || utf16_zeros) {
    error = source + " is UTF-16 text; save it as UTF-8 (or ASCII) text";
    return false;
  }
  if (starts("\xEF\xBB\xBF")) text.erase(0, 3);
  if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
    const std::size_t line =
        1 + static_cast<std::size_t>(
                std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
    error = source + ", line " + std::to_string(line) + ": a NUL byte; the file is not text";
    return false;
  }
  return true;
}

}  // namespace kt
