#include "engine/value_text.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace kt {

bool parse_number(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

std::vector<std::string> split_text(const std::string& text, char mark) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, mark)) parts.push_back(part);
  if (!text.empty() && text.back() == mark) parts.emplace_back();
  return parts;
}

namespace {

std::vector<double> log_spaced(double from, double to, const std::string& count_text,
                               std::string& error) {
  char* end = nullptr;
  const long count = std::strtol(count_text.c_str(), &end, 10);
  if (count_text.empty() || *end != '\0' || count < 2 ||
      count > static_cast<long>(kMaximumListValues)) {
    error = "logN needs a whole N from 2 to " + std::to_string(kMaximumListValues);
    return {};
  }
  if (from <= 0 || to <= 0) {
    error = "log-spaced values need FROM and TO above 0";
    return {};
  }
  std::vector<double> values;
  const double ratio = std::log(to / from);
  for (long i = 0; i < count; ++i) {
    values.push_back(i == count - 1 ? to
                                    : from * std::exp(ratio * static_cast<double>(i) /
                                                      static_cast<double>(count - 1)));
  }
  return values;
}

std::vector<double> stepped(double from, double to, const std::string& step_text,
                            std::string& error) {
  double step = 0;
  if (!parse_number(step_text, step)) {
    error = "\"" + step_text + "\" is neither a STEP nor logN";
    return {};
  }
  if (step <= 0 || to < from) {
    error = "FROM:TO:STEP needs STEP > 0 and TO >= FROM";
    return {};
  }
  const double count = std::floor((to - from) / step + 1e-6) + 1;
  if (count > static_cast<double>(kMaximumListValues)) {
    error = "more than " + std::to_string(kMaximumListValues) + " values";
    return {};
  }
  std::vector<double> values;
  for (long i = 0; i < static_cast<long>(count); ++i)
    values.push_back(from + static_cast<double>(i) * step);
  return values;
}

}  // namespace

std::vector<double> parse_value_list(const std::string& text, std::string& error) {
  if (text.find(':') != std::string::npos) {
    const std::vector<std::string> parts = split_text(text, ':');
    double from = 0, to = 0;
    if (parts.size() != 3 || !parse_number(parts[0], from) || !parse_number(parts[1], to)) {
      error = "a range is FROM:TO:STEP or FROM:TO:logN";
      return {};
    }
    if (parts[2].rfind("log", 0) == 0) return log_spaced(from, to, parts[2].substr(3), error);
    return stepped(from, to, parts[2], error);
  }
  std::vector<double> values;
  for (const std::string& part : split_text(text, ',')) {
    double value = 0;
    if (!parse_number(part, value)) {
      error = "\"" + part + "\" is not a number";
      return {};
    }
    values.push_back(value);
  }
  if (values.empty()) error = "no values";
  return values;
}

}  // namespace kt
