// The start-up sequence and the menu commands with their guards, on an application of the
// test's own with an offscreen main window, scripted keys and recorded messages.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/data_files.h"
#include "app/file_commands.h"
#include "app/menu.h"
#include "app_page.h"
#include "graphics/temporal_plot.h"
#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

using test::AppPage;

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(page.ready()); }
  void TearDown() override { app.reset(); }

  void make_app(const std::filesystem::path& output_directory, RunObserver* watch = nullptr) {
    ShellServices services;
    services.read_key = [this]() -> std::int16_t {
      ++keys_read;
      return on_key ? on_key() : std::int16_t{' '};
    };
    services.show_message = [this](std::string_view, std::string_view text) {
      messages.emplace_back(text);
    };
    services.close_frame_window = [this] { ++frame_closes; };
    services.set_title = [this](std::string_view title) { titles.emplace_back(title); };
    services.ask_to_save = [this](std::string_view, std::string_view) {
      ++save_questions;
      return save_answer;
    };
    RunOptions options;
    options.output_directory = output_directory;
    options.observer = watch;
    app = std::make_unique<Application>(scratch.path(), services, options);
    ASSERT_TRUE(init_display(*app));
    set_default_parameter_groups(app->parameters.values);
    set_padded(app->parameters.values.data_file_name, "Run");
  }

  std::string help_file(int lines) {
    const auto path = scratch.path() / "Kestrium.hlp";
    std::ofstream out(path);
    out << " " << lines << "\n";
    for (int i = 1; i <= lines; ++i) out << "Help line " << i << "\n";
    return path.string();
  }

  // Waits for the run and for its outcome to be told.
  RunOutcome finish_run() {
    app->controller.wait();
    return app->controller.last_outcome();
  }

  bool idle() const { return app->run_state.idle() && !app->controller.busy(); }

  AppPage page{1024, 768};
  test::ScratchDirectory scratch;
  std::unique_ptr<Application> app;
  std::function<std::int16_t()> on_key;
  int keys_read = 0;
  std::vector<std::string> messages;
  int frame_closes = 0;
  std::vector<std::string> titles;
  int save_questions = 0;
  display::SaveChoice save_answer = display::SaveChoice::discard;
};

TEST_F(ShellTest, HelpChosenAgainWhileShownDoesNothing) {
  make_app(scratch.path());
  app->help_file = help_file(60);
  on_key = [this]() -> std::int16_t {
    EXPECT_EQ(app->run_state.state(), RunState::help_shown);
    help_command(*app);   // would wait for a key of its own if it opened
    about_command(*app);  // likewise
    return 'q';
  };
  help_command(*app);
  EXPECT_EQ(keys_read, 1);
  EXPECT_TRUE(idle());
}

TEST_F(ShellTest, CalculationWhileAboutIsShownStartsNoRun) {
  make_app(scratch.path());
  on_key = [this]() -> std::int16_t {
    calculation_command(*app);
    app->controller.wait();  // the worker ends at once
    return 'x';
  };
  about_command(*app);
  EXPECT_EQ(keys_read, 1);
  const RunOutcome outcome = finish_run();
  EXPECT_EQ(outcome.end, RunEnd::not_started);
  EXPECT_TRUE(idle());
  EXPECT_TRUE(messages.empty()) << "a refusal by the guards is silent";
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "RunK.dat"));
}

TEST_F(ShellTest, CommandsThatARunKeepsAway) {
  make_app(scratch.path());
  app->help_file = help_file(10);
  // A run marked as running, as the run itself marks it.
  ASSERT_TRUE(app->run_state.try_enter(RunState::running));
  app->parameters.values.fluence = 77.0f;

  default_parameters_command(app->file_commands);
  EXPECT_EQ(app->parameters.values.fluence, 77.0f);
  help_command(*app);
  about_command(*app);
  EXPECT_EQ(keys_read, 0);
  calculation_command(*app);
  app->controller.wait();
  EXPECT_EQ(app->controller.last_outcome().step_count, 0) << "no second run was started";

  app->run_state.leave();
  default_parameters_command(app->file_commands);
  EXPECT_EQ(app->parameters.values.fluence, 50.0f);
}

// Holds the run at its first step until Stop has been asked for: the run is under way when Exit
// comes, however fast the machine.
class HoldUntilStop final : public RunObserver {
 public:
  explicit HoldUntilStop(const RunStateMachine*& run_state) : run_state_(run_state) {}
  void step_done(const StepRecord&, const ProfileArrays&) override {
    if (held_) return;
    held_ = true;
    reached_.set_value();
    while (!run_state_->stop_requested()) std::this_thread::yield();
  }
  std::future<void> reached() { return reached_.get_future(); }

