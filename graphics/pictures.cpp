// The pictures of the command-line programs (see pictures.h): the page of a run at its end,
// drawn by the program's own title page and plot code, the ablation curve of a sweep and the
// picture of a fit, each on an offscreen surface written as a PNG. Built as the shared library
// libkestrium-pictures, whose one exported symbol is kt_picture_functions; its table takes and
// gives plain C types only (graphics/picture_interface.h).
#include "graphics/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "display/application.h"
#include "display/display.h"
#include "display/drawing_context.h"
#include "graphics/page_plots.h"
#include "graphics/title_page.h"
#include "params/number_format.h"
#include "solver/calculation_run.h"
#include "solver/run_observer.h"

namespace kt {

namespace {

bool save_picture(const std::string& png, std::string& error) {
  if (display::save_surface_png(png)) return true;
  error = "cannot write the picture \"" + png + "\"";
  return false;
}

// The page as the program has it after start-up on a screen of the picture's size (the largest
// layout that fits, centred, and the title page), then the plots of the run drawn as the page
// stands at the run's end. The picture is the whole screen, as the window shows it.
class FinalPagePicture final : public RunObserver {
 public:
  FinalPagePicture(int width, int height, std::string logo_file)
      : page_(page_for_area(width, height)), logo_file_(std::move(logo_file)), plots_(page_) {
    plots_.draw_final_page_only();
  }

  bool open(std::string& error) {
    if (!display::create_offscreen_main_window(page_.area_width, page_.area_height)) {
      error = "cannot make an offscreen page of " + std::to_string(page_.area_width) + "x" +
              std::to_string(page_.area_height) + " pixels";
      return false;
    }
    if (display::initialize_fonts() <= 0) {
      error = "no usable fonts are installed";
      return false;
    }
    draw_title_page(page_, title_, logo_file_);
    return true;
  }

  void run_accepted() override { draw_title_page(page_, title_, logo_file_); }
  void run_started(const RunConstants& constants, const ParameterSet& taken,
                   std::int32_t profile_node_count, const PlotCurveSwitches& switches) override {
    plots_.run_started(constants, taken, profile_node_count, switches);
  }
  void step_done(const StepRecord& record, const ProfileArrays& profiles) override {
    plots_.step_done(record, profiles);
  }
  void pulse_started(int pulse, int pulses, double time_offset_ns) override {
    plots_.pulse_started(pulse, pulses, time_offset_ns);
  }
  void pulse_done(const PulseRecord& record) override { plots_.pulse_done(record); }
  void run_ended(const RunOutcome& outcome) override { plots_.run_ended(outcome); }
  void set_scheme(Scheme scheme) { plots_.set_scheme(scheme); }

  bool save(const std::string& png, std::string& error) { return save_picture(png, error); }

 private:
  display::OffscreenSession session_;
  const PageGeometry page_;
  TitleState title_;
  const std::string logo_file_;
  PagePlots plots_;
};

constexpr int kWidth = 960, kHeight = 640;
constexpr int kLeft = 100, kTop = 70, kRight = 920, kBottom = 560;

void text_at(display::DrawingContext& pen, int x, int y, const std::string& text) {
  pen.move_to(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
  pen.draw_text(text.data(), static_cast<int>(text.size()));
}

void font(display::DrawingContext& pen, const char* request) {
  pen.set_font(request, static_cast<int>(std::strlen(request)));
}

void line(display::DrawingContext& pen, int x1, int y1, int x2, int y2) {
  pen.move_to(static_cast<std::int16_t>(x1), static_cast<std::int16_t>(y1));
  pen.line_to(static_cast<std::int16_t>(x2), static_cast<std::int16_t>(y2));
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

void mark(display::DrawingContext& pen, int x, int y, int half, bool filled) {
  pen.draw_rectangle(filled ? 3 : 2, static_cast<std::int16_t>(x - half),
                     static_cast<std::int16_t>(y - half), static_cast<std::int16_t>(x + half),
                     static_cast<std::int16_t>(y + half));
}

// A measured point with its error bar (one sigma each way) when the data give sigma.
template <typename XOf, typename YOf>
void measured_mark(display::DrawingContext& pen, const MeasuredPoint& p, bool with_sigma,
                   double value, XOf x_of, YOf y_of) {
  const int x = x_of(p.fluence), y = y_of(value);
  if (with_sigma) {
    const int y_hi = y_of(value + p.sigma_nm), y_lo = y_of(value - p.sigma_nm);
    line(pen, x, y_hi, x, y_lo);
    line(pen, x - 4, y_hi, x + 4, y_hi);
    line(pen, x - 4, y_lo, x + 4, y_lo);
  }
  mark(pen, x, y, 4, false);
  mark(pen, x, y, 3, false);
}

// The Beer-Lambert line from its threshold to `f_right`, dashed.
template <typename XOf, typename YOf>
void beer_lambert_line(display::DrawingContext& pen, const BeerLambertFit& fit, double f_left,
                       double f_right, XOf x_of, YOf y_of) {
  const double from = std::max(f_left, fit.threshold_fluence);
  if (!(from < f_right)) return;
  constexpr int kPieces = 80;
  for (int i = 0; i < kPieces; i += 2) {
    const double f1 = from * std::pow(f_right / from, static_cast<double>(i) / kPieces);
    const double f2 = from * std::pow(f_right / from, static_cast<double>(i + 1) / kPieces);
    line(pen, x_of(f1), y_of(beer_lambert_depth(fit, f1)), x_of(f2),
         y_of(beer_lambert_depth(fit, f2)));
  }
}

// Log fluence grid lines and labels from 10^lo to 10^hi between top and bottom.
template <typename XOf>
void fluence_grid(display::DrawingContext& pen, double lo, double hi, int top, int bottom,
                  bool labels, XOf x_of) {
  font(pen, "t'helv'h14w6");
  for (double e = lo; e <= hi; e += 1.0) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double f = m * std::pow(10.0, e);
      if (std::log10(f) > hi + 1e-9) break;
      const int x = x_of(f);
      pen.set_color(m == 1.0 ? PaletteColour::grey : PaletteColour::white);
      line(pen, x, top, x, bottom);
      pen.set_color(PaletteColour::black);
      line(pen, x, bottom, x, bottom + 5);
      if (!labels) continue;
      const std::string label = short_number(f);
      text_at(pen, x - 3 * static_cast<int>(label.size()), bottom + 9, label);
    }
  }
}

// Depth grid lines and labels from `bottom_value` to `top_value` in steps of `step`.
template <typename YOf>
void depth_grid(display::DrawingContext& pen, double bottom_value, double top_value, double step,
                int left, int right, YOf y_of) {
  font(pen, "t'helv'h14w6");
  for (double d = std::ceil(bottom_value / step - 1e-9) * step; d <= top_value + step * 1e-9;
       d += step) {
    const int y = y_of(d);
    pen.set_color(std::fabs(d) < step * 1e-9 ? PaletteColour::grey : PaletteColour::white);
    line(pen, left, y, right, y);
    pen.set_color(PaletteColour::black);
    line(pen, left - 5, y, left, y);
    std::string label = short_number(std::fabs(d) < step * 1e-9 ? 0.0 : d);
    text_at(pen, left - 10 - 6 * static_cast<int>(label.size()), y - 7, label);
  }
}

// A legend box of text lines at (x, y).
void legend_box(display::DrawingContext& pen, int x, int y, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::size_t longest = 0;
  for (const std::string& l : lines) longest = std::max(longest, l.size());
  const int width = 16 + 7 * static_cast<int>(longest),
            height = 8 + 18 * static_cast<int>(lines.size());
  pen.set_color(PaletteColour::bright_white);
  pen.draw_rectangle(3, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                     static_cast<std::int16_t>(x + width), static_cast<std::int16_t>(y + height));
  pen.set_color(PaletteColour::grey);
  pen.draw_rectangle(2, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                     static_cast<std::int16_t>(x + width), static_cast<std::int16_t>(y + height));
  pen.set_color(PaletteColour::black);
  font(pen, "t'helv'h14w6");
  for (std::size_t i = 0; i < lines.size(); ++i)
    text_at(pen, x + 8, y + 4 + 18 * static_cast<int>(i), lines[i]);
}

// The axes of the ablation curve: fluence on whole decades (log), depth from 0 on a 1-2-5 step.
struct CurveAxes {
  double lo = 0.0, hi = 1.0, step = 1.0, d_top = 1.0;

