// Fuzz target (libFuzzer) for the points file of a listed study. The input is the file, read
// from a memory file through its path as the study command reads it. Besides crashes,
// sanitizer findings, hangs and memory blow-ups, it checks the reader's promises: a refusal
// names the file and leaves the plan as it was; an accepted file gives a listed study of at
// least one point, every point with one value per field.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/points_file.h"

namespace {

void require(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("points.csv", MFD_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  kt::StudyPlan plan;
  plan.refinement = 7;  // a mark: a refusal leaves the plan as it was
  const std::string error = kt::read_points_file(path, plan);
  ::close(fd);
  if (!error.empty()) {
    require(error.find(path) != std::string::npos);
    require(error.size() < 4096);  // a refusal is a message, not a listing
    require(plan.refinement == 7 && plan.fields.empty());
    return 0;
  }
  require(!plan.fields.empty() && plan.axes.empty() && !plan.listed_points.empty());
  require(kt::study_point_count(plan) == plan.listed_points.size());
  for (const auto& point : plan.listed_points) require(point.size() == plan.fields.size());
  return 0;
}
