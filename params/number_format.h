// Fixed Fw.d and scientific ESw.d number fields, nX blanks: the one number format of the
// parameter file, the result files and the numbers drawn on the page.
#pragma once

#include <string>

namespace kt {

// Fw.d: the value rounded to d decimals, right-justified in w characters. A magnitude below 1
// keeps its leading zero when the width allows, drops it when only that fits, and the field is
// filled with asterisks when even that does not fit. NaN and infinities are written
// right-justified as "NaN", "Infinity" or "-Infinity", or as asterisks when they do not fit.
void append_fixed(std::string& out, double value, int width, int decimals);
std::string format_fixed(double value, int width, int decimals);

// ESw.d: one nonzero digit before the point, d decimals, "E", the exponent's sign and at least
// two digits (three when needed; the letter E is kept), right-justified in w characters.
void append_scientific(std::string& out, double value, int width, int decimals);
std::string format_scientific(double value, int width, int decimals);

// nX: n blanks.
inline void append_blanks(std::string& out, int count) {
  out.append(static_cast<std::size_t>(count), ' ');
}

}  // namespace kt
