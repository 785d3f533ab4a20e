// The spot in Python: kestrium.crater (a crater's profile as NumPy arrays) and the fits of
// measured crater diameters and of measured thresholds (kestrium.analysis.fit_diameters,
// fit_thresholds). Conversions only: the work is the engine's and the analyses'.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>

#include "analysis/lab_thresholds.h"
#include "engine/crater.h"
#include "engine/spot_train.h"
#include "python/arrays.h"
#include "python/bindings.h"
#include "python/interruptible.h"

namespace py = pybind11;

namespace kt::python {
namespace {

py::array_t<double> rows(const std::vector<std::vector<double>>& table) {
  const std::size_t n = table.size(), m = table.empty() ? 0 : table.front().size();
  py::array_t<double> out({n, m});
  auto view = out.mutable_unchecked<2>();
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < m; ++i)
      view(static_cast<py::ssize_t>(k), static_cast<py::ssize_t>(i)) = table[k][i];
  return out;
}

py::dict crater(const ParameterSet& parameters, const py::dict& keywords, double depth, int jobs,
                int refinement) {
  RunSetup setup = experiment_setup(keywords);
  if (!setup.spot.active()) throw py::value_error("crater needs a spot: give spot_radius_um=");
  ParameterSet p = parameters;
  if (std::string refusal = setup.apply_material_values(p); !refusal.empty())
    throw py::value_error(refusal);
  Crater c;
  double light = 0.0, surface = 0.0;
  // Ctrl-C stops every run at its next step (a train's runs waiting for the cooling too) and
  // raises KeyboardInterrupt; nothing is written.
  std::atomic<bool> interrupt{false};
  run_interruptible(
      [&] {
        if (setup.is_train()) {
          SpotTrainRequest request;
          request.parameters = p;
          request.setup = setup;
          request.centre.write_profile_files = false;
          request.centre.append_kinetics_line = false;
          request.centre.refinement = refinement;
          request.centre.interrupt = &interrupt;
          const SpotTrainResult r = run_spot_train(request);
          c = r.crater;
          c.error = !r.error.empty() ? r.error : r.failure;
          light = r.light_uj;
          surface = r.surface_loss_uj;
        } else {
          CraterRequest request;
          request.parameters = p;
          request.setup = setup;
          request.diameter_depth_nm = depth;
          request.jobs = jobs;
          request.refinement = refinement;
          request.interrupt = &interrupt;
          c = compute_crater(request);
        }
      },
      [&] { interrupt.store(true); });
  if (!c.error.empty()) throw py::value_error(c.error);
  py::dict d;
  d["radius_um"] = to_array(std::vector<double>(c.radius_um));
  d["fluence"] = to_array(std::vector<double>(c.fluence));
  d["depth_nm"] = rows(c.depth_nm);
  d["cumulative_nm"] = rows(c.cumulative_nm);
  d["volume_um3"] = to_array(std::vector<double>(c.volume_um3));
  d["diameter_um"] = to_array(std::vector<double>(c.diameter_um));
  d["pulse_energy_uj"] = c.pulse_energy_uj;
  d["interpolation_error_nm"] = c.interpolation_error_nm;
  d["runs"] = c.runs;
  if (setup.is_train()) {
    d["light_uj"] = light;
    d["surface_loss_uj"] = surface;
  }
  return d;
}

py::object fit_diameters(const std::string& path) {
  std::string error;
  const std::optional<DiameterData> data = read_diameter_file(path, error);
  if (!data) throw py::value_error(error);
  const D2Fit fit = fit_d2(data->points);
  if (!fit.ok) throw py::value_error(path + ": " + fit.message);
  py::dict d;
  d["threshold_fluence"] = fit.threshold_fluence;
  d["threshold_stderr"] = fit.threshold_stderr;
  d["radius_um"] = fit.radius_um;
  d["radius_stderr"] = fit.radius_stderr;
  d["s"] = fit.s_fitted ? py::object(py::float_(fit.s)) : py::object(py::none());
  d["s_stderr"] = fit.s_fitted ? py::object(py::float_(fit.s_stderr)) : py::object(py::none());
  d["points"] = fit.points;
  py::dict a;  // besides the values, which are attributes too
  a["threshold_energy_uj"] = fit.threshold_energy_uj;
  a["rms_residual_um2"] = fit.rms_residual_um2;
  return make_result("DiameterFit", d, a);
}

py::object fit_thresholds(const std::string& path) {
  std::string error;
  const std::optional<ThresholdData> data = read_threshold_file(path, error);
  if (!data) throw py::value_error(error);
  const IncubationFit fit = fit_incubation(data->points);
  if (!fit.ok) throw py::value_error(path + ": " + fit.message);
  py::dict d;
  d["s"] = fit.s;
  d["s_stderr"] = fit.s_stderr;
  d["single_pulse_threshold"] = fit.single_pulse_threshold;
  d["single_pulse_stderr"] = fit.single_pulse_stderr;
  py::dict a;  // besides the values, which are attributes too
  a["chi2"] = fit.chi2;
  a["dof"] = fit.dof;
  a["weighted"] = fit.weighted;
  return make_result("IncubationFit", d, a);
}

}  // namespace

void bind_spot(py::module_& m) {
  m.def("_crater", &crater, py::arg("parameters"), py::arg("keywords"), py::arg("depth"),
        py::arg("jobs"), py::arg("refinement"));
  m.def("_fit_diameters", &fit_diameters, py::arg("path"));
  m.def("_fit_thresholds", &fit_thresholds, py::arg("path"));
}

}  // namespace kt::python
