// The spot: its crater against one-dimensional runs at the local fluences, the D^2 method on the
// model's craters, a spot's train stopped part way, and the spot's settings, table, JSON and
// signals through the batch runner.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "engine/crater.h"
#include "engine/single_run.h"
#include "engine/spot_train.h"
#include "kt_test_paths.h"
#include "test_support.h"

extern char** environ;

namespace kt {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

RunSetup spot_setup(const std::string& beam, double radius_um, int pulses = 1) {
  Experiment e;
  e.beam = beam;
  e.spot_radius_um = radius_um;
  e.pulses = pulses;
  e.rate_hz = pulses > 1 ? 10.0 : 0.0;
  const Prepared<RunSetup> setup = make_run_setup(e);
  EXPECT_TRUE(setup) << setup.refusal.text();
  return setup ? *setup : RunSetup{};
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

// The crater table's rows of numbers (after the '#' lines and the header).
std::vector<std::vector<double>> table_rows(const std::string& table) {
  std::vector<std::vector<double>> rows;
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#' || line.find('/') != std::string::npos) continue;
    std::istringstream numbers(line);
    rows.emplace_back();
    for (double v = 0.0; numbers >> v;) rows.back().push_back(v);
  }
  return rows;
}

// The JSON crater holds what the table holds, each number named with its unit.
void expect_crater_json_matches_table(const json& crater, const std::string& table) {
  const std::vector<std::vector<double>> rows = table_rows(table);
  ASSERT_EQ(crater["radius_um"].size(), rows.size());
  const std::size_t pulses = crater["pulses"].size();
  ASSERT_GE(pulses, 1u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_NEAR(crater["radius_um"][i].get<double>(), rows[i][0], 1e-4 * (1 + rows[i][0]));
    EXPECT_NEAR(crater["fluence_mJ_per_cm2"][i].get<double>(), rows[i][1], 1e-5 * rows[i][1]);
    for (std::size_t k = 0; k < pulses; ++k) {
      const json& p = crater["pulses"][k];
      EXPECT_NEAR(p["depth_nm"][i].get<double>(), rows[i][2 + k], 1e-5 * (1e-9 + rows[i][2 + k]));
      if (pulses > 1) {
        EXPECT_NEAR(p["cumulative_depth_nm"][i].get<double>(), rows[i][2 + pulses + k],
                    1e-5 * (1e-9 + rows[i][2 + pulses + k]));
      }
    }
  }
  for (std::size_t k = 0; k < pulses; ++k) {
    const json& p = crater["pulses"][k];
    EXPECT_EQ(p["pulse"], k + 1);
    char line[200];
    std::snprintf(line, sizeof line, "# pulse %zu: volume %.6g um^3, diameter at %.6g nm", k + 1,
                  p["volume_um3"].get<double>(), crater["diameter_depth_nm"].get<double>());
    EXPECT_NE(table.find(line), std::string::npos) << line << "\n" << table;
    EXPECT_GE(p["diameter_um"].get<double>(), 0.0);
  }
  EXPECT_EQ(crater["table_file"], "Data1C.dat");
  for (const char* key : {"beam", "spot_radius_um", "peak_fluence_mJ_per_cm2", "pulse_energy_uJ",
                          "runs", "planned_pulses", "complete", "interpolated"})
    EXPECT_TRUE(crater.contains(key)) << key;
}

TEST_F(SpotCommands, ARunWithASpotWritesTheCraterTableAndItsJson) {
  ASSERT_EQ(run("run in.par --spot-radius 30"), 0) << test::read_file(path("err.txt"));
  const std::string table = test::read_file(path("Data1C.dat"));
  EXPECT_NE(table.find("# crater of a gaussian spot, radius 30 um"), std::string::npos) << table;
  EXPECT_NE(table.find("radius/um"), std::string::npos);
  EXPECT_NE(test::read_file(path("out.txt")).find("crater after pulse 1: diameter"),
            std::string::npos);

  ASSERT_EQ(run("run in.par --spot-radius 30 --json"), 0) << test::read_file(path("err.txt"));
  const json summary = json::parse(test::read_file(path("out.txt")));
  const json& crater = summary["crater"];
  EXPECT_EQ(test::read_file(path("Data1C.dat")), table);
  expect_crater_json_matches_table(crater, table);
  EXPECT_EQ(crater["beam"], "gaussian");
  EXPECT_EQ(crater["spot_radius_um"], 30.0);
  EXPECT_EQ(crater["planned_pulses"], 1);
  EXPECT_EQ(crater["complete"], true);
  EXPECT_EQ(crater["interpolated"], true);
  EXPECT_GT(crater["interpolation_error_nm"].get<double>(), 0.0);
  EXPECT_FALSE(summary.contains("spot_train"));
  // The centre's depth is the run's own.
  EXPECT_NEAR(crater["pulses"][0]["depth_nm"][0].get<double>(),
              summary["total_depth_nm"].get<double>(),
              1e-6 * summary["total_depth_nm"].get<double>());
}

// A spot's train: the JSON says where the light went and lists each radius's own run; --png
// draws the centre's page and --plot the crater.
TEST_F(SpotCommands, ASpotTrainsJsonPageAndPlot) {
  ASSERT_EQ(run("run in.par --spot-radius 50 --pulses 2 --rate 1000 --json --png page.png "
                "--size 640x480 --plot crater.png"),
            0)
      << test::read_file(path("err.txt"));
  const json summary = json::parse(test::read_file(path("out.txt")));
  const json& crater = summary["crater"];
  expect_crater_json_matches_table(crater, test::read_file(path("Data1C.dat")));
  EXPECT_EQ(crater["interpolated"], false);
  EXPECT_TRUE(crater["interpolation_error_nm"].is_null());
  EXPECT_EQ(crater["planned_pulses"], 2);
  EXPECT_EQ(crater["complete"], true);
  EXPECT_EQ(summary["pulses"].size(), 2u);
  const json& train = summary["spot_train"];
  EXPECT_EQ(train["radii"], crater["runs"]);
  EXPECT_NEAR(train["light_uJ"].get<double>(), 2 * crater["pulse_energy_uJ"].get<double>(), 1e-9);
  EXPECT_GT(train["surface_loss_uJ"].get<double>(), 0.0);
  EXPECT_EQ(train["interrupted"], false);
#if KT_BATCH_PICTURES
  EXPECT_EQ(test::read_file(path("page.png")).substr(1, 3), "PNG");
  EXPECT_EQ(test::read_file(path("crater.png")).substr(1, 3), "PNG");
#endif
}

// Starts the batch runner in the scratch folder, waits until `started` holds (or 120 s), sends
// `signal_number` and returns the exit status (-1 when the signal killed the program).
class SpotSignals : public SpotCommands {
 protected:
  int signal_when(const std::string& arguments, int signal_number,
                  const std::function<bool()>& started) {
    std::vector<std::string> words{KT_BATCH_PROGRAM};
    std::istringstream split(arguments);
    for (std::string w; split >> w;) words.push_back(w);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = path("out.txt").string(), err = path("err.txt").string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.path().c_str());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!started() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, signal_number);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The latest time [ns] the temporal file holds (0 when it holds none).
  double temporal_time() const {
    std::ifstream in(path("Data1D.dat"));
    double latest = 0.0;
    for (std::string line; std::getline(in, line);) {
      std::istringstream numbers(line);
      if (double t = 0.0; numbers >> t) latest = t;
    }
    return latest;
  }
};

