#include "solver/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "solver/newton.h"
#include "solver/tridiagonal.h"

namespace kt {
namespace {

TEST(PulseIntensity, TriangleCorners) {
  const PulseLaw law{PulseShape::triangle, 0.1, 2.0};
  const double tau = 4.0;
  const double peak = (1.0 - 0.1) * 3.0;
  EXPECT_DOUBLE_EQ(pulse_intensity(law, 1.0, 3.0, tau), peak / 2.0);
  EXPECT_EQ(pulse_intensity(law, 2.0, 3.0, tau), peak);  // at tF
  EXPECT_DOUBLE_EQ(pulse_intensity(law, 5.0, 3.0, tau), peak / 2.0);
  EXPECT_EQ(pulse_intensity(law, 8.0, 3.0, tau), 0.0);  // at 2 tau'
  EXPECT_EQ(pulse_intensity(law, 8.001, 3.0, tau), 0.0);
  // A front of 0 %: the pulse starts at its peak and decays.
  const PulseLaw no_front{PulseShape::triangle, 0.0, 0.0};
  EXPECT_DOUBLE_EQ(pulse_intensity(no_front, 4.0, 1.0, tau), 0.5);
}

TEST(PulseIntensity, RectangleEndsAfterOnePulseWidth) {
  const PulseLaw law{PulseShape::rectangle, 0.25, 0.0};
  EXPECT_EQ(pulse_intensity(law, 4.0, 2.0, 4.0), 1.5);
  EXPECT_EQ(pulse_intensity(law, std::nextafter(4.0, 5.0), 2.0, 4.0), 0.0);
}

TEST(PropertyLaws, PolyimideAt300KelvinAndOtherMaterial) {
  MaterialLaw law{true, 300.0, 1.0, 1.0, 1.0};
  EXPECT_NEAR(specific_heat_factor(law, 0.0), 0.96, 1e-7);
  EXPECT_EQ(conductivity_factor(law, 0.0), 0.00155);
  // Divided by the entered constants.
  law.specific_heat = 2.0;
  law.thermal_conductivity = 0.00155;
  EXPECT_NEAR(specific_heat_factor(law, 0.0), 0.48, 1e-7);
  EXPECT_EQ(conductivity_factor(law, 0.0), 1.0);
  // Both grow with temperature.
  EXPECT_GT(specific_heat_factor(law, 700.0), specific_heat_factor(law, 0.0));
  EXPECT_NEAR(conductivity_factor(law, 900.0), std::pow(4.0, 0.28), 1e-6);

  const MaterialLaw other{false, 300.0, 1.0, 2.0, 0.002};
  for (double theta : {-100.0, 0.0, 1.0, 5000.0}) {
    EXPECT_EQ(specific_heat_factor(other, theta), 1.0);
    EXPECT_EQ(conductivity_factor(other, theta), 1.0);
  }
}

// The memo must give exp's own bits whatever came before: a repeat, a new argument, the two
// zeros, NaN (never taken as a repeat), and a return to an argument it held earlier.
TEST(ExpMemo, GivesTheBitsOfExpForEveryArgumentOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double arguments[] = {-1.25, -1.25, 3.0,    -1.25, 0.0,     -0.0,    0.0,
                              nan,   nan,   -745.2, 709.0, -1e-310, -1e-310, -1.25};
  ExpMemo memo;
  for (double x : arguments) {
    const double expected = std::exp(x);
    const double got = memo(x);
    if (std::isnan(x)) {
      EXPECT_TRUE(std::isnan(got));
    } else {
      EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << x;
    }
  }
}

TEST(SolveTridiagonal, RecoversMadeUpSolution) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  std::uniform_real_distribution<double> positive(0.1, 1.0);
  const int n = 65;
  NodeArray x{}, a{}, b{}, c{}, g{}, y{}, work{};
  for (int k = 1; k <= n; ++k) x[k] = value(random);
  for (int k = 2; k <= n - 1; ++k) {
    a[k] = positive(random);
    c[k] = positive(random);
    b[k] = a[k] + c[k] + positive(random);
    g[k] = -a[k] * x[k - 1] + b[k] * x[k] - c[k] * x[k + 1];
  }
  const double kappa1 = 0.7;
  const double kappa2 = 0.4;
  const double mu1 = x[1] - kappa1 * x[2];
  const double mu2 = x[n] - kappa2 * x[n - 1];
  solve_tridiagonal(y, a, c, b, g, kappa1, kappa2, mu1, mu2, n, work);
  for (int k = 1; k <= n; ++k) EXPECT_NEAR(y[k], x[k], 1e-12) << "node " << k;
}

TEST(SolveTridiagonal, EndConditionsOfTheHeatStep) {
  const int n = 10;
  NodeArray a{}, b{}, c{}, g{}, y{}, work{};
  for (int k = 2; k <= n - 1; ++k) {
    a[k] = 1.0;
    c[k] = 1.0;
    b[k] = 3.0;
    g[k] = static_cast<double>(k);
  }
  solve_tridiagonal(y, a, c, b, g, 1.0, 0.0, 0.0, 0.0, n, work);
  EXPECT_EQ(y[n], 0.0);
  EXPECT_EQ(y[1], y[2]);
  for (int k = 2; k <= n - 1; ++k) {
    EXPECT_NEAR(-a[k] * y[k - 1] + b[k] * y[k] - c[k] * y[k + 1], g[k], 1e-12);
  }
}

// The rows' solver gives both right-hand sides of one elimination, also when the solution
// overwrites the rows it reads (the cooling's in-place use).
TEST(SolveTridiagonal, TwoRightHandSidesAndInPlaceRows) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> positive(0.1, 1.0);
  const int n = 40;
  std::vector<double> lower(n), diagonal(n), upper(n), x(n), y(n), rhs(n), rhs2(n);
  for (int k = 0; k < n; ++k) {
    lower[k] = k > 0 ? -positive(random) : 0.0;
    upper[k] = k + 1 < n ? -positive(random) : 0.0;
    diagonal[k] = 2.0 + positive(random);
    x[k] = positive(random) - 0.5;
    y[k] = positive(random);
  }
  for (int k = 0; k < n; ++k) {
    auto apply = [&](const std::vector<double>& v) {
      return (k > 0 ? lower[k] * v[k - 1] : 0.0) + diagonal[k] * v[k] +
             (k + 1 < n ? upper[k] * v[k + 1] : 0.0);
    };
    rhs[k] = apply(x);
    rhs2[k] = apply(y);
  }
  std::vector<double> sx(n), sy(n), work(n);
  solve_tridiagonal_rows(
      n,
      [&](int k) {
        return TridiagonalRow{lower[k], diagonal[k], upper[k], rhs[k], rhs2[k]};
      },
      sx.data(), work.data(), sy.data());
  std::vector<double> in_place = rhs, upper_copy = upper;
  solve_tridiagonal_rows(
      n,
      [&](int k) {
        return TridiagonalRow{lower[k], diagonal[k], upper_copy[k], in_place[k]};
      },
      in_place.data(), upper_copy.data());
  for (int k = 0; k < n; ++k) {
    EXPECT_NEAR(sx[k], x[k], 1e-13) << k;
    EXPECT_NEAR(sy[k], y[k], 1e-13) << k;
    EXPECT_EQ(in_place[k], sx[k]) << k;
  }
}

