#include "app/batch/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "app/batch/exit_codes.h"
#include "params/spelling.h"

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

CommandLine::CommandLine(std::string command, std::string help)
    : command_(std::move(command)),
      help_(std::move(help)),
      app_(std::make_unique<CLI::App>(
          "", command_.empty() ? "kestrium-batch" : "kestrium-batch " + command_)) {
  // Unknown arguments are collected and refused in this program's words; --help is ours.
  app_->allow_extras();
  app_->set_help_flag();
  app_->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CommandLine::~CommandLine() = default;

void CommandLine::option(const std::string& name, std::string& value) {
  app_->add_option(name, value);
  valued_.push_back({name, &value});
  value_option_names_.push_back(name);
  option_names_.push_back(name);
}

void CommandLine::repeated_option(const std::string& name, std::vector<std::string>& values) {
  app_->add_option(name, values)
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  value_option_names_.push_back(name);
  option_names_.push_back(name);
}

void CommandLine::count(const std::string& name, int& value, int lowest, int highest) {
  Count& c = counts_.emplace_back(Count{name, {}, &value, lowest, highest});
  option(name, c.text);
}

void CommandLine::size(const std::string& name, int& width, int& height) {
  Size& s = sizes_.emplace_back(Size{name, {}, &width, &height});
  option(name, s.text);
}

void CommandLine::flag(const std::string& name, bool& value) {
  app_->add_flag(name, value);
  option_names_.push_back(name);
}

void CommandLine::operand(const std::string& name, std::string& value) {
  app_->add_option(name, value);
}

void CommandLine::operands(const std::string& name, std::vector<std::string>& values) {
  app_->add_option(name, values);
}

bool CommandLine::convert_counts_and_sizes() {
  for (const Count& c : counts_) {
    if (c.text.empty()) continue;
    if (!parse_whole(c.text, c.lowest, c.highest, *c.value)) {
      error_ = c.name + " takes a whole number from " + std::to_string(c.lowest) + " to " +
               std::to_string(c.highest) + ", not \"" + c.text + "\"";
      return false;
    }
  }
  for (const Size& s : sizes_) {
    if (s.text.empty()) continue;
    const std::size_t x = s.text.find('x');
    if (x == std::string::npos || !parse_whole(s.text.substr(0, x), 1, 8192, *s.width) ||
        !parse_whole(s.text.substr(x + 1), 1, 8192, *s.height)) {
      error_ = s.name + " takes WIDTHxHEIGHT in pixels (1 to 8192 each), not \"" + s.text + "\"";
      return false;
    }
  }
  return true;
}

std::optional<int> CommandLine::parse(const std::vector<std::string>& args) {
  if (std::any_of(args.begin(), args.end(),
                  [](const std::string& a) { return a == "--help" || a == "-h"; })) {
    std::fputs(help_.c_str(), stdout);
    return kExitDone;
  }
  // `--name=` has no value (CLI11 would take the next argument).
  for (const std::string& a : args) {
    for (const std::string& name : value_option_names_) {
      if (a == name + "=") return usage_error(name + " needs a value");
    }
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 pops from the back
  try {
    app_->parse(reversed);
  } catch (const CLI::ArgumentMismatch& e) {
    const std::string what = e.what();
    return usage_error(what.substr(0, what.find(':')) + " needs a value");
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  const std::vector<std::string> rest = app_->remaining();
  if (!rest.empty()) {
    const std::string& a = rest.front();
    if (a.empty() || a[0] != '-') return usage_error("unexpected argument " + a);
    const std::string nearest = nearest_name(a.substr(0, a.find('=')), option_names_);
    return usage_error("unknown option " + a +
                       (nearest.empty() ? std::string() : ", did you mean " + nearest + "?"));
  }
  for (const Valued& v : valued_) {
    if (app_->count(v.name) > 0 && v.value->empty()) return usage_error(v.name + " needs a value");
  }
  if (!convert_counts_and_sizes()) return usage_error();
  return std::nullopt;
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
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::absolute(path, ec).lexically_normal();
  struct stat info {};
  // The folder itself, or the nearest one above it that exists.
  while (::stat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT || folder == folder.parent_path()) {
      error_ = option + " " + path + ": cannot make the folder: " + std::strerror(errno);
      return false;
    }
    folder = folder.parent_path();
  }
  if (!S_ISDIR(info.st_mode)) {
    error_ =
        option + " " + path + ": cannot make the folder: " + folder.string() + " is not a folder";
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error_ =
        option + " " + path + ": cannot write in " + folder.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

int CommandLine::usage_error(const std::string& message) const {
  const std::string& text = message.empty() ? error_ : message;
  const std::string help_command =
      command_.empty() ? "kestrium-batch --help" : "kestrium-batch " + command_ + " --help";
  std::fprintf(stderr, "kestrium-batch: %s\n(%s explains every option)\n", text.c_str(),
               help_command.c_str());
  return kExitUsage;
}

}  // namespace kt::batch
