// The axisymmetric cooling between a spot's pulses (see axisymmetric_cooling.h).
#include "solver/axisymmetric_cooling.h"

#include <algorithm>
#include <cmath>

#include "params/number_format.h"
#include "solver/newton.h"
#include "solver/tridiagonal.h"

namespace kt {

namespace {

constexpr int kNewtonLimit = 30;
constexpr double kNewtonTolerance = 1e-10;  // relative change of the absolute temperatures
constexpr double kScaledFlux = 1e7;         // W/cm^2 per scaled flux unit

}  // namespace

AxisymmetricCooling::AxisymmetricCooling(const RunConstants& constants,
                                         const MaterialIntegrals& material, AxisymmetricGrid grid,
                                         double heat_transfer, double emissivity, int reacting_rows)
    : r_(constants),
      material_(material),
      grid_(std::move(grid)),
      heat_transfer_(heat_transfer),
      emissivity_(emissivity),
      reacting_rows_(reacting_rows) {
  const std::vector<double>& r = grid_.r;
  const std::size_t columns = r.size() - 1;
  double inner = 0.0;
  for (std::size_t j = 0; j < columns; ++j) {
    const double face = (r[j] + r[j + 1]) / 2.0;
    area_.push_back(M_PI * (face * face - inner * inner));
    radial_conductance_.push_back(r_.diffusivity * 2.0 * M_PI * face / (r[j + 1] - r[j]));
    inner = face;
  }
  theta_.assign(columns * static_cast<std::size_t>(rows()), 0.0);
  phi_.assign(theta_.size(), 0.0);
}

double AxisymmetricCooling::loss_flux(double theta, double& derivative) const {
  const double t = (r_.ambient + theta) * r_.heating_scale;
  const double t0 = r_.ambient * r_.heating_scale;
  const double q = heat_transfer_ * (t - t0) +
                   emissivity_ * kStefanBoltzmann * (t * t * t * t - t0 * t0 * t0 * t0);
  derivative = (heat_transfer_ + 4.0 * emissivity_ * kStefanBoltzmann * t * t * t) *
               r_.heating_scale / kScaledFlux;
  return q / kScaledFlux;
}

bool AxisymmetricCooling::solve_line(double h, std::size_t n, const std::vector<std::size_t>& at,
                                     const std::vector<double>& capacity,
                                     const std::vector<double>& g,
                                     const std::vector<double>& old_enthalpy,
                                     const std::vector<double>& sink, bool surface,
                                     double surface_area) {
  diag_.resize(n);
  lower_.resize(n);
  upper_.resize(n);
  residual_.resize(n);
  line_.resize(n);
  step_.resize(n);
  work_.resize(n);
  for (std::size_t k = 0; k < n; ++k) line_[k] = theta_[at[k]];
  std::vector<MaterialPoint> p(n);
  for (int iteration = 1; iteration <= kNewtonLimit; ++iteration) {
    for (std::size_t k = 0; k < n; ++k) p[k] = evaluate_material(material_, line_[k]);
    for (std::size_t k = 0; k < n; ++k) {
      const double below = k + 1 < n ? p[k + 1].potential : 0.0;
      residual_[k] = capacity[k] * ((p[k].enthalpy - old_enthalpy[k]) / h + sink[k]) -
                     g[k] * (below - p[k].potential) +
                     (k > 0 ? g[k - 1] * (p[k].potential - p[k - 1].potential) : 0.0);
      diag_[k] = capacity[k] * p[k].heat_capacity / h +
                 (g[k] + (k > 0 ? g[k - 1] : 0.0)) * p[k].conduction;
      upper_[k] = k + 1 < n ? -g[k] * p[k + 1].conduction : 0.0;
      lower_[k] = k > 0 ? -g[k - 1] * p[k - 1].conduction : 0.0;
    }
    if (surface) {
      double derivative = 0.0;
      step_surface_ = surface_area * loss_flux(line_[0], derivative);
      residual_[0] += step_surface_;
      diag_[0] += surface_area * derivative;
    }
    // J dx = -R, then the limited update.
    solve_tridiagonal_rows(
        static_cast<int>(n),
        [&](int k) {
          const auto i = static_cast<std::size_t>(k);
          return TridiagonalRow{lower_[i], diag_[i], upper_[i], -residual_[i]};
        },
        step_.data(), work_.data());
    const NewtonUpdate update = measure_newton_step(line_.data(), step_.data(), n, r_.ambient);
    if (!update.finite) break;
    for (std::size_t k = 0; k < n; ++k) line_[k] += update.scale * step_[k];
    if (update.converged(kNewtonTolerance)) {
      for (std::size_t k = 0; k < n; ++k) theta_[at[k]] = line_[k];
      if (surface) {
        double derivative = 0.0;
        step_surface_ = surface_area * loss_flux(line_[0], derivative);
      }
      far_loss_ += h * g[n - 1] * material_potential(material_, line_[n - 1]);
      return true;
    }
  }
  failure_ = "the axisymmetric cooling between pulses did not converge (surface temperature " +
             format_fixed((r_.ambient + line_[0]) * r_.heating_scale, 10, 1) + " K)";
  return false;
}

bool AxisymmetricCooling::z_sweep(double h) {
  const std::size_t n = static_cast<std::size_t>(rows());
  std::vector<std::size_t> at(n);
  std::vector<double> capacity(n), g(n), old_enthalpy(n), sink(n), rate_old(n);
  for (int j = 0; j < columns(); ++j) {
    const double a = area_[static_cast<std::size_t>(j)];
    for (std::size_t i = 0; i < n; ++i) {
      at[i] = index(j, static_cast<int>(i));
      capacity[i] = a * grid_.volume[i];
      g[i] = a * r_.diffusivity / (grid_.z[i + 1] - grid_.z[i]);
      old_enthalpy[i] = material_enthalpy(material_, theta_[at[i]]);
      rate_old[i] = static_cast<int>(i) < reacting_rows_ && r_.rate_ko != 0.0
                        ? r_.rate_ko * std::exp(-r_.activation_eb / (r_.ambient + theta_[at[i]]))
                        : 0.0;
      sink[i] = r_.enthalpy_dhb * (1.0 - phi_[at[i]]) * rate_old[i];
      reaction_ += h * capacity[i] * sink[i];
    }
    if (!solve_line(h, n, at, capacity, g, old_enthalpy, sink, true, a)) return false;
    surface_loss_ += h * step_surface_;
    for (std::size_t i = 0; i < n && rate_old[i] != 0.0; ++i) {
      const double rate = r_.rate_ko * std::exp(-r_.activation_eb / (r_.ambient + theta_[at[i]]));
      phi_[at[i]] = 1.0 - (1.0 - phi_[at[i]]) * std::exp(-h * (rate_old[i] + rate) / 2.0);
    }
  }
  return true;
}

bool AxisymmetricCooling::r_sweep(double h) {
  const std::size_t n = static_cast<std::size_t>(columns());
  std::vector<std::size_t> at(n);
  std::vector<double> capacity(n), g(n), old_enthalpy(n), sink(n, 0.0);
  for (int i = 0; i < rows(); ++i) {
    const double v = grid_.volume[static_cast<std::size_t>(i)];
    for (std::size_t j = 0; j < n; ++j) {
      at[j] = index(static_cast<int>(j), i);
      capacity[j] = v * area_[j];
      g[j] = v * radial_conductance_[j];
      old_enthalpy[j] = material_enthalpy(material_, theta_[at[j]]);
    }
    if (!solve_line(h, n, at, capacity, g, old_enthalpy, sink, false, 0.0)) return false;
  }
  return true;
}

bool AxisymmetricCooling::cool(double duration, double first_step, double growth) {
  double step = first_step;
  double done = 0.0;
  while (done < duration) {
    const double h = std::min(step, duration - done);
    if (!z_sweep(h) || !r_sweep(h)) return false;
    done += h;
    step *= growth;
  }
  return true;
}

double AxisymmetricCooling::heat() const {
  double sum = 0.0;
  for (int j = 0; j < columns(); ++j)
    for (int i = 0; i < rows(); ++i)
      sum += area_[static_cast<std::size_t>(j)] * grid_.volume[static_cast<std::size_t>(i)] *
             material_enthalpy(material_, theta_[index(j, i)]);
  return sum;
}

}  // namespace kt
