#include "analysis/measured_data.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "params/bounded_file.h"

namespace kt {
namespace {

std::string_view trimmed_view(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r')) --e;
  return text.substr(b, e - b);
}

// The delimiter of a file, from its header row: `;` or a tab when the row has one outside
// quotes (as spreadsheets in many locales write), else a comma.
char delimiter_of(std::string_view header) {
  bool quoted = false, tab = false;
  for (const char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ';') return ';';
    if (c == '\t') tab = true;
  }
  return tab ? '\t' : ',';
}

// The cells of a row: blanks around a cell dropped, a cell in double quotes taken whole (a
// delimiter inside it included, "" standing for one quote).
std::vector<std::string> cells_of(std::string_view line, char delimiter) {
  std::vector<std::string> cells;
  std::size_t i = 0;
  while (true) {
    std::string cell;
    while (i < line.size() && line[i] != delimiter && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cell += line[i++];
      }
      while (i < line.size() && line[i] != delimiter) cell += line[i++];  // after the quote
      cell = std::string(trimmed_view(cell));
    } else {
      const std::size_t end = std::min(line.find(delimiter, i), line.size());
      cell = std::string(trimmed_view(line.substr(i, end - i)));
      i = end;
    }
    cells.push_back(std::move(cell));
    if (i >= line.size()) break;
    ++i;  // the delimiter
  }
  return cells;
}

std::string trimmed(std::string_view text) {
  return std::string(trimmed_view(text));
}

bool parse_real(std::string text, double& value, char delimiter) {
  if (text.empty()) return false;
  // With `;` or a tab between the values, "1,5" is one and a half.
  if (delimiter != ',' && text.find(',') != std::string::npos &&
      text.find('.') == std::string::npos)
    text[text.find(',')] = '.';
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

// A header name as a lower-case word with its unit: "Fluence (mJ/cm2)", "fluence [mJ/cm^2]" and
// "fluence_mJ_per_cm2" all become "fluence_mj_per_cm2", "Depth (nm)" becomes "depth_nm".
std::string header_key(const std::string& name) {
  std::string key;
  auto separate = [&] {
    if (!key.empty() && key.back() != '_') key += '_';
  };
  for (const char c : name) {
    if (c == '/') {
      separate();
      key += "per_";
    } else if (c == ' ' || c == '-' || c == '_' || c == '(' || c == ')' || c == '[' || c == ']' ||
               c == '.') {
      separate();
    } else if (c != '^') {
      key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  while (!key.empty() && key.back() == '_') key.pop_back();
  return key;
}

enum class ColumnRole { unknown, fluence, sigma, total, surface, volume };

ColumnRole column_role(const std::string& name) {
  const std::string key = header_key(name);
  if (key == "fluence_mj_per_cm2") return ColumnRole::fluence;
  if (key == "sigma_nm" || key == "sigma_depth_nm") return ColumnRole::sigma;
  if (key == "total_depth_nm" || key == "depth_nm") return ColumnRole::total;
  if (key == "surface_recession_nm") return ColumnRole::surface;
  if (key == "volume_depth_nm") return ColumnRole::volume;
  return ColumnRole::unknown;
}

constexpr const char* kExpectedColumns =
    "the names taken are fluence_mJ_per_cm2 (or \"Fluence (mJ/cm2)\", \"fluence [mJ/cm^2]\"), "
    "total_depth_nm (or depth_nm, \"Depth (nm)\"), surface_recession_nm, volume_depth_nm and "
    "sigma_nm";

std::string columns_found(const std::vector<std::string>& cells) {
  std::string out;
  for (const std::string& c : cells)
    out += (out.empty() ? "\"" : ", \"") + printable_text(c) + "\"";
  return "the columns found are " + out + "; " + kExpectedColumns;
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
    // A repeated column would leave the choice between its values to chance.
    for (std::size_t k = 0; k < c; ++k) {
      const ColumnRole role = column_role(name);
      if (cells[k] == name || (role != ColumnRole::unknown && column_role(cells[k]) == role))
        return "the column \"" + printable_text(name) + "\" (column " + std::to_string(c + 1) +
               ") repeats column " + std::to_string(k + 1) + " (\"" + printable_text(cells[k]) +
               "\"); keep one of them";
    }
    switch (column_role(name)) {
      case ColumnRole::fluence:
        columns.fluence = column;
        break;
      case ColumnRole::sigma:
        columns.sigma = column;
        break;
      case ColumnRole::total:
        depth_columns[0] = column;
        break;
      case ColumnRole::surface:
        depth_columns[1] = column;
        break;
      case ColumnRole::volume:
        depth_columns[2] = column;
        break;
      case ColumnRole::unknown:
        read.warnings.push_back("column \"" + printable_text(name) + "\" of " + source +
                                " is not used");
        break;
    }
  }
  if (columns.fluence < 0)
    return "the header has no fluence_mJ_per_cm2 column; " + columns_found(cells);
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
                  : "the header has no depth column (total_depth_nm, surface_recession_nm or "
                    "volume_depth_nm); " +
                        columns_found(cells);
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
                     DepthQuantity quantity, char delimiter, MeasuredPoint& point) {
  if (cells.size() != columns.count) {
    return "the row has " + std::to_string(cells.size()) + " values; the header names " +
           std::to_string(columns.count);
  }
  auto cell = [&](int column) -> const std::string& {
    return cells[static_cast<std::size_t>(column)];
  };
  auto number_problem = [&](int column, const std::string& name, double& value) {
    if (parse_real(cell(column), value, delimiter)) return std::string();
    return name + (cell(column).empty()
                       ? " is empty"
                       : " \"" + printable_text(cell(column)) + "\" is not a number");
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
  std::string checked(text);
  if (!check_text_encoding(checked, source, error)) return false;
  text = checked;
  MeasuredData read;
  read.source = source;
  auto fail = [&](int line, const std::string& problem) {
    error = source + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ": " + problem;
    return false;
  };
  CsvColumns columns;
  char delimiter = ',';
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
    if (!header_seen) delimiter = delimiter_of(line);
    const std::vector<std::string> cells = cells_of(line, delimiter);
    if (!header_seen) {
      header_seen = true;
      if (std::string problem = read_header(cells, source, wanted, read, columns); !problem.empty())
        return fail(line_number, problem);
      continue;
    }
    MeasuredPoint point;
    point.line = line_number;
    if (std::string problem = read_row(cells, columns, read.quantity, delimiter, point);
        !problem.empty())
      return fail(line_number, problem);
    if (read.points.size() >= kMaximumMeasuredPoints)
      return fail(line_number, "more than " + std::to_string(kMaximumMeasuredPoints) +
                                   " measured points; the most a file may hold");
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
  std::string text;
  if (!read_bounded_file(path, "the data file", kMaximumDataFileBytes, text, error)) return false;
  return parse_measured_csv(text, path, data, error, wanted);
}

}  // namespace kt
