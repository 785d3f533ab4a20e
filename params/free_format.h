// How the dialogs show a real, and how they read typed text back (free format).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kt {

// Seven significant digits: fixed notation for magnitudes from 0.1 up to (not including) 1e7,
// exponent notation otherwise, zero included, its last decimal a zero (15.00000, 0.1000000,
// 3000000., 1.5600000E-03, 3.5700000E+12, 0.0000000E+00). No leading or trailing blanks.
std::string free_format_real_text(float value);

// The first item of a list separated by blanks or commas, read as a real (integer, fixed, or
// with an E or D exponent). Empty or blank text, a leading slash, or a first item that is not a
// number yields no value. Only the first 55 characters are read.
std::optional<float> free_format_read_real(std::string_view text);
// True when that first item is a number, but one beyond the finite single-precision range.
bool free_format_real_out_of_range(std::string_view text);
// The text after the first item that the rule leaves unread, without the blanks and commas
// around it: "5" for "72,5", "2 3" for "1 2 3"; empty when only separators (or a closing slash)
// follow.
std::string free_format_unused_text(std::string_view text);

// The first item of a list read as text: an item that starts with an apostrophe or a quotation
// mark runs to the matching mark and may hold blanks, commas and slashes; any other item ends at
// the first blank, comma or slash. The first 14 characters are returned, blank padded; empty or
// blank text yields no value.
std::optional<std::array<char, 14>> free_format_read_name(std::string_view text);

}  // namespace kt
