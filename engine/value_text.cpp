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

}  // namespace kt
