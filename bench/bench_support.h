// What the benchmarks share: the default parameters and a run that writes no files.
#pragma once

#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt::bench {

inline ParameterSet default_parameters() {
  ParameterSet p;
  set_default_parameter_groups(p);
  return p;
}

inline RunOptions headless() {
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  return options;
}

}  // namespace kt::bench
