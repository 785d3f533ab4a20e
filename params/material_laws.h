// Temperature laws of a material's specific heat c(T) and thermal conductivity k(T), as a
// material file gives them: one of the built-in law forms with its coefficients, or a table of
// (T, value) points.
//
//   constant                 v(T) = v0
//   saturating_exponential   v(T) = a - b exp((t_ref - T) / t_scale)
//   power                    v(T) = v_ref (T / t_ref)^exponent
//   table                    v(T) = the monotone piecewise-cubic Hermite interpolant of the
//                            points (T_i, v_i), T_i strictly increasing: slopes by the
//                            Fritsch-Carlson rule, so the curve never overshoots its data and
//                            is monotone wherever the data are. Outside [T_1, T_n] it is not
//                            defined: the run is told (`in_range` false) and ends with a refusal.
//
// Temperatures in K, values in the model's units (J/(g K) for c, W/(cm K) for k). Plain C++,
// no allocation when evaluated.
#pragma once

#include <string>
#include <vector>

namespace kt {

enum class LawForm { constant, saturating_exponential, power, table };

struct PropertyLaw {
  LawForm form = LawForm::constant;
  double value = 0.0;                // constant: v0; power: v_ref
  double a = 0.0;                    // saturating_exponential
  double b = 0.0;                    // saturating_exponential
  double t_ref = 300.0;              // K; saturating_exponential and power
  double t_scale = 1.0;              // K; saturating_exponential
  double exponent = 0.0;             // power
  std::vector<double> temperatures;  // table: K, strictly increasing
  std::vector<double> values;        // table: the property at those temperatures
  std::vector<double> slopes;        // table: filled by prepare()

  // Computes the table's slopes; empty when the law is usable, else what is wrong with it
  // ("fewer than two points", "temperature 400 K on row 3 is not above the one before", ...).
  std::string prepare();
  // The law at T [K]; `in_range` is false (and the value that of the nearest end) outside a
  // table's temperatures.
  double evaluate(double temperature, bool& in_range) const;
};

// Name of a law form as a material file writes it ("power"), and back (false when unknown).
const char* law_form_name(LawForm form);
bool law_form_from_name(const std::string& name, LawForm& form);

}  // namespace kt
