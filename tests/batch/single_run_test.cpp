// One run from a parameter file as the batch runner and Python make it: the run's own records,
// the parameters as the run used them, and a reason instead of a run for a file that cannot be
// read or a set the run refuses.
#include "engine/single_run.h"

#include <gtest/gtest.h>

#include "params/parameter_file.h"
#include "test_support.h"

namespace kt {
namespace {

TEST(SingleRun, AFileRunsOnceWithItsAutoScalesOrSaysWhyNot) {
  test::ScratchDirectory dir;
  const std::string path = (dir.path() / "KTparam.par").string();
  const ParameterSet defaults = test::default_parameters();
  ASSERT_TRUE(write_parameter_file(path, defaults));
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;

  const SingleRun run = run_parameter_file(path, options);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.outcome.end, RunEnd::end_test);
  // The set as used differs from the file only in the scales Auto set for the run.
  const AutoScales automatic = compute_auto_scales(defaults);
  ParameterSet expected = defaults;
  expected.temperature_scale = automatic.temperature_scale;
  expected.velocity_scale = automatic.velocity_scale;
  expected.depth_scale = automatic.depth_scale;
  EXPECT_EQ(run.used, expected);
  EXPECT_TRUE(test::file_names(dir.path()) == std::vector<std::string>{"KTparam.par"});

  const SingleRun missing = run_parameter_file((dir.path() / "none.par").string(), options);
  EXPECT_NE(missing.error.find("none.par"), std::string::npos) << missing.error;
  EXPECT_EQ(missing.outcome.end, RunEnd::not_started);

  ParameterSet refused = defaults;
  refused.density = -1.0f;
  ASSERT_TRUE(write_parameter_file(path, refused));
  const SingleRun not_run = run_parameter_file(path, options);
  EXPECT_EQ(not_run.error.rfind(path + ": Density [g/cm^3] is -1", 0), 0u) << not_run.error;
  EXPECT_EQ(not_run.outcome.end, RunEnd::not_started);
}

}  // namespace
}  // namespace kt
