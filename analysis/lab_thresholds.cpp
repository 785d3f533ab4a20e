#include "analysis/lab_thresholds.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "params/bounded_file.h"

namespace kt {
namespace {

constexpr std::size_t kMaximumRows = 100000;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// One table of numbers: a header naming the columns (each of `known`, the first `required` of
// them needed), then rows of numbers. Calls `row(values, line)` with the values in the order of
// `known` (NaN where the column is absent); a non-empty return refuses the row.
template <typename Row>
bool read_table(std::string_view text, const std::string& source,
                const std::vector<std::string>& known, std::size_t required,
                std::vector<bool>& present, Row&& row, std::string& error) {
  std::string checked(text);
  if (!check_text_encoding(checked, source, error)) return false;
  auto fail = [&](int line, const std::string& problem) {
    error = source + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ": " + problem;
    return false;
  };
  std::string expected;
  for (std::size_t k = 0; k < known.size(); ++k)
    expected += (k ? (k + 1 == known.size() ? " or " : ", ") : "") + known[k];
  std::vector<int> column_of;  // the known index of each file column
  present.assign(known.size(), false);
  std::size_t rows = 0;
  int line_number = 0;
  std::string_view rest = checked;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    ++line_number;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    if (trim(line).empty()) continue;
    std::vector<std::string_view> cells;
    for (std::size_t start = 0;;) {
      const std::size_t comma = std::min(line.find(',', start), line.size());
      cells.push_back(trim(line.substr(start, comma - start)));
      if (comma >= line.size()) break;
      start = comma + 1;
    }
    if (column_of.empty()) {
      for (std::string_view cell : cells) {
        std::string name;
        for (char c : cell) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        int index = -1;
        for (std::size_t k = 0; k < known.size(); ++k)
          if (name == known[k]) index = static_cast<int>(k);
        if (index < 0)
          return fail(line_number, "unknown column \"" + printable_text(cell) + "\" (expected " +
                                       expected + ")");
        if (present[static_cast<std::size_t>(index)])
          return fail(line_number, "the column " + name + " appears twice");
        present[static_cast<std::size_t>(index)] = true;
        column_of.push_back(index);
      }
      for (std::size_t k = 0; k < required; ++k)
        if (!present[k]) return fail(line_number, "the header has no column " + known[k]);
      continue;
    }
    if (cells.size() != column_of.size())
      return fail(line_number, std::to_string(cells.size()) + " values; the header names " +
                                   std::to_string(column_of.size()));
    std::vector<double> values(known.size(), std::nan(""));
    for (std::size_t k = 0; k < cells.size(); ++k) {
      const std::string cell(cells[k]);
      char* stop = nullptr;
      const double v = std::strtod(cell.c_str(), &stop);
      const std::string& name = known[static_cast<std::size_t>(column_of[k])];
      if (cell.empty() || stop != cell.c_str() + cell.size() || !std::isfinite(v))
        return fail(line_number, name + " is \"" + printable_text(cell) + "\"; not a number");
      values[static_cast<std::size_t>(column_of[k])] = v;
    }
    if (std::string problem = row(values, line_number); !problem.empty())
      return fail(line_number, problem);
    if (++rows > kMaximumRows)
      return fail(line_number, "more than " + std::to_string(kMaximumRows) + " rows");
  }
  if (column_of.empty()) return fail(0, "the file is empty; it needs a header row and data rows");
  if (rows == 0) return fail(0, "the file has a header but no data rows");
  return true;
}

std::string pulses_problem(double v) {
  if (!(v >= 1.0 && v <= 1e6 && v == std::floor(v)))
    return "pulses is " + std::to_string(v) + "; it must be a whole number from 1 to 1000000";
  return {};
}

// Solves the p x p system m x = r in place (Gauss-Jordan with partial pivoting); the inverse of
// m in `inverse`. False when it is singular.
template <std::size_t P>
bool solve(std::array<std::array<double, P>, P> m, std::array<double, P>& r,
           std::array<std::array<double, P>, P>& inverse, std::size_t p) {
  for (std::size_t i = 0; i < p; ++i)
    for (std::size_t j = 0; j < p; ++j) inverse[i][j] = i == j ? 1.0 : 0.0;
  for (std::size_t col = 0; col < p; ++col) {
    std::size_t pivot = col;
    for (std::size_t i = col + 1; i < p; ++i)
      if (std::abs(m[i][col]) > std::abs(m[pivot][col])) pivot = i;
    if (!(std::abs(m[pivot][col]) > 1e-300)) return false;
    std::swap(m[pivot], m[col]);
    std::swap(inverse[pivot], inverse[col]);
    std::swap(r[pivot], r[col]);
    for (std::size_t i = 0; i < p; ++i) {
      if (i == col) continue;
      const double f = m[i][col] / m[col][col];
      for (std::size_t j = 0; j < p; ++j) {
        m[i][j] -= f * m[col][j];
        inverse[i][j] -= f * inverse[col][j];
      }
      r[i] -= f * r[col];
    }
  }
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j < p; ++j) inverse[i][j] /= m[i][i];
    r[i] /= m[i][i];
  }
  return true;
}

}  // namespace

