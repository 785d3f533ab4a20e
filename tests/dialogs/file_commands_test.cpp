#include "app/file_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

ParameterSet defaults() {
  return test::default_parameters();
}

ParameterFileLocation start_up_location() {
  ParameterFileLocation location;
  location.parameter_file_mode = ParameterFileMode::short_name;
  set_padded(location.parameter_file_name, "KTparam.par");
  set_padded(location.parameter_file_path, "");
  return location;
}

bool same_location(const ParameterFileLocation& a, const ParameterFileLocation& b) {
  return a.parameter_file_mode == b.parameter_file_mode &&
         a.parameter_file_name == b.parameter_file_name &&
         a.parameter_file_path == b.parameter_file_path;
}

// Runs every command in a fresh current directory with a scripted chooser and a recorded
// message box.
class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_dir_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("kt_file_commands_" + std::to_string(::getpid()) + "_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    parameters_.values = defaults();
    context_.services.open_file_chooser = [this](std::string_view title, std::string_view initial) {
      ++chooser_calls_;
      EXPECT_EQ(title, "Open a File");
      EXPECT_EQ(initial, "*.par");
      return chooser_answer_;
    };
    context_.services.show_message = [this](std::string_view, std::string_view text) {
      messages_.emplace_back(text);
    };
  }
  void TearDown() override {
    fs::current_path(previous_dir_);
    fs::remove_all(dir_);
  }

  std::string path(const char* name) const { return (dir_ / name).string(); }
  std::vector<fs::path> files() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir_)) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
  }
  // Expects that nothing changed: the Parameter set, the current file and the directory.
  void expect_unchanged(const ParameterSet& before, const std::vector<fs::path>& files_before) {
    EXPECT_EQ(parameters_.snapshot(), before);
    EXPECT_TRUE(same_location(location_, start_up_location()));
    EXPECT_EQ(files(), files_before);
  }

  fs::path previous_dir_;
  fs::path dir_;
  SharedParameters parameters_;
  ParameterFileLocation location_ = start_up_location();
  RunStateMachine run_state_;
  FileCommandContext context_{parameters_, location_, run_state_};
  std::string chooser_answer_ = "*.par";
  int chooser_calls_ = 0;
  std::vector<std::string> messages_;
  const std::string golden_ =
      test::read_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par");
};

