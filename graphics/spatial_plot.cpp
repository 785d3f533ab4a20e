// The spatial-distribution panels: frames, labels and the per-step profile repaint.
#include "graphics/spatial_plot.h"

#include <algorithm>

namespace kt {

namespace {

constexpr PaletteColour kBackground = PaletteColour::cyan;
constexpr PaletteColour kCurrentProfile = PaletteColour::yellow;
constexpr PaletteColour kLabels = PaletteColour::bright_white;
constexpr std::int16_t kInvertY = 1;

constexpr float kPanelY = 0.05f;
constexpr float kPanelWidth = 0.2f;
constexpr float kPanelHeight = 0.2f;

float panel_x_fraction(std::int32_t kind) {
  return kind == SpatialPlot::kTemperatureKind ? 0.15f : 0.7f;
}

std::size_t panel_index(std::int32_t kind) {
  return kind == SpatialPlot::kTemperatureKind ? 0 : 1;
}

}  // namespace

ProfilePanelLayout profile_panel_layout(const PageGeometry& page, float x_fraction,
                                        float y_fraction, float width_fraction,
                                        float height_fraction) {
  ProfilePanelLayout l;
  l.x0 = page_fraction(x_fraction, page.screen_width);
  l.y0 = page_fraction(y_fraction, page.screen_height);
  l.w = page_fraction(width_fraction, page.screen_width);
  l.h = page_fraction(height_fraction, page.screen_height);
  l.x1 = l.x0 + l.w;
  l.y1 = l.y0 + l.h;
  l.dx = page_fraction(0.25f, l.w);
  l.dy = page_fraction(0.25f, l.h);
  return l;
}

SpatialPlot::SpatialPlot(const PageGeometry& page) : page_(page) {}

void SpatialPlot::plot_spatial(std::int32_t mode, std::int32_t curves,
                               const ProfileArrays& profiles, const PlotScaleSet& scales) {
  if (mode == 1) {
    reset_scales(scales);
    initialised_ = {false, false};
    repaint_owed_ = {false, false};
    temperature_labels_owed_ = false;
  }
  if (mode == 0 || mode == 1) {
    if (curves == 1 || curves == 3) {
      draw_panel(mode, kTemperatureKind, profiles, previous_temperature_profile_.data());
    }
    if (curves == 2 || curves == 3) {
      draw_panel(mode, kFractionKind, profiles, previous_fraction_profile_.data());
    }
  }
  if (curves != 0) {
    const auto n = static_cast<std::size_t>(node_count_);
    if (keep_profiles_ && mode == 0) {
      std::copy_n(profiles.profile_depth_nm.begin() + 1, n, kept_depths_.begin() + 1);
      std::copy_n(previous_temperature_profile_.begin() + 1, n,
                  kept_previous_temperature_.begin() + 1);
      std::copy_n(previous_fraction_profile_.begin() + 1, n, kept_previous_fraction_.begin() + 1);
    }
    std::copy_n(profiles.profile_temperature_k.begin() + 1, n,
                previous_temperature_profile_.begin() + 1);
    std::copy_n(profiles.profile_fraction.begin() + 1, n, previous_fraction_profile_.begin() + 1);
  }
}

void SpatialPlot::relayout(const ProfileArrays& profiles) {
  for (const std::int32_t kind : {kTemperatureKind, kFractionKind}) {
    if (!initialised_[panel_index(kind)]) continue;
    const float* latest = kind == kTemperatureKind ? previous_temperature_profile_.data()
                                                   : previous_fraction_profile_.data();
    // The latest profile is both the one to paint over and the one to draw.
    draw_profile_panel(1, kind, panel_x_fraction(kind), kPanelY, kPanelWidth, kPanelHeight,
                       profiles.profile_depth_nm.data(), latest, latest);
    draw_profile_panel(0, kind, panel_x_fraction(kind), kPanelY, kPanelWidth, kPanelHeight,
                       profiles.profile_depth_nm.data(), latest, latest);
  }
}

void SpatialPlot::draw_panel(std::int32_t mode, std::int32_t kind, const ProfileArrays& profiles,
                             const float* previous) {
  const float* current = kind == kTemperatureKind ? profiles.profile_temperature_k.data()
                                                  : profiles.profile_fraction.data();
  const float x_fraction = panel_x_fraction(kind);
  // A panel switched on during a run gets its frame and labels before its first profile.
  if (mode != 1 && !initialised_[panel_index(kind)]) {
    draw_profile_panel(1, kind, x_fraction, kPanelY, kPanelWidth, kPanelHeight,
                       profiles.profile_depth_nm.data(), current, previous);
  }
  draw_profile_panel(mode, kind, x_fraction, kPanelY, kPanelWidth, kPanelHeight,
                     profiles.profile_depth_nm.data(), current, previous);
}

void SpatialPlot::draw_profile_panel(std::int32_t mode, std::int32_t kind, float x_fraction,
                                     float y_fraction, float width_fraction, float height_fraction,
                                     const float* depths, const float* current,
                                     const float* previous) {
  const ProfilePanelLayout l =
      profile_panel_layout(page_, x_fraction, y_fraction, width_fraction, height_fraction);
  if (mode == 1) {
    initialise_panel(kind, l);
    initialised_[panel_index(kind)] = true;
  } else {
    repaint_panel(kind, l, depths, current, previous);
  }
}

void SpatialPlot::reset_scales(const PlotScaleSet& scales) {
  node_count_ = std::clamp(scales.profile_node_count, 0, kProfileCapacity);
  last_node_ = node_count_ - 1;
  depth_top_ = usable_axis_top(scales.profile_depth_scale);
  temperature_top_ = usable_axis_top(scales.profile_temperature_scale);
}

void SpatialPlot::initialise_panel(std::int32_t kind, const ProfilePanelLayout& l) {
  const float s = page_.screen_scale;
  const int width = page_.screen_width;
  const int height = page_.screen_height;

  use_whole_page(pen_, page_);
  use_colour(pen_, kBackground);
  fill_box(pen_, page_offset(l.x0, -0.1f, width), page_offset(l.y0, -0.03f, height),
           page_offset(l.x1, 0.05f, width), page_offset(l.y1, 0.05f, height));

  font_.assign(label_font_request(width));
  font_.select(pen_);
  // Up to 800 wide the label font is taller than 2 % of the page: the captions go higher, so
  // that the axis caption stays clear of the axis's top value.
  const bool small_page = layout_row(width) == LayoutRow::up_to_800;
  const int y_caption = page_offset(l.y0, small_page ? -0.03f : -0.02f, height);
  use_colour(pen_, PaletteColour::light_green);
  draw_caption(pen_, page_offset(l.x0, 0.05f, width), y_caption, "Spatial distribution");
  use_colour(pen_, PaletteColour::yellow);
  draw_caption(pen_, page_offset(l.x0, -0.03f, width), y_caption,
               kind == kTemperatureKind ? "T, K" : "Fraction");
  use_colour(pen_, kLabels);
  draw_caption(pen_, page_offset(l.x1, -0.1f, width), l.y1 + scaled(20, s), "Z, nm");

  outline_box(pen_, l.x0, l.y0, l.x1, l.y1);
  for (int j = 0; j <= 4; ++j) {
    draw_line(pen_, l.x0, l.y0 + j * l.dy, l.x0 - scaled(7, s), l.y0 + j * l.dy);
  }
  for (int i = 0; i <= 4; ++i) {
    draw_line(pen_, l.x0 + i * l.dx, l.y1, l.x0 + i * l.dx, l.y1 + scaled(7, s));
  }

  draw_y_labels(kind, l);

  // The depth axis shows only its two ends.
  const float depth_step = depth_top_ * 0.25f;
  for (int i : {0, 4}) {
    label_.set_scientific(static_cast<float>(i) * depth_step, 8, 1);
    label_.draw_at(pen_, l.x0 - scaled(40, s) + i * l.dx, l.y1 + scaled(15, s));
  }
}

void SpatialPlot::draw_y_labels(std::int32_t kind, const ProfilePanelLayout& l) {
  const float s = page_.screen_scale;
  const float step = kind == kTemperatureKind ? temperature_top_ * 0.25f : 0.25f;
  use_colour(pen_, kLabels);
  for (int j = 0; j <= 4; ++j) {
    label_.set_fixed(static_cast<float>(4 - j) * step, 8, 2);
    label_.draw_at(pen_, l.x0 - scaled(90, s), l.y0 - scaled(4, s) + j * l.dy);
  }
}

void SpatialPlot::repaint_panel(std::int32_t kind, const ProfilePanelLayout& l, const float* depths,
                                const float* current, const float* previous) {
  const bool temperature_panel = kind == kTemperatureKind;
  if (keep_profiles_) {
    if (temperature_panel && grow_temperature_axis(depths, current))
      temperature_labels_owed_ = true;
    repaint_owed_[panel_index(kind)] = true;
    return;
  }
  use_whole_page(pen_, page_);
  if (temperature_panel && grow_temperature_axis(depths, current)) redraw_temperature_panel(l);
  draw_profiles(kind, l, depths, current, previous);
}

void SpatialPlot::draw_kept_profiles() {
  for (const std::int32_t kind : {kTemperatureKind, kFractionKind}) {
    if (!repaint_owed_[panel_index(kind)]) continue;
    repaint_owed_[panel_index(kind)] = false;
    const bool temperature_panel = kind == kTemperatureKind;
    const ProfilePanelLayout l =
        profile_panel_layout(page_, panel_x_fraction(kind), kPanelY, kPanelWidth, kPanelHeight);
    use_whole_page(pen_, page_);
    if (temperature_panel && temperature_labels_owed_) redraw_temperature_panel(l);
    draw_profiles(
        kind, l, kept_depths_.data(),
        temperature_panel ? previous_temperature_profile_.data()
                          : previous_fraction_profile_.data(),
        temperature_panel ? kept_previous_temperature_.data() : kept_previous_fraction_.data());
  }
  temperature_labels_owed_ = false;
}

bool SpatialPlot::grow_temperature_axis(const float* depths, const float* current) {
  bool rescale = false;
  float largest = 0.0f;
  for (std::int32_t i = 1; i <= last_node_; ++i) {
    if (!(depths[i] < depth_top_)) continue;
    if (current[i] > temperature_top_) rescale = true;
    if (current[i] > largest) largest = current[i];
  }
  if (!rescale) return false;
  do {
    if (!double_axis_top(temperature_top_)) break;
  } while (temperature_top_ < largest);
  return true;
}

void SpatialPlot::redraw_temperature_panel(const ProfilePanelLayout& l) {
  const float s = page_.screen_scale;
  use_colour(pen_, kBackground);
  fill_box(pen_, l.x0 - scaled(91, s), l.y0 - scaled(5, s), l.x0 - scaled(10, s),
           l.y0 + 4 * l.dy + scaled(10, s));
  draw_y_labels(kTemperatureKind, l);
  set_page_viewport(pen_, page_, l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1);
  use_colour(pen_, kBackground);
  fill_box(pen_, 0, 0, l.w - 1, l.h - 1);
}

void SpatialPlot::draw_profiles(std::int32_t kind, const ProfilePanelLayout& l, const float* depths,
                                const float* current, const float* previous) {
  const bool temperature_panel = kind == kTemperatureKind;
  // The deepest node is never drawn; with fewer than two drawable nodes there is no segment.
  if (last_node_ >= 2) {
    set_page_viewport(pen_, page_, l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1);
    pen_.set_real_window(kInvertY, 0.0, 0.0, depth_top_,
                         temperature_panel ? static_cast<double>(temperature_top_) : 1.0);
    // The two polylines are built in alternation, each from its own remembered pen position,
    // and drawn as one operation.
    const auto background = static_cast<std::int16_t>(kBackground);
    const auto foreground = static_cast<std::int16_t>(kCurrentProfile);
    std::size_t n = 0;
    segments_[n++] = {background, depths[1], previous[1], depths[2], previous[2]};
    segments_[n++] = {foreground, depths[1], current[1], depths[2], current[2]};
    double previous_pen_x = depths[2], previous_pen_y = previous[2];
    double current_pen_x = depths[2], current_pen_y = current[2];
    for (std::int32_t i = 3; i <= last_node_; ++i) {
      if (!(depths[i] < depth_top_)) continue;
      segments_[n++] = {background, previous_pen_x, previous_pen_y, depths[i], previous[i]};
      previous_pen_x = depths[i];
      previous_pen_y = previous[i];
      segments_[n++] = {foreground, current_pen_x, current_pen_y, depths[i], current[i]};
      current_pen_x = depths[i];
      current_pen_y = current[i];
    }
    pen_.draw_real_segments(segments_.data(), static_cast<int>(n));
  }
  use_whole_page(pen_, page_);
}

}  // namespace kt
