// A synthetic run of 5359 steps drawn through the page plot operations, at a few page sizes;
// the pages are saved under shots/ for a look and checked for their curves.
#include <gtest/gtest.h>

#include <string>

#include "graphics/page_plots.h"
#include "page_surface.h"
#include "synthetic_run.h"

namespace kt {
namespace {

using test::PageSurface;

constexpr int kSteps = test::kSyntheticSteps;

class PlotPictures : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(PlotPictures, AWholeRunLeavesAllCurvesOnThePage) {
  const auto [width, height] = GetParam();
  PageSurface surface(width, height);
  ASSERT_TRUE(surface.ready());
  PagePlots plots(surface.page());
  test::feed_synthetic_run(plots);
  surface.save("plots_" + std::to_string(width) + "x" + std::to_string(height) + ".png");

  EXPECT_EQ(plots.temporal().point_count(), kSteps);
  EXPECT_EQ(plots.temporal().time_scale(), 60.0f);
  EXPECT_EQ(plots.temporal().axis_top(0), 2000.0f);
  const TemporalLayout& l = plots.temporal().layout();
  for (std::int32_t colour :
       {test::kLightRed, test::kYellow, test::kLightGreen, test::kLightCyan}) {
    EXPECT_GT(surface.count(l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1, colour), 30) << colour;
  }
  const auto t = profile_panel_layout(surface.page(), 0.15f, 0.05f, 0.2f, 0.2f);
  const auto f = profile_panel_layout(surface.page(), 0.7f, 0.05f, 0.2f, 0.2f);
  EXPECT_GT(surface.count(t.x0 + 1, t.y0 + 1, t.x1 - 1, t.y1 - 1, test::kYellow), 30);
  EXPECT_GT(surface.count(f.x0 + 1, f.y0 + 1, f.x1 - 1, f.y1 - 1, test::kYellow), 30);
}

INSTANTIATE_TEST_SUITE_P(Pages, PlotPictures,
                         ::testing::Values(std::pair{640, 480}, std::pair{1024, 768},
                                           std::pair{1366, 768}));

}  // namespace
}  // namespace kt
