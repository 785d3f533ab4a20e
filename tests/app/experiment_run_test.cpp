// Experiments run from the program: the files of a run started with Calculation equal the batch
// runner's with the same parameter file and experiment file, byte for byte; the page follows
// the train pulse by pulse; Stop ends a train with whole files; refusals start nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/dialog_words.h"
#include "app/menu.h"
#include "app_page.h"
#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

struct PulseWatch : RunObserver {
  std::vector<int> started, done;
  std::function<void(int pulse)> on_started, on_done;
  void pulse_started(int pulse, int, double) override {
    started.push_back(pulse);
    if (on_started) on_started(pulse);
  }
  void pulse_done(const PulseRecord& record) override {
    done.push_back(record.pulse);
    if (on_done) on_done(record.pulse);
  }
};

// A folder with the default parameter file, a material file and a measured trace.
void fill_folder(const fs::path& folder) {
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", folder / "KTparam.par");
  fs::copy_file(fs::path(KT_SOURCE_DIR) / "materials" / "polyimide.toml", folder / "mat.toml");
  test::write_file(folder / "pulse.csv", "# time_ns,intensity\n0,0\n8,1\n30,0\n");
  test::write_file(folder / "bad_mat.toml", "name = \"bad\"\n[density]\nvalue = \"heavy\"\n");
}

// A train of `pulses` at 10 Hz on a spot.
Experiment spot_train(int pulses, const char* beam, double radius_um) {
  Experiment train;
  train.pulses = pulses;
  train.rate_hz = 10.0;
  train.beam = beam;
  train.spot_radius_um = radius_um;
  return train;
}

class ExperimentRunTest : public ::testing::Test {
 protected:
  // Starts the program's Calculation in `folder` with `experiment` and waits for its end.
  RunOutcome run_in(const fs::path& folder, const Experiment& experiment,
                    const std::function<void(Application&)>& before = {}) {
    test::CurrentDirectory here(folder);
    test::AppPage page(1024, 768);
    EXPECT_TRUE(page.ready());
    ShellServices services;
    services.show_message = [this](std::string_view, std::string_view text) {
      messages.emplace_back(text);
    };
    RunOptions options;
    options.observer = &watch;
    Application app(fs::path(KT_BATCH_PROGRAM).parent_path(), services, options);
    EXPECT_TRUE(init_display(app));
    EXPECT_TRUE(load_startup_parameters(app));
    app.experiment = experiment;
    if (before) before(app);
    calculation_command(app);
    app.controller.wait();
    caption = app.run_view.pulses().caption();
    return app.controller.last_outcome();
  }

  // Runs the batch runner on the same parameter file and `experiment` in a folder of its own;
  // every result file it writes must be in `app_folder` with the same bytes (then removed, so
  // that the next case starts without them). How many there were.
  std::size_t compare_with_batch(const fs::path& app_folder, const Experiment& experiment) {
    test::ScratchDirectory batch_dir;
    fill_folder(batch_dir.path());
    EXPECT_EQ(save_experiment_file(experiment, batch_dir.path() / "exp.toml"), "");
    const std::string command = "cd '" + batch_dir.path().string() +
                                "' && '" KT_BATCH_PROGRAM
                                "' KTparam.par --experiment exp.toml > out.txt 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << test::read_file(batch_dir.path() / "out.txt");
    std::size_t written = 0;
    for (const std::string& name : test::file_names(batch_dir.path())) {
      if (name.rfind("Data1", 0) != 0) continue;
      ++written;
      EXPECT_EQ(test::read_file(app_folder / name), test::read_file(batch_dir.path() / name))
          << name;
      fs::remove(app_folder / name);
    }
    return written;
  }

  PulseWatch watch;
  std::vector<std::string> messages;
  std::string caption;
};

TEST_F(ExperimentRunTest, CalculationWritesTheBatchRunnersFiles) {
  struct Case {
    const char* name;
    Experiment experiment;
  };
  test::ScratchDirectory app_dir;
  fill_folder(app_dir.path());
  Experiment train;  // the desk's case: Gaussian, 10 pulses at 10 Hz, a material
  train.pulse_shape = "gaussian";
  train.pulses = 10;
  train.rate_hz = 10.0;
  train.material = app_dir.path() / "mat.toml";
  Experiment incubated;
  incubated.pulse_shape = "measured";
  incubated.trace = app_dir.path() / "pulse.csv";
  incubated.pulses = 3;
  incubated.rate_hz = 100.0;
  incubated.incubated_absorption = 4.0e5;
  Experiment single;
  single.pulse_shape = "gaussian";
  Experiment spot = single;  // and its crater table
  spot.beam = "gaussian";
  spot.spot_radius_um = 50.0;
  const Case cases[] = {{"train with a material", train},
                        {"measured trace, incubation", incubated},
                        {"one Gaussian pulse", single},
                        {"one pulse on a Gaussian spot", spot}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    watch = PulseWatch{};
    messages.clear();
    const RunOutcome outcome = run_in(app_dir.path(), c.experiment);
    EXPECT_EQ(outcome.end, RunEnd::end_test);
    EXPECT_TRUE(messages.empty()) << messages.front();
    if (c.experiment.pulses > 1) {
      EXPECT_EQ(watch.done.size(), static_cast<std::size_t>(c.experiment.pulses));
      const std::string n = std::to_string(c.experiment.pulses);
      EXPECT_EQ(caption, "Pulse " + n + " of " + n);
    } else {
      EXPECT_TRUE(watch.started.empty());
    }

    // D, K, S1-S10 (and P of a train, C of a spot)
    EXPECT_EQ(compare_with_batch(app_dir.path(), c.experiment),
              c.experiment.pulses > 1 || !c.experiment.beam.empty() ? 13u : 12u);
  }
}

