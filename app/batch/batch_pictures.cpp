// The batch runner's pictures through the picture library, opened with dlopen on first use.
#include "app/batch/batch_pictures.h"

#include <dlfcn.h>

#include <cmath>
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

}  // namespace kt