  int x_of(double f) const {
    return kLeft +
           static_cast<int>(std::lround((std::log10(f) - lo) / (hi - lo) * (kRight - kLeft)));
  }
  int y_of(double d) const {
    return kBottom - static_cast<int>(std::lround(d / d_top * (kBottom - kTop)));
  }
};

CurveAxes curve_axes(const std::vector<CurvePoint>& points, const CurveOverlay& overlay) {
  double f_min = points.front().fluence, f_max = f_min, d_max = 0.0;
  for (const CurvePoint& p : points) {
    f_min = std::min(f_min, p.fluence);
    f_max = std::max(f_max, p.fluence);
    d_max = std::max({d_max, p.total_nm, p.surface_nm, p.volume_nm});
  }
  if (overlay.measured) {
    for (const MeasuredPoint& p : overlay.measured->points) {
      f_min = std::min(f_min, p.fluence);
      f_max = std::max(f_max, p.fluence);
      d_max = std::max(d_max, p.depth_nm + (overlay.measured->has_sigma ? p.sigma_nm : 0.0));
    }
  }
  CurveAxes a;
  a.lo = std::floor(std::log10(f_min));
  a.hi = std::ceil(std::log10(f_max));
  if (a.hi <= a.lo) a.hi = a.lo + 1.0;
  if (!(d_max > 0.0)) d_max = 1.0;
  a.step = nice_step(d_max * 1.05);
  a.d_top = std::ceil(d_max * 1.05 / a.step) * a.step;
  return a;
}

void draw_curve_frame(display::DrawingContext& pen, const CurveAxes& a) {
  pen.set_color(PaletteColour::bright_white);
  pen.draw_rectangle(3, 0, 0, kWidth - 1, kHeight - 1);
  // Grid and tick labels.
  fluence_grid(pen, a.lo, a.hi, kTop, kBottom, true, [&a](double f) { return a.x_of(f); });
  depth_grid(pen, 0.0, a.d_top, a.step, kLeft, kRight, [&a](double d) { return a.y_of(d); });
  pen.set_color(PaletteColour::black);
  pen.draw_rectangle(2, kLeft, kTop, kRight, kBottom);
  // Captions.
  font(pen, "t'helv'h20w9");
  text_at(pen, kLeft, 18, "Ablation curve");
  font(pen, "t'helv'h16w7");
  text_at(pen, (kLeft + kRight) / 2 - 60, kBottom + 34, "Fluence [mJ/cm^2]");
  text_at(pen, 12, kTop - 26, "Ablated depth [nm]");
}

// Curves with square marks, newest series on top, each with its legend line; returns the height
// of the legend drawn below kTop + 12.
int draw_curve_series(display::DrawingContext& pen, const std::vector<CurvePoint>& points,
                      const CurveAxes& a) {
  struct Series {
    double CurvePoint::*value;
    PaletteColour colour;
    const char* name;
  };
  const Series series[] = {
      {&CurvePoint::volume_nm, PaletteColour::green, "Volume depth [nm]"},
      {&CurvePoint::surface_nm, PaletteColour::light_red, "Surface recession [nm]"},
      {&CurvePoint::total_nm, PaletteColour::blue, "Total depth [nm]"}};
  int legend_y = kTop + 12;
  for (const Series& s : series) {
    pen.set_color(s.colour);
    for (std::size_t i = 0; i < points.size(); ++i) {
      const int x = a.x_of(points[i].fluence), y = a.y_of(points[i].*s.value);
      if (i > 0) line(pen, a.x_of(points[i - 1].fluence), a.y_of(points[i - 1].*s.value), x, y);
      pen.draw_rectangle(3, static_cast<std::int16_t>(x - 2), static_cast<std::int16_t>(y - 2),
                         static_cast<std::int16_t>(x + 2), static_cast<std::int16_t>(y + 2));
    }
    // Legend.
    line(pen, kLeft + 14, legend_y + 8, kLeft + 44, legend_y + 8);
    pen.draw_rectangle(3, kLeft + 27, legend_y + 6, kLeft + 31, legend_y + 10);
    pen.set_color(PaletteColour::black);
    font(pen, "t'helv'h14w6");
    text_at(pen, kLeft + 52, legend_y, s.name);
    legend_y += 20;
  }
  return legend_y;
}

// The Beer-Lambert line and the measured points, with their legend lines from `legend_y`.
void draw_curve_overlay(display::DrawingContext& pen, const CurveOverlay& overlay,
                        const CurveAxes& a, int legend_y) {
  const auto x_of = [&a](double f) { return a.x_of(f); };
  const auto y_of = [&a](double d) { return a.y_of(d); };
  if (overlay.beer_lambert) {
    pen.set_color(PaletteColour::magenta);
    beer_lambert_line(pen, *overlay.beer_lambert, std::pow(10.0, a.lo), std::pow(10.0, a.hi), x_of,
                      y_of);
    line(pen, kLeft + 14, legend_y + 8, kLeft + 24, legend_y + 8);
    line(pen, kLeft + 34, legend_y + 8, kLeft + 44, legend_y + 8);
    pen.set_color(PaletteColour::black);
    char text[160];
    std::snprintf(text, sizeof text, "Beer-Lambert: F_th = %.4g mJ/cm^2, 1/alpha_eff = %.4g nm",
                  overlay.beer_lambert->threshold_fluence,
                  overlay.beer_lambert->absorption_length_nm);
    text_at(pen, kLeft + 52, legend_y, text);
    legend_y += 20;
  }
  if (overlay.measured) {
    pen.set_color(PaletteColour::black);
    for (const MeasuredPoint& p : overlay.measured->points)
      measured_mark(pen, p, overlay.measured->has_sigma, p.depth_nm, x_of, y_of);
    mark(pen, kLeft + 29, legend_y + 8, 4, false);
    mark(pen, kLeft + 29, legend_y + 8, 3, false);
    text_at(pen, kLeft + 52, legend_y,
            "Measured (" + std::string(depth_column_name(overlay.measured->quantity)) + ")");
  }
}

bool draw_ablation_curve(const std::vector<CurvePoint>& points, const CurveOverlay& overlay,
                         const std::string& png, std::string& error) {
  if (points.empty()) {
    error = "no finished run to draw in \"" + png + "\"";
    return false;
  }
  display::OffscreenSession session;
  if (!display::create_offscreen_main_window(kWidth, kHeight) || display::initialize_fonts() <= 0) {
    error = "cannot make an offscreen page for \"" + png + "\"";
    return false;
  }
  display::DrawingContext pen;
  const CurveAxes axes = curve_axes(points, overlay);
  draw_curve_frame(pen, axes);
  const int legend_y = draw_curve_series(pen, points, axes);
  draw_curve_overlay(pen, overlay, axes, legend_y);
  return save_picture(png, error);
}

constexpr int kFitPageHeight = 800;
constexpr int kMainBottom = 520, kResidualTop = 560, kResidualBottom = 700;

// The axes of the fit picture: whole fluence decades over the points and the curve; depth from 0
// (or below); residuals symmetric about 0, covering every point with its bar.
struct FitAxes {
  double lo = 0.0, hi = 1.0;
  double step = 1.0, d_bottom = 0.0, d_top = 1.0;
  double r_step = 1.0, r_top = 1.0;

