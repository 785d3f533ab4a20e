// The laboratory's threshold methods on measured data.
//
// The D^2 method. A Gaussian spot of radius w (1/e^2) and pulse energy E has the peak fluence
// F0 = 2 E / (pi w^2); where the crater's edge lies the local fluence is the threshold F_th, so
// its diameter D obeys D^2 = 2 w^2 ln(F0 / F_th) = 2 w^2 ln(E / E_th) with E_th = pi w^2 F_th / 2.
// After N pulses the threshold follows the incubation law F_th(N) = F_th(1) N^(S - 1). Hence
//
//   D^2 = a ln E + b + c ln N,   a = 2 w^2,  b = -a ln E_th(1),  c = -a (S - 1),
//
// linear in (a, b, c), fitted by least squares on the craters with a diameter (rows with D = 0
// lie below the threshold and are left out); without several pulse numbers c is not fitted
// (S = 1). Standard errors from the covariance scaled by the residual variance.
//
// Files (CSV, '#' comments, a header row naming the columns, case and units as written):
//   diameters:  energy_uj, diameter_um [, pulses]
//   thresholds: pulses, threshold_mj_cm2 [, sigma_mj_cm2]   (the incubation law's data)
// Both are read through the bounded reader; a bad file is refused naming its line and problem.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/incubation.h"

namespace kt {

struct DiameterPoint {
  double energy_uj = 0.0;
  double diameter_um = 0.0;  // 0: no crater
  int pulses = 1;
  int line = 0;
};

struct DiameterData {
  std::string source;
  std::vector<DiameterPoint> points;
  bool has_pulses = false;
};

struct D2Fit {
  bool ok = false;
  std::string message;             // why not ok
  double threshold_fluence = 0.0;  // F_th(1), mJ/cm^2
  double threshold_stderr = 0.0;
  double threshold_energy_uj = 0.0;  // E_th(1)
  double radius_um = 0.0;            // w
  double radius_stderr = 0.0;
  double s = 1.0;  // the incubation coefficient (1 when not fitted)
  double s_stderr = 0.0;
  bool s_fitted = false;
  double rms_residual_um2 = 0.0;  // of D^2
  int points = 0;                 // rows with a crater
};

// Fits the D^2 law to the craters.
D2Fit fit_d2(const std::vector<DiameterPoint>& points);

std::optional<DiameterData> parse_diameter_text(std::string_view text, const std::string& source,
                                                std::string& error);
std::optional<DiameterData> read_diameter_file(const std::string& path, std::string& error);

struct ThresholdData {
  std::string source;
  std::vector<IncubationPoint> points;
  std::vector<int> lines;
};

std::optional<ThresholdData> parse_threshold_text(std::string_view text, const std::string& source,
                                                  std::string& error);
std::optional<ThresholdData> read_threshold_file(const std::string& path, std::string& error);

// The fit in words, one value a line ("F_th = ... +- ... mJ/cm^2").
std::string d2_summary(const D2Fit& fit);

}  // namespace kt
