// The temporal-distributions panel: surface temperature (K), front velocity (cm/s), ablated
// depth (nm) and surface fraction of broken bonds against time (ns). One point per time step;
// only the newest segment of each curve is drawn, an axis that is outgrown doubles and the
// whole stored history is then repainted at the new scale.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "display/drawing_context.h"
#include "graphics/page_conventions.h"
#include "graphics/plot_scales.h"
#include "solver/step_profiles.h"

namespace kt {

// Shown after the time readout once a run has been stopped.
inline constexpr std::string_view kStoppedText = "stopped";
// Shown in the panel's top-left corner while the run drawn is on the accurate scheme (the
// published scheme's panel has no mark).
inline constexpr std::string_view kAccurateSchemeText = "Accurate scheme";

// Frame and label positions of the panel, in page pixels.
struct TemporalLayout {
  int x0 = 0, y0 = 0, w = 0, h = 0;
  int x1 = 0, y1 = 0;
  int dx = 0, dy = 0;  // time-tick and value-tick spacing
  int x_depth = 0;     // left edge of the depth label column
  int x_fraction = 0;  // left edge of the fraction label column
  int x_time = 0;      // x of the time caption
  int y_caption = 0;   // y of the captions above the frame
  int y_row = 0;       // what the readout row's offsets count from: y1, lower at 640 wide
};

TemporalLayout temporal_layout(const PageGeometry& page);

class TemporalPlot {
 public:
  static constexpr int kQuantityCount = 4;  // temperature, velocity, depth, fraction
  static constexpr std::int32_t kPointCapacity = 10000;

  // The page is read at every call; it must outlive the plot. The point store is allocated
  // here, once.
  explicit TemporalPlot(const PageGeometry& page);

  // Mode 1 initialises the panel (the five values are ignored); any other mode adds the point.
  // The switches are read at every call.
  void plot_temporal(std::int32_t mode, float time_ns, float surface_temperature_k,
                     float front_velocity_cm_s, float ablated_depth_nm, float surface_fraction,
                     const PlotScaleSet& scales, const PlotCurveSwitches& switches);

  // With `keep` the readouts of every point are only kept and draw_kept_readouts draws the
  // last ones: the readouts that a drawing of every point ends with, drawn once. The curves are
  // drawn point by point either way.
  void keep_readouts(bool keep) { keep_readouts_ = keep; }
  void draw_kept_readouts();

  const TemporalLayout& layout() const { return layout_; }
  // Whether the panels drawn from now on (mode 1 and relayout) carry the accurate scheme's mark.
  void set_scheme_mark(bool accurate) { scheme_mark_ = accurate; }
  // "stopped" right of the time readout (a run ended by Stop); the next run's panel covers it.
  // Nothing before the panel was first drawn.
  void mark_stopped();
  // Draws the panel again for the page as it is now (its size changed): frame, labels and
  // boxes at the current axis tops, every stored point, the latest readouts and the "stopped"
  // mark. Nothing before the panel was first drawn.
  void relayout();
  float time_scale() const { return time_scale_; }
  // k = 0 temperature, 1 velocity, 2 depth, 3 fraction.
  float axis_top(int k) const { return axis_tops_[static_cast<std::size_t>(k)]; }
  std::int32_t point_count() const { return point_count_; }

 private:
  struct Point {
    float time = 0.0f;
    std::array<float, kQuantityCount> values{};
  };

  void initialise(const PlotScaleSet& scales, const PlotCurveSwitches& switches);
  void add_point(const Point& point, const PlotCurveSwitches& switches);
  void draw_time_labels();
  void draw_value_labels(int k);
  void erase_value_labels(int k);
  // Frame, captions, ticks, label columns and boxes (the captions, columns and boxes of the
  // quantities in `shown`).
  void draw_panel(const std::array<bool, kQuantityCount>& shown);
  // Clears the plot area and draws the curves in `shown` through the first `count` points.
  void repaint_curves(const std::array<bool, kQuantityCount>& shown, std::int32_t count);
  // k = 0 … 3 the quantities, kTimeReadout the time; skipped when the text is unchanged.
  // Only kept while the readouts are kept.
  void draw_readout(int k, float value);
  void paint_readout(int k, float value);
  void use_plot_area();

  const PageGeometry& page_;
  TemporalLayout layout_;
  float time_scale_ = 1.0f;
  std::array<float, kQuantityCount> axis_tops_{1.0f, 1.0f, 1.0f, 1.0f};
  std::int32_t point_count_ = 0;
  std::vector<Point> points_;  // kPointCapacity entries; point n is points_[n - 1]
  std::array<double, 1 + kQuantityCount> previous_point_{};
  NumberField label_;
  NumberField readout_;
  static constexpr int kTimeReadout = kQuantityCount;
  std::array<std::string, kQuantityCount + 1> drawn_readouts_;  // texts on the page
  bool keep_readouts_ = false;
  std::array<bool, kQuantityCount + 1> readout_kept_{};
  std::array<float, kQuantityCount + 1> kept_readouts_{};
  FontField font_;
  std::array<bool, kQuantityCount> panel_shown_{};   // the switches when the panel was drawn
  std::array<bool, kQuantityCount> curves_shown_{};  // the switches of the latest point
  bool stopped_ = false;
  bool scheme_mark_ = false;
  display::DrawingContext pen_;  // the panel draws through its own pen
};

}  // namespace kt
