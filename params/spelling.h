// How far apart two words are, for "did you mean ...?" suggestions of option, field and column
// names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// The edit distance between two short words: the fewest insertions, deletions and substitutions
// of single characters that turn one into the other.
std::size_t edit_distance(std::string_view a, std::string_view b);

// The name among `names` nearest to `word` by edit distance, or empty when none is near
// enough to be a slip of the keyboard (at most a third of the name's letters, and at least
// one, differ).
std::string nearest_name(std::string_view word, const std::vector<std::string>& names);

// The names of the Parameter set's fields (`data_file_name` included) nearest to `word`, as
// nearest_name finds them; empty when none is near.
std::string nearest_field_name(std::string_view word);

}  // namespace kt
