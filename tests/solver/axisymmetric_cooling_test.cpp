// The axisymmetric cooling against the closed form of an instantaneous Gaussian surface source on
// an insulated half-space, and its energy balance with surface losses.
#include "solver/axisymmetric_cooling.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kt {
namespace {

// theta(r, z, t) of the heat Q0 exp(-2 r^2 / w^2) per area laid on the surface at t = 0
// (constant properties, H = theta): the 1-D half-space factor times the spreading Gaussian.
double gaussian_source(double q0, double w, double d, double r, double z, double t) {
  const double spread = w * w + 8.0 * d * t;
  return q0 / std::sqrt(M_PI * d * t) * std::exp(-z * z / (4.0 * d * t)) * w * w / spread *
         std::exp(-2.0 * r * r / spread);
}

AxisymmetricGrid grid(double reach_z, double uniform_r, double reach_r, double dr) {
  AxisymmetricGrid g;
  double h = 0.25;
  g.z = {0.0};
  while (g.z.back() < reach_z) {
    g.z.push_back(g.z.back() + h);
    h *= 1.06;
  }
  for (std::size_t i = 0; i + 1 < g.z.size(); ++i)
    g.volume.push_back(((i + 1 < g.z.size() ? g.z[i + 1] : g.z[i]) - (i > 0 ? g.z[i - 1] : 0.0)) /
                       (i > 0 ? 2.0 : 2.0));
  g.r = {0.0};
  double step = dr;
  while (g.r.back() < reach_r) {
    g.r.push_back(g.r.back() + step);
    if (g.r.back() > uniform_r) step *= 1.08;
  }
  return g;
}

RunConstants constants(double d) {
  RunConstants c;
  c.diffusivity = d;
  c.heating_scale = 3515.49;
  c.ambient = 300.0 / c.heating_scale;
  return c;
}

TEST(AxisymmetricCooling, MatchesTheGaussianSurfaceSourceWithinOnePercent) {
  struct Case {
    double w, d, t1, t2, growth;
  };
  for (const Case c :
       {Case{50.0, 0.175, 150.0, 4000.0, 1.01}, Case{20.0, 1.0, 20.0, 400.0, 1.01}}) {
    const RunConstants rc = constants(c.d);
    MaterialLaw law;
    law.polyimide = false;
    const MaterialIntegrals material = make_material_integrals(law);
    const double spread = std::sqrt(c.w * c.w + 8.0 * c.d * c.t2);
    AxisymmetricCooling cooling(
        rc, material, grid(10.0 * std::sqrt(c.d * c.t2), 2.0 * c.w, 3.0 * spread, c.w / 40.0), 0.0,
        0.0);
    const double q0 = 1.0;
    const AxisymmetricGrid& g = cooling.grid();
    for (int j = 0; j < cooling.columns(); ++j)
      for (int i = 0; i < cooling.rows(); ++i)
        cooling.theta(j, i) = gaussian_source(q0, c.w, c.d, g.r[static_cast<std::size_t>(j)],
                                              g.z[static_cast<std::size_t>(i)], c.t1);
    const double heat_before = cooling.heat();
    ASSERT_TRUE(cooling.cool(c.t2 - c.t1, 0.05 * c.t1, c.growth)) << cooling.failure();
    const double peak = gaussian_source(q0, c.w, c.d, 0.0, 0.0, c.t2);
    double worst = 0.0;
    for (int j = 0; j < cooling.columns(); ++j)
      for (int i = 0; i < cooling.rows(); ++i)
        worst =
            std::max(worst, std::abs(cooling.theta(j, i) -
                                     gaussian_source(q0, c.w, c.d, g.r[static_cast<std::size_t>(j)],
                                                     g.z[static_cast<std::size_t>(i)], c.t2)));
    EXPECT_LT(worst / peak, 0.01) << "w " << c.w << " centre " << cooling.theta(0, 0) << " vs "
                                  << peak;
    // Without surface losses the heat leaves only through the far boundaries.
    EXPECT_NEAR(cooling.heat() + cooling.far_loss(), heat_before, 1e-6 * heat_before);
    EXPECT_EQ(cooling.surface_loss(), 0.0);
  }
}

TEST(AxisymmetricCooling, SurfaceLossesCloseTheBalanceAndGrowWithTheCoefficients) {
  double previous = 0.0;
  for (const double h_s : {0.0, 1e-3, 1e-1}) {
    const RunConstants rc = constants(0.175);
    MaterialLaw law;
    law.ambient = rc.ambient;
    law.heating_scale = rc.heating_scale;
    const MaterialIntegrals material = make_material_integrals(law);  // polyimide laws
    AxisymmetricCooling cooling(rc, material, grid(200.0, 40.0, 200.0, 2.0), h_s, 0.9);
    for (int j = 0; j < cooling.columns(); ++j)
      for (int i = 0; i < cooling.rows(); ++i)
        cooling.theta(j, i) =
            0.2 * std::exp(-cooling.grid().z[static_cast<std::size_t>(i)] / 5.0 -
                           std::pow(cooling.grid().r[static_cast<std::size_t>(j)] / 30.0, 2));
    const double before = cooling.heat();
    ASSERT_TRUE(cooling.cool(3000.0, 0.1, 1.1)) << cooling.failure();
    // Backward Euler's ledger closes to the Newton tolerance.
    EXPECT_NEAR(cooling.heat() + cooling.surface_loss() + cooling.far_loss(), before,
                1e-6 * before);
    EXPECT_GT(cooling.surface_loss(), previous);
    previous = cooling.surface_loss();
  }
}

}  // namespace
}  // namespace kt
