// The one tridiagonal solver of every scheme: Gaussian elimination without pivoting (the
// Thomas algorithm), for the diagonally dominant systems of the implicit heat steps.
//
// Rows k = 0 ... n-1 of
//
//   lower_k x_{k-1} + diagonal_k x_k + upper_k x_{k+1} = rhs_k     (lower_0, upper_{n-1} unused)
//
// are eliminated downwards, w_k = upper_k / p_k, x_k = (rhs_k - lower_k x_{k-1}) / p_k with the
// pivot p_k = diagonal_k - lower_k w_{k-1}, then substituted upwards, x_k -= w_k x_{k+1}. A
// second right-hand side shares the pivots. The arithmetic is exactly this order in every caller,
// so a scheme's results do not depend on which caller's layout the rows come in.
#pragma once

namespace kt {

// One row of the system: its three coefficients and one or two right-hand sides.
struct TridiagonalRow {
  double lower = 0.0;
  double diagonal = 0.0;
  double upper = 0.0;
  double rhs = 0.0;
  double rhs2 = 0.0;  // read only when a second solution is asked for
};

// row(k) gives row k (0 ... n-1, in increasing k, once each); x (and y, when not null) receive
// the solutions for rhs (and rhs2); work holds n values. x, y and work are 0-based and may be
// offset pointers into a caller's arrays; they may be the arrays row() reads, as row(k) is taken
// before index k is written.
template <class RowAt>
void solve_tridiagonal_rows(int n, RowAt&& row, double* x, double* work, double* y = nullptr) {
  TridiagonalRow r = row(0);
  double pivot = r.diagonal;
  work[0] = r.upper / pivot;
  x[0] = r.rhs / pivot;
  if (y != nullptr) y[0] = r.rhs2 / pivot;
  for (int k = 1; k < n; ++k) {
    r = row(k);
    pivot = r.diagonal - r.lower * work[k - 1];
    work[k] = r.upper / pivot;
    x[k] = (r.rhs - r.lower * x[k - 1]) / pivot;
    if (y != nullptr) y[k] = (r.rhs2 - r.lower * y[k - 1]) / pivot;
  }
  for (int k = n - 2; k >= 0; --k) {
    x[k] -= work[k] * x[k + 1];
    if (y != nullptr) y[k] -= work[k] * y[k + 1];
  }
}

}  // namespace kt
