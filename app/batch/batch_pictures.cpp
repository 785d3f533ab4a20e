// The batch runner's pictures through the picture library, opened with dlopen on first use: the
// program's own types are turned into the library's plain C ones here and nowhere else.
#include "app/batch/batch_pictures.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "app/data_files.h"
#include "graphics/title_page.h"
#include "solver/run_observer.h"

namespace kt {

namespace {

struct LoadedLibrary {
  const kt_picture_table* functions = nullptr;
  std::string failure;  // why it could not be opened
};

std::filesystem::path program_directory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

// Opens the library once per process; it stays loaded until the process ends.
LoadedLibrary open_library() {
  const std::filesystem::path here = program_directory();
  std::vector<std::filesystem::path> candidates;
  if (!here.empty()) {
    candidates.push_back(here / KT_PICTURE_LIBRARY_NAME);
    candidates.push_back(here / KT_PICTURES_FROM_PROGRAM / KT_PICTURE_LIBRARY_NAME);
  }
  LoadedLibrary loaded;
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code ignored;
    if (!std::filesystem::exists(candidate, ignored)) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = dlerror();
      loaded.failure = reason != nullptr ? reason : candidate.string();
      return loaded;
    }
    const auto entry = reinterpret_cast<kt_picture_entry>(dlsym(handle, KT_PICTURE_ENTRY_NAME));
    const kt_picture_table* functions =
        entry != nullptr ? entry(KT_PICTURE_INTERFACE_VERSION) : nullptr;
    if (functions == nullptr || functions->interface_version != KT_PICTURE_INTERFACE_VERSION) {
      loaded.failure = candidate.string() + " is not the picture library of this program";
      return loaded;
    }
    loaded.functions = functions;
    return loaded;
  }
  loaded.failure = std::string(KT_PICTURE_LIBRARY_NAME) + " is not installed beside the program";
  return loaded;
}

// The library writes its errors here.
struct ErrorText {
  char text[1024] = {};
};

kt_curve_switches c_switches(const PlotCurveSwitches& s) {
  return {s.show_surface_temperature ? 1 : 0, s.show_ablation_velocity ? 1 : 0,
          s.show_ablated_depth ? 1 : 0,       s.show_broken_fraction ? 1 : 0,
          s.show_temperature_profile ? 1 : 0, s.show_fraction_profile ? 1 : 0};
}

// The page of a run in the library, told of the run through the table.
class LibraryPage final : public RunObserver {
 public:
  LibraryPage(const kt_picture_table& table, kt_page* page) : table_(table), page_(page) {}
  ~LibraryPage() override { table_.close_page(page_); }
  LibraryPage(const LibraryPage&) = delete;
  LibraryPage& operator=(const LibraryPage&) = delete;

  void set_scheme(Scheme scheme) {
    table_.page_set_scheme(page_, scheme == Scheme::accurate ? 1 : 0);
  }
  void run_accepted() override { table_.page_run_accepted(page_); }
  void run_started(const RunConstants& constants, const ParameterSet& taken,
                   std::int32_t profile_node_count, const PlotCurveSwitches& switches) override {
    const kt_page_start start{static_cast<int>(constants.model),
                              constants.ambient_temperature,
                              taken.time_scale,
                              taken.temperature_scale,
                              taken.velocity_scale,
                              taken.depth_scale,
                              taken.z_scale,
                              taken.absorption_coefficient,
                              profile_node_count,
                              c_switches(switches)};
    // The profiles hold nodes 1..profile_node_count: only those are handed over at each step.
    profile_length_ = static_cast<std::size_t>(std::max(profile_node_count, 0)) + 1;
    table_.page_run_started(page_, &start);
  }
  void step_done(const StepRecord& record, const ProfileArrays& profiles) override {
    const OutputValues& v = record.shown;
    const kt_page_step step{record.time_ns,
                            v.time_ns,
                            v.surface_temperature_k,
                            v.velocity_cm_s,
                            v.plotted_depth_nm,
                            v.surface_fraction,
                            c_switches(record.switches),
                            profiles.profile_depth_nm.data(),
                            profiles.profile_temperature_k.data(),
                            profiles.profile_fraction.data(),
                            std::min(profile_length_, profiles.profile_depth_nm.size())};
    table_.page_step_done(page_, &step);
  }
  void pulse_started(int pulse, int pulses, double time_offset_ns) override {
    table_.page_pulse_started(page_, pulse, pulses, time_offset_ns);
  }
  void pulse_done(const PulseRecord& record) override {
    table_.page_pulse_done(page_, record.pulse, record.total_depth_nm);
  }
  void run_ended(const RunOutcome& outcome) override {
    table_.page_run_ended(page_, outcome.end == RunEnd::stop ? 1 : 0);
  }
  bool save(const std::string& png, std::string& error) {
    ErrorText why;
    if (table_.page_save(page_, png.c_str(), why.text, sizeof why.text) != 0) return true;
    error = why.text;
    return false;
  }

