// The spot: its crater against one-dimensional runs at the local fluences, the D^2 method on the
// model's craters, and the spot's settings and table through the batch runner.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>

#include "engine/crater.h"
#include "engine/single_run.h"
#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

RunSetup spot_setup(const std::string& beam, double radius_um, int pulses = 1) {
  Experiment e;
  e.beam = beam;
  e.spot_radius_um = radius_um;
  e.pulses = pulses;
  e.rate_hz = pulses > 1 ? 10.0 : 0.0;
  std::string error;
  std::optional<RunSetup> setup = make_run_setup(e, error);
  EXPECT_TRUE(setup) << error;
  return setup.value_or(RunSetup{});
}

double one_dimensional_depth(const ParameterSet& parameters, const RunSetup& setup, double f) {
  ParameterSet p = parameters;
  p.fluence = static_cast<float>(f);
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  setup.apply(options);
  const SingleRun run = run_parameters(p, options);
  EXPECT_TRUE(run.error.empty()) << run.error;
  return run.outcome.total_depth_nm;
}

TEST(Crater, EqualsOneDimensionalRunsAtTheLocalFluencesWithinTheStatedError) {
  struct Case {
    float fluence, pulse_width;
    double radius_um;
  };
  for (const Case c : {Case{50.0f, 15.0f, 50.0}, Case{140.0f, 22.0f, 12.5}}) {
    CraterRequest request;
    request.parameters = test::default_parameters();
    request.parameters.fluence = c.fluence;
    request.parameters.pulse_width = c.pulse_width;
    request.setup = spot_setup("gaussian", c.radius_um);
    request.radius_points = 21;
    const Crater crater = compute_crater(request);
    ASSERT_TRUE(crater.error.empty()) << crater.error;
    EXPECT_LT(crater.interpolation_error_nm, 0.02 * crater.depth_nm[0][0]);
    for (std::size_t i : {5u, 11u, 14u}) {
      const double run =
          one_dimensional_depth(request.parameters, request.setup, crater.fluence[i]);
      EXPECT_LE(std::abs(crater.depth_nm[0][i] - run), crater.interpolation_error_nm + 1e-9)
          << "fluence " << c.fluence << ", radius " << crater.radius_um[i];
    }
    // The volume against the profile's own trapezoid sum; the diameter inside the reach.
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < crater.radius_um.size(); ++i)
      sum += M_PI * (crater.radius_um[i + 1] - crater.radius_um[i]) *
             (crater.radius_um[i] * crater.depth_nm[0][i] +
              crater.radius_um[i + 1] * crater.depth_nm[0][i + 1]) *
             1e-3;
    EXPECT_NEAR(crater.volume_um3[0] / sum, 1.0, 0.02);
    EXPECT_GT(crater.diameter_um[0], 0.0);
    EXPECT_LT(crater.diameter_um[0], 2.0 * crater.spot.reach_um());
  }
}

TEST(Crater, TopHatIsFlatToTheEdgeAndTrainsCumulate) {
  CraterRequest request;
  request.parameters = test::default_parameters();
  request.setup = spot_setup("tophat", 20.0, 3);
  request.radius_points = 11;
  const Crater c = compute_crater(request);
  ASSERT_TRUE(c.error.empty()) << c.error;
  ASSERT_EQ(c.depth_nm.size(), 3u);
  EXPECT_EQ(c.runs, 1);
  for (std::size_t i = 0; i < c.radius_um.size(); ++i) {
    const bool inside = c.radius_um[i] <= 20.0;
    EXPECT_EQ(c.depth_nm[0][i] > 0.0, inside);
    EXPECT_DOUBLE_EQ(c.cumulative_nm[2][i], c.depth_nm[0][i] + c.depth_nm[1][i] + c.depth_nm[2][i]);
  }
  EXPECT_DOUBLE_EQ(c.diameter_um[2], 40.0);
  EXPECT_NEAR(c.volume_um3[0], M_PI * 400.0 * c.depth_nm[0][0] * 1e-3, 1e-9 * c.volume_um3[0]);
}

TEST(D2Method, RecoversTheSpotRadiusAndTheThresholdWithinTwoPercent) {
  for (double radius : {8.0}) {
    D2ModelRequest request;
    request.parameters = test::default_parameters();
    request.setup = spot_setup("gaussian", radius);
    const D2ModelResult result = d2_on_model(request);
    ASSERT_TRUE(result.error.empty()) << result.error;
    EXPECT_NEAR(result.fit.radius_um / radius, 1.0, 0.02);
    EXPECT_NEAR(result.fit.threshold_fluence / result.threshold, 1.0, 0.02);
  }
}

class SpotCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", path("in.par"));
  }
  fs::path path(const std::string& name) const { return dir_.path() / name; }
  int run(const std::string& arguments) const {
    const std::string command = "cd '" + dir_.path().string() + "' && timeout 300 '" +
                                KT_BATCH_PROGRAM + "' " + arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  test::ScratchDirectory dir_;
};

TEST_F(SpotCommands, RefusalsNameTheSettingAndWriteNothing) {
  test::write_file(path("spot.toml"), "[spot]\nbeam = \"donut\"\nradius_um = 5\n");
  test::write_file(path("nobeam.toml"), "[spot]\nradius_um = 5\n");
  test::write_file(path("emis.toml"), "[spot]\nbeam = \"tophat\"\nradius_um = 5\nemissivity = 2\n");
  struct Case {
    const char* arguments;
    int status;
    const char* message;
  };
  for (const Case c : {
           Case{"run in.par --beam gaussian", 2, "--beam gaussian needs --spot-radius"},
           Case{"run in.par --spot-radius -3", 2, "--spot-radius from above 0"},
           Case{"run in.par --beam ring --spot-radius 3", 2, "--beam is \"ring\""},
           Case{"run in.par --experiment spot.toml", 1, "beam is \"donut\""},
           Case{"run in.par --experiment nobeam.toml", 1, "spot: needs beam"},
           Case{"run in.par --experiment emis.toml", 1, "emissivity must be from 0 to 1"},
           Case{"threshold in.par --method d2", 2, "needs a gaussian spot"},
           Case{"threshold in.par --method d2 --beam tophat --spot-radius 9", 2, "gaussian"},
           Case{"sweep in.par --fluence 10,20 --spot-radius 9", 1, "leave --spot-radius out"},
       }) {
    EXPECT_EQ(run(c.arguments), c.status) << c.arguments;
    EXPECT_NE(test::read_file(path("err.txt")).find(c.message), std::string::npos)
        << c.arguments << ": " << test::read_file(path("err.txt"));
    EXPECT_EQ(test::file_names(dir_.path()),
              (std::vector<std::string>{"emis.toml", "err.txt", "in.par", "nobeam.toml", "out.txt",
                                        "spot.toml"}));
  }
}

TEST_F(SpotCommands, ARunWithASpotWritesTheCraterTableBesideTheResultFiles) {
  ASSERT_EQ(run("run in.par --spot-radius 30"), 0) << test::read_file(path("err.txt"));
  const std::string table = test::read_file(path("Data1C.dat"));
  EXPECT_NE(table.find("# crater of a gaussian spot, radius 30 um"), std::string::npos) << table;
  EXPECT_NE(table.find("radius/um"), std::string::npos);
  EXPECT_NE(test::read_file(path("out.txt")).find("crater after pulse 1: diameter"),
            std::string::npos);
}

}  // namespace
}  // namespace kt
