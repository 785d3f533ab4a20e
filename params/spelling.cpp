#include "params/spelling.h"

#include <algorithm>
#include <vector>

#include "params/parameter_fields.h"

namespace kt {

std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string nearest_name(std::string_view word, const std::vector<std::string>& names) {
  std::string best;
  std::size_t best_distance = 0;
  for (const std::string& name : names) {
    const std::size_t d = edit_distance(word, name);
    if (best.empty() || d < best_distance) {
      best = name;
      best_distance = d;
    }
  }
  const std::size_t allowed = std::max<std::size_t>(1, best.size() / 3);
  return best_distance <= allowed ? best : std::string();
}

std::string nearest_field_name(std::string_view word) {
  std::vector<std::string> names{"data_file_name"};
  for (const ParameterField& f : parameter_fields()) names.emplace_back(f.name);
  return nearest_name(word, names);
}

}  // namespace kt
