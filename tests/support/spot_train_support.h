// A spot's train as the tests set it up: an experiment of `pulses` at `rate_hz` on a Gaussian
// spot, made into a train request whose centre writes no file. Header only: the suites that
// use it link the engine themselves.
#pragma once

#include <optional>
#include <string>

#include "engine/experiment_setup.h"
#include "engine/spot_train.h"

namespace kt::test {

// Empty, with the refusal in `error`, when the experiment is refused.
inline std::optional<SpotTrainRequest> gaussian_spot_train(const ParameterSet& parameters,
                                                           double radius_um, int pulses,
                                                           double rate_hz, std::string& error) {
  Experiment e;
  e.beam = "gaussian";
  e.spot_radius_um = radius_um;
  e.pulses = pulses;
  e.rate_hz = rate_hz;
  const Prepared<RunSetup> setup = make_run_setup(e);
  if (!setup) {
    error = setup.refusal.text();
    return std::nullopt;
  }
  SpotTrainRequest train;
  train.parameters = parameters;
  train.setup = *setup;
  train.centre.write_profile_files = false;
  train.centre.append_kinetics_line = false;
  setup->apply(train.centre);
  return train;
}

}  // namespace kt::test