D2Fit fit_d2(const std::vector<DiameterPoint>& points) {
  D2Fit fit;
  std::set<double> energies;
  std::set<int> pulses;
  std::vector<const DiameterPoint*> used;
  for (const DiameterPoint& point : points) {
    if (!(point.diameter_um > 0.0 && point.energy_uj > 0.0)) continue;
    used.push_back(&point);
    energies.insert(point.energy_uj);
    pulses.insert(point.pulses);
  }
  fit.points = static_cast<int>(used.size());
  if (energies.size() < 2) {
    fit.message = "the D^2 method needs craters at two or more pulse energies";
    return fit;
  }
  const std::size_t p = pulses.size() > 1 ? 3 : 2;
  if (used.size() < p + 1) {
    fit.message = "the D^2 fit of " + std::to_string(p) + " values needs at least " +
                  std::to_string(p + 1) + " craters";
    return fit;
  }
  std::array<std::array<double, 3>, 3> normal{}, inverse{};
  std::array<double, 3> right{};
  for (const DiameterPoint* q : used) {
    const std::array<double, 3> x = {std::log(q->energy_uj), 1.0,
                                     std::log(static_cast<double>(q->pulses))};
    const double y = q->diameter_um * q->diameter_um;
    for (std::size_t i = 0; i < p; ++i) {
      right[i] += x[i] * y;
      for (std::size_t j = 0; j < p; ++j) normal[i][j] += x[i] * x[j];
    }
  }
  std::array<double, 3> coefficients = right;
  if (!solve<3>(normal, coefficients, inverse, p)) {
    fit.message = "the D^2 fit is singular (the energies and pulse numbers do not vary apart)";
    return fit;
  }
  const double a = coefficients[0], b = coefficients[1], c = p == 3 ? coefficients[2] : 0.0;
  if (!(a > 0.0)) {
    fit.message = "the crater diameters do not grow with the pulse energy";
    return fit;
  }
  double residuals = 0.0;
  for (const DiameterPoint* q : used) {
    const double model =
        a * std::log(q->energy_uj) + b + c * std::log(static_cast<double>(q->pulses));
    const double d = q->diameter_um * q->diameter_um - model;
    residuals += d * d;
  }
  const double variance = residuals / static_cast<double>(used.size() - p);
  fit.rms_residual_um2 = std::sqrt(residuals / static_cast<double>(used.size()));
  fit.radius_um = std::sqrt(a / 2.0);
  fit.radius_stderr = std::sqrt(variance * inverse[0][0]) / (4.0 * fit.radius_um);
  fit.threshold_energy_uj = std::exp(-b / a);
  // F = E 2e5 / (pi w^2) = E 4e5 / (pi a) with E in uJ, w in um, F in mJ/cm^2.
  fit.threshold_fluence = fit.threshold_energy_uj * 4e5 / (M_PI * a);
  const std::array<double, 2> g = {b / (a * a) - 1.0 / a, -1.0 / a};  // d ln F / d(a, b)
  double log_variance = 0.0;
  for (std::size_t i = 0; i < 2; ++i)
    for (std::size_t j = 0; j < 2; ++j) log_variance += g[i] * inverse[i][j] * g[j];
  fit.threshold_stderr = fit.threshold_fluence * std::sqrt(variance * log_variance);
  if (p == 3) {
    fit.s_fitted = true;
    fit.s = 1.0 - c / a;
    const std::array<double, 2> h = {c / (a * a), -1.0 / a};  // d S / d(a, c)
    const std::size_t idx[2] = {0, 2};
    double s_variance = 0.0;
    for (std::size_t i = 0; i < 2; ++i)
      for (std::size_t j = 0; j < 2; ++j) s_variance += h[i] * inverse[idx[i]][idx[j]] * h[j];
    fit.s_stderr = std::sqrt(variance * s_variance);
  }
  // A crater far off the others (a diameter of metres, say) can leave a line whose threshold
  // underflows to 0 or overflows: that is no result.
  const bool usable = [&] {
    for (const double v : {fit.threshold_fluence, fit.threshold_energy_uj, fit.radius_um})
      if (!(v > 0.0 && std::isfinite(v))) return false;
    return std::isfinite(fit.threshold_stderr) && std::isfinite(fit.radius_stderr) &&
           (!fit.s_fitted || (std::isfinite(fit.s) && std::isfinite(fit.s_stderr)));
  }();
  if (!usable) {
    char values[96];
    std::snprintf(values, sizeof values, "F_th %.6g mJ/cm^2, w %.6g um", fit.threshold_fluence,
                  fit.radius_um);
    fit.message = std::string("the D^2 fit gives no usable threshold (") + values +
                  "): the diameters do not lie on one line of D^2 against ln E; look for a "
                  "crater far off the others";
    return fit;
  }
  fit.ok = true;
  return fit;
}