 private:
  const RunStateMachine*& run_state_;
  bool held_ = false;
  std::promise<void> reached_;
};

TEST_F(ShellTest, ExitDuringARunStopsItAndKeepsItsFilesWhole) {
  const RunStateMachine* run_state = nullptr;
  HoldUntilStop hold(run_state);
  std::future<void> reached = hold.reached();
  make_app(scratch.path(), &hold);
  run_state = &app->run_state;
  calculation_command(*app);
  reached.wait();
  exit_command(*app);
  EXPECT_EQ(frame_closes, 1);
  EXPECT_FALSE(app->controller.busy());
  EXPECT_TRUE(idle());
  const RunOutcome outcome = app->controller.last_outcome();
  EXPECT_EQ(outcome.end, RunEnd::stop);
  EXPECT_EQ(outcome.step_count, 1);
  const std::string kinetics = test::read_file(scratch.path() / "RunK.dat");
  ASSERT_FALSE(kinetics.empty());
  EXPECT_EQ(kinetics.back(), '\n');
  EXPECT_EQ(kinetics.find('\n'), kinetics.size() - 1) << "one whole line";
}

// A run whose result files cannot be written has something to tell; when Exit ends it, the
// program is closing and says nothing.
TEST_F(ShellTest, AnOutcomeIsNotToldWhileTheProgramCloses) {
  const RunStateMachine* run_state = nullptr;
  HoldUntilStop hold(run_state);
  std::future<void> reached = hold.reached();
  make_app(scratch.path() / "no" / "such" / "directory", &hold);
  run_state = &app->run_state;
  calculation_command(*app);
  reached.wait();
  exit_command(*app);
  EXPECT_FALSE(app->controller.last_outcome().file_errors.empty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(ShellTest, ARefusedRunIsToldToTheUser) {
  make_app(scratch.path());
  app->parameters.values.ablation_model = static_cast<AblationModel>(3);
  calculation_command(*app);
  finish_run();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("ablation_model is 3"), std::string::npos) << messages[0];
  EXPECT_TRUE(idle());
}

TEST_F(ShellTest, OutOfRangeAndDivergedRunsAreToldAndAppendNothing) {
  make_app(scratch.path());
  app->parameters.values.kinetics_file_mode = KineticsFileMode::addition;
  app->parameters.values.fluence = -50.0f;
  calculation_command(*app);
  EXPECT_EQ(finish_run().end, RunEnd::not_started);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Fluence [mJ/cm^2] is -50; it must be greater than 0"),
            std::string::npos)
      << messages[0];

  // The depth grid cannot follow heat diffusion this strong: the run diverges at its first step.
  app->parameters.values.fluence = 50.0f;
  app->parameters.values.absorption_coefficient = 1e7f;
  calculation_command(*app);
  EXPECT_EQ(finish_run().end, RunEnd::diverged);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].rfind("The calculation diverged at step 1 (t = ", 0), 0u) << messages[1];
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "RunK.dat"));
  EXPECT_TRUE(idle());
}

TEST_F(ShellTest, ResultFileErrorsAreToldToTheUser) {
  make_app(scratch.path() / "no" / "such" / "directory");
  calculation_command(*app);
  const RunOutcome outcome = finish_run();
  EXPECT_FALSE(outcome.file_errors.empty());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("RunK.dat"), std::string::npos) << messages[0];
}

TEST_F(ShellTest, StartupWritesTheDefaultsWhenTheFileIsMissing) {
  test::CurrentDirectory here(scratch.path());
  make_app(scratch.path());
  app->request_shutdown();  // the endless wait at the end returns at once
  startup_sequence(*app);
  EXPECT_EQ(test::read_file(scratch.path() / "KTparam.par"),
            test::read_file(std::string(KT_TEST_DATA_DIR) + "/params/default.par"));
  EXPECT_TRUE(messages.empty());
  // The title page is up: its inner frame at 1024 x 768.
  EXPECT_EQ(page.pixel(8, 300), test::kLightGreen);
  EXPECT_EQ(page.pixel(996, 300), test::kLightGreen);
}

TEST_F(ShellTest, AnUnreadableStartupFileIsReportedAndLeftAlone) {
  test::CurrentDirectory here(scratch.path());
  const std::string broken = "this is not a parameter file\r\n";
  std::ofstream(scratch.path() / "KTparam.par", std::ios::binary) << broken;
  make_app(scratch.path());
  app->parameters.values.fluence = 1234.0f;
  const FileResult result = load_startup_parameters(*app);
  EXPECT_FALSE(result.ok);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("KTparam.par"), std::string::npos) << messages[0];
  ParameterSet defaults;
  set_default_parameter_groups(defaults);
  EXPECT_EQ(app->parameters.values, defaults);
  EXPECT_EQ(test::read_file(scratch.path() / "KTparam.par"), broken);
}