TEST_F(ExperimentRunTest, ASpotsTrainWritesTheBatchRunnersFilesAndCrater) {
  test::ScratchDirectory app_dir;
  fill_folder(app_dir.path());
  const Experiment train = spot_train(2, "tophat", 20.0);
  const RunOutcome outcome = run_in(app_dir.path(), train);
  EXPECT_EQ(outcome.end, RunEnd::end_test);
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(watch.done, (std::vector<int>{1, 2}));  // the page follows the centre's pulses
  EXPECT_EQ(caption, "Pulse 2 of 2");
  // D, K, S1-S10, P and C
  EXPECT_EQ(compare_with_batch(app_dir.path(), train), 14u);
}

TEST_F(ExperimentRunTest, StopEndsATrainWithWholeFiles) {
  test::ScratchDirectory dir;
  fill_folder(dir.path());
  Experiment train;
  train.pulses = 10;
  train.rate_hz = 10.0;
  std::function<void()> stop;
  watch.on_done = [&](int pulse) {
    if (pulse == 2) stop();
  };
  const RunOutcome outcome = run_in(dir.path(), train, [&](Application& app) {
    stop = [&app] { app.controller.request_stop(); };
  });
  EXPECT_EQ(outcome.end, RunEnd::stop);
  const std::string table = test::read_file(dir.path() / "Data1P.dat");
  const std::string kinetics = test::read_file(dir.path() / "Data1K.dat");
  // The header, the two pulses and the one cut short: each line whole.
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4) << table;
  EXPECT_EQ(table.back(), '\n');
  ASSERT_FALSE(kinetics.empty());
  EXPECT_EQ(kinetics.back(), '\n');
}

// Stop in the second pulse of a spot's train: every radius has finished the first, and the
// crater table holds it alone and says the train was cut, as the batch runner's does.
TEST_F(ExperimentRunTest, StopEndsASpotsTrainAtEveryRadiusWithItsFinishedPulses) {
  test::ScratchDirectory dir;
  fill_folder(dir.path());
  std::function<void()> stop;
  watch.on_started = [&](int pulse) {
    if (pulse == 2) stop();
  };
  const RunOutcome outcome =
      run_in(dir.path(), spot_train(3, "gaussian", 30.0),
             [&](Application& app) { stop = [&app] { stop_command(app); }; });
  EXPECT_EQ(outcome.end, RunEnd::stop);
  ASSERT_FALSE(watch.done.empty());
  EXPECT_EQ(watch.done.front(), 1);
  EXPECT_LE(watch.done.size(), 2u);  // the second pulse cut short
  EXPECT_TRUE(messages.empty()) << messages.front();
  const std::string crater = test::read_file(dir.path() / "Data1C.dat");
  EXPECT_NE(crater.find("# INTERRUPTED: only the 1 of 3 pulses finished at every radius are "
                        "listed\r\n"),
            std::string::npos)
      << crater;
  EXPECT_EQ(crater.find("# pulse 2:"), std::string::npos) << crater;
  const std::string table = test::read_file(dir.path() / "Data1P.dat");
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.back(), '\n');
}

TEST_F(ExperimentRunTest, RefusedExperimentsStartNothing) {
  struct Case {
    const char* name;
    std::function<void(Application&)> before;
    std::string message;
  };
  test::ScratchDirectory dir;
  fill_folder(dir.path());
  const std::string bad = (dir.path() / "bad_mat.toml").string();
  const Case cases[] = {
      {"bad material file", [&](Application& app) { app.experiment.material = bad; },
       bad + ", line 3"},
      {"a train unticked from the accurate scheme",
       [](Application& app) {
         app.experiment.pulses = 4;
         app.experiment.rate_hz = 10.0;
         accurate_scheme_command(app, false);  // refused: the experiment keeps its scheme
         EXPECT_EQ(app.experiment.scheme, "");
         app.experiment.scheme = "published";
       },
       "\"Numerical scheme\" published cannot run \"Number of pulses\" 4"},
      {"a spot radius without a beam, named by the dialog's fields",
       [](Application& app) { app.experiment.spot_radius_um = 20.0; },
       "\"Spot radius [\u00b5m]\" is given but no \"Laser spot\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    const RunOutcome outcome = run_in(dir.path(), Experiment{}, c.before);
    EXPECT_EQ(outcome.end, RunEnd::not_started);
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find(c.message), std::string::npos) << messages.back();
    for (const std::string& name : test::file_names(dir.path()))
      EXPECT_NE(name.rfind("Data1", 0), 0u) << name << " was written";
  }
}

// The program names a setting by the dialog's field that sets it, and one without a field in the
// plain words.
TEST(DialogWordsTest, SettingsAreNamedByTheirFields) {
  const DialogWords words;
  const struct {
    std::string_view key, value;
    const char* text;
  } cases[] = {{"pulses", "4", "\"Number of pulses\" 4"},
               {"rate_hz", "", "\"Repetition rate [Hz]\""},
               {"material", "", "\"Material file\""},
               {"incubated_absorption", "", "\"Incubated absorption [cm^-1]\""},
               {"scheme", "accurate", "\"Numerical scheme\" accurate"},
               {"trace", "", "\"Trace file\""},
               {"refinement", "4", "refinement 4"}};
  for (const auto& c : cases) EXPECT_EQ(words.text({c.key, c.value}), c.text) << c.key;
}

}  // namespace
}  // namespace kt