 private:
  const kt_picture_table& table_;
  kt_page* page_;
  std::size_t profile_length_ = kProfileCapacity + 1;
};

// Measured points as the library takes them; `points` must outlive the result.
kt_measured c_measured(const MeasuredData& data, std::vector<kt_measured_point>& points) {
  points.clear();
  for (const MeasuredPoint& p : data.points) points.push_back({p.fluence, p.depth_nm, p.sigma_nm});
  const int quantity = data.quantity == DepthQuantity::surface  ? 1
                       : data.quantity == DepthQuantity::volume ? 2
                                                                : 0;
  return {points.data(), points.size(), quantity, data.has_sigma ? 1 : 0};
}

kt_beer_lambert_line c_line(const BeerLambertFit& fit) {
  return {fit.threshold_fluence, fit.absorption_length_nm};
}

std::vector<const char*> c_lines(const std::vector<std::string>& lines) {
  std::vector<const char*> out;
  for (const std::string& l : lines) out.push_back(l.c_str());
  return out;
}

}  // namespace

const kt_picture_table* picture_functions(const std::string& what, std::string& error) {
  static const LoadedLibrary library = open_library();
  if (library.functions == nullptr)
    error =
        "cannot draw " + what + ": the picture library cannot be loaded (" + library.failure + ")";
  return library.functions;
}

bool draw_run_page(int width, int height, const std::filesystem::path& data_directory,
                   const std::string& png, Scheme scheme,
                   const std::function<void(RunObserver& page)>& run, std::string& error) {
  const kt_picture_table* pictures = picture_functions("pictures (--png)", error);
  if (pictures == nullptr) return false;
  const std::string logo = find_data_file(kLogoFileName, data_directory);
  ErrorText why;
  kt_page* opened = pictures->open_page(width, height, logo.c_str(), why.text, sizeof why.text);
  if (opened == nullptr) {
    error = why.text;
    return false;
  }
  LibraryPage page(*pictures, opened);
  page.set_scheme(scheme);
  run(page);
  return page.save(png, error);
}

bool run_with_picture(SharedParameters& parameters, int width, int height,
                      const std::filesystem::path& data_directory, const std::string& png,
                      RunOutcome& outcome, std::string& error, const RunOptions& options) {
  return draw_run_page(
      width, height, data_directory, png, options.scheme,
      [&](RunObserver& page) {
        HeadlessRun records;
        RunOptions drawn = options;
        drawn.observer = &page;
        outcome = records.run(parameters, drawn);
      },
      error);
}

