// The cooling between the pulses of a train with a focused spot, shared by the runs at the
// spot's radii. Each radius is a run of its own (one thread each, the pulses one-dimensional at
// the local fluence); after every pulse but the last each run hands its wide profile (the train's
// wide grid, pulse_train.h) to this object and waits; when every radius has arrived the heat
// conducts in r and z (axisymmetric_cooling.h) with the surface losses, up to the next pulse, and
// each run takes its column back. Radii beyond the runs (up to the radial reach) carry heat
// only. The Lambda term of the 1-D cooling is not applied (the surface losses replace it); in the
// pulses it stays as it is. A run that ends early (stopped, diverged) makes every other one end
// at its next cooling, with the reason.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "solver/axisymmetric_cooling.h"

namespace kt {

struct SpotCoolingPlan {
  std::vector<double> radius;  // scaled radial nodes: the runs' radii first, the last theta = 0
  int runs = 0;                // the first `runs` radial nodes have runs
  double heat_transfer = 0.0;  // W/(cm^2 K)
  double emissivity = 0.0;
  double interval = 0.0;  // scaled time from pulse to pulse
  double step_growth = 1.01;
};

class SpotTrainCooling {
 public:
  explicit SpotTrainCooling(SpotCoolingPlan plan) : plan_(std::move(plan)) {}

  // Run `column`'s wide profile in (theta and phi at the wide grid's nodes but the last), the
  // cooling, the profile back. `pulse_time` is the scaled length of the pulse's run. False when
  // the cooling failed or another run ended; failure() says why.
  bool exchange(int column, const RunConstants& constants, const MaterialIntegrals& material,
                const std::vector<double>& z, const std::vector<double>& volume, int run_nodes,
                double pulse_time, std::vector<double>& theta, std::vector<double>& phi);
  // A run that has ended, whichever way.
  void leave(int column);

  std::string failure() const;
  // The temperature rise before each pulse from the second at the centre's surface (scaled).
  const std::vector<double>& centre_before() const { return centre_before_; }
  // Summed over the intervals (scaled energy times scaled area).
  double surface_loss() const { return grid_ ? grid_->surface_loss() : 0.0; }
  double far_loss() const { return grid_ ? grid_->far_loss() : 0.0; }
  double heat() const { return grid_ ? grid_->heat() : 0.0; }

 private:
  SpotCoolingPlan plan_;
  mutable std::mutex mutex_;
  std::condition_variable turn_;
  std::unique_ptr<AxisymmetricCooling> grid_;
  int arrived_ = 0, left_ = 0;
  long generation_ = 0;
  bool failed_ = false;
  double pulse_time_ = 0.0;
  std::string failure_;
  std::vector<double> centre_before_;
};

}  // namespace kt
