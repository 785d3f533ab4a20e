#include "analysis/report.h"

#include <cmath>
#include <cstdio>

namespace kt {
namespace {

std::string json_number(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.10g", value);
  return buffer;
}

// A value held as a 32-bit real in the Parameter set: its 7 significant digits (0.7, not
// 0.699999988).
std::string json_field_value(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.7g", value);
  return buffer;
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
          out += buffer;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string beer_lambert_object(const BeerLambertFit& fit) {
  std::string out = "{\"ok\": " + std::string(fit.ok ? "true" : "false");
  if (!fit.ok) return out + ", \"message\": " + json_string(fit.message) + "}";
  out += ", \"threshold_fluence\": " + json_number(fit.threshold_fluence);
  out += ", \"threshold_fluence_stderr\": " + json_number(fit.threshold_stderr);
  out += ", \"absorption_length_nm\": " + json_number(fit.absorption_length_nm);
  out += ", \"absorption_length_nm_stderr\": " + json_number(fit.absorption_length_stderr);
  out += ", \"chi2\": " + json_number(fit.chi2) + ", \"dof\": " + std::to_string(fit.dof);
  out += ", \"points_used\": " + std::to_string(fit.points_used);
  out += ", \"min_depth_nm\": " + json_number(fit.min_depth_nm);
  out += ", \"weighted\": " + std::string(fit.weighted ? "true" : "false") + "}";
  return out;
}

std::string with_error(double value, double error) {
  char buffer[80];
  if (std::isfinite(error))
    std::snprintf(buffer, sizeof buffer, "%.6g +- %.2g", value, error);
  else
    std::snprintf(buffer, sizeof buffer, "%.6g +- (not determined)", value);
  return buffer;
}

}  // namespace

std::string report_json(const FitReport& r, const BeerLambertFit* beer_lambert) {
  std::string out = "{\n";
  out += "  \"status\": " + json_string(fit_status_text(r.status)) + ",\n";
  out += "  \"message\": " + json_string(r.message) + ",\n";
  out += "  \"quantity\": " + json_string(std::string(depth_column_name(r.quantity))) + ",\n";
  out += "  \"method\": " + json_string(r.method) + ",\n";
  out += "  \"parameters\": {";
  for (std::size_t j = 0; j < r.parameters.size(); ++j) {
    const FittedParameter& p = r.parameters[j];
    out += std::string(j ? "," : "") + "\n    " + json_string(p.name) + ": {";
    out += "\"value\": " + json_field_value(p.value) +
           ", \"stderr\": " + json_number(p.standard_error);
    out += ", \"initial\": " + json_field_value(p.initial) + ", \"unit\": " + json_string(p.unit);
    out += ", \"lower\": " + json_number(p.lower) + ", \"upper\": " + json_number(p.upper);
    out += ", \"log_scale\": " + std::string(p.log_scale ? "true" : "false");
    out += ", \"at_bound\": " + std::string(p.at_bound ? "true" : "false") + "}";
  }
  out += "\n  },\n  \"correlation\": [";
  for (std::size_t a = 0; a < r.correlation.size(); ++a) {
    out += a ? ", [" : "[";
    for (std::size_t b = 0; b < r.correlation[a].size(); ++b) {
      if (b) out += ", ";
      out += json_number(r.correlation[a][b]);
    }
    out += "]";
  }
  out += "],\n";
  out += "  \"chi2\": " + json_number(r.chi2) + ",\n  \"dof\": " + std::to_string(r.dof) + ",\n";
  out += "  \"reduced_chi2\": " + json_number(r.reduced_chi2) + ",\n";
  out += "  \"weighted\": " + std::string(r.weighted ? "true" : "false") + ",\n";
  out += "  \"evaluations\": " + std::to_string(r.evaluations) + ",\n";
  out += "  \"runs\": " + std::to_string(r.runs) + ",\n";
  out += "  \"retried_runs\": " + std::to_string(r.retried_runs) + ",\n";
  out += "  \"failed_runs\": " + std::to_string(r.failed_points) + ",\n";
  out += "  \"wall_seconds\": " + json_number(r.wall_seconds) + ",\n";
  if (beer_lambert) out += "  \"beer_lambert\": " + beer_lambert_object(*beer_lambert) + ",\n";
  out += "  \"points\": [";
  for (std::size_t i = 0; i < r.points.size(); ++i) {
    const FitPointResult& p = r.points[i];
    out += std::string(i ? "," : "") + "\n    {\"fluence\": " + json_number(p.fluence) +
           ", \"measured\": " + json_number(p.measured) + ", \"sigma\": " + json_number(p.sigma) +
           ", \"model\": " + json_number(p.model) + ", \"residual\": " + json_number(p.residual) +
           "}";
  }
  out += "\n  ]\n}\n";
  return out;
}

std::string beer_lambert_json(const BeerLambertFit& fit, const MeasuredData& data) {
  std::string out =
      "{\n  \"quantity\": " + json_string(std::string(depth_column_name(data.quantity))) + ",\n";
  out += "  \"beer_lambert\": " + beer_lambert_object(fit) + ",\n  \"points\": [";
  for (std::size_t i = 0; i < data.points.size(); ++i) {
    const MeasuredPoint& p = data.points[i];
    out += std::string(i ? "," : "") + "\n    {\"fluence\": " + json_number(p.fluence) +
           ", \"measured\": " + json_number(p.depth_nm) +
           ", \"sigma\": " + json_number(data.has_sigma ? p.sigma_nm : NAN);
    if (fit.ok) {
      const double line = beer_lambert_depth(fit, p.fluence);
      out +=
          ", \"model\": " + json_number(line) + ", \"residual\": " + json_number(p.depth_nm - line);
    }
    out += "}";
  }
  return out + "\n  ]\n}\n";
}

std::string fit_summary(const FitReport& r) {
  char line[256];
  std::string out;
  const bool trusted = r.status == FitStatus::converged;
  std::snprintf(line, sizeof line, "fit of %s to %zu points: %s\n",
                std::string(depth_column_name(r.quantity)).c_str(), r.points.size(),
                fit_status_text(r.status));
  out += line;
  if (r.status == FitStatus::failed && r.parameters.empty()) return out;
  out += trusted ? "fitted values (1 sigma):\n"
                 : "best values found (NOT a trustworthy fit, see below):\n";
  for (const FittedParameter& p : r.parameters) {
    std::snprintf(line, sizeof line, "  %-26s %-34s %-8s (start %.6g%s)\n", p.name.c_str(),
                  with_error(p.value, p.standard_error).c_str(), p.unit.c_str(), p.initial,
                  p.at_bound ? ", AT BOUND" : "");
    out += line;
  }
  if (r.parameters.size() > 1 && trusted) {
    out += "correlation:\n";
    for (const auto& row : r.correlation) {
      out += "  ";
      for (double c : row) {
        std::snprintf(line, sizeof line, "%7.3f", c);
        out += line;
      }
      out += "\n";
    }
  }
  std::snprintf(line, sizeof line, "chi2 %.6g, dof %d, reduced %.4g%s\n", r.chi2, r.dof,
                r.reduced_chi2, r.weighted ? "" : " (no sigma given: errors scaled by it)");
  out += line;
  std::snprintf(
      line, sizeof line, "%d evaluations, %d model runs (%d retried, %d failed), %.1f s wall, %s\n",
      r.evaluations, r.runs, r.retried_runs, r.failed_points, r.wall_seconds, r.method.c_str());
  out += line;
  return out;
}

std::string beer_lambert_summary(const BeerLambertFit& fit) {
  if (!fit.ok) return "Beer-Lambert analysis: " + fit.message + "\n";
  char line[256];
  std::snprintf(line, sizeof line,
                "Beer-Lambert analysis (%d points with depth >= %g nm%s):\n"
                "  threshold fluence F_th   %s mJ/cm^2\n"
                "  absorption length 1/alpha_eff %s nm\n",
                fit.points_used, fit.min_depth_nm, fit.weighted ? ", weighted" : "",
                with_error(fit.threshold_fluence, fit.threshold_stderr).c_str(),
                with_error(fit.absorption_length_nm, fit.absorption_length_stderr).c_str());
  return line;
}

std::string threshold_summary(const ThresholdReport& report, const ThresholdRequest& request) {
  char line[320];
  std::snprintf(line, sizeof line,
                "threshold fluence for %g nm %s depth: %.6g mJ/cm^2\n"
                "  bracket %.6g (%.4g nm) to %.6g (%.4g nm) mJ/cm^2, %d runs, %.1f s\n",
                request.depth_nm, std::string(depth_quantity_word(request.quantity)).c_str(),
                report.fluence, report.below, report.depth_below_nm, report.above,
                report.depth_above_nm, report.runs, report.wall_seconds);
  return line;
}

}  // namespace kt