  int x_of(double f) const {
    return kLeft +
           static_cast<int>(std::lround((std::log10(f) - lo) / (hi - lo) * (kRight - kLeft)));
  }
  int y_of(double d) const {
    d = std::clamp(d, d_bottom, d_top);
    return kMainBottom - static_cast<int>(std::lround((d - d_bottom) / (d_top - d_bottom) *
                                                      (kMainBottom - kTop)));
  }
  int y_of_residual(double r) const {
    r = std::clamp(r, -r_top, r_top);
    return kResidualBottom - static_cast<int>(std::lround((r + r_top) / (2.0 * r_top) *
                                                          (kResidualBottom - kResidualTop)));
  }
};

FitAxes fit_axes(const FitPlot& plot) {
  const MeasuredData& data = *plot.measured;
  double f_min = data.points.front().fluence, f_max = f_min, d_min = 0.0, d_max = 0.0;
  for (const MeasuredPoint& p : data.points) {
    f_min = std::min(f_min, p.fluence);
    f_max = std::max(f_max, p.fluence);
    const double s = data.has_sigma ? p.sigma_nm : 0.0;
    d_max = std::max(d_max, p.depth_nm + s);
    d_min = std::min(d_min, p.depth_nm - s);
  }
  auto cover_curve = [&](const std::vector<double>& fluences, const std::vector<double>& depths) {
    for (std::size_t i = 0; i < fluences.size() && i < depths.size(); ++i) {
      if (!std::isfinite(depths[i])) continue;
      f_min = std::min(f_min, fluences[i]);
      f_max = std::max(f_max, fluences[i]);
      d_max = std::max(d_max, depths[i]);
    }
  };
  cover_curve(plot.curve_fluences, plot.curve_depths_nm);
  for (const FitPlotSet& set : plot.sets) cover_curve(set.curve_fluences, set.curve_depths_nm);
  FitAxes a;
  a.lo = std::floor(std::log10(f_min));
  a.hi = std::ceil(std::log10(f_max));
  if (a.hi <= a.lo) a.hi = a.lo + 1.0;
  if (!(d_max > 0.0)) d_max = 1.0;
  a.step = nice_step((d_max - d_min) * 1.05);
  a.d_top = std::ceil(d_max * 1.05 / a.step) * a.step;
  a.d_bottom = d_min < 0.0 ? std::floor(d_min * 1.05 / a.step) * a.step : 0.0;
  double r_max = 0.0;
  for (std::size_t i = 0; i < plot.residuals_nm.size() && i < data.points.size(); ++i) {
    if (std::isfinite(plot.residuals_nm[i]))
      r_max = std::max(r_max, std::fabs(plot.residuals_nm[i]) +
                                  (data.has_sigma ? data.points[i].sigma_nm : 0.0));
  }
  if (!(r_max > 0.0)) r_max = 1.0;
  a.r_step = nice_step(r_max * 2.2);
  a.r_top = std::ceil(r_max * 1.1 / a.r_step) * a.r_step;
  return a;
}

// The page, the grids of the main panel (and of the residual panel), and the captions.
void draw_fit_frame(display::DrawingContext& pen, const FitPlot& plot, const FitAxes& a) {
  const auto x_of = [&a](double f) { return a.x_of(f); };
  const bool has_residuals = !plot.residuals_nm.empty();
  pen.set_color(PaletteColour::bright_white);
  pen.draw_rectangle(3, 0, 0, kWidth - 1, kFitPageHeight - 1);
  fluence_grid(pen, a.lo, a.hi, kTop, kMainBottom, false, x_of);
  depth_grid(pen, a.d_bottom, a.d_top, a.step, kLeft, kRight, [&a](double d) { return a.y_of(d); });
  pen.set_color(PaletteColour::black);
  pen.draw_rectangle(2, kLeft, kTop, kRight, kMainBottom);
  if (has_residuals) {
    fluence_grid(pen, a.lo, a.hi, kResidualTop, kResidualBottom, true, x_of);
    depth_grid(pen, -a.r_top, a.r_top, a.r_step, kLeft, kRight,
               [&a](double r) { return a.y_of_residual(r); });
    pen.set_color(PaletteColour::black);
    pen.draw_rectangle(2, kLeft, kResidualTop, kRight, kResidualBottom);
  } else {
    fluence_grid(pen, a.lo, a.hi, kTop, kMainBottom, true, x_of);
  }

  font(pen, "t'helv'h20w9");
  pen.set_color(PaletteColour::black);
  text_at(pen, kLeft, 18, plot.title);
  font(pen, "t'helv'h16w7");
  const DepthQuantity quantity = plot.measured->quantity;
  const std::string depth_caption = quantity == DepthQuantity::surface ? "Surface recession [nm]"
                                    : quantity == DepthQuantity::volume
                                        ? "Volume depth [nm]"
                                        : "Total ablated depth [nm]";
  text_at(pen, 12, kTop - 26, depth_caption);
  const int x_caption_y = has_residuals ? kResidualBottom + 34 : kMainBottom + 34;
  text_at(pen, (kLeft + kRight) / 2 - 60, x_caption_y, "Fluence [mJ/cm^2]");
  if (has_residuals) {
    bool has_model = !plot.curve_fluences.empty();
    for (const FitPlotSet& set : plot.sets) has_model = has_model || !set.curve_fluences.empty();
    text_at(pen, 12, kResidualTop - 24,
            has_model ? "Residual: measured - model [nm]" : "Measured - Beer-Lambert line [nm]");
  }
}

// The colours of the data sets, in turn.
constexpr PaletteColour kSetColours[] = {
    PaletteColour::blue,  PaletteColour::red,  PaletteColour::green,     PaletteColour::magenta,
    PaletteColour::brown, PaletteColour::cyan, PaletteColour::light_red, PaletteColour::grey};

PaletteColour set_colour(std::size_t set) {
  return kSetColours[set % std::size(kSetColours)];
}

// A model curve, two pixels thick, skipping the fluences where the run failed.
template <typename XOf, typename YOf>
void model_line(display::DrawingContext& pen, const std::vector<double>& fluences,
                const std::vector<double>& depths, XOf x_of, YOf y_of) {
  for (int offset : {0, 1}) {
    for (std::size_t i = 1; i < fluences.size() && i < depths.size(); ++i) {
      if (!std::isfinite(depths[i - 1]) || !std::isfinite(depths[i])) continue;
      line(pen, x_of(fluences[i - 1]), y_of(depths[i - 1]) + offset, x_of(fluences[i]),
           y_of(depths[i]) + offset);
    }
  }
}

// Each data set in its colour: its curve, its Beer-Lambert line, its points and residuals.
void draw_fit_sets(display::DrawingContext& pen, const FitPlot& plot, const FitAxes& a) {
  const MeasuredData& data = *plot.measured;
  const auto x_of = [&a](double f) { return a.x_of(f); };
  const auto y_of = [&a](double d) { return a.y_of(d); };
  const auto y_of_residual = [&a](double r) { return a.y_of_residual(r); };
  for (std::size_t k = 0; k < plot.sets.size(); ++k) {
    const FitPlotSet& set = plot.sets[k];
    pen.set_color(set_colour(k));
    model_line(pen, set.curve_fluences, set.curve_depths_nm, x_of, y_of);
    if (set.beer_lambert)
      beer_lambert_line(pen, *set.beer_lambert, std::pow(10.0, a.lo), std::pow(10.0, a.hi), x_of,
                        y_of);
    for (std::size_t i : set.rows) {
      if (i >= data.points.size()) continue;
      measured_mark(pen, data.points[i], data.has_sigma, data.points[i].depth_nm, x_of, y_of);
      if (i < plot.residuals_nm.size() && std::isfinite(plot.residuals_nm[i]))
        measured_mark(pen, data.points[i], data.has_sigma, plot.residuals_nm[i], x_of,
                      y_of_residual);
    }
  }
}

// The model curve (thick), the Beer-Lambert line, then the points and residuals on top.
void draw_fit_data(display::DrawingContext& pen, const FitPlot& plot, const FitAxes& a) {
  if (!plot.sets.empty()) {
    draw_fit_sets(pen, plot, a);
    return;
  }
  const MeasuredData& data = *plot.measured;
  const auto x_of = [&a](double f) { return a.x_of(f); };
  const auto y_of = [&a](double d) { return a.y_of(d); };
  pen.set_color(PaletteColour::light_blue);
  for (int offset : {0, 1}) {
    for (std::size_t i = 1; i < plot.curve_fluences.size(); ++i) {
      if (!std::isfinite(plot.curve_depths_nm[i - 1]) || !std::isfinite(plot.curve_depths_nm[i]))
        continue;
      line(pen, x_of(plot.curve_fluences[i - 1]), y_of(plot.curve_depths_nm[i - 1]) + offset,
           x_of(plot.curve_fluences[i]), y_of(plot.curve_depths_nm[i]) + offset);
    }
  }
  if (plot.beer_lambert) {
    pen.set_color(PaletteColour::magenta);
    beer_lambert_line(pen, *plot.beer_lambert, std::pow(10.0, a.lo), std::pow(10.0, a.hi), x_of,
                      y_of);
  }
  pen.set_color(PaletteColour::black);
  for (const MeasuredPoint& p : data.points)
    measured_mark(pen, p, data.has_sigma, p.depth_nm, x_of, y_of);
  for (std::size_t i = 0; i < plot.residuals_nm.size() && i < data.points.size(); ++i) {
    if (std::isfinite(plot.residuals_nm[i]))
      measured_mark(pen, data.points[i], data.has_sigma, plot.residuals_nm[i], x_of,
                    [&a](double r) { return a.y_of_residual(r); });
  }
}

// Legend: the symbols, then the fitted values.
void draw_fit_legend(display::DrawingContext& pen, const FitPlot& plot) {
  const MeasuredData& data = *plot.measured;
  const std::string depth_label = std::string(depth_column_name(data.quantity));
  std::vector<std::string> lines;
  lines.push_back("         Measured " + depth_label + (data.has_sigma ? " (+- sigma)" : ""));
  if (!plot.curve_fluences.empty()) lines.push_back("         Model at the fitted values");
  for (const FitPlotSet& set : plot.sets)
    lines.push_back("         " + set.name + (set.curve_fluences.empty() ? "" : ": points, model"));
  if (plot.beer_lambert) lines.push_back("         Beer-Lambert line d = (1/alpha_eff) ln(F/F_th)");
  for (const std::string& l : plot.legend) lines.push_back(l);
  const int box_x = kLeft + 12, box_y = kTop + 12;
  legend_box(pen, box_x, box_y, lines);
  int y = box_y + 4 + 8;
  pen.set_color(PaletteColour::black);
  mark(pen, box_x + 20, y + 1, 4, false);
  mark(pen, box_x + 20, y + 1, 3, false);
  if (!plot.curve_fluences.empty()) {
    y += 18;
    pen.set_color(PaletteColour::light_blue);
    line(pen, box_x + 8, y, box_x + 32, y);
    line(pen, box_x + 8, y + 1, box_x + 32, y + 1);
  }
  for (std::size_t k = 0; k < plot.sets.size(); ++k) {
    y += 18;
    pen.set_color(set_colour(k));
    mark(pen, box_x + 20, y + 1, 4, false);
    if (plot.sets[k].curve_fluences.empty()) continue;
    line(pen, box_x + 8, y, box_x + 32, y);
    line(pen, box_x + 8, y + 1, box_x + 32, y + 1);
  }
  if (plot.beer_lambert) {
    y += 18;
    pen.set_color(PaletteColour::magenta);
    line(pen, box_x + 8, y, box_x + 16, y);
    line(pen, box_x + 24, y, box_x + 32, y);
  }
}

bool draw_fit(const FitPlot& plot, const std::string& png, std::string& error) {
  if (!plot.measured || plot.measured->points.empty()) {
    error = "no measured point to draw in \"" + png + "\"";
    return false;
  }
  display::OffscreenSession session;
  if (!display::create_offscreen_main_window(kWidth, kFitPageHeight) ||
      display::initialize_fonts() <= 0) {
    error = "cannot make an offscreen page for \"" + png + "\"";
    return false;
  }
  display::DrawingContext pen;
  const FitAxes axes = fit_axes(plot);
  draw_fit_frame(pen, plot, axes);
  draw_fit_data(pen, plot, axes);
  draw_fit_legend(pen, plot);
  return save_picture(png, error);
}

// One axis of a series plot: linear from 0 (or the lowest value) on a 1-2-5 step, or log on
// whole decades.
struct SeriesAxis {
  bool log = false;
  double lo = 0.0, hi = 1.0, step = 1.0;
  int from = 0, to = 1;  // pixels of lo and hi

