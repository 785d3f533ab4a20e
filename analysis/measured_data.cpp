#include "analysis/measured_data.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kt {
namespace {

std::string trimmed(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r')) --e;
  std::string out(text.substr(b, e - b));
  if (out.size() >= 2 && out.front() == '"' && out.back() == '"')
    out = out.substr(1, out.size() - 2);
  return out;
}

std::vector<std::string> cells_of(std::string_view line) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    cells.push_back(
        trimmed(line.substr(start, comma == std::string_view::npos ? line.npos : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return cells;
}

bool parse_real(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

}  // namespace

std::string_view depth_column_name(DepthQuantity quantity) {
  switch (quantity) {
    case DepthQuantity::surface:
      return "surface_recession_nm";
    case DepthQuantity::volume:
      return "volume_depth_nm";
    case DepthQuantity::total:
      break;
  }
  return "total_depth_nm";
}

std::string_view depth_quantity_word(DepthQuantity quantity) {
  switch (quantity) {
    case DepthQuantity::surface:
      return "surface";
    case DepthQuantity::volume:
      return "volume";
    case DepthQuantity::total:
      break;
  }
  return "total";
}

bool parse_depth_quantity(std::string_view word, DepthQuantity& quantity) {
  for (DepthQuantity q : {DepthQuantity::total, DepthQuantity::surface, DepthQuantity::volume}) {
    if (word == depth_quantity_word(q)) {
      quantity = q;
      return true;
    }
  }
  return false;
}

double depth_of(const RunOutcome& outcome, DepthQuantity quantity) {
  switch (quantity) {
    case DepthQuantity::surface:
      return outcome.surface_recession_nm;
    case DepthQuantity::volume:
      return outcome.volume_depth_nm;
    case DepthQuantity::total:
      break;
  }
  return outcome.total_depth_nm;
}

namespace {

// Where the header puts the columns that are read.
struct CsvColumns {
  int fluence = -1, depth = -1, sigma = -1;
  std::size_t count = 0;
};

// Reads the header row into columns, read.quantity, read.has_sigma and the warnings about
// columns not used; the problem, or empty.
std::string read_header(const std::vector<std::string>& cells, const std::string& source,
                        const DepthQuantity* wanted, MeasuredData& read, CsvColumns& columns) {
  columns.count = cells.size();
  int depth_columns[3] = {-1, -1, -1};
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const int column = static_cast<int>(c);
    const std::string& name = cells[c];
    if (name.empty()) return "column " + std::to_string(c + 1) + " of the header has no name";
    bool known = true;
    if (name == "fluence_mJ_per_cm2")
      columns.fluence = column;
    else if (name == "sigma_nm")
      columns.sigma = column;
    else if (name == "total_depth_nm")
      depth_columns[0] = column;
    else if (name == "surface_recession_nm")
      depth_columns[1] = column;
    else if (name == "volume_depth_nm")
      depth_columns[2] = column;
    else
      known = false;
    if (!known) read.warnings.push_back("column \"" + name + "\" of " + source + " is not used");
  }
  if (columns.fluence < 0) return "the header has no fluence_mJ_per_cm2 column";
  const DepthQuantity order[3] = {DepthQuantity::total, DepthQuantity::surface,
                                  DepthQuantity::volume};
  for (int q = 0; q < 3; ++q) {
    if (wanted && *wanted != order[q]) continue;
    if (depth_columns[q] >= 0) {
      columns.depth = depth_columns[q];
      read.quantity = order[q];
      break;
    }
  }
  if (columns.depth < 0) {
    return wanted ? "the header has no " + std::string(depth_column_name(*wanted)) + " column"
                  : std::string(
                        "the header has no depth column (total_depth_nm, "
                        "surface_recession_nm or volume_depth_nm)");
  }
  for (int q = 0; q < 3; ++q) {
    if (depth_columns[q] >= 0 && depth_columns[q] != columns.depth)
      read.warnings.push_back("column \"" + std::string(depth_column_name(order[q])) + "\" of " +
                              source + " is not used");
  }
  read.has_sigma = columns.sigma >= 0;
  return {};
}

// Reads one data row into point; the problem, or empty.
std::string read_row(const std::vector<std::string>& cells, const CsvColumns& columns,
                     DepthQuantity quantity, MeasuredPoint& point) {
  if (cells.size() != columns.count) {
    return "the row has " + std::to_string(cells.size()) + " values; the header names " +
           std::to_string(columns.count);
  }
  auto cell = [&](int column) -> const std::string& {
    return cells[static_cast<std::size_t>(column)];
  };
  auto number_problem = [&](int column, const std::string& name, double& value) {
    if (parse_real(cell(column), value)) return std::string();
    return name +
           (cell(column).empty() ? " is empty" : " \"" + cell(column) + "\" is not a number");
  };
  if (std::string problem = number_problem(columns.fluence, "fluence_mJ_per_cm2", point.fluence);
      !problem.empty())
    return problem;
  if (std::string problem =
          number_problem(columns.depth, std::string(depth_column_name(quantity)), point.depth_nm);
      !problem.empty())
    return problem;
  if (point.fluence <= 0.0)
    return "fluence_mJ_per_cm2 is " + cell(columns.fluence) + "; it must be greater than 0";
  if (point.fluence > kMaximumModelFluence)
    return "fluence_mJ_per_cm2 is " + cell(columns.fluence) +
           "; the model runs at most 10000 mJ/cm^2";
  if (columns.sigma >= 0) {
    if (std::string problem = number_problem(columns.sigma, "sigma_nm", point.sigma_nm);
        !problem.empty())
      return problem;
    if (point.sigma_nm <= 0.0)
      return "sigma_nm is " + cell(columns.sigma) + "; it must be greater than 0";
  }
  return {};
}

}  // namespace

bool parse_measured_csv(std::string_view text, const std::string& source, MeasuredData& data,
                        std::string& error, const DepthQuantity* wanted) {
  MeasuredData read;
  read.source = source;
  auto fail = [&](int line, const std::string& problem) {
    error = source + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ": " + problem;
    return false;
  };
  CsvColumns columns;
  bool header_seen = false;
  int line_number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    if (trimmed(line).empty()) {
      if (end == text.size()) break;
      continue;
    }
    const std::vector<std::string> cells = cells_of(line);
    if (!header_seen) {
      header_seen = true;
      if (std::string problem = read_header(cells, source, wanted, read, columns); !problem.empty())
        return fail(line_number, problem);
      continue;
    }
    MeasuredPoint point;
    point.line = line_number;
    if (std::string problem = read_row(cells, columns, read.quantity, point); !problem.empty())
      return fail(line_number, problem);
    read.points.push_back(point);
    if (end == text.size()) break;
  }
  if (!header_seen) return fail(0, "the file is empty; it needs a header row and data rows");
  if (read.points.empty()) return fail(0, "the file has a header but no data rows");
  data = std::move(read);
  return true;
}

bool read_measured_csv(const std::string& path, MeasuredData& data, std::string& error,
                       const DepthQuantity* wanted) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open the data file \"" + path + "\"";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot read the data file \"" + path + "\"";
    return false;
  }
  return parse_measured_csv(text.str(), path, data, error, wanted);
}

}  // namespace kt
