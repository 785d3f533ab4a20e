// The batch runner's pictures through the picture library, opened with dlopen on first use.
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

namespace kt {

namespace {

struct LoadedLibrary {
  const PictureFunctions* functions = nullptr;
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
    candidates.push_back(here / kPictureLibraryName);
    candidates.push_back(here / KT_PICTURES_FROM_PROGRAM / kPictureLibraryName);
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
    const auto entry = reinterpret_cast<PictureEntry>(dlsym(handle, kPictureEntryName));
    const PictureFunctions* functions = entry != nullptr ? entry() : nullptr;
    if (functions == nullptr || functions->interface_version != kPictureInterfaceVersion) {
      loaded.failure = candidate.string() + " is not the picture library of this program";
      return loaded;
    }
    loaded.functions = functions;
    return loaded;
  }
  loaded.failure = std::string(kPictureLibraryName) + " is not installed beside the program";
  return loaded;
}

}  // namespace

const PictureFunctions* picture_functions(const std::string& what, std::string& error) {
  static const LoadedLibrary library = open_library();
  if (library.functions == nullptr)
    error =
        "cannot draw " + what + ": the picture library cannot be loaded (" + library.failure + ")";
  return library.functions;
}

bool run_with_picture(SharedParameters& parameters, int width, int height,
                      const std::filesystem::path& data_directory, const std::string& png,
                      RunOutcome& outcome, std::string& error, const RunOptions& options) {
  const PictureFunctions* pictures = picture_functions("pictures (--png)", error);
  if (pictures == nullptr) return false;
  const std::string logo = find_data_file(kLogoFileName, data_directory);
  std::unique_ptr<PagePicture> page = pictures->open_page(width, height, logo, error);
  if (!page) return false;
  page->set_scheme(options.scheme);
  HeadlessRun records;
  RunOptions drawn = options;
  drawn.observer = page.get();
  outcome = records.run(parameters, drawn);
  return page->save(png, error);
}

bool draw_ablation_curve_png(const SweepResult& result, const std::string& png, std::string& error,
                             const CurveOverlay& overlay) {
  std::vector<CurvePoint> points;
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
  const PictureFunctions* pictures = picture_functions("the ablation curve (--plot)", error);
  return pictures != nullptr && pictures->draw_ablation_curve(points, overlay, png, error);
}

bool draw_fit_png(const FitPlot& plot, const std::string& png, std::string& error) {
  const PictureFunctions* pictures = picture_functions("the fit (--plot)", error);
  return pictures != nullptr && pictures->draw_fit(plot, png, error);
}

namespace {

bool draw_series_png(const SeriesPlot& plot, const std::string& what, const std::string& png,
                     std::string& error) {
  const PictureFunctions* pictures = picture_functions(what, error);
  return pictures != nullptr && pictures->draw_series(plot, png, error);
}

}  // namespace

bool draw_incubation_png(const IncubationThresholds& result, const std::string& png,
                         std::string& error) {
  SeriesPlot plot;
  plot.title = "Threshold fluence against the number of pulses";
  plot.x_label = "Pulses N";
  plot.y_label = "Threshold fluence [mJ/cm^2]";
  plot.log_x = plot.log_y = true;
  SeriesPlot::Series found{"Thresholds", {}, {}, true, false};
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
  SeriesPlot::Series depths{"Total depth of each pulse", {}, {}, true, true};
  for (const PulseRecord& p : outcome.pulses) {
    depths.x.push_back(p.pulse);
    depths.y.push_back(p.total_depth_nm);
  }
  SeriesPlot::Series mean{"Mean over the train", {}, {}, false, true};
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
  plot.x_label = "Radius [um]";
  plot.y_label = "Depth [nm]";
  const std::size_t pulses = crater.cumulative_nm.size();
  const std::size_t curves = std::min<std::size_t>(pulses, 10);
  for (std::size_t c = 0; c < curves; ++c) {
    const std::size_t k = curves == 1 ? 0 : c * (pulses - 1) / (curves - 1);
    SeriesPlot::Series s{pulses == 1 ? "Depth" : "After pulse " + std::to_string(k + 1),
                         crater.radius_um, crater.cumulative_nm[k], false, true};
    plot.series.push_back(std::move(s));
  }
  char line[160];
  std::snprintf(line, sizeof line, "%s spot, w = %.4g um, F0 = %.4g mJ/cm^2",
                beam_name(crater.spot.beam), crater.spot.radius_um, crater.peak_fluence);
  plot.legend.push_back(line);
  return draw_series_png(plot, "the crater (--plot)", png, error);
}

}  // namespace kt
