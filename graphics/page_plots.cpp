#include "graphics/page_plots.h"

namespace kt {

std::int32_t spatial_curves(AblationModel model, const PlotCurveSwitches& switches) {
  const std::int32_t tz = switches.show_temperature_profile ? 1 : 0;
  const std::int32_t fz = switches.show_fraction_profile ? 1 : 0;
  return model == AblationModel::bulk ? tz + 2 * fz : tz;
}

void PagePlots::run_started(const RunConstants& constants, const ParameterSet& taken,
                            std::int32_t profile_node_count, const PlotCurveSwitches& switches) {
  start(constants, plot_scales(taken, profile_node_count), switches);
}

void PagePlots::start(const RunConstants& constants, const PlotScaleSet& scales,
                      const PlotCurveSwitches& switches) {
  scales_ = scales;
  switches_ = switches;
  model_ = constants.model;
  time_offset_ns_ = 0.0;
  train_ = false;
  first_step_ = true;
  temporal_.set_scheme_mark(next_scheme_.load() == Scheme::accurate);
  temporal_.plot_temporal(1, 0.0f, static_cast<float>(constants.ambient_temperature), 0.0f, 0.0f,
                          0.0f, scales_, switches);
}

void PagePlots::step_done(const StepRecord& record, const ProfileArrays& profiles) {
  const OutputValues& v = record.shown;
  // A train's temporal panel shows the pulse under way, from its start.
  const float time_ns = train_ ? static_cast<float>(record.time_ns - time_offset_ns_) : v.time_ns;
  last_surface_k_ = v.surface_temperature_k;
  switches_ = record.switches;
  temporal_.plot_temporal(0, time_ns, v.surface_temperature_k, v.velocity_cm_s, v.plotted_depth_nm,
                          v.surface_fraction, scales_, record.switches);
  spatial_.plot_spatial(first_step_ ? 1 : 0, spatial_curves(model_, record.switches), profiles,
                        scales_);
  first_step_ = false;
}

void PagePlots::pulse_started(int pulse, int pulses, double time_offset_ns) {
  time_offset_ns_ = time_offset_ns;
  if (pulse <= 1 || !train_) {
    train_ = true;
    pulses_.start(pulses);
  } else {
    temporal_.plot_temporal(1, 0.0f, last_surface_k_, 0.0f, 0.0f, 0.0f, scales_, switches_);
  }
  pulses_.pulse_started(pulse);
}

void PagePlots::pulse_done(const PulseRecord& record) {
  pulses_.pulse_done(record.pulse, record.total_depth_nm);
}

void PagePlots::relayout(const ProfileArrays& profiles) {
  temporal_.relayout();
  spatial_.relayout(profiles);
  if (train_) pulses_.relayout();
}

void PagePlots::run_ended(const RunOutcome& outcome) {
  temporal_.draw_kept_readouts();
  spatial_.draw_kept_profiles();
  if (outcome.end == RunEnd::stop) temporal_.mark_stopped();
}

}  // namespace kt
