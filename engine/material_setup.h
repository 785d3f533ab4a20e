// A material file in a run: its values replace the parameter set's (density, absorption,
// kinetics; the material becomes "other material" with the file's c and k at its scale) and its
// c(T) and k(T) laws become the run's property laws (RunOptions::material), in both schemes.
// Every front end takes a material this way: the batch runner's and the Python module's
// material, sweeps, studies, thresholds, fits and the experiment file's
// `material =` key.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "params/material_file.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt {

// Reads and checks the material file at `path`. Null on failure, with `error` naming the file,
// the key or line and the problem.
std::shared_ptr<const MaterialFile> load_material_file(const std::filesystem::path& path,
                                                       std::string& error);

// Puts `material` into a run: its values into `parameters` (apply_material) and the material
// into `options.material`. Empty on success; otherwise the refusal naming the file (a value the
// set cannot take, an ambient temperature outside a table or where a law is not positive), and
// neither `parameters` nor `options` is changed.
std::string use_material(const std::shared_ptr<const MaterialFile>& material,
                         ParameterSet& parameters, RunOptions& options);

// load_material_file, then use_material. Empty on success, else the refusal.
std::string setup_material(const std::filesystem::path& path, ParameterSet& parameters,
                           RunOptions& options);

// The same for the engines that carry the material themselves (sweeps, studies, model runs).
std::string setup_material(const std::filesystem::path& path, ParameterSet& parameters,
                           std::shared_ptr<const MaterialFile>& material);

}  // namespace kt
