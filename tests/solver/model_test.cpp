#include "solver/model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

TEST(RunConstants, DefaultParametersGiveTheReferenceFigures) {
  const RunConstants r = compute_run_constants(test::default_parameters());
  EXPECT_NEAR(r.heating_scale, 3515.49, 0.005);
  EXPECT_NEAR(r.diffusivity, 0.175493, 5e-7);
  EXPECT_NEAR(r.pulse_duration, 4.80769, 5e-6);
  EXPECT_NEAR(r.peak_intensity, 0.333333, 5e-7);
  EXPECT_NEAR(r.time_step, 0.006, 5e-7);
  EXPECT_NEAR(r.cell_max, 0.383708, 5e-7);
  EXPECT_NEAR(r.cell_ratio, 1.125431, 5e-7);
  EXPECT_NEAR(r.stretched_length, 2.899670, 5e-7);
  // t0 and 0.02 are the single-precision decimals widened.
  EXPECT_EQ(kTimeUnit, 3.1200000361053526e-09);
  EXPECT_EQ(r.output_period, static_cast<double>(0.1f) * 15.0 * static_cast<double>(1e-9f) /
                                 static_cast<double>(1.5e-8f));

  auto state = std::make_unique<SolverState>();
  NodeArray& z = state->depth_grid;
  build_depth_grid(r, z);
  EXPECT_NEAR(z[50], 3.379670, 5e-7);
  EXPECT_NEAR(z[64], 8.751586, 5e-7);
  EXPECT_NEAR(z[65], 9.115294, 5e-7);
  EXPECT_NEAR(z[65] * 1e7 / 320000.0, 284.85, 0.01);  // about 285 nm
  EXPECT_EQ(z[1], 0.0);
  for (int k = 2; k <= 24; ++k) EXPECT_NEAR(z[k] - z[k - 1], 0.02, 1e-9);
  EXPECT_EQ(z[25], static_cast<double>(0.48f));
  EXPECT_NEAR(z[65] - z[64], r.cell_max - 0.02, 1e-7);
  for (int k = 2; k <= 65; ++k) EXPECT_GT(z[k], z[k - 1]);
}

// A straightforward, separate rendering of one time step (no end test), for comparison.
struct PlainState {
  std::vector<double> z, theta, phi_old, phi_new;
  double v = 0.0, depth_a = 0.0, depth_m = 0.0;
};

