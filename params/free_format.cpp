#include "params/free_format.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kt {
namespace {

constexpr std::size_t kReadWidth = 55;

bool is_separator(char c) {
  return c == ' ' || c == ',' || c == '\t';
}

std::string fixed_text(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%#.*f", decimals, value);
  return buffer;
}

// Significant digits before the point ("0.1000000" has none).
int integer_digits(const std::string& text) {
  int count = 0;
  bool leading = true;
  for (char c : text) {
    if (c == '.') break;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++count;
  }
  return count;
}

// The first item of `text` as a number in a form strtof reads; false when it is not a number.
bool first_real_item(std::string_view text, std::string& normal) {
  text = text.substr(0, kReadWidth);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i == text.size() || text[i] == ',' || text[i] == '/') return false;
  std::size_t end = i;
  while (end < text.size() && !is_separator(text[end]) && text[end] != '/') ++end;
  const std::string_view item = text.substr(i, end - i);

  // sign? digits [. digits] [ (E|D) sign? digits | sign digits ]
  std::size_t k = 0;
  if (k < item.size() && (item[k] == '+' || item[k] == '-')) normal += item[k++];
  int mantissa_digits = 0;
  while (k < item.size() && std::isdigit(static_cast<unsigned char>(item[k]))) {
    normal += item[k++];
    ++mantissa_digits;
  }
  if (k < item.size() && item[k] == '.') {
    normal += item[k++];
    while (k < item.size() && std::isdigit(static_cast<unsigned char>(item[k]))) {
      normal += item[k++];
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return false;
  if (k < item.size()) {
    const char c = item[k];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D')
      ++k;
    else if (c != '+' && c != '-')
      return false;
    normal += 'E';
    if (k < item.size() && (item[k] == '+' || item[k] == '-')) normal += item[k++];
    int exponent_digits = 0;
    while (k < item.size() && std::isdigit(static_cast<unsigned char>(item[k]))) {
      normal += item[k++];
      ++exponent_digits;
    }
    if (exponent_digits == 0 || k != item.size()) return false;
  }
  return true;
}

}  // namespace

std::string free_format_real_text(float value) {
  const double v = value;
  const double magnitude = std::fabs(v);
  if (magnitude >= 0.1 && magnitude < 1e7) {
    const int digits =
        magnitude < 1.0 ? 0 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    std::string text = fixed_text(v, 7 - digits);
    // Rounding may carry into one more integer digit (99.999999 gives 100.0000).
    const int written = integer_digits(text);
    if (written <= digits) return text;
    if (written <= 7) return fixed_text(v, 7 - written);
  }
  // Seven significant digits here too, and a zero after them to keep the form's eight: a
  // single-precision value holds no more, so the text shows the value as it was typed or read
  // (3.57e12 as 3.5700000E+12, not the 3.5699999E+12 of its binary value).
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6E", v);
  std::string text;
  for (const char c : std::string_view(buffer)) {
    if (c == 'E') text.push_back('0');
    text.push_back(c);
  }
  return text;
}

std::optional<float> free_format_read_real(std::string_view text) {
  std::string normal;
  if (!first_real_item(text, normal)) return std::nullopt;
  char* stop = nullptr;
  const float value = std::strtof(normal.c_str(), &stop);
  if (stop != normal.c_str() + normal.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string free_format_unused_text(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (i < text.size() && !is_separator(text[i]) && text[i] != '/') ++i;  // the first item
  while (i < text.size() && is_separator(text[i])) ++i;
  std::size_t end = text.size();
  while (end > i && is_separator(text[end - 1])) --end;
  const std::string_view rest = text.substr(i, end - i);
  return rest == "/" ? std::string() : std::string(rest);
}

bool free_format_real_out_of_range(std::string_view text) {
  std::string normal;
  return first_real_item(text, normal) && !std::isfinite(std::strtof(normal.c_str(), nullptr));
}

std::optional<std::array<char, 14>> free_format_read_name(std::string_view text) {
  text = text.substr(0, kReadWidth);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i == text.size() || text[i] == ',' || text[i] == '/') return std::nullopt;
  std::string_view item;
  if (text[i] == '\'' || text[i] == '"') {
    const char mark = text[i];
    const std::size_t close = text.find(mark, i + 1);
    item = text.substr(i + 1, (close == std::string_view::npos ? text.size() : close) - (i + 1));
  } else {
    std::size_t end = i;
    while (end < text.size() && !is_separator(text[end]) && text[end] != '/') ++end;
    item = text.substr(i, end - i);
  }
  std::array<char, 14> name;
  for (std::size_t n = 0; n < name.size(); ++n) name[n] = n < item.size() ? item[n] : ' ';
  return name;
}

}  // namespace kt
