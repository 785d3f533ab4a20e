// The pages drawn by the synthetic run stay the same pixel for pixel: the final page against a
// golden PNG and the page at a few steps on the way (first segments, axis doublings, late
// readouts) against golden hashes, at several page sizes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kt_test_paths.h"
#include "page_surface.h"
#include "synthetic_run.h"
#include "tests/display/golden_image.h"

namespace kt {
namespace {

class GoldenPages : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(GoldenPages, SyntheticRunDrawsTheGoldenPages) {
  const auto [width, height] = GetParam();
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  test::PageSurface surface(width, height);
  ASSERT_TRUE(surface.ready());
  PagePlots plots(surface.page());
  test::GoldenHashes hashes(std::string(KT_TEST_DATA_DIR) + "/graphics/synthetic_run_" + size +
                            ".hashes");
  const std::set<int> checkpoints = {1, 2, 3, 40, 300, 1000, 1500, 2000, 3000, 4500};
  test::feed_synthetic_run(plots, [&](int step) {
    if (checkpoints.count(step) == 0) return;
    EXPECT_TRUE(hashes.check("step_" + std::to_string(step), test::surface_hash(width, height)));
  });
  EXPECT_TRUE(test::surface_matches_png(
      std::string(KT_TEST_DATA_DIR) + "/graphics/synthetic_run_" + size + ".png", width, height));
}

INSTANTIATE_TEST_SUITE_P(Pages, GoldenPages,
                         ::testing::Values(std::pair{1024, 768}, std::pair{800, 600},
                                           std::pair{640, 480}, std::pair{1366, 768}));

}  // namespace
}  // namespace kt