bool draw_ablation_curve_png(const SweepResult& result, const std::string& png, std::string& error,
                             const CurveOverlay& overlay) {
  std::vector<kt_curve_point> points;
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
  const kt_picture_table* pictures = picture_functions("the ablation curve (--plot)", error);
  if (pictures == nullptr) return false;
  std::vector<kt_measured_point> measured_points;
  const kt_measured measured =
      overlay.measured != nullptr ? c_measured(*overlay.measured, measured_points) : kt_measured{};
  const kt_beer_lambert_line line =
      overlay.beer_lambert != nullptr ? c_line(*overlay.beer_lambert) : kt_beer_lambert_line{};
  ErrorText why;
  if (pictures->draw_ablation_curve(points.data(), points.size(),
                                    overlay.measured != nullptr ? &measured : nullptr,
                                    overlay.beer_lambert != nullptr ? &line : nullptr, png.c_str(),
                                    why.text, sizeof why.text) != 0)
    return true;
  error = why.text;
  return false;
}

bool draw_fit_png(const FitPlot& plot, const std::string& png, std::string& error) {
  const kt_picture_table* pictures = picture_functions("the fit (--plot)", error);
  if (pictures == nullptr) return false;
  std::vector<kt_measured_point> measured_points;
  const kt_measured measured =
      plot.measured != nullptr ? c_measured(*plot.measured, measured_points) : kt_measured{};
  const kt_beer_lambert_line line =
      plot.beer_lambert != nullptr ? c_line(*plot.beer_lambert) : kt_beer_lambert_line{};
  const std::vector<const char*> legend = c_lines(plot.legend);
  std::vector<kt_beer_lambert_line> set_lines(plot.sets.size());
  std::vector<kt_fit_set> sets;
  for (std::size_t k = 0; k < plot.sets.size(); ++k) {
    const FitPlotSet& s = plot.sets[k];
    if (s.beer_lambert != nullptr) set_lines[k] = c_line(*s.beer_lambert);
    sets.push_back({s.name.c_str(), s.rows.data(), s.rows.size(), s.curve_fluences.data(),
                    s.curve_fluences.size(), s.curve_depths_nm.data(), s.curve_depths_nm.size(),
                    s.beer_lambert != nullptr ? &set_lines[k] : nullptr});
  }
  const kt_fit_plot c_plot{plot.title.c_str(),
                           plot.measured != nullptr ? &measured : nullptr,
                           plot.curve_fluences.data(),
                           plot.curve_fluences.size(),
                           plot.curve_depths_nm.data(),
                           plot.curve_depths_nm.size(),
                           plot.residuals_nm.data(),
                           plot.residuals_nm.size(),
                           plot.beer_lambert != nullptr ? &line : nullptr,
                           legend.data(),
                           legend.size(),
                           sets.data(),
                           sets.size()};
  ErrorText why;
  if (pictures->draw_fit(&c_plot, png.c_str(), why.text, sizeof why.text) != 0) return true;
  error = why.text;
  return false;
}

namespace {

bool draw_series_png(const SeriesPlot& plot, const std::string& what, const std::string& png,
                     std::string& error) {
  const kt_picture_table* pictures = picture_functions(what, error);
  if (pictures == nullptr) return false;
  std::vector<kt_series> series;
  for (const SeriesPlot::Series& s : plot.series)
    series.push_back({s.name.c_str(), s.x.data(), s.x.size(), s.y.data(), s.y.size(),
                      s.marks ? 1 : 0, s.joined ? 1 : 0});
  const std::vector<const char*> legend = c_lines(plot.legend);
  const kt_series_plot c_plot{plot.title.c_str(), plot.x_label.c_str(), plot.y_label.c_str(),
                              plot.log_x ? 1 : 0, plot.log_y ? 1 : 0,   series.data(),
                              series.size(),      legend.data(),        legend.size()};
  ErrorText why;
  if (pictures->draw_series(&c_plot, png.c_str(), why.text, sizeof why.text) != 0) return true;
  error = why.text;
  return false;
}

}  // namespace