  bool holds(double v) const { return std::isfinite(v) && (!log || v > 0.0); }
  int at(double v) const {
    const double t = log ? (std::log10(v) - lo) / (hi - lo) : (v - lo) / (hi - lo);
    return from + static_cast<int>(std::lround(t * (to - from)));
  }
};

SeriesAxis series_axis(const SeriesPlot& plot, bool x_axis, int from, int to) {
  SeriesAxis a;
  a.log = x_axis ? plot.log_x : plot.log_y;
  a.from = from;
  a.to = to;
  double v_min = HUGE_VAL, v_max = -HUGE_VAL;
  for (const SeriesPlot::Series& s : plot.series) {
    for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
      const double x = s.x[i], y = s.y[i];
      const bool x_ok = std::isfinite(x) && (!plot.log_x || x > 0.0);
      const bool y_ok = std::isfinite(y) && (!plot.log_y || y > 0.0);
      if (!x_ok || !y_ok) continue;
      const double v = x_axis ? x : y;
      v_min = std::min(v_min, v);
      v_max = std::max(v_max, v);
    }
  }
  if (!(v_min <= v_max)) v_min = v_max = a.log ? 1.0 : 0.0;
  if (a.log) {
    a.lo = std::floor(std::log10(v_min));
    a.hi = std::ceil(std::log10(v_max));
    if (a.hi <= a.lo) a.hi = a.lo + 1.0;
  } else {
    a.lo = std::min(0.0, v_min);
    const double span = std::max(v_max - a.lo, 1e-12) * 1.05;
    a.step = nice_step(span);
    a.hi = a.lo + std::ceil(span / a.step) * a.step;
  }
  return a;
}

// Grid lines and labels of an axis; `across_from`, `across_to` the pixels the lines span.
void series_grid(display::DrawingContext& pen, const SeriesAxis& a, bool x_axis, int across_from,
                 int across_to) {
  font(pen, "t'helv'h14w6");
  auto tick = [&](double v, bool major) {
    const int p = a.at(v);
    pen.set_color(major ? PaletteColour::grey : PaletteColour::white);
    if (x_axis)
      line(pen, p, across_from, p, across_to);
    else
      line(pen, across_from, p, across_to, p);
    pen.set_color(PaletteColour::black);
    const std::string label = short_number(v);
    if (x_axis)
      text_at(pen, p - 3 * static_cast<int>(label.size()), across_from + 9, label);
    else
      text_at(pen, across_from - 10 - 6 * static_cast<int>(label.size()), p - 7, label);
  };
  if (a.log) {
    for (double e = a.lo; e <= a.hi; e += 1.0)
      for (double m : {1.0, 2.0, 5.0})
        if (std::log10(m) + e <= a.hi + 1e-9) tick(m * std::pow(10.0, e), m == 1.0);
  } else {
    for (double v = a.lo; v <= a.hi + a.step * 1e-9; v += a.step)
      tick(std::fabs(v) < a.step * 1e-9 ? 0.0 : v, std::fabs(v) < a.step * 1e-9);
  }
}

bool draw_series(const SeriesPlot& plot, const std::string& png, std::string& error) {
  display::OffscreenSession session;
  if (!display::create_offscreen_main_window(kWidth, kHeight) || display::initialize_fonts() <= 0) {
    error = "cannot make an offscreen page for \"" + png + "\"";
    return false;
  }
  display::DrawingContext pen;
  pen.set_color(PaletteColour::bright_white);
  pen.draw_rectangle(3, 0, 0, kWidth - 1, kHeight - 1);
  const SeriesAxis x = series_axis(plot, true, kLeft, kRight);
  const SeriesAxis y = series_axis(plot, false, kBottom, kTop);
  series_grid(pen, x, true, kBottom, kTop);
  series_grid(pen, y, false, kLeft, kRight);
  pen.set_color(PaletteColour::black);
  pen.draw_rectangle(2, kLeft, kTop, kRight, kBottom);
  font(pen, "t'helv'h20w9");
  text_at(pen, kLeft, 18, plot.title);
  font(pen, "t'helv'h16w7");
  text_at(pen, (kLeft + kRight) / 2 - 4 * static_cast<int>(plot.x_label.size()), kBottom + 34,
          plot.x_label);
  text_at(pen, 12, kTop - 26, plot.y_label);
  constexpr PaletteColour kColours[] = {PaletteColour::blue, PaletteColour::light_red,
                                        PaletteColour::green, PaletteColour::magenta};
  int legend_y = kTop + 12;
  for (std::size_t k = 0; k < plot.series.size(); ++k) {
    const SeriesPlot::Series& s = plot.series[k];
    pen.set_color(kColours[k % std::size(kColours)]);
    bool has_last = false;
    int last_x = 0, last_y = 0;
    for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
      if (!x.holds(s.x[i]) || !y.holds(s.y[i])) {
        has_last = false;
        continue;
      }
      const int px = x.at(s.x[i]), py = y.at(s.y[i]);
      if (s.joined && has_last) line(pen, last_x, last_y, px, py);
      if (s.marks) mark(pen, px, py, 3, true);
      has_last = true;
      last_x = px;
      last_y = py;
    }
    if (s.joined) line(pen, kLeft + 14, legend_y + 8, kLeft + 44, legend_y + 8);
    if (s.marks) mark(pen, kLeft + 29, legend_y + 8, 3, true);
    pen.set_color(PaletteColour::black);
    font(pen, "t'helv'h14w6");
    text_at(pen, kLeft + 52, legend_y, s.name);
    legend_y += 20;
  }
  std::size_t longest = 0;
  for (const std::string& l : plot.legend) longest = std::max(longest, l.size());
  legend_box(pen, kRight - 24 - 7 * static_cast<int>(longest), kTop + 12, plot.legend);
  return save_picture(png, error);
}

}  // namespace

}  // namespace kt

