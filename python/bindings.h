// The parts of the compiled module defined in files of their own, each added to the module by
// its function.
#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/material_setup.h"
#include "solver/calculation_run.h"

namespace kt::python {

// The scheme named "published" or "accurate"; ValueError for any other name.
inline Scheme scheme_from_name(const std::string& name) {
  Scheme scheme = Scheme::published;
  if (!parse_scheme(name, scheme)) {
    throw pybind11::value_error("scheme is \"" + name + "\"; it must be published or accurate");
  }
  return scheme;
}

// The material file at `path` put into `parameters` (engine/material_setup.h): its laws, or
// null without a path. ValueError naming the file, the key or line and the problem.
inline std::shared_ptr<const MaterialFile> material_from_path(
    const std::optional<std::filesystem::path>& path, ParameterSet& parameters) {
  if (!path) return nullptr;
  std::shared_ptr<const MaterialFile> material;
  if (std::string refusal = setup_material(*path, parameters, material); !refusal.empty()) {
    throw pybind11::value_error(refusal);
  }
  return material;
}

// fit, threshold and the measured-data reader (analysis_bindings.cpp).
void bind_analysis(pybind11::module_& m);

// A message of the engine, the analyses or the solver with the batch runner's options named as
// the Python calls' keyword arguments (wording.cpp), and the exception translation using it.
std::string python_words(std::string message);
void bind_wording(pybind11::module_& m);

// Parameter studies on local threads or a Dask cluster's workers (study_bindings.cpp).
void bind_study(pybind11::module_& m);

}  // namespace kt::python