std::optional<DiameterData> parse_diameter_text(std::string_view text, const std::string& source,
                                                std::string& error) {
  DiameterData data;
  data.source = source;
  std::vector<bool> present;
  auto row = [&](const std::vector<double>& v, int line) -> std::string {
    DiameterPoint point;
    point.line = line;
    point.energy_uj = v[0];
    point.diameter_um = v[1];
    if (!(v[0] > 0.0)) return "energy_uj must be greater than 0";
    if (!(v[1] >= 0.0)) return "diameter_um must be 0 (no crater) or more";
    if (!std::isnan(v[2])) {
      if (std::string problem = pulses_problem(v[2]); !problem.empty()) return problem;
      point.pulses = static_cast<int>(v[2]);
    }
    data.points.push_back(point);
    return {};
  };
  if (!read_table(text, source, {"energy_uj", "diameter_um", "pulses"}, 2, present, row, error))
    return std::nullopt;
  data.has_pulses = present[2];
  return data;
}

std::optional<DiameterData> read_diameter_file(const std::string& path, std::string& error) {
  std::string text;
  if (!read_bounded_file(path, "the diameter file", kMaximumDataFileBytes, text, error))
    return std::nullopt;
  return parse_diameter_text(text, path, error);
}

std::optional<ThresholdData> parse_threshold_text(std::string_view text, const std::string& source,
                                                  std::string& error) {
  ThresholdData data;
  data.source = source;
  std::vector<bool> present;
  auto row = [&](const std::vector<double>& v, int line) -> std::string {
    if (std::string problem = pulses_problem(v[0]); !problem.empty()) return problem;
    if (!(v[1] > 0.0)) return "threshold_mj_cm2 must be greater than 0";
    if (!std::isnan(v[2]) && !(v[2] > 0.0)) return "sigma_mj_cm2 must be greater than 0";
    IncubationPoint point;
    point.pulses = v[0];
    point.threshold = v[1];
    point.standard_error = std::isnan(v[2]) ? 0.0 : v[2];
    data.points.push_back(point);
    data.lines.push_back(line);
    return {};
  };
  if (!read_table(text, source, {"pulses", "threshold_mj_cm2", "sigma_mj_cm2"}, 2, present, row,
                  error))
    return std::nullopt;
  return data;
}

std::optional<ThresholdData> read_threshold_file(const std::string& path, std::string& error) {
  std::string text;
  if (!read_bounded_file(path, "the threshold file", kMaximumDataFileBytes, text, error))
    return std::nullopt;
  return parse_threshold_text(text, path, error);
}

std::string d2_summary(const D2Fit& fit) {
  char text[600];
  int n = std::snprintf(text, sizeof text,
                        "F_th = %.6g +- %.2g mJ/cm^2\n"
                        "spot radius w = %.6g +- %.2g um\n"
                        "threshold energy E_th = %.6g uJ\n",
                        fit.threshold_fluence, fit.threshold_stderr, fit.radius_um,
                        fit.radius_stderr, fit.threshold_energy_uj);
  if (fit.s_fitted && n > 0 && static_cast<std::size_t>(n) < sizeof text)
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n),
                       "incubation S = %.6g +- %.2g\n", fit.s, fit.s_stderr);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof text)
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n),
                  "craters fitted: %d, rms residual of D^2: %.3g um^2\n", fit.points,
                  fit.rms_residual_um2);
  return text;
}

}  // namespace kt
