// A focused laser spot: the local fluence F(r) at the distance r from the spot's centre, for a
// peak fluence F0 at the centre,
//
//   Gaussian:  F(r) = F0 exp(-2 r^2 / w^2)   (w the radius at 1/e^2; pulse energy pi w^2 F0 / 2)
//   top-hat:   F(r) = F0 for r <= w, 0 beyond (pulse energy pi w^2 F0)
//
// and the surface losses of the cooling between a spot's pulses (convection and radiation).
#pragma once

#include <cmath>
#include <string>

namespace kt {

struct SpotPlan {
  enum class Beam { none, gaussian, tophat };
  Beam beam = Beam::none;
  double radius_um = 0.0;      // w
  double heat_transfer = 0.0;  // W/(cm^2 K), convection
  double emissivity = 0.0;     // radiation

  bool active() const { return beam != Beam::none && radius_um > 0.0; }

  // The local fluence at r [um] for the peak fluence `peak` (any unit).
  double fluence_at(double peak, double r_um) const {
    switch (beam) {
      case Beam::gaussian:
        return peak * std::exp(-2.0 * r_um * r_um / (radius_um * radius_um));
      case Beam::tophat:
        return r_um <= radius_um ? peak : 0.0;
      case Beam::none:
        break;
    }
    return peak;
  }

  // The pulse energy [uJ] for the peak fluence [mJ/cm^2], and back.
  double pulse_energy_uj(double peak) const {
    const double area_cm2 = M_PI * radius_um * radius_um * 1e-8;
    return peak * area_cm2 * (beam == Beam::gaussian ? 0.5 : 1.0) * 1e3;
  }
  double peak_fluence(double energy_uj) const { return energy_uj / pulse_energy_uj(1.0); }

  // The radius of the region drawn and computed: 1.5 w for a Gaussian (F = 1.1 % of F0 there),
  // 1.25 w for a top-hat.
  double reach_um() const { return (beam == Beam::gaussian ? 1.5 : 1.25) * radius_um; }
};

// "gaussian" or "tophat" (empty for none), and back (false for any other text).
inline const char* beam_name(SpotPlan::Beam beam) {
  return beam == SpotPlan::Beam::gaussian ? "gaussian"
         : beam == SpotPlan::Beam::tophat ? "tophat"
                                          : "";
}
inline bool parse_beam(const std::string& text, SpotPlan::Beam& beam) {
  if (text == "gaussian") {
    beam = SpotPlan::Beam::gaussian;
  } else if (text == "tophat") {
    beam = SpotPlan::Beam::tophat;
  } else if (text.empty()) {
    beam = SpotPlan::Beam::none;
  } else {
    return false;
  }
  return true;
}

}  // namespace kt
