// The plots of the page as a run's observer: the temporal panel and the two spatial panels of a
// calculation run, drawn through the display operations on the main window.
#pragma once

#include <atomic>
#include <cstdint>

#include "graphics/page_conventions.h"
#include "graphics/plot_scales.h"
#include "graphics/pulse_panel.h"
#include "graphics/spatial_plot.h"
#include "graphics/temporal_plot.h"
#include "solver/calculation_run.h"
#include "solver/run_observer.h"

namespace kt {

// The curves argument of the spatial plot: Tz + 2 Fz in the bulk model, Tz in the surface one.
std::int32_t spatial_curves(AblationModel model, const PlotCurveSwitches& switches);

// Holds the state of both plots between calls. Told of a run on the run's thread only, one call
// at a time; the page geometry must outlive it. All storage is allocated on construction.
class PagePlots : public RunObserver {
 public:
  explicit PagePlots(const PageGeometry& page) : temporal_(page), spatial_(page), pulses_(page) {}

  // The page at the run's end only: each step's readouts and profiles are kept and drawn once
  // when the run ends, giving the very pixels that drawing every step ends with (the curves are
  // still drawn step by step). For a picture of the finished run; the live page draws each step.
  void draw_final_page_only() {
    temporal_.keep_readouts(true);
    spatial_.keep_profiles(true);
  }

  // The axes from the set the run took (plot_scales), then as start().
  void run_started(const RunConstants& constants, const ParameterSet& taken,
                   std::int32_t profile_node_count, const PlotCurveSwitches& switches) override;
  // A run on these axes: the temporal panel is made afresh, with the ambient temperature at
  // time 0.
  void start(const RunConstants& constants, const PlotScaleSet& scales,
             const PlotCurveSwitches& switches);
  // Both panels follow the step; the spatial ones are made afresh at the run's first step.
  void step_done(const StepRecord& record, const ProfileArrays& profiles) override;
  // A train: the pulse panel shows the pulse under way, and from the second pulse on the
  // temporal panel is made afresh for it (its time counted from the pulse's start).
  void pulse_started(int pulse, int pulses, double time_offset_ns) override;
  // A train: the pulse's depth joins the pulse panel.
  void pulse_done(const PulseRecord& record) override;
  // The kept readouts and profiles; a run ended by Stop: "stopped" beside the time readout,
  // until the next run.
  void run_ended(const RunOutcome& outcome) override;

  // Any thread: the scheme of the runs started from now on. The temporal panel of a run on the
  // accurate scheme says so; the scheme is taken when the run starts, so a change during a run
  // leaves its page as it is.
  void set_scheme(Scheme scheme) { next_scheme_.store(scheme); }

  // Draws the panels of the latest run again for the page as it is now (its size changed);
  // `profiles` are the latest profile arrays. Nothing when no run has drawn.
  void relayout(const ProfileArrays& profiles);

  const TemporalPlot& temporal() const { return temporal_; }
  const SpatialPlot& spatial() const { return spatial_; }
  const PulsePanel& pulses() const { return pulses_; }

 private:
  TemporalPlot temporal_;
  SpatialPlot spatial_;
  PulsePanel pulses_;
  PlotScaleSet scales_;
  PlotCurveSwitches switches_;
  float last_surface_k_ = 0.0f;  // of the latest step: where a train's next pulse starts
  double time_offset_ns_ = 0.0;  // a train: when the pulse under way started
  bool train_ = false;           // a train is drawn: the pulse panel is laid out again too
  AblationModel model_ = AblationModel::bulk;
  bool first_step_ = true;
  std::atomic<Scheme> next_scheme_{Scheme::published};
};

}  // namespace kt
