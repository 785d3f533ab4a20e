// The two spatial-distribution panels: the depth profiles (depth in nm) of the temperature (K)
// and of the fraction of broken bonds. Every step the previous profile is painted over in the
// background colour and the current one drawn; the temperature axis doubles when the profile
// outgrows it, the depth and fraction axes are fixed.
#pragma once

#include <array>
#include <cstdint>

#include "display/display.h"
#include "display/drawing_context.h"
#include "graphics/page_conventions.h"
#include "graphics/plot_scales.h"
#include "solver/step_profiles.h"

namespace kt {

// Frame of one profile panel, in page pixels.
struct ProfilePanelLayout {
  int x0 = 0, y0 = 0, w = 0, h = 0;
  int x1 = 0, y1 = 0;
  int dx = 0, dy = 0;
};

ProfilePanelLayout profile_panel_layout(const PageGeometry& page, float x_fraction,
                                        float y_fraction, float width_fraction,
                                        float height_fraction);

class SpatialPlot {
 public:
  static constexpr std::int32_t kTemperatureKind = 1;
  static constexpr std::int32_t kFractionKind = 2;

  // The page is read at every call; it must outlive the plot.
  explicit SpatialPlot(const PageGeometry& page);

  // Mode 1 initialises, mode 0 repaints the selected panels; curves 0 none, 1 temperature,
  // 2 fraction, 3 both. Whenever curves is not 0 the current profiles are then kept as the
  // previous ones. A panel selected for the first time after the mode-1 call of a run is
  // initialised (frame and labels) before its first repaint.
  void plot_spatial(std::int32_t mode, std::int32_t curves, const ProfileArrays& profiles,
                    const PlotScaleSet& scales);

  // Draws the panels drawn so far in this run again for the page as it is now (its size
  // changed): frame and labels at the current temperature top, and the latest profiles, at the
  // depths of `profiles`.
  void relayout(const ProfileArrays& profiles);

  // One panel: mode 1 draws frame, ticks and labels; any other mode repaints the profile.
  // The arrays are 1-based like the profile arrays.
  void draw_profile_panel(std::int32_t mode, std::int32_t kind, float x_fraction, float y_fraction,
                          float width_fraction, float height_fraction, const float* depths,
                          const float* current, const float* previous);

  // With `keep` the profiles of every step are only kept (the temperature axis still follows
  // them) and draw_kept_profiles draws what the panels would show after the last of them: the
  // page that a drawing of every step ends with, for the cost of one drawing.
  void keep_profiles(bool keep) { keep_profiles_ = keep; }
  void draw_kept_profiles();

  float temperature_top() const { return temperature_top_; }
  float depth_top() const { return depth_top_; }
  std::int32_t last_node() const { return last_node_; }
  const std::array<float, kProfileCapacity + 1>& previous_temperature_profile() const {
    return previous_temperature_profile_;
  }
  const std::array<float, kProfileCapacity + 1>& previous_fraction_profile() const {
    return previous_fraction_profile_;
  }

 private:
  void reset_scales(const PlotScaleSet& scales);
  void initialise_panel(std::int32_t kind, const ProfilePanelLayout& l);
  void repaint_panel(std::int32_t kind, const ProfilePanelLayout& l, const float* depths,
                     const float* current, const float* previous);
  // True when the temperature axis had to grow for `current` (it has grown).
  bool grow_temperature_axis(const float* depths, const float* current);
  // The new temperature labels and the cleared panel after the axis has grown.
  void redraw_temperature_panel(const ProfilePanelLayout& l);
  // The previous profile in the background colour and the current one, segment by segment.
  void draw_profiles(std::int32_t kind, const ProfilePanelLayout& l, const float* depths,
                     const float* current, const float* previous);
  void draw_y_labels(std::int32_t kind, const ProfilePanelLayout& l);
  void draw_panel(std::int32_t mode, std::int32_t kind, const ProfileArrays& profiles,
                  const float* previous);

  const PageGeometry& page_;
  std::int32_t node_count_ = 0;
  std::int32_t last_node_ = 0;
  float depth_top_ = 1.0f;
  float temperature_top_ = 1.0f;
  // Set for a panel once it has been initialised in the current run.
  std::array<bool, 2> initialised_{false, false};
  // Kept profiles: a repaint is owed to the panel, and its temperature labels changed.
  bool keep_profiles_ = false;
  std::array<bool, 2> repaint_owed_{false, false};
  bool temperature_labels_owed_ = false;
  // The depths and the previous profiles of the last repaint kept; its current profiles are
  // then the previous ones above.
  std::array<float, kProfileCapacity + 1> kept_depths_{};
  std::array<float, kProfileCapacity + 1> kept_previous_temperature_{};
  std::array<float, kProfileCapacity + 1> kept_previous_fraction_{};
  std::array<float, kProfileCapacity + 1> previous_temperature_profile_{};
  std::array<float, kProfileCapacity + 1> previous_fraction_profile_{};
  NumberField label_;
  FontField font_;
  display::DrawingContext pen_;  // the panel draws through its own pen
  // The two profiles of one repaint, segment by segment in drawing order (fixed storage).
  std::array<display::RealSegment, 2 * kProfileCapacity> segments_{};
};

}  // namespace kt
