// The temporal-distributions panel: layout, initialisation and the per-step point.
#include "graphics/temporal_plot.h"

namespace kt {

namespace {

constexpr std::array<PaletteColour, TemporalPlot::kQuantityCount> kQuantityColours = {
    PaletteColour::light_red, PaletteColour::yellow, PaletteColour::light_green,
    PaletteColour::light_cyan};
constexpr PaletteColour kBackground = PaletteColour::magenta;
constexpr PaletteColour kTimeColour = PaletteColour::bright_white;
constexpr std::int16_t kInvertY = 1;

std::array<bool, TemporalPlot::kQuantityCount> shown_quantities(const PlotCurveSwitches& s) {
  return {s.show_surface_temperature, s.show_ablation_velocity, s.show_ablated_depth,
          s.show_broken_fraction};
}

struct Box {
  int x1, y1, x2, y2;
};

}  // namespace

TemporalLayout temporal_layout(const PageGeometry& page) {
  const int width = page.screen_width;
  const int height = page.screen_height;
  float height_fraction = 0.35f;
  switch (layout_row(width)) {
    case LayoutRow::up_to_800:
      height_fraction = 0.35f;
      break;
    case LayoutRow::w1024:
      height_fraction = 0.38f;
      break;
    case LayoutRow::w1280:
      height_fraction = 0.4f;
      break;
  }
  TemporalLayout l;
  l.x0 = page_fraction(0.15f, width);
  l.y0 = page_fraction(0.38f, height);
  l.w = page_fraction(0.5f, width);
  l.h = page_fraction(height_fraction, height);
  l.x1 = l.x0 + l.w;
  l.y1 = l.y0 + l.h;
  l.dx = l.w / 5;
  l.dy = page_fraction(0.25f, l.h);
  l.x_depth = page_offset(l.x1, 0.12f, width);
  l.x_fraction = page_offset(l.x1, 0.22f, width);
  l.x_time = page_offset(l.x1, -0.3f, width);
  l.y_caption = page_offset(l.y0, -0.05f, height);
  // The time caption's cell starts 30 scaled pixels below the frame, the readout row 40. In the
  // smallest layout the caption's 15-pixel font reaches into that row; there the row (and the
  // panel's bottom edge with it) moves down to start right below the caption.
  l.y_row = l.y1;
  if (width_row(width) == WidthRow::w640) {
    constexpr int kSmallCaptionHeight = 15;
    const float s = page.screen_scale;
    const int overlap = scaled(30, s) + kSmallCaptionHeight - scaled(40, s);
    if (overlap > 0) l.y_row += overlap;
  }
  return l;
}

TemporalPlot::TemporalPlot(const PageGeometry& page)
    : page_(page), points_(static_cast<std::size_t>(kPointCapacity)) {
  for (std::string& drawn : drawn_readouts_) drawn.reserve(32);
}

void TemporalPlot::plot_temporal(std::int32_t mode, float time_ns, float surface_temperature_k,
                                 float front_velocity_cm_s, float ablated_depth_nm,
                                 float surface_fraction, const PlotScaleSet& scales,
                                 const PlotCurveSwitches& switches) {
  if (mode == 1) {
    initialise(scales, switches);
    return;
  }
  add_point(Point{time_ns,
                  {surface_temperature_k, front_velocity_cm_s, ablated_depth_nm, surface_fraction}},
            switches);
}

void TemporalPlot::initialise(const PlotScaleSet& scales, const PlotCurveSwitches& switches) {
  time_scale_ = usable_axis_top(scales.plot_time_scale);
  axis_tops_ = {
      usable_axis_top(scales.plot_temperature_scale), usable_axis_top(scales.plot_velocity_scale),
      usable_axis_top(scales.plot_depth_scale), usable_axis_top(scales.plot_fraction_scale)};
  point_count_ = 0;
  stopped_ = false;
  panel_shown_ = shown_quantities(switches);
  curves_shown_ = panel_shown_;
  for (std::string& drawn : drawn_readouts_) drawn.clear();
  readout_kept_.fill(false);
  layout_ = temporal_layout(page_);
  draw_panel(panel_shown_);
}

void TemporalPlot::relayout() {
  if (layout_.w <= 0) return;  // never drawn
  for (std::string& drawn : drawn_readouts_) drawn.clear();
  layout_ = temporal_layout(page_);
  draw_panel(panel_shown_);
  const std::int32_t stored = point_count_ < kPointCapacity ? point_count_ : kPointCapacity;
  repaint_curves(curves_shown_, stored);
  use_whole_page(pen_, page_);
  if (point_count_ > 0) {
    draw_readout(kTimeReadout, static_cast<float>(previous_point_[0]));
    for (int k = 0; k < kQuantityCount; ++k) {
      const auto ku = static_cast<std::size_t>(k);
      if (curves_shown_[ku]) draw_readout(k, static_cast<float>(previous_point_[ku + 1]));
    }
  }
  if (stopped_) mark_stopped();
}

void TemporalPlot::draw_panel(const std::array<bool, kQuantityCount>& shown) {
  const float s = page_.screen_scale;
  const int width = page_.screen_width;
  const int height = page_.screen_height;
  const TemporalLayout& l = layout_;

  use_whole_page(pen_, page_);
  use_colour(pen_, kBackground);
  fill_box(pen_, page_offset(l.x0, -0.1f, width), page_offset(l.y0, -0.08f, height),
           page_offset(l.x1, 0.3f, width), page_offset(l.y_row, 0.1f, height));

  font_.assign(temporal_title_font_request(width));
  font_.select(pen_);
  use_colour(pen_, PaletteColour::light_green);
  draw_caption(pen_, page_offset(l.x0, 0.09f, width), l.y_caption, "Temporal distributions");
  use_colour(pen_, PaletteColour::light_red);
  draw_caption(pen_, page_offset(l.x0, -0.03f, width), l.y_caption, "T, K");
  use_colour(pen_, PaletteColour::yellow);
  draw_caption(pen_, page_offset(l.x1, -0.02f, width), l.y_caption, "V, cm/s");
  use_colour(pen_, kTimeColour);
  draw_caption(pen_, l.x_time, l.y1 + scaled(30, s), "Time, ns");

  font_.assign(label_font_request(width));
  font_.select(pen_);
  if (scheme_mark_) {
    use_colour(pen_, PaletteColour::light_green);
    draw_caption(pen_, page_offset(l.x0, -0.1f, width) + scaled(8, s),
                 page_offset(l.y0, -0.08f, height) + scaled(5, s), kAccurateSchemeText);
  }
  if (shown[2]) {
    use_colour(pen_, kQuantityColours[2]);
    draw_caption(pen_, l.x_depth, l.y_caption + scaled(7, s), "Depth, nm");
  }
  if (shown[3]) {
    use_colour(pen_, kQuantityColours[3]);
    draw_caption(pen_, l.x_fraction, l.y_caption + scaled(7, s), "Fraction");
  }

  // Frame and ticks.
  use_colour(pen_, PaletteColour::bright_white);
  outline_box(pen_, l.x0, l.y0, l.x1, l.y1);
  for (int j = 0; j <= 4; ++j) {
    const int y = l.y0 + j * l.dy;
    draw_line(pen_, l.x0, y, l.x0 - scaled(7, s), y);
    draw_line(pen_, l.x1, y, l.x1 + scaled(7, s), y);
  }
  for (int i = 0; i <= 5; ++i) {
    const int x = l.x0 + i * l.dx;
    draw_line(pen_, x, l.y1, x, l.y1 + scaled(7, s));
  }

  // Value label columns: temperature and velocity always, depth and fraction when shown.
  for (int k = 0; k < kQuantityCount; ++k) {
    if (k < 2 || shown[static_cast<std::size_t>(k)]) draw_value_labels(k);
  }

  // Outline boxes around the columns and the readouts.
  use_colour(pen_, PaletteColour::bright_white);
  if (shown[2]) {
    outline_box(pen_, l.x_depth - scaled(5, s), l.y0 - scaled(15, s), l.x_fraction - scaled(10, s),
                l.y_row + scaled(70, s));
    draw_line(pen_, l.x_depth - scaled(5, s), l.y1 + scaled(15, s), l.x_fraction - scaled(10, s),
              l.y1 + scaled(15, s));
  }
  if (shown[3]) {
    outline_box(pen_, l.x_fraction - scaled(10, s), l.y0 - scaled(15, s),
                l.x_fraction + scaled(50, s), l.y_row + scaled(70, s));
    draw_line(pen_, l.x_fraction - scaled(10, s), l.y1 + scaled(15, s),
              l.x_fraction + scaled(50, s), l.y1 + scaled(15, s));
  }
  outline_box(pen_, l.x0 - scaled(90, s), l.y_row + scaled(40, s), l.x_time - scaled(20, s),
              l.y_row + scaled(70, s));
  draw_line(pen_, l.x0 + scaled(50, s), l.y_row + scaled(40, s), l.x0 + scaled(50, s),
            l.y_row + scaled(70, s));
  if (shown[0]) draw_caption(pen_, l.x0 - scaled(85, s), l.y_row + scaled(48, s), "T:");
  if (shown[1]) draw_caption(pen_, l.x0 + scaled(55, s), l.y_row + scaled(48, s), "V:");

  outline_box(pen_, l.x1 - scaled(150, s), l.y_row + scaled(40, s), l.x1, l.y_row + scaled(70, s));
  draw_time_labels();
}

void TemporalPlot::add_point(const Point& point, const PlotCurveSwitches& switches) {
  const float s = page_.screen_scale;
  const TemporalLayout& l = layout_;
  const auto shown = shown_quantities(switches);
  curves_shown_ = shown;

  ++point_count_;
  if (point_count_ <= kPointCapacity) points_[static_cast<std::size_t>(point_count_ - 1)] = point;

  draw_readout(kTimeReadout, point.time);

  // The time axis doubles when the time reaches its end, a value axis when a value passes its
  // top; each axis at most once per point.
  bool rescaled = false;
  if (point.time >= time_scale_ && double_axis_top(time_scale_)) {
    rescaled = true;
    use_colour(pen_, kBackground);
    fill_box(pen_, l.x0 - scaled(50, s), l.y1 + scaled(10, s), l.x0 + 5 * l.dx + scaled(45, s),
             l.y1 + scaled(30, s));
    use_colour(pen_, kTimeColour);
    draw_time_labels();
  }
  for (int k = 0; k < kQuantityCount; ++k) {
    const auto ku = static_cast<std::size_t>(k);
    if (shown[ku] && point.values[ku] > axis_tops_[ku] && double_axis_top(axis_tops_[ku])) {
      rescaled = true;
      erase_value_labels(k);
      draw_value_labels(k);
    }
  }
  // The newest point is drawn afterwards as the newest segment.
  if (rescaled) repaint_curves(shown, point_count_ - 1);

  // Newest segment of each shown curve.
  use_plot_area();
  const bool first = point_count_ == 1;
  for (int k = 0; k < kQuantityCount; ++k) {
    const auto ku = static_cast<std::size_t>(k);
    if (!shown[ku]) continue;
    pen_.set_real_window(kInvertY, 0.0, 0.0, time_scale_, axis_tops_[ku]);
    const display::RealSegment segment{
        static_cast<std::int16_t>(kQuantityColours[ku]), first ? point.time : previous_point_[0],
        first ? point.values[ku] : previous_point_[ku + 1], point.time, point.values[ku]};
    pen_.draw_real_segments(&segment, 1);
  }
  use_whole_page(pen_, page_);

  for (int k = 0; k < kQuantityCount; ++k) {
    const auto ku = static_cast<std::size_t>(k);
    if (shown[ku]) draw_readout(k, point.values[ku]);
  }

  previous_point_[0] = point.time;
  for (std::size_t k = 0; k < point.values.size(); ++k) previous_point_[k + 1] = point.values[k];
}

void TemporalPlot::draw_time_labels() {
  const float s = page_.screen_scale;
  const float step = time_scale_ / 5.0f;
  for (int i = 0; i <= 5; ++i) {
    label_.set_scientific(static_cast<float>(i) * step, 8, 1);
    label_.draw_at(pen_, layout_.x0 - scaled(40, s) + i * layout_.dx, layout_.y1 + scaled(15, s));
  }
}

void TemporalPlot::draw_value_labels(int k) {
  const float s = page_.screen_scale;
  const TemporalLayout& l = layout_;
  const auto ku = static_cast<std::size_t>(k);
  const std::array<int, kQuantityCount> column_x = {l.x0 - scaled(90, s), l.x1 + scaled(15, s),
                                                    l.x_depth, l.x_fraction};
  const float step = axis_tops_[ku] * 0.25f;
  use_colour(pen_, kQuantityColours[ku]);
  for (int j = 0; j <= 4; ++j) {
    const float value = static_cast<float>(4 - j) * step;
    if (k == 3) {
      label_.set_fixed(value, 4, 2);
    } else {
      label_.set_scientific(value, 8, 1);
    }
    label_.draw_at(pen_, column_x[ku], l.y0 - scaled(4, s) + j * l.dy);
  }
}

void TemporalPlot::erase_value_labels(int k) {
  const float s = page_.screen_scale;
  const TemporalLayout& l = layout_;
  const int top = l.y0 - scaled(5, s);
  const int bottom = l.y0 + 4 * l.dy + scaled(10, s);
  const std::array<Box, kQuantityCount> boxes = {{
      {l.x0 - scaled(91, s), top, l.x0 - scaled(10, s), bottom},
      {l.x1 + scaled(10, s), top, l.x1 + scaled(100, s), bottom},
      {l.x_depth - scaled(2, s), top, l.x_depth + scaled(80, s), bottom},
      {l.x_fraction - scaled(7, s), top, l.x_fraction + scaled(45, s), bottom},
  }};
  const Box& b = boxes[static_cast<std::size_t>(k)];
  use_colour(pen_, kBackground);
  fill_box(pen_, b.x1, b.y1, b.x2, b.y2);
}

void TemporalPlot::repaint_curves(const std::array<bool, kQuantityCount>& shown,
                                  std::int32_t count) {
  use_plot_area();
  use_colour(pen_, kBackground);
  fill_box(pen_, 0, 0, layout_.w - 1, layout_.h - 1);
  const std::int32_t last = count < kPointCapacity ? count : kPointCapacity;
  if (last < 1) return;
  for (int k = 0; k < kQuantityCount; ++k) {
    const auto ku = static_cast<std::size_t>(k);
    if (!shown[ku]) continue;
    pen_.set_real_window(kInvertY, 0.0, 0.0, time_scale_, axis_tops_[ku]);
    pen_.move_to_real(points_[0].time, points_[0].values[ku]);
    use_colour(pen_, kQuantityColours[ku]);
    for (std::int32_t j = 1; j < last; ++j) {
      const Point& p = points_[static_cast<std::size_t>(j)];
      pen_.line_to_real(p.time, p.values[ku]);
    }
  }
}

void TemporalPlot::draw_readout(int k, float value) {
  if (keep_readouts_) {
    readout_kept_[static_cast<std::size_t>(k)] = true;
    kept_readouts_[static_cast<std::size_t>(k)] = value;
    return;
  }
  paint_readout(k, value);
}

void TemporalPlot::draw_kept_readouts() {
  // In the order of a point: the time, then the quantities.
  for (const int k : {kTimeReadout, 0, 1, 2, 3}) {
    const auto ku = static_cast<std::size_t>(k);
    if (readout_kept_[ku]) paint_readout(k, kept_readouts_[ku]);
    readout_kept_[ku] = false;
  }
}

void TemporalPlot::paint_readout(int k, float value) {
  const float s = page_.screen_scale;
  const TemporalLayout& l = layout_;
  // Each readout is erased one pixel inside the lines drawn around it, so that rounding of the
  // scaled offsets can never put the erased area onto a line at any page width.
  const int row_top = l.y_row + scaled(40, s);
  const int row_bottom = l.y_row + scaled(70, s);
  const int column_top = l.y1 + scaled(15, s);
  const int depth_left = l.x_depth - scaled(5, s);
  const int fraction_left = l.x_fraction - scaled(10, s);
  const int text_y = l.y_row + scaled(48, s);
  Box outline{};
  int text_x = 0;
  PaletteColour colour = kTimeColour;
  switch (k) {
    case 0:
      outline = {l.x0 - scaled(90, s), row_top, l.x0 + scaled(50, s), row_bottom};
      text_x = l.x0 - scaled(55, s);
      readout_.set_fixed(value, 8, 2);
      break;
    case 1:
      outline = {l.x0 + scaled(50, s), row_top, l.x_time - scaled(20, s), row_bottom};
      text_x = l.x0 + scaled(85, s);
      readout_.set_fixed(value, 10, 3);
      break;
    case 2:
      outline = {depth_left, column_top, fraction_left, row_bottom};
      text_x = l.x_depth;
      readout_.set_scientific(value, 9, 2);
      break;
    case 3:
      outline = {fraction_left, column_top, l.x_fraction + scaled(50, s), row_bottom};
      text_x = l.x_fraction;
      readout_.set_fixed(value, 5, 3);
      break;
    default:  // the time
      outline = {l.x1 - scaled(150, s), row_top, l.x1, row_bottom};
      text_x = l.x1 - scaled(130, s);
      readout_.set_fixed(value, 10, 1);
      break;
  }
  Box erase{outline.x1 + 1, outline.y1 + 1, outline.x2 - 1, outline.y2 - 1};
  // The temperature and velocity readouts keep clear of the captions "T:" and "V:".
  if (k == 0) erase.x1 = l.x0 - scaled(60, s);
  if (k == 1) erase.x1 = l.x0 + scaled(80, s);
  if (k < kQuantityCount) colour = kQuantityColours[static_cast<std::size_t>(k)];
  // Nothing else draws into a readout box during a run, so a readout whose text has not
  // changed since it was last drawn would be erased and drawn to the same pixels.
  std::string& drawn = drawn_readouts_[static_cast<std::size_t>(k)];
  if (drawn == readout_.text()) return;
  use_colour(pen_, kBackground);
  fill_box(pen_, erase.x1, erase.y1, erase.x2, erase.y2);
  use_colour(pen_, colour);
  readout_.draw_at(pen_, text_x, text_y);
  drawn.assign(readout_.text());
}

void TemporalPlot::mark_stopped() {
  if (layout_.w <= 0) return;
  stopped_ = true;
  // Drawn after the run, not necessarily on the run's thread: with a pen of its own.
  display::DrawingContext pen;
  const float s = page_.screen_scale;
  use_whole_page(pen, page_);
  FontField font;
  font.assign(label_font_request(page_.screen_width));
  font.select(pen);
  use_colour(pen, PaletteColour::light_red);
  draw_caption(pen, layout_.x1 + scaled(10, s), layout_.y_row + scaled(48, s), kStoppedText);
}

void TemporalPlot::use_plot_area() {
  set_page_viewport(pen_, page_, layout_.x0 + 1, layout_.y0 + 1, layout_.x1 - 1, layout_.y1 - 1);
}

}  // namespace kt
