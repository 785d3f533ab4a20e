// The plot operations of the page: the temporal panel and the two spatial panels of a
// calculation run, drawn through the display operations on the main window.
#pragma once

#include <cstdint>

#include "graphics/page_conventions.h"
#include "graphics/plot_handoff.h"
#include "graphics/spatial_plot.h"
#include "graphics/temporal_plot.h"

namespace kt {

// Holds the state of both plots between calls. Used from the run's thread only, one call at a
// time; the page geometry must outlive it. All storage is allocated on construction.
class PagePlots {
 public:
  explicit PagePlots(const PageGeometry& page) : temporal_(page), spatial_(page) {}

  void plot_temporal(std::int32_t mode, float time_ns, float surface_temperature_k,
                     float front_velocity_cm_s, float ablated_depth_nm, float surface_fraction,
                     const PlotScaleSet& scales, const PlotCurveSwitches& switches) {
    temporal_.plot_temporal(mode, time_ns, surface_temperature_k, front_velocity_cm_s,
                            ablated_depth_nm, surface_fraction, scales, switches);
  }

  void plot_spatial(std::int32_t mode, std::int32_t curves, const ProfileArrays& profiles,
                    const PlotScaleSet& scales) {
    spatial_.plot_spatial(mode, curves, profiles, scales);
  }

  // After a run ended by Stop.
  void mark_stopped() { temporal_.mark_stopped(); }

  const TemporalPlot& temporal() const { return temporal_; }
  const SpatialPlot& spatial() const { return spatial_; }

 private:
  TemporalPlot temporal_;
  SpatialPlot spatial_;
};

}  // namespace kt
