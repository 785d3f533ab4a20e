// Pictures from the batch runner, drawn through the display services into an offscreen
// surface: the page of a run by the application's own page and plot code, and the ablation
// curve of a sweep.
#include "app/batch/batch_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/data_files.h"
#include "app/page_picture.h"
#include "app/title_page.h"
#include "display/application.h"
#include "display/display.h"
#include "params/number_format.h"

namespace kt {

bool run_with_picture(SharedParameters& parameters, int width, int height,
                      const std::filesystem::path& data_directory, const std::string& png,
                      RunOutcome& outcome, std::string& error, const RunOptions& options) {
  display::OffscreenSession session;
  if (!display::create_offscreen_main_window(width, height)) {
    error = "cannot make an offscreen page of " + std::to_string(width) + "x" +
            std::to_string(height) + " pixels";
    return false;
  }
  if (display::initialize_fonts() <= 0) {
    error = "no usable fonts are installed";
    return false;
  }
  // The page as the program has it after start-up: its geometry and the title page.
  const PageGeometry page = page_for_area(width, height);
  TitleState title;
  const std::string logo = find_data_file("ZOR.bmp", data_directory);
  ApplicationPlotSink sink(page, title, logo);
  sink.draw_title_page();

  GuardFlags flags;
  auto state = std::make_unique<SolverState>();
  auto profiles = std::make_unique<ProfileArrays>();
  PlotScaleSet scales;
  outcome = run_calculation(parameters, flags, *state, scales, *profiles, sink, options);
  return save_page_picture(png, error);
}

namespace {

constexpr int kWidth = 960, kHeight = 640;
constexpr int kLeft = 100, kTop = 70, kRight = 920, kBottom = 560;
constexpr std::int16_t kBlack = 0, kBlue = 1, kGreen = 2, kLightGrey = 7, kDarkGrey = 8,
                       kLightRed = 12, kWhite = 15;

void text_at(int x, int y, const std::string& text) {
  display::move_to(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
  display::draw_text(text.data(), static_cast<int>(text.size()));
}

void font(const char* request) {
  display::set_font(request, static_cast<int>(std::strlen(request)));
}

void line(int x1, int y1, int x2, int y2) {
  display::move_to(static_cast<std::int16_t>(x1), static_cast<std::int16_t>(y1));
  display::line_to(static_cast<std::int16_t>(x2), static_cast<std::int16_t>(y2));
}

std::string short_number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

// A step of 1, 2 or 5 times a power of ten giving about six intervals up to `top`.
double nice_step(double top) {
  const double raw = top / 6.0;
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * decade >= raw) return m * decade;
  return 10.0 * decade;
}

}  // namespace

bool draw_ablation_curve_png(const SweepResult& result, const std::string& png,
                             std::string& error) {
  struct Point {
    double fluence, surface, volume, total;
  };
  std::vector<Point> points;
  for (const SweepRun& run : result.runs) {
    const RunOutcome& o = run.outcome;
    if (run.finished && o.fluence_used > 0 && std::isfinite(o.total_depth_nm))
      points.push_back(
          {o.fluence_used, o.surface_recession_nm, o.volume_depth_nm, o.total_depth_nm});
  }
  if (points.empty()) {
    error = "no finished run to draw in \"" + png + "\"";
    return false;
  }
  display::OffscreenSession session;
  if (!display::create_offscreen_main_window(kWidth, kHeight) || display::initialize_fonts() <= 0) {
    error = "cannot make an offscreen page for \"" + png + "\"";
    return false;
  }

  // Axes: fluence on whole decades (log), depth from 0 on a 1-2-5 step.
  double f_min = points.front().fluence, f_max = f_min, d_max = 0.0;
  for (const Point& p : points) {
    f_min = std::min(f_min, p.fluence);
    f_max = std::max(f_max, p.fluence);
    d_max = std::max({d_max, p.total, p.surface, p.volume});
  }
  double lo = std::floor(std::log10(f_min)), hi = std::ceil(std::log10(f_max));
  if (hi <= lo) hi = lo + 1.0;
  if (!(d_max > 0.0)) d_max = 1.0;
  const double step = nice_step(d_max * 1.05);
  const double d_top = std::ceil(d_max * 1.05 / step) * step;
  auto x_of = [&](double f) {
    return kLeft +
           static_cast<int>(std::lround((std::log10(f) - lo) / (hi - lo) * (kRight - kLeft)));
  };
  auto y_of = [&](double d) {
    return kBottom - static_cast<int>(std::lround(d / d_top * (kBottom - kTop)));
  };

  display::set_color(kWhite);
  display::draw_rectangle(3, 0, 0, kWidth - 1, kHeight - 1);

  // Grid and tick labels.
  font("t'helv'h14w6");
  for (double e = lo; e <= hi; e += 1.0) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double f = m * std::pow(10.0, e);
      if (std::log10(f) > hi + 1e-9) break;
      const int x = x_of(f);
      display::set_color(m == 1.0 ? kDarkGrey : kLightGrey);
      line(x, kTop, x, kBottom);
      display::set_color(kBlack);
      line(x, kBottom, x, kBottom + 5);
      const std::string label = short_number(f);
      text_at(x - 3 * static_cast<int>(label.size()), kBottom + 9, label);
    }
  }
  for (double d = 0.0; d <= d_top + step * 1e-9; d += step) {
    const int y = y_of(d);
    display::set_color(kLightGrey);
    line(kLeft, y, kRight, y);
    display::set_color(kBlack);
    line(kLeft - 5, y, kLeft, y);
    std::string label = short_number(d);
    text_at(kLeft - 10 - 6 * static_cast<int>(label.size()), y - 7, label);
  }
  display::set_color(kBlack);
  display::draw_rectangle(2, kLeft, kTop, kRight, kBottom);

  // Captions.
  font("t'helv'h20w9");
  text_at(kLeft, 18, "Ablation curve");
  font("t'helv'h16w7");
  text_at((kLeft + kRight) / 2 - 60, kBottom + 34, "Fluence [mJ/cm^2]");
  text_at(12, kTop - 26, "Ablated depth [nm]");

  // Curves with square marks, newest series on top.
  struct Series {
    double Point::*value;
    std::int16_t colour;
    const char* name;
  };
  const Series series[] = {{&Point::volume, kGreen, "Volume depth"},
                           {&Point::surface, kLightRed, "Surface recession"},
                           {&Point::total, kBlue, "Total depth"}};
  int legend_y = kTop + 12;
  for (const Series& s : series) {
    display::set_color(s.colour);
    for (std::size_t i = 0; i < points.size(); ++i) {
      const int x = x_of(points[i].fluence), y = y_of(points[i].*s.value);
      if (i > 0) line(x_of(points[i - 1].fluence), y_of(points[i - 1].*s.value), x, y);
      display::draw_rectangle(3, static_cast<std::int16_t>(x - 2), static_cast<std::int16_t>(y - 2),
                              static_cast<std::int16_t>(x + 2), static_cast<std::int16_t>(y + 2));
    }
    // Legend.
    line(kLeft + 14, legend_y + 8, kLeft + 44, legend_y + 8);
    display::draw_rectangle(3, kLeft + 27, legend_y + 6, kLeft + 31, legend_y + 10);
    display::set_color(kBlack);
    font("t'helv'h14w6");
    text_at(kLeft + 52, legend_y, s.name);
    legend_y += 20;
  }
  return save_page_picture(png, error);
}

}  // namespace kt
