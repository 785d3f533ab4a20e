// The readers of value texts, one grammar for every command and for Python: a whole finite
// number, a text cut at a mark, and the value lists of sweeps, studies and fits.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kt {

// True when the whole text is one finite number.
bool parse_number(const std::string& text, double& value);

// The parts between the marks; a trailing mark gives an empty last part, an empty text none.
std::vector<std::string> split_text(const std::string& text, char mark);

// The most values one list may give.
inline constexpr std::size_t kMaximumListValues = 1'000'000;

// A value list:
//   FROM:TO:STEP  FROM, FROM + STEP, ... up to TO (TO included when reached within a millionth
//                 of STEP); STEP > 0, TO >= FROM
//   FROM:TO:logN  N values (2 or more) spaced evenly on a log scale, FROM and TO included;
//                 FROM and TO above 0
//   V1,V2,...     the values as listed
// Empty on error, with the reason in `error`.
std::vector<double> parse_value_list(const std::string& text, std::string& error);

}  // namespace kt