TEST_F(ShellTest, TitleShowsTheFileAndMarksUnsavedChanges) {
  test::CurrentDirectory here(scratch.path());
  make_app(scratch.path());
  ASSERT_TRUE(load_startup_parameters(*app));
  ASSERT_FALSE(titles.empty());
  EXPECT_EQ(titles.back(), "KTparam.par");
  ParameterSet changed = app->parameters.snapshot();
  changed.fluence = 80.0f;
  app->parameters.commit(changed);
  app->update_title();
  EXPECT_EQ(titles.back(), "KTparam.par *");
  ASSERT_TRUE(save_parameter_file(app->file_commands));
  app->update_title();
  EXPECT_EQ(titles.back(), "KTparam.par");
  // A dialog that commits the same values changes nothing; nor does a run with Auto scaling,
  // which sets the scales.
  app->parameters.commit(app->parameters.snapshot());
  EXPECT_FALSE(app->parameters_changed());
  calculation_command(*app);
  EXPECT_EQ(finish_run().end, RunEnd::end_test);
  EXPECT_FALSE(app->parameters_changed());
}

TEST_F(ShellTest, AccurateSchemeItemChoosesTheSchemeOfTheNextRunAndShowsInTheTitle) {
  make_app(scratch.path());
  accurate_scheme_command(*app, true);
  EXPECT_NE(titles.back().find("[accurate scheme]"), std::string::npos) << titles.back();
  calculation_command(*app);
  const RunOutcome accurate = finish_run();
  ASSERT_EQ(accurate.end, RunEnd::end_test);
  EXPECT_LT(std::abs(accurate.energy.residual), 1e-6 * accurate.energy.light_in);
  accurate_scheme_command(*app, false);
  EXPECT_EQ(titles.back().find("[accurate scheme]"), std::string::npos) << titles.back();
  calculation_command(*app);
  const RunOutcome published = finish_run();
  EXPECT_GT(published.energy.residual, 0.02 * published.energy.light_in);
}

TEST_F(ShellTest, ExitWithUnsavedChangesAsksSaveDiscardOrCancel) {
  test::CurrentDirectory here(scratch.path());
  make_app(scratch.path());
  ASSERT_TRUE(load_startup_parameters(*app));
  exit_command(*app);
  EXPECT_EQ(save_questions, 0) << "nothing to save";
  EXPECT_EQ(frame_closes, 1);

  const auto fluence_in_file = [&] {
    ParameterSet read;
    EXPECT_TRUE(read_parameter_file((scratch.path() / "KTparam.par").string(), read).ok);
    return read.fluence;
  };
  app->parameters.values.fluence = 80.0f;
  save_answer = display::SaveChoice::cancel;
  exit_command(*app);
  EXPECT_EQ(save_questions, 1);
  EXPECT_EQ(frame_closes, 1) << "Cancel keeps the program";
  EXPECT_EQ(fluence_in_file(), 50.0f);

  save_answer = display::SaveChoice::save;
  exit_command(*app);
  EXPECT_EQ(frame_closes, 2);
  EXPECT_EQ(fluence_in_file(), 80.0f);

  app->parameters.values.fluence = 90.0f;
  save_answer = display::SaveChoice::discard;
  exit_command(*app);
  EXPECT_EQ(save_questions, 3);
  EXPECT_EQ(frame_closes, 3);
  EXPECT_EQ(fluence_in_file(), 80.0f);
}