void plain_step(const RunConstants& r, PlainState& s, int step) {
  const int n = 65;
  const double t = step * r.time_step;
  const double d = r.diffusivity;
  auto temperature = [&](double theta) { return (r.ambient + theta) * r.heating_scale; };
  auto cf = [&](double theta) {
    return (2.549999952316284 -
            1.590000033378601 * std::exp((300.0 - temperature(theta)) / 460.0)) /
           r.material.specific_heat;
  };
  auto kf = [&](double theta) {
    return 0.00155 * std::pow(temperature(theta) / 300.0, 0.2800000011920929) /
           r.material.thermal_conductivity;
  };
  auto velocities = [&](double theta1, double phi1) {
    const double ts = r.ambient + theta1;
    return std::pair<double, double>{
        r.rate_vo * std::exp(-r.activation_ea / ts),
        r.rate_vom * std::exp(-r.activation_em / ((phi1 + 9.999999974752427e-07) * ts))};
  };
  // Pulse (triangle), screening, front.
  const double tf = r.front_time, tau = r.pulse_duration;
  const double peak = (1.0 - r.pulse.reflection) * r.peak_intensity;
  double pulse =
      t <= tf ? peak * t / tf : (t <= 2 * tau ? peak * (2 * tau - t) / (2 * tau - tf) : 0);
  std::vector<double> intensity(n + 1);
  intensity[1] = pulse * std::exp(-r.screening * (s.depth_a + s.depth_m));
  auto [va, vm] = velocities(s.theta[1], s.phi_new[1]);
  s.v = va + vm;
  s.depth_a += va * r.time_step;
  s.depth_m += vm * r.time_step;
  for (int k = 1; k < n; ++k) intensity[k + 1] = intensity[k] * (1.0 - (s.z[k + 1] - s.z[k]));
  for (int k = 1; k < n; ++k) {
    s.phi_new[k] =
        s.phi_old[k] +
        r.time_step * (r.rate_ko * std::exp(-r.activation_eb / (r.ambient + s.theta[k])) *
                           (1 - s.phi_old[k]) +
                       s.v * (s.phi_old[k + 1] - s.phi_old[k]) / (s.z[k + 1] - s.z[k]));
  }
  const std::vector<double> previous = s.theta;
  for (int sweep = 0; sweep < 3; ++sweep) {
    // Rows 1..n of the full matrix: lower l, diagonal m, upper u, right side rhs.
    std::vector<double> l(n + 1), m(n + 1), u(n + 1), rhs(n + 1);
    const double ts = r.ambient + s.theta[1];
    const double q = r.enthalpy_dhm * r.rate_vom *
                     std::exp(-r.activation_em / ((s.phi_new[1] + 9.999999974752427e-07) * ts));
    m[1] = 1.0;
    u[1] = -1.0;
    rhs[1] = -(0.019999999552965164 / (d * kf(s.theta[1]))) * q;
    for (int k = 2; k < n; ++k) {
      const double dm = s.z[k] - s.z[k - 1], dp = s.z[k + 1] - s.z[k], db = (dm + dp) / 2;
      const double km = (kf(s.theta[k]) + kf(s.theta[k - 1])) / 2;
      const double kp = (kf(s.theta[k]) + kf(s.theta[k + 1])) / 2;
      const double c = cf(s.theta[k]);
      l[k] = -d * km / (dm * db * c);
      u[k] = -(d * kp / (dp * db * c) + s.v / dp);
      m[k] = 1 / r.time_step + s.v / dp + d * (km / dm + kp / dp) / (db * c) +
             3.562000131607056 * d * kf(s.theta[k]) / (1e8 * c);
      rhs[k] = previous[k] / r.time_step + intensity[k] / c -
               r.enthalpy_dhb * r.rate_ko * (1 - (s.phi_old[k] + s.phi_new[k]) / 2) *
                   std::exp(-r.activation_eb / (r.ambient + s.theta[k])) / c;
    }
    m[n] = 1.0;
    rhs[n] = 0.0;
    // Thomas algorithm.
    for (int k = 2; k <= n; ++k) {
      const double w = l[k] / m[k - 1];
      m[k] -= w * u[k - 1];
      rhs[k] -= w * rhs[k - 1];
    }
    s.theta[n] = rhs[n] / m[n];
    for (int k = n - 1; k >= 1; --k) s.theta[k] = (rhs[k] - u[k] * s.theta[k + 1]) / m[k];
    auto [a2, m2] = velocities(s.theta[1], s.phi_new[1]);
    s.v = a2 + m2;
  }
  s.phi_old = s.phi_new;
}

TEST(ModelSteps, AgreeWithAPlainRenderingOfTheScheme) {
  const RunConstants r = compute_run_constants(test::default_parameters());
  auto state = std::make_unique<SolverState>();
  build_depth_grid(r, state->depth_grid);
  reset_solver_state(*state);
  PlainState plain;
  plain.z.assign(state->depth_grid.begin(), state->depth_grid.begin() + 66);
  plain.theta.assign(66, 0.0);
  plain.phi_old.assign(66, 0.0);
  plain.phi_new.assign(66, 0.0);
  // Through the peak of the pulse, where bonds break and channel M opens.
  for (int step = 1; step <= 1200; ++step) {
    state->step_index = step;
    ASSERT_FALSE(take_time_step(r, *state));
    state->broken_fraction_old = state->broken_fraction_new;
    plain_step(r, plain, step);
  }
  for (int k = 1; k <= 65; ++k) {
    EXPECT_NEAR(state->temperature_rise[k], plain.theta[k], 1e-9 * (1 + std::abs(plain.theta[k])));
    EXPECT_NEAR(state->broken_fraction_new[k], plain.phi_new[k], 1e-9);
  }
  EXPECT_NEAR(state->front_velocity, plain.v, 1e-9 * plain.v);
  EXPECT_NEAR(state->depth_m, plain.depth_m, 1e-9 * plain.depth_m);
  EXPECT_GT(state->broken_fraction_new[1], 0.0);
  EXPECT_GT(state->depth_m, 0.0);

  // Reported values in their units.
  const ReportedValues out = reported_values(r, *state);
  EXPECT_NEAR(out.time_ns, 1200 * 0.006 * 3.12, 1e-4);
  EXPECT_NEAR(out.surface_temperature_k, (r.ambient + plain.theta[1]) * r.heating_scale, 1e-6);
  EXPECT_NEAR(out.velocity_cm_s, plain.v / (320000.0 * 3.12e-9), 1e-3 * out.velocity_cm_s);
  EXPECT_NEAR(out.ablated_depth_nm, plain.depth_m * 31.25, 1e-6);
}

}  // namespace
}  // namespace kt
