// Cubic Lagrange interpolation on a four-node stencil of any spacing, of two functions at once,
// for the accurate scheme's semi-Lagrangian fraction: the stencil's weights are taken once per
// grid, so that a point costs products alone (no division).
#pragma once

namespace kt {

// The values of two functions at x.
struct CubicPair {
  double first = 0.0;
  double second = 0.0;
};

// f(x) = sum_i f_i w_i (x - z_a)(x - z_b)(x - z_c) over the stencil's nodes z_0 ... z_3 (a, b, c
// the three other than i), with the weights w_i of stencil_weights; likewise g(x).
inline CubicPair cubic_pair(const double* z, const double* weights, const double* f,
                            const double* g, double x) {
  const double d0 = x - z[0];
  const double d1 = x - z[1];
  const double d2 = x - z[2];
  const double d3 = x - z[3];
  const double d01 = d0 * d1;
  const double d23 = d2 * d3;
  const double l0 = d1 * d23 * weights[0];
  const double l1 = d0 * d23 * weights[1];
  const double l2 = d01 * d3 * weights[2];
  const double l3 = d01 * d2 * weights[3];
  return {f[0] * l0 + f[1] * l1 + f[2] * l2 + f[3] * l3,
          g[0] * l0 + g[1] * l1 + g[2] * l2 + g[3] * l3};
}

// The weights w_i = 1 / ((z_i - z_a)(z_i - z_b)(z_i - z_c)) of the stencil z_0 ... z_3.
inline void stencil_weights(const double* z, double* weights) {
  for (int i = 0; i < 4; ++i) {
    double product = 1.0;
    for (int j = 0; j < 4; ++j) {
      if (j != i) product *= z[i] - z[j];
    }
    weights[i] = 1.0 / product;
  }
}

}  // namespace kt