// SIGTERM in the second pulse of a spot's train: the run stops as interrupted, no kinetics
// line, the pulse table and the crater table say what was cut. SIGINT while the crater's runs
// of a single pulse are made: the run's files are whole, the crater table is not written.
TEST_F(SpotSignals, AStoppedSpotRunSaysWhatItCutAndWritesNoKineticsLine) {
  // Each pulse of the train runs about 100 ns; the temporal file past 110 ns is pulse 2.
  ASSERT_EQ(signal_when("run in.par --spot-radius 50 --pulses 6 --rate 1000 --json", SIGTERM,
                        [&] { return temporal_time() > 110.0; }),
            130)
      << test::read_file(path("err.txt"));
  const std::string err = test::read_file(path("err.txt"));
  EXPECT_NE(err.find("no kinetics line was written"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(path("Data1K.dat")));
  const json summary = json::parse(test::read_file(path("out.txt")));
  EXPECT_EQ(summary["end"], "stopped");
  EXPECT_EQ(summary["kinetics_line_written"], false);
  EXPECT_EQ(summary["spot_train"]["interrupted"], true);
  const json& pulses = summary["pulses"];
  ASSERT_GE(pulses.size(), 2u);
  ASSERT_LT(pulses.size(), 6u);
  const bool cut = pulses.back()["cut_short"].get<bool>();
  const std::string table = test::read_file(path("Data1P.dat"));
  EXPECT_EQ(table.find("cut short") != std::string::npos, cut) << table;
  EXPECT_EQ(err.find("the pulse table marks the pulse cut short") != std::string::npos, cut);
  // The crater: the pulses finished at every radius, marked as such in the table and the JSON.
  const json& crater = summary["crater"];
  ASSERT_TRUE(crater.is_object()) << summary.dump();
  EXPECT_EQ(crater["complete"], false);
  EXPECT_EQ(crater["planned_pulses"], 6);
  const std::size_t listed = crater["pulses"].size();
  EXPECT_GE(listed, 1u);
  EXPECT_LE(listed, pulses.size() - (cut ? 1 : 0));
  const std::string crater_table = test::read_file(path("Data1C.dat"));
  EXPECT_NE(crater_table.find("# INTERRUPTED: only the " + std::to_string(listed) + " of 6 pulses"),
            std::string::npos)
      << crater_table;
  expect_crater_json_matches_table(crater, crater_table);

  for (const std::string& name : test::file_names(dir_.path()))
    if (name.rfind("Data1", 0) == 0) fs::remove(path(name));
  ASSERT_EQ(signal_when("run in.par --spot-radius 30 --refine 8", SIGINT,
                        [&] { return fs::exists(path("Data1K.dat")); }),
            130)
      << test::read_file(path("err.txt"));
  EXPECT_NE(test::read_file(path("err.txt")).find("the crater table was not written"),
            std::string::npos)
      << test::read_file(path("err.txt"));
  EXPECT_FALSE(fs::exists(path("Data1C.dat")));
  EXPECT_NE(test::read_file(path("Data1K.dat")).find("\r\n"), std::string::npos);
}

// Sets the interrupt flag when the centre's run reaches a chosen point of pulse 2.
class StopInPulseTwo final : public RunObserver {
 public:
  StopInPulseTwo(std::atomic<bool>& flag, int steps) : flag_(flag), steps_(steps) {}
  void pulse_started(int pulse, int, double) override { pulse_ = pulse; }
  void pulse_done(const PulseRecord& record) override {
    if (record.pulse == 1 && steps_ == 0) flag_ = true;
  }
  void step_done(const StepRecord&, const ProfileArrays&) override {
    if (pulse_ == 2 && --steps_ == 0) flag_ = true;
  }

 private:
  std::atomic<bool>& flag_;
  int steps_;
  int pulse_ = 0;
};

// Stopped 40 steps into pulse 2, the centre's pulse table marks pulse 2 cut short and the
// crater holds pulse 1 alone; stopped as pulse 1 ends (the centre then mostly waits for the
// other radii, which stop in pulse 1), the train ends stopped, not failed.
TEST(SpotTrain, StoppedPartWayKeepsThePulsesFinishedAtEveryRadius) {
  for (const int steps : {40, 0}) {
    SCOPED_TRACE(steps);
    std::atomic<bool> interrupt{false};
    StopInPulseTwo stopper(interrupt, steps);
    SpotTrainRequest request;
    request.parameters = test::default_parameters();
    request.setup = spot_setup("gaussian", 50.0, 4);
    request.radii = 4;
    request.centre.write_profile_files = false;
    request.centre.append_kinetics_line = false;
    request.centre.interrupt = &interrupt;
    request.centre.observer = &stopper;
    const SpotTrainResult r = run_spot_train(request);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_TRUE(r.failure.empty()) << r.failure;
    EXPECT_TRUE(r.interrupted);
    EXPECT_EQ(r.centre.end, RunEnd::stop);
    EXPECT_TRUE(r.centre.interrupted);
    // Stopped as pulse 1 ends: pulse 2 cut at its first step when the other radii had all
    // finished pulse 1, else none cut.
    const std::vector<PulseRecord>& centre = r.pulses.at(0);
    EXPECT_EQ(centre.size(), centre.back().cut_short ? 2u : 1u);
    EXPECT_TRUE(steps == 0 || centre.back().cut_short);
    EXPECT_TRUE(r.crater.partial());
    EXPECT_EQ(r.crater.planned_pulses, 4);
    if (steps > 0)
      EXPECT_EQ(r.crater.listed_pulses(), 1);
    else
      EXPECT_LE(r.crater.listed_pulses(), 1);
    const std::string table = crater_table_text(r.crater);
    EXPECT_NE(table.find("# INTERRUPTED: only the " + std::to_string(r.crater.listed_pulses()) +
                         " of 4 pulses finished at every radius are listed"),
              std::string::npos)
        << table;
    EXPECT_EQ(table.find("interpolated"), std::string::npos);
  }
}

}  // namespace
}  // namespace kt
