#include "solver/spot_cooling.h"

#include <algorithm>

namespace kt {

bool SpotTrainCooling::exchange(int column, const RunConstants& constants,
                                const MaterialIntegrals& material, const std::vector<double>& z,
                                const std::vector<double>& volume, int run_nodes, double pulse_time,
                                std::vector<double>& theta, std::vector<double>& phi) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (failed_) return false;
  if (!grid_) {
    AxisymmetricGrid g;
    g.z = z;
    g.volume.assign(volume.begin(), volume.begin() + static_cast<std::ptrdiff_t>(z.size() - 1));
    g.r = plan_.radius;
    grid_ = std::make_unique<AxisymmetricCooling>(
        constants, material, std::move(g), plan_.heat_transfer, plan_.emissivity, run_nodes - 1);
  }
  const int rows = grid_->rows();
  for (int i = 0; i < rows; ++i) {
    grid_->theta(column, i) = theta[static_cast<std::size_t>(i)];
    grid_->phi(column, i) = phi[static_cast<std::size_t>(i)];
  }
  pulse_time_ = std::max(pulse_time_, pulse_time);
  ++arrived_;
  if (arrived_ + left_ == plan_.runs) {
    if (left_ > 0) {
      failed_ = true;
      failure_ = "a run of the spot's train ended early, so the cooling between its pulses stops";
    } else {
      // The steps grow from the pulse's time step; the interval ends at the next pulse.
      if (!grid_->cool(plan_.interval - pulse_time_, constants.time_step, plan_.step_growth)) {
        failed_ = true;
        failure_ = grid_->failure();
      }
      centre_before_.push_back(grid_->theta(0, 0));
    }
    arrived_ = 0;
    pulse_time_ = 0.0;
    ++generation_;
    turn_.notify_all();
  } else {
    const long generation = generation_;
    turn_.wait(lock, [&] { return generation_ != generation; });
  }
  if (failed_) return false;
  for (int i = 0; i < rows; ++i) {
    theta[static_cast<std::size_t>(i)] = grid_->theta(column, i);
    phi[static_cast<std::size_t>(i)] = grid_->phi(column, i);
  }
  return true;
}

void SpotTrainCooling::leave(int) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++left_;
  if (arrived_ > 0 && arrived_ + left_ == plan_.runs) {
    failed_ = true;
    failure_ = "a run of the spot's train ended early, so the cooling between its pulses stops";
    arrived_ = 0;
    ++generation_;
    turn_.notify_all();
  }
}

std::string SpotTrainCooling::failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

}  // namespace kt