TEST_F(ShellTest, ExitWithAnUnsavedExperimentAsksToSaveIt) {
  test::CurrentDirectory here(scratch.path());
  make_app(scratch.path());
  ASSERT_TRUE(load_startup_parameters(*app));
  std::string chosen;  // what the save chooser returns ("": cancelled)
  int choosers = 0;
  app->services.choose_file_to_save = [&](std::string_view, std::string_view,
                                          const std::vector<std::string>&, std::string_view) {
    ++choosers;
    return chosen;
  };
  const std::filesystem::path file = scratch.path() / "exp.toml";
  struct Step {
    const char* name;
    int pulses;  // the experiment's before Exit
    display::SaveChoice answer;
    std::string chosen;
    int questions, choosers;  // asked by this Exit
    bool closes;
    int pulses_in_file;  // 0: no file
  };
  using display::SaveChoice;
  const std::string parameter_file = (scratch.path() / "KTparam.par").string();
  const Step steps[] = {
      {"cancel keeps the program", 3, SaveChoice::cancel, "", 1, 0, false, 0},
      {"a cancelled chooser keeps it too", 3, SaveChoice::save, "", 1, 1, false, 0},
      {"never over the parameter file", 3, SaveChoice::save, parameter_file, 1, 1, false, 0},
      {"saved to the file chosen", 3, SaveChoice::save, file.string(), 1, 1, true, 3},
      {"nothing changed since: no question", 3, SaveChoice::cancel, "", 0, 0, true, 3},
      {"saved again to its file, no chooser", 4, SaveChoice::save, "", 1, 0, true, 4},
      {"discarded", 5, SaveChoice::discard, "", 1, 0, true, 4},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    app->experiment.pulses = step.pulses;
    app->experiment.rate_hz = 10.0;
    save_answer = step.answer;
    chosen = step.chosen;
    const int questions_before = save_questions, choosers_before = choosers;
    const int closes_before = frame_closes;
    exit_command(*app);
    EXPECT_EQ(save_questions - questions_before, step.questions);
    EXPECT_EQ(choosers - choosers_before, step.choosers);
    EXPECT_EQ(frame_closes - closes_before, step.closes ? 1 : 0);
    const std::string text = std::filesystem::exists(file) ? test::read_file(file) : "";
    EXPECT_EQ(text.find("pulses = " + std::to_string(step.pulses_in_file)) != std::string::npos,
              step.pulses_in_file != 0)
        << text;
  }
  EXPECT_NE(messages.at(0).find("the parameter file"), std::string::npos) << messages[0];
  // Both changed: the parameters are asked first, and Cancel there asks nothing more.
  app->parameters.values.fluence = 80.0f;
  save_answer = SaveChoice::cancel;
  const int questions_before = save_questions;
  exit_command(*app);
  EXPECT_EQ(save_questions - questions_before, 1);
}

// Chooses Stop at the run's first step, as the user would.
class StopAtFirstStep final : public RunObserver {
 public:
  explicit StopAtFirstStep(Application*& app) : app_(app) {}
  void step_done(const StepRecord&, const ProfileArrays&) override {
    if (std::exchange(stopped_, true)) return;
    EXPECT_TRUE(app_->run_state.stoppable());
    stop_command(*app_);
  }

 private:
  Application*& app_;
  bool stopped_ = false;
};

TEST_F(ShellTest, StopWhileIdleDoesNothingAndTheNextRunCompletes) {
  make_app(scratch.path());
  EXPECT_FALSE(app->run_state.stoppable()) << "the menu shows Stop greyed";
  stop_command(*app);
  stop_key_command(*app);
  EXPECT_FALSE(app->run_state.stop_requested());
  calculation_command(*app);
  const RunOutcome outcome = finish_run();
  EXPECT_EQ(outcome.end, RunEnd::end_test) << "a stray Stop does not cut the run short";
  EXPECT_GT(outcome.step_count, 1000);
  EXPECT_TRUE(idle());
}

TEST_F(ShellTest, AStoppedRunSaysSoAfterTheTimeReadoutUntilTheNextRun) {
  Application* running = nullptr;
  StopAtFirstStep stop_first(running);
  make_app(scratch.path(), &stop_first);
  running = app.get();
  calculation_command(*app);
  EXPECT_EQ(finish_run().end, RunEnd::stop);
  const TemporalLayout l = temporal_layout(app->page);
  const float s = app->page.screen_scale;
  const auto stopped_pixels = [&] {
    return page.count(l.x1 + scaled(10, s), l.y1 + scaled(41, s), l.x1 + scaled(100, s),
                      l.y1 + scaled(69, s), test::kLightRed);
  };
  EXPECT_GT(stopped_pixels(), 20);
  calculation_command(*app);
  EXPECT_EQ(finish_run().end, RunEnd::end_test);
  EXPECT_EQ(stopped_pixels(), 0);
}

TEST(DataFiles, CurrentDirectoryFirstThenTheDataDirectory) {
  test::ScratchDirectory here_dir;
  test::ScratchDirectory data_dir;
  test::CurrentDirectory here(here_dir.path());
  const std::filesystem::path bin = data_dir.path() / "bin";
  const std::filesystem::path share = data_dir.path() / "share" / "kestrium";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(share);
  EXPECT_EQ(find_data_file("Kestrium.hlp", bin), "Kestrium.hlp");
  std::ofstream(share / "Kestrium.hlp") << "  0\n";  // an installed tree
  EXPECT_EQ(find_data_file("Kestrium.hlp", bin), (share / "Kestrium.hlp").string());
  std::ofstream(data_dir.path() / "Kestrium.hlp") << "  0\n";
  EXPECT_EQ(find_data_file("Kestrium.hlp", data_dir.path()),
            (data_dir.path() / "Kestrium.hlp").string());
  std::ofstream(here_dir.path() / "Kestrium.hlp") << "  0\n";
  EXPECT_EQ(find_data_file("Kestrium.hlp", data_dir.path()), "Kestrium.hlp");
}

}  // namespace
}  // namespace kt
