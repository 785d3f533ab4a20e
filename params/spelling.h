// How far apart two words are, for "did you mean ...?" suggestions of option, field and column
// names.
#pragma once

#include <cstddef>
#include <string_view>

namespace kt {

// The edit distance between two short words: the fewest insertions, deletions and substitutions
// of single characters that turn one into the other.
std::size_t edit_distance(std::string_view a, std::string_view b);

}  // namespace kt