bool draw_incubation_png(const IncubationThresholds& result, const std::string& model_name,
                         const std::string& png, std::string& error) {
  SeriesPlot plot;
  plot.title = "Threshold fluence against the number of pulses (" + model_name + ")";
  plot.x_label = "Pulses N";
  plot.y_label = "Threshold fluence [mJ/cm^2]";
  plot.log_x = plot.log_y = true;
  SeriesPlot::Series found{"Threshold of N pulses [mJ/cm^2]", {}, {}, true, false};
  for (std::size_t k = 0; k < result.thresholds.size(); ++k) {
    if (!result.thresholds[k].ok) continue;
    found.x.push_back(result.pulses[k]);
    found.y.push_back(result.thresholds[k].fluence);
  }
  plot.series.push_back(found);
  if (result.fit.ok && !found.x.empty()) {
    SeriesPlot::Series law{"F_th(N) = F_th(1) N^(S-1)", {}, {}, false, true};
    const double lo = *std::min_element(found.x.begin(), found.x.end());
    const double hi = *std::max_element(found.x.begin(), found.x.end());
    constexpr int kPieces = 40;
    for (int i = 0; i <= kPieces; ++i) {
      const double n = lo * std::pow(hi / lo, static_cast<double>(i) / kPieces);
      law.x.push_back(n);
      law.y.push_back(incubation_threshold(result.fit, n));
    }
    plot.series.push_back(law);
    char line[120];
    std::snprintf(line, sizeof line, "S = %.4f +- %.2g", result.fit.s, result.fit.s_stderr);
    plot.legend.push_back(line);
    std::snprintf(line, sizeof line, "F_th(1) = %.4g +- %.2g mJ/cm^2",
                  result.fit.single_pulse_threshold, result.fit.single_pulse_stderr);
    plot.legend.push_back(line);
  }
  return draw_series_png(plot, "the thresholds (--plot)", png, error);
}

bool draw_pulse_depths_png(const RunOutcome& outcome, const std::string& png, std::string& error) {
  if (outcome.pulses.empty()) {
    error = "no pulse of a train to draw in \"" + png + "\"";
    return false;
  }
  SeriesPlot plot;
  plot.title = "Depth per pulse";
  plot.x_label = "Pulse number";
  plot.y_label = "Total depth of the pulse [nm]";
  SeriesPlot::Series depths{"Total depth of each pulse [nm]", {}, {}, true, true};
  for (const PulseRecord& p : outcome.pulses) {
    depths.x.push_back(p.pulse);
    depths.y.push_back(p.total_depth_nm);
  }
  SeriesPlot::Series mean{"Mean over the train [nm]", {}, {}, false, true};
  mean.x = {depths.x.front(), depths.x.back()};
  mean.y = {outcome.total_depth_nm, outcome.total_depth_nm};
  plot.series = {depths, mean};
  return draw_series_png(plot, "the depth per pulse (--plot)", png, error);
}

bool draw_crater_png(const Crater& crater, const std::string& png, std::string& error) {
  if (crater.cumulative_nm.empty()) {
    error = "no crater to draw in \"" + png + "\"";
    return false;
  }
  SeriesPlot plot;
  plot.title = "Crater profile";
  // The pictures draw Latin-1 text: \xb5 is the micro sign.
  plot.x_label = "Radius [\xb5m]";
  plot.y_label = "Depth [nm]";
  const std::size_t pulses = crater.cumulative_nm.size();
  const std::size_t curves = std::min<std::size_t>(pulses, 10);
  for (std::size_t c = 0; c < curves; ++c) {
    const std::size_t k = curves == 1 ? 0 : c * (pulses - 1) / (curves - 1);
    SeriesPlot::Series s{
        pulses == 1 ? "Depth [nm]" : "Depth after pulse " + std::to_string(k + 1) + " [nm]",
        crater.radius_um, crater.cumulative_nm[k], false, true};
    plot.series.push_back(std::move(s));
  }
  char line[160];
  std::snprintf(line, sizeof line, "%s spot, w = %.4g \xb5m, F0 = %.4g mJ/cm^2",
                beam_name(crater.spot.beam), crater.spot.radius_um, crater.peak_fluence);
  plot.legend.push_back(line);
  return draw_series_png(plot, "the crater (--plot)", png, error);
}

}  // namespace kt
