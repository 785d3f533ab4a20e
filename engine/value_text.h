// Small readers of the command lines' value texts: a whole finite number, and a text cut at a
// mark ("10,20,30", "FROM:TO:STEP").
#pragma once

#include <string>
#include <vector>

namespace kt {

// True when the whole text is one finite number.
bool parse_number(const std::string& text, double& value);

// The parts between the marks; a trailing mark gives an empty last part, an empty text none.
std::vector<std::string> split_text(const std::string& text, char mark);

}  // namespace kt