TEST(NewtonStep, LimitsTheLargestChangeAndStopsOnNonFiniteSteps) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double theta[3] = {1.0, 0.5, 0.0};  // ambient 1: absolute 2, 1.5, 1
  struct Case {
    double dx[3];
    bool finite;
    double scale;
    bool converged;  // at 1e-9
  };
  for (const Case& c :
       {Case{{0.0, 0.0, 0.0}, true, 1.0, true}, Case{{1e-10, -1e-10, 0.0}, true, 1.0, true},
        Case{{0.0, 0.0, 1e-8}, true, 1.0, false},
        Case{{4.0, 0.0, 0.0}, true, 0.25, false},   // 4/2 = 2: a quarter taken
        Case{{0.0, -3.0, 0.0}, true, 0.25, false},  // 3/1.5 = 2
        Case{{0.0, nan, 0.0}, false, 1.0, false},
        Case{{1.0, 0.0, std::numeric_limits<double>::infinity()}, false, 1.0, false}}) {
    const NewtonUpdate u = measure_newton_step(theta, c.dx, 3, 1.0);
    EXPECT_EQ(u.finite, c.finite) << c.dx[0] << " " << c.dx[1] << " " << c.dx[2];
    if (c.finite) {
      EXPECT_EQ(u.scale, c.scale) << c.dx[0] << " " << c.dx[1];
    }
    EXPECT_EQ(u.converged(1e-9), c.converged) << c.dx[0] << " " << c.dx[1] << " " << c.dx[2];
  }
}

