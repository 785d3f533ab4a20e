#include "app/batch/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace kt::batch {

namespace {

bool ends_with_case_blind(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

bool parse_whole(const std::string& text, long lowest, long highest, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lowest || v > highest) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

CommandLine::CommandLine(std::vector<std::string> args, std::string help)
    : args_(std::move(args)), help_(std::move(help)) {}

bool CommandLine::wants_help() const {
  return std::any_of(args_.begin(), args_.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

bool CommandLine::take_value(const std::string& name, std::string& value) {
  if (done() || !error_.empty()) return false;
  const std::string& a = args_[next_];
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    value = a.substr(name.size() + 1);
    ++next_;
  } else if (a == name) {
    if (next_ + 1 >= args_.size()) {
      error_ = name + " needs a value";
      return false;
    }
    value = args_[next_ + 1];
    next_ += 2;
  } else {
    return false;
  }
  if (value.empty()) {
    error_ = name + " needs a value";
    return false;
  }
  return true;
}

bool CommandLine::take_option(const std::string& name, std::string& value) {
  return take_value(name, value);
}

bool CommandLine::take_count(const std::string& name, int& value, int lowest, int highest) {
  std::string text;
  if (!take_value(name, text)) return false;
  if (!parse_whole(text, lowest, highest, value)) {
    error_ = name + " takes a whole number from " + std::to_string(lowest) + " to " +
             std::to_string(highest) + ", not \"" + text + "\"";
    return false;
  }
  return true;
}

bool CommandLine::take_flag(const std::string& name, bool& value) {
  if (done() || !error_.empty() || args_[next_] != name) return false;
  value = true;
  ++next_;
  return true;
}

bool CommandLine::take_scheme(kt::Scheme& scheme) {
  std::string text;
  if (!take_value("--scheme", text)) return false;
  if (!kt::parse_scheme(text, scheme)) {
    error_ = "--scheme takes published or accurate, not \"" + text + "\"";
    return false;
  }
  return true;
}

bool CommandLine::take_size(const std::string& name, int& width, int& height) {
  std::string text;
  if (!take_value(name, text)) return false;
  const std::size_t x = text.find('x');
  if (x == std::string::npos || !parse_whole(text.substr(0, x), 1, 8192, width) ||
      !parse_whole(text.substr(x + 1), 1, 8192, height)) {
    error_ = name + " takes WIDTHxHEIGHT in pixels (1 to 8192 each), not \"" + text + "\"";
    return false;
  }
  return true;
}

bool CommandLine::take_operand(std::string& operand) {
  if (done() || !error_.empty() || !operand.empty()) return false;
  const std::string& a = args_[next_];
  if (a.empty() || a[0] == '-') return false;
  operand = a;
  ++next_;
  return true;
}

void CommandLine::refuse_current() {
  if (done() || !error_.empty()) return;
  const std::string& a = args_[next_];
  error_ = (!a.empty() && a[0] == '-' ? "unknown option " : "unexpected argument ") + a;
}

bool CommandLine::check_output_file(const std::string& path, const std::string& option,
                                    const std::string& extension) {
  namespace fs = std::filesystem;
  if (!extension.empty() && !ends_with_case_blind(path, extension)) {
    error_ = option + " " + path + ": the name must end with " + extension;
    return false;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      error_ = option + " " + path + ": is a folder";
      return false;
    }
    if (::access(path.c_str(), W_OK) != 0) {
      error_ = option + " " + path + ": cannot be written: " + std::strerror(errno);
      return false;
    }
    return true;
  }
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  if (::stat(folder.c_str(), &info) != 0) {
    error_ = option + " " + path + ": the folder " + folder.string() +
             " cannot be used: " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error_ = option + " " + path + ": " + folder.string() + " is not a folder";
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error_ =
        option + " " + path + ": cannot write in " + folder.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool CommandLine::check_output_directory(const std::string& path, const std::string& option) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  struct stat info {};
  if (error || ::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    error_ = option + " " + path +
             ": cannot make the folder: " + (error ? error.message() : std::string("not a folder"));
    return false;
  }
  if (::access(path.c_str(), W_OK | X_OK) != 0) {
    error_ = option + " " + path + ": cannot write in it: " + std::strerror(errno);
    return false;
  }
  return true;
}

int CommandLine::usage_error(const std::string& message) const {
  const std::string& text = message.empty() ? error_ : message;
  std::fprintf(stderr, "kestrium-batch: %s\n(kestrium-batch --help explains every option)\n",
               text.c_str());
  return 2;
}

}  // namespace kt::batch
