#include "analysis/measured_data.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "params/bounded_file.h"
#include "params/spelling.h"
#include "params/unit_text.h"

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

// The number, times 10^shift (a column in J/cm^2 or um read as mJ/cm^2 or nm).
bool parse_real(std::string text, double& value, char delimiter, int shift = 0) {
  if (text.empty()) return false;
  // With `;` or a tab between the values, "1,5" is one and a half.
  if (delimiter != ',' && text.find(',') != std::string::npos &&
      text.find('.') == std::string::npos)
    text[text.find(',')] = '.';
  return read_shifted_decimal(text, shift, value);
}

// A cell's number: a number handed over as such, or the text read as a file's cell (a number in
// another unit is shifted as its shortest text would be, so both read alike).
bool parse_real(const MeasuredCell& cell, double& value, char delimiter, int shift = 0) {
  if (cell.number && shift == 0) {
    value = *cell.number;
    return std::isfinite(value);
  }
  return parse_real(cell.text, value, delimiter, shift);
}

// A header name as a lower-case word with its unit: "Fluence (mJ/cm2)", "fluence [mJ/cm^2]" and
// "fluence_mJ_per_cm2" all become "fluence_mj_per_cm2", "Depth (nm)" becomes "depth_nm".
std::string header_key(const std::string& name) {
  std::string key;
  auto separate = [&] {
    if (!key.empty() && key.back() != '_') key += '_';
  };
  for (const char c : plain_unit_text(name)) {
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

enum class ColumnRole { unknown, fluence, sigma, total, surface, volume, dataset };

// The role of a column and the power of ten from its unit to the one read (mJ/cm^2, nm).
struct ColumnKind {
  ColumnRole role = ColumnRole::unknown;
  int shift = 0;
  std::string_view unit{};  // as the report names it: "J/cm^2", "um"; empty when read as is
};

ColumnKind column_kind(const std::string& name) {
  const std::string key = header_key(name);
  if (key == "dataset" || key == "data_set") return {ColumnRole::dataset};
  if (key == "fluence_mj_per_cm2") return {ColumnRole::fluence};
  if (key == "fluence_j_per_cm2") return {ColumnRole::fluence, 3, "J/cm^2"};
  struct Depth {
    std::string_view base;
    ColumnRole role;
  };
  constexpr Depth kDepths[] = {{"sigma", ColumnRole::sigma},
                               {"sigma_depth", ColumnRole::sigma},
                               {"total_depth", ColumnRole::total},
                               {"depth", ColumnRole::total},
                               {"surface_recession", ColumnRole::surface},
                               {"volume_depth", ColumnRole::volume}};
  for (const Depth& d : kDepths) {
    if (key == std::string(d.base) + "_nm") return {d.role};
    if (key == std::string(d.base) + "_um") return {d.role, 3, "um"};
  }
  return {};
}

ColumnRole column_role(const std::string& name) {
  return column_kind(name).role;
}

constexpr const char* kExpectedColumns =
    "the names taken are fluence_mJ_per_cm2 (or \"Fluence (mJ/cm2)\", \"fluence [J/cm^2]\"), "
    "total_depth_nm (or depth_nm, \"Depth (nm)\", \"Depth (um)\"), surface_recession_nm, "
    "volume_depth_nm and sigma_nm";

constexpr const char* kPulsesColumn = "pulses";
// The most pulses a row's run may be given.
constexpr double kMaximumRowPulses = 100000.0;

// The names a lab writes for a field, each naming that field only: tau for the pulse width.
struct FieldAlias {
  std::string_view alias, field;
};
constexpr FieldAlias kAliases[] = {{"tau", "pulse_width"}};

// A name and the same with the field's unit: "pulse_width", "pulse_width_ns".
bool names_field(const std::string& key, std::string_view name, const ParameterField& f) {
  return key == name ||
         (!f.unit.empty() && key == std::string(name) + "_" + header_key(std::string(f.unit)));
}

// The field a header key names: the field's name or an alias, alone or with the field's unit
// ("pulse_width_ns", "tau_ns").
const ParameterField* field_of_key(const std::string& key) {
  for (const ParameterField& f : parameter_fields())
    if (names_field(key, f.name, f)) return &f;
  for (const FieldAlias& a : kAliases) {
    const ParameterField* f = find_parameter_field(a.field);
    if (f && names_field(key, a.alias, *f)) return f;
  }
  return nullptr;
}

// The condition column a key looks meant to be: a field's name (or `pulses`), alone or with
// its unit, that the key misses by a slip of the keyboard ("pulse_widht"), or that it gives in
// another unit ("pulse_width_us": pulse_width_ns). Empty when it looks like none.
std::string meant_condition(const std::string& key) {
  constexpr std::size_t kShortestChecked = 5;
  if (key.size() < kShortestChecked) return {};
  std::vector<std::string> names{kPulsesColumn};
  auto candidate = [&](std::string_view name, const ParameterField& f) {
    const std::string with_unit =
        f.unit.empty() ? std::string() : std::string(name) + "_" + header_key(std::string(f.unit));
    names.emplace_back(name);
    if (with_unit.empty()) return std::string();
    names.push_back(with_unit);
    return key.rfind(std::string(name) + "_", 0) == 0 ? with_unit : std::string();
  };
  for (const ParameterField& f : parameter_fields())
    if (std::string other_unit = candidate(f.name, f); !other_unit.empty()) return other_unit;
  for (const FieldAlias& a : kAliases)
    if (const ParameterField* f = find_parameter_field(a.field))
      if (std::string other_unit = candidate(a.alias, *f); !other_unit.empty()) return other_unit;
  return nearest_name(key, names);
}

std::string number_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

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
  int fluence = -1, depth = -1, sigma = -1, dataset = -1;
  int fluence_shift = 0, depth_shift = 0, sigma_shift = 0;  // from the file's units
  bool index = false;           // column 1 is a pandas index (no name, 0, 1, 2, ...): skipped
  std::vector<int> conditions;  // the columns of MeasuredData::conditions
  std::size_t count = 0;
};

// A header cell that is neither a known column nor `dataset`: a condition column, a refusal, or
// a note that the column is not used. The problem, or empty.
std::string read_other_column(const std::string& name, int column, const std::string& source,
                              MeasuredData& read, CsvColumns& columns) {
  const std::string key = header_key(name);
  const std::string where =
      "column \"" + printable_text(name) + "\" (column " + std::to_string(column + 1) + ")";
  if (key == kPulsesColumn) {
    read.conditions.push_back({kPulsesColumn, nullptr, column + 1});
    columns.conditions.push_back(column);
    return {};
  }
  if (const ParameterField* field = field_of_key(key)) {
    if (const std::string why = field_not_settable(*field); !why.empty())
      return where + " names " + std::string(field->name) + ", which a row cannot set: " + why;
    for (const ConditionColumn& c : read.conditions)
      if (c.field == field)
        return where + " sets " + std::string(field->name) + " as column " +
               std::to_string(c.column) + " does; keep one of them";
    read.conditions.push_back({std::string(field->name), field, column + 1});
    columns.conditions.push_back(column);
    return {};
  }
  if (const std::string near = meant_condition(key); !near.empty())
    return where + " is not a field; did you mean " + near + "?";
  read.warnings.push_back("column \"" + printable_text(name) + "\" of " + source + " is not used");
  return {};
}

// Reads the header row into columns, read.quantity, read.has_sigma and the warnings about
// columns not used; the problem, or empty.
std::string read_header(const std::vector<std::string>& cells, const std::string& source,
                        const DepthQuantity* wanted, MeasuredData& read, CsvColumns& columns) {
  columns.count = cells.size();
  int depth_columns[3] = {-1, -1, -1};
  int depth_shifts[3] = {0, 0, 0};
  // pandas writes its index as a first column without a name; the rows check its values.
  columns.index = cells.size() > 1 && cells[0].empty();
  // Each name and each role once: the first column that has it (linear in the columns).
  std::unordered_map<std::string_view, std::size_t> first_of_name;
  std::size_t first_of_role[7];
  std::fill(std::begin(first_of_role), std::end(first_of_role), cells.size());
  std::vector<ColumnRole> roles(cells.size(), ColumnRole::unknown);
  for (std::size_t c = columns.index ? 1 : 0; c < cells.size(); ++c) {
    const int column = static_cast<int>(c);
    const std::string& name = cells[c];
    if (name.empty())
      return "column " + std::to_string(c + 1) +
             " of the header has no name (a table written by pandas: write it with "
             "to_csv(path, index=False))";
    const ColumnKind kind = column_kind(name);
    if (!kind.unit.empty())
      read.warnings.push_back("column \"" + printable_text(name) + "\" of " + source + " is in " +
                              std::string(kind.unit) + ": converted to " +
                              (kind.role == ColumnRole::fluence ? "mJ/cm^2" : "nm"));
    roles[c] = column_role(name);
    // A repeated column would leave the choice between its values to chance.
    std::size_t k = first_of_name.emplace(name, c).first->second;
    std::size_t& same_role = first_of_role[static_cast<int>(roles[c])];
    if (roles[c] != ColumnRole::unknown && same_role < k) k = same_role;
    if (k < c)
      return "the column \"" + printable_text(name) + "\" (column " + std::to_string(c + 1) +
             ") repeats column " + std::to_string(k + 1) + " (\"" + printable_text(cells[k]) +
             "\"); keep one of them";
    if (same_role > c) same_role = c;
    switch (roles[c]) {
      case ColumnRole::fluence:
        columns.fluence = column;
        columns.fluence_shift = kind.shift;
        break;
      case ColumnRole::sigma:
        columns.sigma = column;
        columns.sigma_shift = kind.shift;
        break;
      case ColumnRole::total:
        depth_columns[0] = column;
        depth_shifts[0] = kind.shift;
        break;
      case ColumnRole::surface:
        depth_columns[1] = column;
        depth_shifts[1] = kind.shift;
        break;
      case ColumnRole::volume:
        depth_columns[2] = column;
        depth_shifts[2] = kind.shift;
        break;
      case ColumnRole::dataset:
        columns.dataset = column;
        read.labelled = true;
        break;
      case ColumnRole::unknown:
        break;
    }
  }
  if (columns.fluence < 0)
    return "the header has no fluence_mJ_per_cm2 column; " + columns_found(cells);
  for (std::size_t c = columns.index ? 1 : 0; c < cells.size(); ++c) {
    if (roles[c] != ColumnRole::unknown) continue;
    if (std::string problem =
            read_other_column(cells[c], static_cast<int>(c), source, read, columns);
        !problem.empty())
      return problem;
  }
  const DepthQuantity order[3] = {DepthQuantity::total, DepthQuantity::surface,
                                  DepthQuantity::volume};
  for (int q = 0; q < 3; ++q) {
    if (wanted && *wanted != order[q]) continue;
    if (depth_columns[q] >= 0) {
      columns.depth = depth_columns[q];
      columns.depth_shift = depth_shifts[q];
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

// Reads the row's conditions into point and its data-set label; the problem, or empty.
std::string read_conditions(const std::vector<MeasuredCell>& cells, const CsvColumns& columns,
                            const MeasuredData& read, char delimiter, MeasuredPoint& point,
                            std::string& label) {
  for (std::size_t k = 0; k < columns.conditions.size(); ++k) {
    const MeasuredCell& cell = cells[static_cast<std::size_t>(columns.conditions[k])];
    const std::string& text = cell.text;
    const ConditionColumn& condition = read.conditions[k];
    double value = 0.0;
    if (!parse_real(cell, value, delimiter))
      return condition.name + (text.empty() ? " is empty; each row gives its value"
                                            : " \"" + printable_text(text) + "\" is not a number");
    if (!condition.field) {
      if (value < 1.0 || value > kMaximumRowPulses || value != std::floor(value))
        return "pulses is " + text + "; it must be a whole number from 1 to " +
               number_text(kMaximumRowPulses);
    } else if (std::string refusal =
                   field_value_problem(*condition.field, static_cast<float>(value));
               !refusal.empty()) {
      return "column " + condition.name + ": " + refusal;
    } else if (std::string range = range_refusal(*condition.field, static_cast<float>(value));
               !range.empty()) {
      return "column " + condition.name + ": " + range;
    }
    point.conditions.push_back(value);
  }
  if (columns.dataset >= 0) {
    label = cells[static_cast<std::size_t>(columns.dataset)].text;
    if (label.empty()) return "dataset is empty; each row names its data set";
  }
  return {};
}

// The data sets of the rows read: by their labels, else by their conditions, else one.
void assign_datasets(MeasuredData& read, const std::vector<std::string>& labels) {
  read.datasets.clear();
  std::map<std::string, int> index;
  for (std::size_t i = 0; i < read.points.size(); ++i) {
    MeasuredPoint& point = read.points[i];
    std::string name = read.labelled ? labels[i] : std::string();
    std::string legend = name;
    if (!read.labelled) {
      for (std::size_t k = 0; k < read.conditions.size(); ++k) {
        const ConditionColumn& c = read.conditions[k];
        const std::string value = c.name + "=" + number_text(point.conditions[k]);
        const std::string unit = c.field ? std::string(c.field->unit) : std::string();
        name += (k == 0 ? "" : ",") + value;
        legend += (k == 0 ? "" : ", ") + value + (unit.empty() ? "" : " " + unit);
      }
      if (name.empty()) name = legend = "data";
    }
    const auto [it, added] = index.emplace(name, static_cast<int>(read.datasets.size()));
    if (added) read.datasets.push_back({name, legend});
    point.dataset = it->second;
  }
}

// Reads one data row into point; the problem, or empty.
std::string read_row(const std::vector<MeasuredCell>& cells, const CsvColumns& columns,
                     DepthQuantity quantity, char delimiter, std::size_t row,
                     MeasuredPoint& point) {
  if (cells.size() != columns.count) {
    return "the row has " + std::to_string(cells.size()) + " values; the header names " +
           std::to_string(columns.count);
  }
  auto cell = [&](int column) -> const std::string& {
    return cells[static_cast<std::size_t>(column)].text;
  };
  auto at = [&](int column) -> const MeasuredCell& {
    return cells[static_cast<std::size_t>(column)];
  };
  double index = 0.0;
  if (columns.index && (!parse_real(at(0), index, delimiter) || index != static_cast<double>(row)))
    return "column 1 has no name and holds \"" + printable_text(cell(0)) + "\" here, not " +
           std::to_string(row) +
           " as a pandas index would; name the column, or write the table with "
           "to_csv(path, index=False)";
  auto number_problem = [&](int column, const std::string& name, double& value, int shift = 0) {
    if (parse_real(at(column), value, delimiter, shift)) return std::string();
    return name + (cell(column).empty()
                       ? " is empty"
                       : " \"" + printable_text(cell(column)) + "\" is not a number");
  };
  if (std::string problem = number_problem(columns.fluence, "fluence_mJ_per_cm2", point.fluence,
                                           columns.fluence_shift);
      !problem.empty())
    return problem;
  if (std::string problem = number_problem(columns.depth, std::string(depth_column_name(quantity)),
                                           point.depth_nm, columns.depth_shift);
      !problem.empty())
    return problem;
  if (point.fluence <= 0.0)
    return "fluence_mJ_per_cm2 is " + cell(columns.fluence) + "; it must be greater than 0";
  if (point.fluence > kMaximumModelFluence)
    return "fluence_mJ_per_cm2 is " + cell(columns.fluence) +
           "; the model runs at most 10000 mJ/cm^2";
  if (columns.sigma >= 0) {
    if (std::string problem =
            number_problem(columns.sigma, "sigma_nm", point.sigma_nm, columns.sigma_shift);
        !problem.empty())
      return problem;
    if (point.sigma_nm <= 0.0)
      return "sigma_nm is " + cell(columns.sigma) + "; it must be greater than 0";
  }
  return {};
}

}  // namespace

std::string MeasuredData::place(int line) const {
  if (line <= 0 || (first_row_line > 0 && line < first_row_line)) return source;
  if (first_row_line > 0) return source + ", index " + std::to_string(line - first_row_line);
  return source + ", line " + std::to_string(line);
}

namespace {

// Reads one data row into `read` (its data-set label into `labels`); the problem, or empty.
std::string read_data_row(const std::vector<MeasuredCell>& cells, const CsvColumns& columns,
                          char delimiter, int line, MeasuredData& read,
                          std::vector<std::string>& labels) {
  MeasuredPoint point;
  point.line = line;
  if (std::string problem =
          read_row(cells, columns, read.quantity, delimiter, read.points.size(), point);
      !problem.empty())
    return problem;
  std::string label;
  if (std::string problem = read_conditions(cells, columns, read, delimiter, point, label);
      !problem.empty())
    return problem;
  labels.push_back(std::move(label));
  if (read.points.size() >= kMaximumMeasuredPoints)
    return "more than " + std::to_string(kMaximumMeasuredPoints) +
           " measured points; the most a file may hold";
  read.points.push_back(point);
  return {};
}

}  // namespace

bool parse_measured_csv(std::string_view text, const std::string& source, MeasuredData& data,
                        std::string& error, const DepthQuantity* wanted, int first_row_line) {
  std::string checked(text);
  if (!check_text_encoding(checked, source, error)) return false;
  text = checked;
  MeasuredData read;
  read.source = source;
  read.first_row_line = first_row_line;
  auto fail = [&](int line, const std::string& problem) {
    error = read.place(line) + ": " + problem;
    return false;
  };
  CsvColumns columns;
  std::vector<std::string> labels;  // the dataset cell of each row
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
    std::vector<std::string> cells = cells_of(line, delimiter);
    if (!header_seen) {
      header_seen = true;
      if (std::string problem = read_header(cells, source, wanted, read, columns); !problem.empty())
        return fail(line_number, problem);
      continue;
    }
    std::vector<MeasuredCell> row(cells.size());
    for (std::size_t c = 0; c < cells.size(); ++c) row[c].text = std::move(cells[c]);
    if (std::string problem = read_data_row(row, columns, delimiter, line_number, read, labels);
        !problem.empty())
      return fail(line_number, problem);
    if (end == text.size()) break;
  }
  if (!header_seen) return fail(0, "the file is empty; it needs a header row and data rows");
  if (read.points.empty()) return fail(0, "the file has a header but no data rows");
  assign_datasets(read, labels);
  data = std::move(read);
  return true;
}

bool read_measured_table(const MeasuredTable& table, const std::string& source, MeasuredData& data,
                         std::string& error, const DepthQuantity* wanted) {
  MeasuredData read;
  read.source = source;
  read.first_row_line = 1;  // row i is "line" i + 1, named "index i"
  auto fail = [&](int line, const std::string& problem) {
    error = read.place(line) + ": " + problem;
    return false;
  };
  if (table.names.empty()) return fail(0, "no column given");
  CsvColumns columns;
  if (std::string problem = read_header(table.names, source, wanted, read, columns);
      !problem.empty())
    return fail(0, problem);
  std::vector<std::string> labels;
  for (std::size_t i = 0; i < table.rows.size(); ++i) {
    const int line = static_cast<int>(std::min<std::size_t>(i, kMaximumMeasuredPoints)) + 1;
    if (std::string problem = read_data_row(table.rows[i], columns, ',', line, read, labels);
        !problem.empty())
      return fail(line, problem);
  }
  if (read.points.empty()) return fail(0, "the columns hold no rows");
  assign_datasets(read, labels);
  data = std::move(read);
  return true;
}

std::string field_not_settable(const ParameterField& field) {
  if (field.kind != FieldKind::real || !field.member)
    return "it is a choice or an output setting, not a value";
  if (field.name == "fluence") return "each data point sets it";
  if (field.effect == FieldEffect::output) {
    ParameterSet any;
    return field_without_effect(field, any);
  }
  return {};
}

ParameterSet parameters_of_point(const ParameterSet& base, const MeasuredData& data,
                                 const MeasuredPoint& point) {
  ParameterSet p = base;
  for (std::size_t k = 0; k < data.conditions.size() && k < point.conditions.size(); ++k)
    if (data.conditions[k].field)
      set_field_value(p, *data.conditions[k].field, static_cast<float>(point.conditions[k]));
  return p;
}

int pulses_of_point(const MeasuredData& data, const MeasuredPoint& point) {
  for (std::size_t k = 0; k < data.conditions.size() && k < point.conditions.size(); ++k)
    if (!data.conditions[k].field) return static_cast<int>(point.conditions[k]);
  return 0;
}

std::vector<std::size_t> points_of_set(const MeasuredData& data, int set) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < data.points.size(); ++i)
    if (data.points[i].dataset == set) out.push_back(i);
  return out;
}

MeasuredData measured_set(const MeasuredData& data, int set) {
  MeasuredData out = data;
  out.points.clear();
  out.datasets = {data.datasets.at(static_cast<std::size_t>(set))};
  for (std::size_t i : points_of_set(data, set)) {
    out.points.push_back(data.points[i]);
    out.points.back().dataset = 0;
  }
  return out;
}

bool read_measured_csv(const std::string& path, MeasuredData& data, std::string& error,
                       const DepthQuantity* wanted) {
  std::string text;
  if (!read_bounded_file(path, "the data file", kMaximumDataFileBytes, text, error)) return false;
  return parse_measured_csv(text, path, data, error, wanted);
}

}  // namespace kt