// The table in plain C types: each function turns its arguments into the drawing's own types.
struct kt_page {
  kt::FinalPagePicture picture;
  // The profiles of the step drawn, kept from step to step: a run draws thousands of steps, and
  // clearing the whole capacity at each of them cost more than the drawing.
  kt::ProfileArrays profiles;
  std::size_t profile_length = 0;
  kt_page(int width, int height, std::string logo_file)
      : picture(width, height, std::move(logo_file)) {}
};

namespace kt {

namespace {

void write_error(const std::string& text, char* error, std::size_t error_size) {
  if (error == nullptr || error_size == 0) return;
  const std::size_t n = std::min(text.size(), error_size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

std::string text_of(const char* text) {
  return text != nullptr ? text : "";
}

std::vector<double> values(const double* data, std::size_t count) {
  return data != nullptr ? std::vector<double>(data, data + count) : std::vector<double>();
}

std::vector<std::string> lines_of(const char* const* lines, std::size_t count) {
  std::vector<std::string> out;
  for (std::size_t i = 0; lines != nullptr && i < count; ++i) out.push_back(text_of(lines[i]));
  return out;
}

PlotCurveSwitches switches_of(const kt_curve_switches& s) {
  PlotCurveSwitches out;
  out.show_surface_temperature = s.show_surface_temperature != 0;
  out.show_ablation_velocity = s.show_ablation_velocity != 0;
  out.show_ablated_depth = s.show_ablated_depth != 0;
  out.show_broken_fraction = s.show_broken_fraction != 0;
  out.show_temperature_profile = s.show_temperature_profile != 0;
  out.show_fraction_profile = s.show_fraction_profile != 0;
  return out;
}

MeasuredData measured_of(const kt_measured& m) {
  MeasuredData out;
  for (std::size_t i = 0; m.points != nullptr && i < m.count; ++i) {
    MeasuredPoint p;
    p.fluence = m.points[i].fluence;
    p.depth_nm = m.points[i].depth_nm;
    p.sigma_nm = m.points[i].sigma_nm;
    out.points.push_back(p);
  }
  out.quantity = m.quantity == 1   ? DepthQuantity::surface
                 : m.quantity == 2 ? DepthQuantity::volume
                                   : DepthQuantity::total;
  out.has_sigma = m.has_sigma != 0;
  return out;
}

BeerLambertFit line_of(const kt_beer_lambert_line& line) {
  BeerLambertFit out;
  out.ok = true;
  out.threshold_fluence = line.threshold_fluence;
  out.absorption_length_nm = line.absorption_length_nm;
  return out;
}

kt_page* c_open_page(int width, int height, const char* logo_file, char* error,
                     std::size_t error_size) {
  auto page = std::make_unique<kt_page>(width, height, text_of(logo_file));
  std::string why;
  if (!page->picture.open(why)) {
    write_error(why, error, error_size);
    return nullptr;
  }
  return page.release();
}

void c_close_page(kt_page* page) {
  delete page;
}

void c_set_scheme(kt_page* page, int scheme) {
  page->picture.set_scheme(scheme == 1 ? Scheme::accurate : Scheme::published);
}

void c_run_accepted(kt_page* page) {
  page->picture.run_accepted();
}

void c_run_started(kt_page* page, const kt_page_start* start) {
  RunConstants constants;
  constants.model = static_cast<AblationModel>(start->ablation_model);
  constants.ambient_temperature = start->ambient_temperature_k;
  ParameterSet taken;
  taken.time_scale = start->time_scale;
  taken.temperature_scale = start->temperature_scale;
  taken.velocity_scale = start->velocity_scale;
  taken.depth_scale = start->depth_scale;
  taken.z_scale = start->z_scale;
  taken.absorption_coefficient = start->absorption_coefficient;
  page->picture.run_started(constants, taken, start->profile_node_count,
                            switches_of(start->switches));
}

void c_step_done(kt_page* page, const kt_page_step* step) {
  StepRecord record;
  record.time_ns = step->time_ns;
  record.shown = {step->shown_time_ns, step->surface_temperature_k, step->velocity_cm_s,
                  step->plotted_depth_nm, step->surface_fraction};
  record.switches = switches_of(step->switches);
  ProfileArrays& profiles = page->profiles;
  const std::size_t n = std::min(step->profile_length, profiles.profile_depth_nm.size());
  std::copy_n(step->profile_depth_nm, n, profiles.profile_depth_nm.begin());
  std::copy_n(step->profile_temperature_k, n, profiles.profile_temperature_k.begin());
  std::copy_n(step->profile_fraction, n, profiles.profile_fraction.begin());
  for (auto* a :
       {&profiles.profile_depth_nm, &profiles.profile_temperature_k, &profiles.profile_fraction})
    std::fill(a->begin() + static_cast<std::ptrdiff_t>(n),
              a->begin() + static_cast<std::ptrdiff_t>(std::max(n, page->profile_length)), 0.0f);
  page->profile_length = n;
  page->picture.step_done(record, profiles);
}

void c_pulse_started(kt_page* page, int pulse, int pulses, double time_offset_ns) {
  page->picture.pulse_started(pulse, pulses, time_offset_ns);
}

void c_pulse_done(kt_page* page, int pulse, double total_depth_nm) {
  PulseRecord record;
  record.pulse = pulse;
  record.total_depth_nm = total_depth_nm;
  page->picture.pulse_done(record);
}

void c_run_ended(kt_page* page, int stopped) {
  RunOutcome outcome;
  outcome.end = stopped != 0 ? RunEnd::stop : RunEnd::end_test;
  page->picture.run_ended(outcome);
}

int c_page_save(kt_page* page, const char* png, char* error, std::size_t error_size) {
  std::string why;
  if (page->picture.save(text_of(png), why)) return 1;
  write_error(why, error, error_size);
  return 0;
}

int c_draw_ablation_curve(const kt_curve_point* points, std::size_t count,
                          const kt_measured* measured, const kt_beer_lambert_line* beer_lambert,
                          const char* png, char* error, std::size_t error_size) {
  std::string why;
  if (points == nullptr || count == 0) {
    write_error("no finished run to draw in \"" + text_of(png) + "\"", error, error_size);
    return 0;
  }
  std::vector<CurvePoint> curve;
  for (std::size_t i = 0; i < count; ++i)
    curve.push_back(
        {points[i].fluence, points[i].surface_nm, points[i].volume_nm, points[i].total_nm});
  const MeasuredData data = measured != nullptr ? measured_of(*measured) : MeasuredData{};
  const BeerLambertFit line = beer_lambert != nullptr ? line_of(*beer_lambert) : BeerLambertFit{};
  CurveOverlay overlay;
  overlay.measured = measured != nullptr ? &data : nullptr;
  overlay.beer_lambert = beer_lambert != nullptr ? &line : nullptr;
  if (draw_ablation_curve(curve, overlay, text_of(png), why)) return 1;
  write_error(why, error, error_size);
  return 0;
}

int c_draw_fit(const kt_fit_plot* plot, const char* png, char* error, std::size_t error_size) {
  const MeasuredData data =
      plot->measured != nullptr ? measured_of(*plot->measured) : MeasuredData{};
  const BeerLambertFit line =
      plot->beer_lambert != nullptr ? line_of(*plot->beer_lambert) : BeerLambertFit{};
  std::vector<BeerLambertFit> set_lines(plot->set_count);
  FitPlot fit;
  fit.title = text_of(plot->title);
  fit.measured = plot->measured != nullptr ? &data : nullptr;
  fit.curve_fluences = values(plot->curve_fluences, plot->curve_fluence_count);
  fit.curve_depths_nm = values(plot->curve_depths_nm, plot->curve_depth_count);
  fit.residuals_nm = values(plot->residuals_nm, plot->residual_count);
  fit.beer_lambert = plot->beer_lambert != nullptr ? &line : nullptr;
  fit.legend = lines_of(plot->legend, plot->legend_count);
  for (std::size_t k = 0; plot->sets != nullptr && k < plot->set_count; ++k) {
    const kt_fit_set& s = plot->sets[k];
    FitPlotSet set;
    set.name = text_of(s.name);
    if (s.rows != nullptr) set.rows.assign(s.rows, s.rows + s.row_count);
    set.curve_fluences = values(s.curve_fluences, s.curve_fluence_count);
    set.curve_depths_nm = values(s.curve_depths_nm, s.curve_depth_count);
    if (s.beer_lambert != nullptr) {
      set_lines[k] = line_of(*s.beer_lambert);
      set.beer_lambert = &set_lines[k];
    }
    fit.sets.push_back(std::move(set));
  }
  std::string why;
  if (draw_fit(fit, text_of(png), why)) return 1;
  write_error(why, error, error_size);
  return 0;
}

int c_draw_series(const kt_series_plot* plot, const char* png, char* error,
                  std::size_t error_size) {
  SeriesPlot series;
  series.title = text_of(plot->title);
  series.x_label = text_of(plot->x_label);
  series.y_label = text_of(plot->y_label);
  series.log_x = plot->log_x != 0;
  series.log_y = plot->log_y != 0;
  for (std::size_t k = 0; plot->series != nullptr && k < plot->series_count; ++k) {
    const kt_series& s = plot->series[k];
    series.series.push_back({text_of(s.name), values(s.x, s.x_count), values(s.y, s.y_count),
                             s.marks != 0, s.joined != 0});
  }
  series.legend = lines_of(plot->legend, plot->legend_count);
  std::string why;
  if (draw_series(series, text_of(png), why)) return 1;
  write_error(why, error, error_size);
  return 0;
}

const kt_picture_table kTable{KT_PICTURE_INTERFACE_VERSION,
                              c_open_page,
                              c_close_page,
                              c_set_scheme,
                              c_run_accepted,
                              c_run_started,
                              c_step_done,
                              c_pulse_started,
                              c_pulse_done,
                              c_run_ended,
                              c_page_save,
                              c_draw_ablation_curve,
                              c_draw_fit,
                              c_draw_series};

}  // namespace

}  // namespace kt

// The library's one entry point, looked up by name by the programs that draw: the table when
// the caller was built for this interface, null otherwise.
extern "C" __attribute__((visibility("default"))) const kt_picture_table* kt_picture_functions(
    int version) {
  return version == KT_PICTURE_INTERFACE_VERSION ? &kt::kTable : nullptr;
}