TEST_F(FileCommandsTest, SaveAfterStartUpWritesTheStartUpFile) {
  save_menu_callback(context_)(0);
  EXPECT_EQ(test::read_file(dir_ / "KTparam.par"), golden_);
  EXPECT_EQ(chooser_calls_, 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FileCommandsTest, OpenThenSaveRewritesTheChosenFile) {
  test::write_file(dir_ / "KTparam.par", golden_);
  ParameterSet other = defaults();
  other.pulse_width = 30.0f;
  other.time_scale = 30.0f;
  test::write_file(dir_ / "other.par", format_parameter_file(other));

  chooser_answer_ = path("other.par");
  open_menu_callback(context_)(0);
  EXPECT_EQ(parameters_.snapshot(), other);
  EXPECT_EQ(location_.parameter_file_mode, ParameterFileMode::full_path);
  EXPECT_EQ(current_parameter_file(location_), path("other.par"));

  // A dialog changes a value; Save... goes to the opened file.
  ParameterSet edited = parameters_.snapshot();
  edited.fluence = 77.0f;
  parameters_.commit(edited);
  save_command(context_);
  EXPECT_EQ(test::read_file(dir_ / "other.par"), format_parameter_file(edited));
  EXPECT_EQ(test::read_file(dir_ / "KTparam.par"), golden_);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FileCommandsTest, CancelChangesNothing) {
  const ParameterSet before = parameters_.snapshot();
  const auto files_before = files();
  open_command(context_);
  save_as_command(context_);
  EXPECT_EQ(chooser_calls_, 2);
  expect_unchanged(before, files_before);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FileCommandsTest, DefaultParametersThenSaveEqualsTheDefaultFile) {
  ParameterSet changed = defaults();
  changed.material = Material::other;
  changed.z_scale = 4.0f;
  set_padded(changed.data_file_name, "Run 7");
  parameters_.commit(changed);
  default_parameters_menu_callback(context_)(0);
  EXPECT_EQ(parameters_.snapshot(), defaults());
  save_command(context_);
  EXPECT_EQ(test::read_file(dir_ / "KTparam.par"), golden_);
}

TEST_F(FileCommandsTest, HelpAndAboutKeepEveryCommandAwayAndSaySo) {
  ParameterSet other = defaults();
  other.fluence = 10.0f;
  test::write_file(dir_ / "other.par", format_parameter_file(other));
  ParameterSet changed = defaults();
  changed.density = 2.5f;
  parameters_.commit(changed);
  const auto files_before = files();

  for (RunState window : {RunState::help_shown, RunState::about_shown}) {
    ASSERT_TRUE(run_state_.try_enter(window));
    chooser_calls_ = 0;
    messages_.clear();
    chooser_answer_ = path("other.par");
    open_command(context_);
    chooser_answer_ = path("new.par");
    save_as_command(context_);
    save_command(context_);
    default_parameters_command(context_);
    EXPECT_EQ(chooser_calls_, 2);
    expect_unchanged(changed, files_before);
    ASSERT_EQ(messages_.size(), 4u);  // no command is dropped without a word
    EXPECT_NE(messages_[0].find(window == RunState::help_shown ? "help" : "about"),
              std::string::npos)
        << messages_[0];
    run_state_.leave();
  }
}

TEST_F(FileCommandsTest, DuringACalculationSaveWritesTheSetAndOpenIsRefused) {
  ParameterSet other = defaults();
  other.fluence = 10.0f;
  test::write_file(dir_ / "other.par", format_parameter_file(other));
  ParameterSet changed = defaults();
  changed.density = 2.5f;
  parameters_.commit(changed);
  ASSERT_TRUE(run_state_.try_enter(RunState::running));

  chooser_answer_ = path("other.par");
  open_command(context_);
  default_parameters_command(context_);
  EXPECT_EQ(parameters_.snapshot(), changed);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_NE(messages_[0].find("Open..."), std::string::npos) << messages_[0];
  EXPECT_NE(messages_[0].find("calculation"), std::string::npos) << messages_[0];

  EXPECT_TRUE(save_parameter_file(context_));
  EXPECT_EQ(test::read_file(dir_ / "KTparam.par"), format_parameter_file(changed));
  chooser_answer_ = path("new.par");
  save_as_command(context_);
  EXPECT_EQ(test::read_file(dir_ / "new.par"), format_parameter_file(changed));
  EXPECT_EQ(current_parameter_file(location_), path("new.par"));
  EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(FileCommandsTest, SaveDoesNotReplaceACurrentFileThatCannotBeRead) {
  // A hand-edited start-up file the reader refuses (a number one column too far right).
  std::string edited = golden_;
  edited.replace(edited.find(":  5.00000E+01"), 14, ":   5.00000E+01");
  test::write_file(dir_ / "KTparam.par", edited);
  EXPECT_FALSE(save_parameter_file(context_));
  EXPECT_EQ(test::read_file(dir_ / "KTparam.par"), edited);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("line 6 (Fluence)"), std::string::npos) << messages_[0];
  EXPECT_NE(messages_[0].find("did not replace"), std::string::npos) << messages_[0];
}

TEST_F(FileCommandsTest, SaveAsCreatesANewFileAndMakesItCurrent) {
  chooser_answer_ = path("new.par");
  save_as_command(context_);
  EXPECT_EQ(test::read_file(dir_ / "new.par"), golden_);
  EXPECT_EQ(location_.parameter_file_mode, ParameterFileMode::full_path);
  EXPECT_EQ(current_parameter_file(location_), path("new.par"));
  EXPECT_FALSE(fs::exists(dir_ / "KTparam.par"));
}

TEST_F(FileCommandsTest, OpenOfANameThatDoesNotExistCreatesNothing) {
  const ParameterSet before = parameters_.snapshot();
  const auto files_before = files();
  chooser_answer_ = path("missing.par");
  open_command(context_);
  expect_unchanged(before, files_before);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find(path("missing.par")), std::string::npos) << messages_[0];
}

