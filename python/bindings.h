// The parts of the compiled module defined in files of their own, each added to the module by
// its function.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace kt::python {

// fit, threshold and the measured-data reader (analysis_bindings.cpp).
void bind_analysis(pybind11::module_& m);

// A message of the engine, the analyses or the solver with the batch runner's options named as
// the Python calls' keyword arguments (wording.cpp), and the exception translation using it.
std::string python_words(std::string message);
void bind_wording(pybind11::module_& m);

// Parameter studies on local threads or a Dask cluster's workers (study_bindings.cpp).
void bind_study(pybind11::module_& m);

}  // namespace kt::python
