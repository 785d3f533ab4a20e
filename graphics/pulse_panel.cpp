#include "graphics/pulse_panel.h"

#include <algorithm>
#include <cmath>

namespace kt {
namespace {

constexpr PaletteColour kBackground = PaletteColour::blue;
constexpr PaletteColour kPoints = PaletteColour::yellow;
constexpr PaletteColour kLabels = PaletteColour::bright_white;

// The panel's box and its plot area, in fractions of the page.
constexpr float kBoxLeft = 0.41f, kBoxRight = 0.595f, kBoxTop = 0.02f, kBoxBottom = 0.295f;
constexpr float kPlotLeft = 0.49f, kPlotRight = 0.58f, kPlotTop = 0.075f, kPlotBottom = 0.23f;

struct Area {
  int x0, y0, x1, y1;
};

Area plot_area(const PageGeometry& page) {
  return {page_fraction(kPlotLeft, page.screen_width), page_fraction(kPlotTop, page.screen_height),
          page_fraction(kPlotRight, page.screen_width),
          page_fraction(kPlotBottom, page.screen_height)};
}

}  // namespace

std::string PulsePanel::caption() const {
  return "Pulse " + std::to_string(current_) + " of " + std::to_string(pulses_);
}

void PulsePanel::start(int pulses) {
  pulses_ = std::max(1, pulses);
  current_ = 0;
  top_ = 0.0f;
  depths_.clear();
  depths_.reserve(static_cast<std::size_t>(std::min(pulses_, 100000)));
  draw_all();
}

void PulsePanel::pulse_started(int pulse) {
  current_ = pulse;
  draw_pulse_caption();
}

void PulsePanel::pulse_done(int pulse, double depth_nm) {
  current_ = pulse;
  depths_.push_back(std::isfinite(depth_nm) ? std::max(0.0, depth_nm) : 0.0);
  const auto value = static_cast<float>(depths_.back());
  bool grown = false;
  if (top_ <= 0.0f && value > 0.0f) {
    top_ = 1.5f * value;
    grown = true;
  }
  while (top_ > 0.0f && value > top_ && double_axis_top(top_)) grown = true;
  if (grown) {
    draw_all();
  } else {
    draw_point(depths_.size() - 1);
  }
}

void PulsePanel::relayout() {
  if (shown()) draw_all();
}

void PulsePanel::draw_all() {
  const int width = page_.screen_width;
  const int height = page_.screen_height;
  const float s = page_.screen_scale;
  const Area a = plot_area(page_);
  use_whole_page(pen_, page_);
  use_colour(pen_, kBackground);
  fill_box(pen_, page_fraction(kBoxLeft, width), page_fraction(kBoxTop, height),
           page_fraction(kBoxRight, width), page_fraction(kBoxBottom, height));
  font_.assign(label_font_request(width));
  font_.select(pen_);
  use_colour(pen_, kPoints);
  draw_caption(pen_, page_fraction(kBoxLeft, width) + scaled(6, s),
               page_fraction(kBoxTop, height) + scaled(4, s), "Depth per pulse, nm");
  use_colour(pen_, kLabels);
  outline_box(pen_, a.x0, a.y0, a.x1, a.y1);
  for (int j = 0; j <= 4; ++j) {
    const int y = a.y0 + page_fraction(0.25f * static_cast<float>(j), a.y1 - a.y0);
    draw_line(pen_, a.x0, y, a.x0 - scaled(5, s), y);
  }
  const int label_x = page_fraction(kBoxLeft, width) + scaled(4, s);
  label_.set_scientific(top_ > 0.0f ? top_ : 1.0f, 7, 1);
  label_.draw_at(pen_, label_x, a.y0 - scaled(6, s));
  label_.set_scientific(0.0, 7, 1);
  label_.draw_at(pen_, label_x, a.y1 - scaled(6, s));
  draw_caption(pen_, a.x0 - scaled(3, s), a.y1 + scaled(4, s), "1");
  const std::string last = std::to_string(pulses_);
  draw_caption(pen_, a.x1 - scaled(8, s) * static_cast<int>(last.size()), a.y1 + scaled(4, s),
               last);
  draw_pulse_caption();
  for (std::size_t i = 0; i < depths_.size(); ++i) draw_point(i);
}

void PulsePanel::draw_pulse_caption() {
  const int width = page_.screen_width;
  const float s = page_.screen_scale;
  const Area a = plot_area(page_);
  use_whole_page(pen_, page_);
  font_.assign(label_font_request(width));
  font_.select(pen_);
  const int x = page_fraction(kBoxLeft, width) + scaled(30, s);
  const int y = a.y1 + scaled(22, s);
  // The caption's place is cleared first: the pulse number changes in it.
  use_colour(pen_, kBackground);
  fill_box(pen_, x, y, page_fraction(kBoxRight, width) - scaled(2, s), y + scaled(18, s));
  use_colour(pen_, PaletteColour::light_green);
  draw_caption(pen_, x, y, caption());
}

void PulsePanel::draw_point(std::size_t index) {
  if (top_ <= 0.0f) return;  // nothing to show before a pulse has removed material
  const Area a = plot_area(page_);
  const double along = pulses_ > 1 ? static_cast<double>(index) / (pulses_ - 1) : 0.5;
  const double up = std::min(1.0, depths_[index] / static_cast<double>(top_));
  const int x = a.x0 + static_cast<int>(std::lround(along * (a.x1 - a.x0)));
  const int y = a.y1 - static_cast<int>(std::lround(up * (a.y1 - a.y0)));
  const int half = std::max(1, scaled(2, page_.screen_scale));
  use_whole_page(pen_, page_);
  use_colour(pen_, kPoints);
  if (index > 0) {
    const double before = std::min(1.0, depths_[index - 1] / static_cast<double>(top_));
    const double before_along = pulses_ > 1 ? static_cast<double>(index - 1) / (pulses_ - 1) : 0.5;
    draw_line(pen_, a.x0 + static_cast<int>(std::lround(before_along * (a.x1 - a.x0))),
              a.y1 - static_cast<int>(std::lround(before * (a.y1 - a.y0))), x, y);
  }
  fill_box(pen_, x - half, y - half, x + half, y + half);
}

}  // namespace kt
