// The parts of the compiled module defined in files of their own, each added to the module by
// its function.
#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/experiment_setup.h"
#include "engine/material_setup.h"
#include "engine/refusal.h"
#include "solver/calculation_run.h"

namespace kt::python {

// kestrium.Experiment, and the setup of runs from the experiment keywords of a call: a dict of
// experiment (None, a path or an Experiment), scheme, pulse_shape, trace, pulses, rate_hz and
// incubated_absorption (None: not given). kestrium.RefusalError on a refusal, its setting the
// keyword at fault (experiment_bindings.cpp).
void bind_experiment(pybind11::module_& m);
// `analysis`: the runs of a fit or threshold (the accurate scheme at 1e-3 unless chosen otherwise).
RunSetup experiment_setup(const pybind11::dict& keywords, bool analysis = false);

// fit, threshold and the measured-data reader (analysis_bindings.cpp).
void bind_analysis(pybind11::module_& m);

// Installs the keyword words (keywords.cpp): the messages of the engine, the analyses and the
// solver name the settings as the Python calls' keyword arguments.
void use_keyword_words();

// An instance of the report class `name` of kestrium/_results.py: a dict of `values` (the keys of
// the batch runner's report) with `attributes` (analysis_bindings.cpp).
pybind11::object make_result(const char* name, const pybind11::dict& values,
                             const pybind11::dict& attributes);

// kestrium.crater and the fits of measured diameters and thresholds (spot_bindings.cpp).
void bind_spot(pybind11::module_& m);

// kestrium.RefusalError, a ValueError with the refusal's problem, setting and remedy
// (refusal_error.cpp); raise_refusal raises it.
void bind_refusal(pybind11::module_& m);
[[noreturn]] void raise_refusal(const Refusal& refusal);

// Parameter studies on local threads or a Dask cluster's workers (study_bindings.cpp).
void bind_study(pybind11::module_& m);

}  // namespace kt::python