TEST(NewtonStep, SettlesWhenTheContractionBoundsTheRestBelowTheTolerance) {
  struct Case {
    double change, previous;
    bool settled;  // at 1e-9
  };
  for (const Case& c : {
           Case{1e-8, 1e-4, true},   // contraction 1e-4: about 1e-12 still to come
           Case{1e-8, 0.0, false},   // no full update before: nothing to bound it by
           Case{1e-8, 1e-8, false},  // not contracting
           Case{1e-8, 2e-9, false},  // growing
           Case{1e-8, 2e-8, false},  // contraction 1/2: up to 1e-8 to come
           Case{5e-10, 1e-9, true},  // contraction 1/2 from below the tolerance
           Case{0.0, 1e-3, true},    // a zero update
           Case{1e-6, 1e-3, false},  // contraction 1e-3: about 1e-9, just above
           Case{5e-7, 1.0, true},    // within reach: 2.5e-13 to come
           Case{2e-6, 1.0, false},   // beyond reach: a small ratio is not trusted
           Case{std::numeric_limits<double>::quiet_NaN(), 1e-3, false},
       }) {
    EXPECT_EQ(newton_settled(c.change, c.previous, 1e-9), c.settled)
        << c.change << " after " << c.previous;
  }
}

TEST(IntegrateProfile, ExactForQuadraticsOnUnevenGrids) {
  NodeArray z{}, f{};
  const int n = 9;
  const double nodes[] = {0.0, 0.1, 0.15, 0.4, 0.45, 1.0, 1.7, 1.75, 3.0};
  for (int k = 1; k <= n; ++k) z[k] = nodes[k - 1];
  auto fill = [&](auto function) {
    for (int k = 1; k <= n; ++k) f[k] = function(z[k]);
  };
  fill([](double) { return 1.0; });
  EXPECT_NEAR(integrate_profile(z, f, n), 3.0, 1e-14);
  fill([](double x) { return 2.0 - 3.0 * x; });
  EXPECT_NEAR(integrate_profile(z, f, n), 6.0 - 13.5, 1e-12);
  fill([](double x) { return 0.5 + x - 2.0 * x * x; });
  EXPECT_NEAR(integrate_profile(z, f, n), 1.5 + 4.5 - 18.0, 1e-12);
  // Three nodes: the one parabola twice.
  NodeArray z3{}, f3{};
  z3[1] = 1.0, z3[2] = 1.5, z3[3] = 3.0;
  for (int k = 1; k <= 3; ++k) f3[k] = z3[k] * z3[k];
  EXPECT_NEAR(integrate_profile(z3, f3, 3), (27.0 - 1.0) / 3.0, 1e-12);
}

}  // namespace
}  // namespace kt
