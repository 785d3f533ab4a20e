#include "engine/points_file.h"

#include <cstdlib>
#include <vector>

#include "params/bounded_file.h"

namespace kt {
namespace {

// A line that holds a point or the names: not blank, not a comment.
bool listed(const std::string& line) {
  return !line.empty() && line[0] != '#';
}

std::vector<std::string> cells_of(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    std::string cell = line.substr(start, comma == std::string::npos ? comma : comma - start);
    cell.erase(0, cell.find_first_not_of(" \t"));
    cell.erase(cell.find_last_not_of(" \t") + 1);
    cells.push_back(std::move(cell));
    // A comma that ends the line ends it: no empty cell behind it.
    if (comma == std::string::npos || comma + 1 == line.size()) break;
    start = comma + 1;
  }
  return cells;
}

}  // namespace

std::string read_points_file(const std::string& path, StudyPlan& plan) {
  TextLines lines;
  std::string line, error;
  if (!lines.open(path, "the points file", kMaximumDataFileBytes, error)) return error;
  // The points are counted before any is stored: a file listing too many is refused with its
  // count at once, whatever memory the process has.
  std::size_t count = 0;
  while (lines.next(line, error)) count += listed(line) ? 1 : 0;
  if (!error.empty()) return error;
  if (count > 0) --count;  // the line of field names
  if (count > kMaximumListedPoints)
    return path + ": " + std::to_string(count) + " points; a points file lists at most " +
           std::to_string(kMaximumListedPoints) + " (split the study into several files)";
  if (!lines.rewind(error)) return error;
  auto at_line = [&](const std::string& problem) {
    return path + " line " + std::to_string(lines.line_number()) + ": " + problem;
  };
  StudyPlan made;
  bool named = false;
  std::vector<double> values;
  while (lines.next(line, error)) {
    if (!listed(line)) continue;
    const std::vector<std::string> cells = cells_of(line);
    if (!named) {
      if (std::string problem = start_listed_study(cells, made); !problem.empty())
        return at_line(problem);
      made.listed_points.reserve(count);
      named = true;
      continue;
    }
    values.clear();
    for (const std::string& c : cells) {
      char* end = nullptr;
      const double v = std::strtod(c.c_str(), &end);
      if (c.empty() || *end != '\0')
        return at_line("\"" + printable_text(c) + "\" is not a number");
      values.push_back(v);
    }
    // The file may have grown since it was counted.
    if (made.listed_points.size() >= kMaximumListedPoints)
      return at_line("more than " + std::to_string(kMaximumListedPoints) +
                     " points; a points file lists at most that many");
    if (std::string problem = add_listed_point(values, made); !problem.empty())
      return at_line(problem);
  }
  if (!error.empty()) return error;
  if (!named) return path + ": a listed study needs at least one field";
  if (made.listed_points.empty()) return path + ": the study lists no point";
  plan = std::move(made);
  return {};
}

}  // namespace kt
