// The laboratory's threshold methods on measured data: the D^2 law recovered from exact craters,
// and the readers refusing bad files by line and problem.
#include "analysis/lab_thresholds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "test_support.h"

namespace kt {
namespace {

// Craters of a Gaussian spot on the D^2 law with incubation.
std::vector<DiameterPoint> craters(double w, double f_th, double s,
                                   const std::vector<int>& pulses) {
  std::vector<DiameterPoint> points;
  const double e_th = f_th * M_PI * w * w * 0.5e-5;  // uJ
  for (int n : pulses) {
    for (double e : {0.5, 1.5, 2.0, 4.0, 9.0, 20.0}) {
      DiameterPoint p;
      p.energy_uj = e * e_th;
      p.pulses = n;
      const double ratio = p.energy_uj / (e_th * std::pow(n, s - 1.0));
      p.diameter_um = ratio > 1.0 ? std::sqrt(2.0 * w * w * std::log(ratio)) : 0.0;
      points.push_back(p);
    }
  }
  return points;
}

TEST(D2Fit, RecoversRadiusThresholdAndIncubationFromExactCraters) {
  struct Case {
    double w, f_th, s;
    std::vector<int> pulses;
  };
  for (const Case& c : {Case{50.0, 36.0, 1.0, {1}}, Case{7.5, 120.0, 0.8, {1, 10, 100}},
                        Case{300.0, 2.0, 0.95, {2, 5}}}) {
    const D2Fit fit = fit_d2(craters(c.w, c.f_th, c.s, c.pulses));
    ASSERT_TRUE(fit.ok) << fit.message;
    EXPECT_NEAR(fit.radius_um / c.w, 1.0, 1e-9);
    EXPECT_NEAR(fit.threshold_fluence / c.f_th, 1.0, 1e-9);
    EXPECT_EQ(fit.s_fitted, c.pulses.size() > 1);
    EXPECT_NEAR(fit.s, c.s, 1e-9);
  }
  EXPECT_FALSE(fit_d2(craters(50.0, 36.0, 1.0, {1})).s_fitted);
  EXPECT_FALSE(fit_d2({craters(5.0, 10.0, 1.0, {1})[3]}).ok);
  // A crater of metres among craters of tens of microns: its threshold underflows to 0, which
  // must not come out as a result.
  std::vector<DiameterPoint> off;
  for (const auto& [e, d] : {std::pair{2.0, 40.0}, {8.0, 30.0}, {4.0, 5.9e26}, {4.0, 63.0}}) {
    DiameterPoint p;
    p.energy_uj = e;
    p.diameter_um = d;
    off.push_back(p);
  }
  const D2Fit wild = fit_d2(off);
  EXPECT_FALSE(wild.ok);
  EXPECT_NE(wild.message.find("no usable threshold"), std::string::npos) << wild.message;
}

TEST(LabFiles, ReadersRefuseBadFilesNamingLineAndProblem) {
  struct Case {
    bool diameters;
    const char* text;
    const char* message;  // empty: accepted
  };
  for (const Case& c : {
           Case{true, "# craters\nenergy_uj,diameter_um\n1,0\n2,30\n", ""},
           Case{true, "Energy_uJ, diameter_um ,pulses\n1,5,3\n", ""},
           Case{true, "energy_uj,diameter_um\n1,-2\n", "f.csv, line 2: diameter_um must be 0"},
           Case{true, "energy_uj,diameter_um\n1,2\n0,3\n", "line 3: energy_uj must be greater"},
           Case{true, "energy_uj,diameter_um,pulses\n1,2,1.5\n", "line 2: pulses is"},
           Case{true, "energy_uj,width\n", "line 1: unknown column \"width\""},
           Case{true, "energy_uj\n1\n", "line 1: the header has no column diameter_um"},
           Case{true, "energy_uj,diameter_um\n1,2,3\n", "line 2: 3 values"},
           Case{true, "energy_uj,diameter_um\n1,nan\n", "line 2: diameter_um is \"nan\""},
           Case{true, "energy_uj,diameter_um\n", "f.csv: the file has a header but no data rows"},
           Case{true, "", "f.csv: the file is empty"},
           Case{true, "energy_uj,energy_uj\n", "appears twice"},
           Case{false, "pulses,threshold_mj_cm2,sigma_mj_cm2\n1,36,2\n10,25,1\n", ""},
           Case{false, "pulses,threshold_mj_cm2\n0,36\n", "line 2: pulses is"},
           Case{false, "pulses,threshold_mj_cm2\n1,-36\n", "line 2: threshold_mj_cm2 must be"},
           Case{false, "pulses,threshold_mj_cm2,sigma_mj_cm2\n1,3,0\n", "line 2: sigma_mj_cm2"},
           Case{false, "pulses,threshold_mj_cm2\n1,3\x00\n", "NUL"},
       }) {
    std::string error;
    const std::string text(
        c.text, std::char_traits<char>::length(c.text) + (std::string(c.message) == "NUL" ? 2 : 0));
    const bool ok = c.diameters ? parse_diameter_text(text, "f.csv", error).has_value()
                                : parse_threshold_text(text, "f.csv", error).has_value();
    EXPECT_EQ(ok, *c.message == '\0') << c.text << ": " << error;
    if (!ok) {
      EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
    }
  }
}

}  // namespace
}  // namespace kt
