#include "params/number_format.h"

#include <cmath>
#include <cstdio>

namespace kt {
namespace {

// Writes `text` right-justified in `width` columns, or asterisks when it is wider.
void append_justified(std::string& out, const char* text, int length, int width) {
  if (length > width) {
    out.append(static_cast<std::size_t>(width), '*');
    return;
  }
  out.append(static_cast<std::size_t>(width - length), ' ');
  out.append(text, static_cast<std::size_t>(length));
}

// NaN and infinities: true when handled.
bool append_non_finite(std::string& out, double value, int width) {
  if (std::isnan(value)) {
    append_justified(out, "NaN", 3, width);
    return true;
  }
  if (std::isinf(value)) {
    if (value > 0)
      append_justified(out, "Infinity", 8, width);
    else
      append_justified(out, "-Infinity", 9, width);
    return true;
  }
  return false;
}

}  // namespace

void append_fixed(std::string& out, double value, int width, int decimals) {
  if (width <= 0) return;
  if (append_non_finite(out, value, width)) return;
  char buffer[400];
  // '#' keeps the decimal point when there are no decimals (F5.0 writes "   5.").
  int length = std::snprintf(buffer, sizeof buffer, "%#.*f", decimals, value);
  if (length < 0 || length >= static_cast<int>(sizeof buffer)) {
    out.append(static_cast<std::size_t>(width), '*');
    return;
  }
  const char* text = buffer;
  if (length > width) {
    // Below 1 in magnitude the leading zero goes when only that makes it fit.
    if (buffer[0] == '0' && buffer[1] == '.') {
      text = buffer + 1;
      --length;
    } else if (buffer[0] == '-' && buffer[1] == '0' && buffer[2] == '.') {
      buffer[1] = '-';
      text = buffer + 1;
      --length;
    }
  }
  append_justified(out, text, length, width);
}

std::string format_fixed(double value, int width, int decimals) {
  std::string out;
  append_fixed(out, value, width, decimals);
  return out;
}

void append_scientific(std::string& out, double value, int width, int decimals) {
  if (width <= 0) return;
  if (append_non_finite(out, value, width)) return;
  char buffer[64];
  // One digit before the point, "E", the sign and two or three exponent digits.
  int length = std::snprintf(buffer, sizeof buffer, "%#.*E", decimals, value);
  if (length < 0 || length >= static_cast<int>(sizeof buffer)) {
    out.append(static_cast<std::size_t>(width), '*');
    return;
  }
  append_justified(out, buffer, length, width);
}

std::string format_scientific(double value, int width, int decimals) {
  std::string out;
  append_scientific(out, value, width, decimals);
  return out;
}

}  // namespace kt
