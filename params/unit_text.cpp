#include "params/unit_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace kt {

bool read_shifted_decimal(const std::string& text, int shift, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return false;
  if (shift == 0 || value == 0.0) return true;
  if (text.find_first_of("xX") != std::string::npos) {  // a hexadecimal number
    value *= std::pow(10.0, shift);
    return std::isfinite(value);
  }
  const std::size_t e = text.find_first_of("eE");
  const long exponent = e == std::string::npos ? 0 : std::strtol(text.c_str() + e + 1, nullptr, 10);
  const std::string shifted = text.substr(0, e) + "e" + std::to_string(exponent + shift);
  value = std::strtod(shifted.c_str(), nullptr);
  return std::isfinite(value);
}

std::string plain_unit_text(std::string_view unit) {
  std::string out;
  for (std::size_t i = 0; i < unit.size(); ++i) {
    const std::string_view rest = unit.substr(i);
    if (rest.substr(0, 2) == "\xC2\xB5" || rest.substr(0, 2) == "\xCE\xBC") {  // micro, mu
      out += 'u';
      ++i;
    } else if (rest.substr(0, 2) == "\xC2\xB2") {  // superscript two
      out += '2';
      ++i;
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(unit[i])));
    }
  }
  return out;
}

std::optional<int> time_unit_shift(std::string_view unit) {
  const std::string plain = plain_unit_text(unit);
  if (plain == "ps") return -3;
  if (plain == "ns") return 0;
  if (plain == "us") return 3;
  if (plain == "ms") return 6;
  if (plain == "s") return 9;
  return std::nullopt;
}

}  // namespace kt