TEST_F(FileCommandsTest, BadFilesShowTheProblemAndChangeNothing) {
  std::istringstream golden(golden_);
  std::string line, short_file, bad_field;
  for (int n = 1; std::getline(golden, line); ++n) {
    if (n <= 40) short_file += line + "\n";
    bad_field += (n == 5 ? std::string("Pulsewidth [ns]         :  1.5000XE+01\r") : line) + "\n";
  }
  test::write_file(dir_ / "short.par", short_file);
  test::write_file(dir_ / "field.par", bad_field);
  test::write_file(dir_ / "empty.par", "");
  test::write_file(dir_ / "notes.txt", "Shopping list\r\nmilk, bread\r\n");
  ParameterSet changed = defaults();
  changed.fluence = 123.0f;
  parameters_.commit(changed);
  const auto files_before = files();

  for (const char* name : {"short.par", "field.par", "empty.par", "notes.txt"}) {
    messages_.clear();
    chooser_answer_ = path(name);
    open_command(context_);
    expect_unchanged(changed, files_before);
    ASSERT_EQ(messages_.size(), 1u) << name;
    EXPECT_NE(messages_[0].find(path(name)), std::string::npos) << messages_[0];
  }
  EXPECT_NE(messages_.back().find("line"), std::string::npos) << messages_.back();
}

TEST_F(FileCommandsTest, WildcardsDirectoriesAndLongPathsAreRefused) {
  const ParameterSet before = parameters_.snapshot();
  fs::create_directories(dir_ / "folder.par");
  const auto files_before = files();

  for (const std::string& silent : {path("*.par"), path("folder.par"), std::string()}) {
    chooser_answer_ = silent;
    EXPECT_EQ(choose_parameter_file(context_.services).status, ChooserStatus::cancelled);
    open_command(context_);
    save_as_command(context_);
  }
  EXPECT_TRUE(messages_.empty());

  // A path of 120 characters cannot be the current file.
  std::string long_name = (dir_ / "").string();
  long_name += std::string(120 - long_name.size() - 4, 'x') + ".par";
  ASSERT_EQ(long_name.size(), 120u);
  chooser_answer_ = long_name;
  EXPECT_EQ(choose_parameter_file(context_.services).status, ChooserStatus::too_long);
  save_as_command(context_);
  open_command(context_);
  EXPECT_EQ(messages_.size(), 3u);
  EXPECT_NE(messages_.back().find("at most 99"), std::string::npos) << messages_.back();
  expect_unchanged(before, files_before);

  // A relative name becomes a full path; 99 characters still fit.
  std::string fits = (dir_ / "").string();
  fits += std::string(99 - fits.size() - 4, 'y') + ".par";
  chooser_answer_ = fs::path(fits).filename().string();
  const ChooserResult choice = choose_parameter_file(context_.services);
  EXPECT_EQ(choice.status, ChooserStatus::chosen);
  EXPECT_EQ(choice.path, fits);
}

TEST_F(FileCommandsTest, AFailedSaveShowsTheProblemAndKeepsTheCurrentFile) {
  chooser_answer_ = path("no_such_folder/new.par");
  save_as_command(context_);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find(path("no_such_folder/new.par")), std::string::npos);
  EXPECT_TRUE(same_location(location_, start_up_location()));

  // The start-up file in a folder that cannot be written.
  set_padded(location_.parameter_file_name, "gone/KT.par");
  EXPECT_FALSE(save_parameter_file(context_));
  EXPECT_EQ(messages_.size(), 2u);
}

}  // namespace
}  // namespace kt
