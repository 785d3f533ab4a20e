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

std::string too_long(const std::string& path, const std::string& what, std::size_t limit) {
  return what + " " + quoted(path) + " is larger than " + std::to_string(limit) +
         " bytes, the most that is read";
}

// Opens `path` without blocking and checks that it is a regular file of at most `limit` bytes.
// The descriptor, or -1 with `error` set.
int open_bounded(const std::string& path, const std::string& what, std::size_t limit,
                 std::size_t& size, std::string& error) {
  // Not blocking: a pipe is refused below instead of being waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = "cannot open " + what + " " + quoted(path) + ": " + std::strerror(errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = "cannot read " + what + " " + quoted(path) + ": " + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    error = what + " " + quoted(path) + " is " + kind_of(info.st_mode) + "; it must be a file";
  } else if (static_cast<unsigned long long>(info.st_size) > limit) {
    error = too_long(path, what, limit);
  } else {
    size = static_cast<std::size_t>(info.st_size);
    return fd;
  }
  ::close(fd);
  return -1;
}

// UTF-32 and UTF-16 told by the first bytes of a text: the problem, or empty.
std::string wide_text_problem(std::string_view text, const std::string& source) {
  auto starts = [&](std::string_view mark) { return text.substr(0, mark.size()) == mark; };
  if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4)))
    return source + " is UTF-32 text; save it as UTF-8 (or ASCII) text";
  const bool utf16_mark = starts("\xFF\xFE") || starts("\xFE\xFF");
  // Without a mark, UTF-16 text shows as ASCII letters with zero bytes between them.
  const bool utf16_zeros = text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0');
  if (utf16_mark || utf16_zeros)
    return source + " is UTF-16 text; save it as UTF-8 (or ASCII) text";
  return {};
}

std::string nul_problem(const std::string& source, std::size_t line) {
  return source + ", line " + std::to_string(line) + ": a NUL byte; the file is not text";
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
  std::size_t file_size = 0;
  const int fd = open_bounded(path, what, limit, file_size, error);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // The size may change while the file is read: at most limit + 1 bytes are taken.
  std::string read(file_size + 1, '\0');
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
    error = too_long(path, what, limit);
    return false;
  }
  read.resize(size);
  text = std::move(read);
  return true;
}

bool check_text_encoding(std::string& text, const std::string& source, std::string& error) {
  if (error = wide_text_problem(text, source); !error.empty()) return false;
  auto starts = [&](std::string_view mark) {
    return std::string_view(text).substr(0, mark.size()) == mark;
  };
  if (starts("\xEF\xBB\xBF")) text.erase(0, 3);
  if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
    const std::size_t line =
        1 + static_cast<std::size_t>(
                std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
    error = nul_problem(source, line);
    return false;
  }
  return true;
}

TextLines::~TextLines() {
  if (fd_ >= 0) ::close(fd_);
}

bool TextLines::open(const std::string& path, const std::string& what, std::size_t limit,
                     std::string& error) {
  if (fd_ >= 0) ::close(fd_);
  std::size_t size = 0;
  fd_ = open_bounded(path, what, limit, size, error);
  path_ = path;
  what_ = what;
  limit_ = limit;
  return fd_ >= 0 && rewind(error);
}

std::string TextLines::failure(const std::string& reason) const {
  return "cannot read " + what_ + " " + quoted(path_) + ": " + reason;
}

bool TextLines::rewind(std::string& error) {
  if (fd_ < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
    error = failure(fd_ < 0 ? "it is not open" : std::strerror(errno));
    return false;
  }
  block_.clear();
  taken_ = 0;
  read_ = 0;
  at_end_ = false;
  line_number_ = 0;
  if (!fill(error)) return false;
  // The first block holds the marks of the encoding (a regular file gives what it has).
  if (error = wide_text_problem(block_, path_); !error.empty()) return false;
  if (block_.compare(0, 3, "\xEF\xBB\xBF") == 0) taken_ = 3;
  return true;
}

// Reads the next block behind what is left of the last one.
bool TextLines::fill(std::string& error) {
  constexpr std::size_t kBlock = std::size_t{1} << 16;
  block_.erase(0, taken_);
  taken_ = 0;
  const std::size_t kept = block_.size();
  block_.resize(kept + kBlock);
  for (;;) {
    const ssize_t n = ::read(fd_, block_.data() + kept, kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      block_.resize(kept);
      error = failure(std::strerror(errno));
      return false;
    }
    block_.resize(kept + static_cast<std::size_t>(n));
    at_end_ = n == 0;
    read_ += static_cast<std::uint64_t>(n);
    break;
  }
  // The size may change while the file is read: what lies beyond the limit is refused.
  if (read_ > limit_) {
    error = too_long(path_, what_, limit_);
    return false;
  }
  return true;
}

bool TextLines::next(std::string& line, std::string& error) {
  error.clear();
  std::size_t searched = taken_;
  for (;;) {
    const std::size_t end = block_.find('\n', searched);
    if (end != std::string::npos || (at_end_ && taken_ < block_.size())) {
      const std::size_t stop = end == std::string::npos ? block_.size() : end;
      line.assign(block_, taken_, stop - taken_);
      taken_ = end == std::string::npos ? block_.size() : end + 1;
      ++line_number_;
      if (line.find('\0') != std::string::npos) {
        error = nul_problem(path_, line_number_);
        return false;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (at_end_) return false;
    searched = block_.size() - taken_;
    if (!fill(error)) return false;
  }
}

}  // namespace kt
