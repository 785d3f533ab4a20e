// Measured ablation data: depths against fluence read from a CSV file, the quantity they
// measure and, when given, one standard deviation per point; and, when the file has them, the
// conditions of each row's run (columns named by Parameter-set fields, and `pulses`) and the
// data set each row belongs to.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/parameter_fields.h"
#include "solver/calculation_run.h"

namespace kt {

// Which depth of a run a measurement compares with.
enum class DepthQuantity { total, surface, volume };

// "total_depth_nm", "surface_recession_nm", "volume_depth_nm": the CSV column names.
std::string_view depth_column_name(DepthQuantity quantity);
// "total", "surface", "volume".
std::string_view depth_quantity_word(DepthQuantity quantity);
// From "total", "surface" or "volume"; false for anything else.
bool parse_depth_quantity(std::string_view word, DepthQuantity& quantity);

// The chosen depth of a finished run, in nm.
double depth_of(const RunOutcome& outcome, DepthQuantity quantity);

struct MeasuredPoint {
  double fluence = 0.0;  // mJ/cm^2
  double depth_nm = 0.0;
  double sigma_nm = 1.0;  // one standard deviation; 1 when the file gives none
  int line = 0;           // line of the file it came from (0 when not from a file)
  int dataset = 0;        // index into MeasuredData::datasets
  // The row's values of MeasuredData::conditions, in that order (empty without such columns).
  std::vector<double> conditions{};
};

// A column of measured data that sets a condition of its row's run: a Parameter-set field, or
// the number of pulses of the run (`field` null).
struct ConditionColumn {
  std::string name;  // the field's name, or "pulses"
  const ParameterField* field = nullptr;
  int column = 0;  // 1-based, for messages
};

// A group of rows fitted with the same values of the fields fitted per data set: the rows
// sharing a `dataset` label, or, without that column, the rows sharing their conditions.
struct MeasuredSet {
  std::string name;      // the label, or the conditions ("pulse_width=20"), or "data"
  std::string legend{};  // the name for a picture's legend, with the units ("pulse_width=20 ns")
};

struct MeasuredData {
  std::vector<MeasuredPoint> points;  // in file order
  DepthQuantity quantity = DepthQuantity::total;
  bool has_sigma = false;  // false: every point weighs the same
  std::string source;      // the file name, for messages
  // Notes on the reading: columns present but not used, and columns converted from their unit
  // (J/cm^2 to mJ/cm^2, um to nm).
  std::vector<std::string> warnings;
  std::vector<ConditionColumn> conditions;
  std::vector<MeasuredSet> datasets{MeasuredSet{"data"}};  // in order of first appearance
  bool labelled = false;                                   // the file has a `dataset` column
  // 0 for a file, whose rows are named by their line; for data handed in as arrays (a header
  // line, then one line per row) the line of the first row, and rows are named by their index.
  int first_row_line = 0;

  // Where line `line` of the data is, for messages: "SOURCE, line 7" (a file) or "SOURCE,
  // index 5" (arrays; their header is named by SOURCE alone), SOURCE alone for line 0.
  std::string place(int line) const;
};

// Why a fit or a column of measured data cannot set the field for a run whatever the other
// parameters (a choice, an output setting, the fluence each point sets); empty when it can.
std::string field_not_settable(const ParameterField& field);

// The parameters and pulse count of a point's run: `base` with the point's condition values.
ParameterSet parameters_of_point(const ParameterSet& base, const MeasuredData& data,
                                 const MeasuredPoint& point);
// The point's `pulses` condition; 0 when the data set none.
int pulses_of_point(const MeasuredData& data, const MeasuredPoint& point);

// The indices of the points of data set `set`, in file order.
std::vector<std::size_t> points_of_set(const MeasuredData& data, int set);

// The data set `set` alone as measured data of its own (one data set, the same columns).
MeasuredData measured_set(const MeasuredData& data, int set);

// The highest fluence a run uses; higher fluences are run at this value.
inline constexpr double kMaximumModelFluence = 10000.0;

// The most points a measured-data file may hold.
inline constexpr std::size_t kMaximumMeasuredPoints = 100'000;

// Reads CSV text with a header row naming `fluence_mJ_per_cm2`, a depth column
// (`total_depth_nm`, `surface_recession_nm` or `volume_depth_nm`) and optionally `sigma_nm`,
// condition columns and a `dataset` column. A condition column is named by a real field that
// changes a run (as `pulse_width` or "pulse_width (ns)") or is `pulses` (a whole number >= 1);
// each value is range-checked as the parameter file's. A column naming a field that cannot be
// set per run, or a likely misspelling of a field's name, is refused;
// other columns are noted as not used.
// Header names may carry their unit as labs write it: "Fluence (mJ/cm2)", "fluence [mJ/cm^2]",
// "Depth (nm)", "depth_nm" (the total depth); fluences in J/cm^2 and depths (sigma included) in
// um are converted, as if written in mJ/cm^2 and nm, and noted; a repeated column is refused.
// A condition column may carry its field's unit ("pulse_width_ns") and `tau` names the pulse
// width; a column that looks meant as a condition (a slip of a field's name, or a field in
// another unit) is refused with the name to use. A first column without a name holding
// 0, 1, 2, ... (the index pandas writes) is skipped; with other values it is refused. The values
// are separated by commas, by `;` or by tabs (whichever the header row uses; with `;` or tabs a
// decimal comma is read too) and may be quoted. A UTF-8 byte-order mark is skipped; UTF-16 and
// NUL bytes are refused. With several depth columns the total depth is taken unless `wanted`
// names one. `#` starts a comment; blank lines are skipped. On a problem returns false with `error`
// naming the source, the line (MeasuredData::place; with `first_row_line`, the text holds arrays
// and their rows are named by index) and the problem; `data` is then unchanged.
bool parse_measured_csv(std::string_view text, const std::string& source, MeasuredData& data,
                        std::string& error, const DepthQuantity* wanted = nullptr,
                        int first_row_line = 0);

// A measured-data table handed over in memory (a program's arrays), column names and rows of
// cells: a number, or a text (a data-set label; a text where a number belongs is refused as in
// a file). A number's text names it in messages.
struct MeasuredCell {
  std::string text;
  std::optional<double> number{};
};
struct MeasuredTable {
  std::vector<std::string> names;
  std::vector<std::vector<MeasuredCell>> rows;
};

// Reads `table` as parse_measured_csv reads a file's header row and data rows (the same
// columns, conversions and refusals), its rows named by their index ("SOURCE, index 5").
bool read_measured_table(const MeasuredTable& table, const std::string& source, MeasuredData& data,
                         std::string& error, const DepthQuantity* wanted = nullptr);

// The same for a file, read with read_bounded_file (regular files of at most
// kMaximumDataFileBytes).
bool read_measured_csv(const std::string& path, MeasuredData& data, std::string& error,
                       const DepthQuantity* wanted = nullptr);

}  // namespace kt
