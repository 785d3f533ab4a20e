// The batch runner's command line through the program: the table of commands and their help,
// a mistyped command, the summary of a run for scripts, and SIGTERM stopping the long commands
// with every file whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "kt_test_paths.h"
#include "test_support.h"

extern char** environ;

namespace kt {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class BatchCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir_ / "KTparam.par");
  }
  int run(const std::string& arguments) {
    const std::string command = "cd '" + dir_.string() + "' && '" KT_BATCH_PROGRAM "' " +
                                arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string out() { return test::read_file(dir_ / "out.txt"); }
  std::string err() { return test::read_file(dir_ / "err.txt"); }

  // Starts the program in the scratch folder, waits until `started` holds (or 60 s), sends
  // SIGTERM and returns the exit status (-1 when the signal killed the program).
  int terminate_when(const std::vector<std::string>& arguments,
                     const std::function<bool()>& started) {
    std::vector<std::string> words{KT_BATCH_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out_path = (dir_ / "out.txt").string(),
                      err_path = (dir_ / "err.txt").string();
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!started() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  test::ScratchDirectory scratch_;
  fs::path dir_ = scratch_.path();
};

TEST_F(BatchCommandLine, CommandsHaveTheirOwnHelpAndAMistypedOneIsNamed) {
  ASSERT_EQ(run("--help"), 0);
  for (const char* command : {"run", "sweep", "study", "merge", "fit", "threshold", "defaults"})
    EXPECT_NE(out().find(std::string("\n  ") + command + " "), std::string::npos) << command;
  for (const char* command : {"sweep", "study", "merge", "fit", "threshold", "defaults"}) {
    const std::string usage = std::string("usage: kestrium-batch ") + command + " ";
    ASSERT_EQ(run(std::string("help ") + command), 0) << command;
    EXPECT_EQ(out().rfind(usage, 0), 0u) << out();
    ASSERT_EQ(run(std::string(command) + " --help"), 0) << command;
    EXPECT_EQ(out().rfind(usage, 0), 0u) << out();
  }

  EXPECT_EQ(run("studdy KTparam.par --vary fluence=40:60:10 --out st"), 2);
  EXPECT_NE(err().find("unknown command \"studdy\", did you mean \"study\"?"), std::string::npos)
      << err();
  EXPECT_FALSE(fs::exists(dir_ / "st"));
  EXPECT_EQ(run("help swep"), 2);
  EXPECT_NE(err().find("did you mean \"sweep\""), std::string::npos) << err();
  EXPECT_EQ(run("frobnicate"), 2);
  EXPECT_NE(err().find("unknown command \"frobnicate\"\n"), std::string::npos) << err();
  // A file of that name is a parameter file, as ever.
  EXPECT_EQ(run("swep"), 2);
  fs::copy_file(dir_ / "KTparam.par", dir_ / "swep");
  EXPECT_EQ(run("swep --json"), 0) << err();

  // Options keep their forms: --name=value, repeated options, values that start with a minus.
  EXPECT_EQ(run("study KTparam.par --vary=fluence=40,50 --vary pulse_width=10,20 --out=st --check"),
            0)
      << err();
  EXPECT_NE(out().find(": 4 points"), std::string::npos) << out();
  EXPECT_EQ(run("sweep KTparam.par --fluence=-50,50"), 1);
  EXPECT_EQ(run("sweep KTparam.par --fluence= 50"), 2);
  EXPECT_NE(err().find("--fluence needs a value"), std::string::npos) << err();
  EXPECT_EQ(run("merge"), 2);
  EXPECT_NE(err().find("merge needs the folders or tables of the shards"), std::string::npos);
}

TEST_F(BatchCommandLine, RunSummaryNamesEveryNumberAndIsJsonOnRequest) {
  ASSERT_EQ(run("run KTparam.par"), 0) << err();
  for (const char* label :
       {"surface recession:", "volume depth:", "total depth:", "peak surface temperature:",
        "peak front velocity:", " nm\n", " K\n", "temperature scale:", "kinetics line written to:"})
    EXPECT_NE(out().find(label), std::string::npos) << label << "\n" << out();

  ASSERT_EQ(run("KTparam.par --json"), 0) << err();
  const json summary = json::parse(out());
  EXPECT_EQ(summary["steps"], 5359);
  EXPECT_EQ(summary["end"], "end test");
  EXPECT_EQ(summary["kinetics_file"], "Data1K.dat");
  EXPECT_EQ(summary["depth_scale_per_alpha"].dump(), "0.2");
  // The summary's numbers are those of the kinetics line written for the run.
  const std::string kinetics = test::read_file(dir_ / "Data1K.dat");
  const std::string last = kinetics.substr(kinetics.rfind('\n', kinetics.size() - 3) + 1);
  EXPECT_EQ(summary["kinetics_line"].get<std::string>() + "\r\n", last);
  EXPECT_NEAR(summary["total_depth_nm"].get<double>(), std::stod(last.substr(last.rfind(' '))),
              1e-4);

  ASSERT_EQ(run("sweep KTparam.par --fluence 30,60 --jobs 2 --json --analyse --min-depth 0"), 0)
      << err();
  const json sweep = json::parse(out());
  ASSERT_EQ(sweep["runs"].size(), 2u);
  EXPECT_EQ(sweep["runs"][1]["fluence_mJ_per_cm2"], 60.0);
  EXPECT_EQ(sweep["kinetics_lines_written"], 2);
  EXPECT_TRUE(sweep["beer_lambert"]["ok"].is_boolean());
}

TEST_F(BatchCommandLine, SigtermStopsASweepWithWholeKineticsLines) {
  const auto kinetics = dir_ / "Data1K.dat";
  const int status =
      terminate_when({"sweep", "KTparam.par", "--fluence", "20:400:10", "--jobs", "1"},
                     [&] { return fs::exists(kinetics) && fs::file_size(kinetics) > 0; });
  EXPECT_EQ(status, 130) << err();
  EXPECT_NE(err().find("interrupted"), std::string::npos) << err();
  const std::string text = test::read_file(kinetics);
  const auto lines = std::count(text.begin(), text.end(), '\n');
  EXPECT_GE(lines, 1);
  EXPECT_LT(lines, 39);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(BatchCommandLine, SigtermStopsAStudyWithoutATable) {
  const auto started = std::chrono::steady_clock::now();
  const int status = terminate_when(
      {"study", "KTparam.par", "--vary", "fluence=20:400:5", "--jobs", "1", "--out", "st"},
      [&] { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(800); });
  EXPECT_EQ(status, 130) << err();
  EXPECT_NE(err().find("interrupted; no table written"), std::string::npos) << err();
  EXPECT_FALSE(fs::exists(dir_ / "st" / "study.csv"));
}

TEST_F(BatchCommandLine, SigtermStopsAFitThatStillWritesItsBestValues) {
  test::write_file(dir_ / "m.csv",
                   "fluence_mJ_per_cm2,total_depth_nm\n50,40\n100,90\n200,150\n400,210\n");
  const auto started = std::chrono::steady_clock::now();
  const int status = terminate_when(
      {"fit", "KTparam.par", "--data", "m.csv", "--vary", "activation_energy_em", "--jobs", "1",
       "--report", "r.json"},
      [&] { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(800); });
  EXPECT_EQ(status, 130) << err();
  const json report = json::parse(test::read_file(dir_ / "r.json"));
  EXPECT_EQ(report["status"], "interrupted");
  EXPECT_TRUE(report["parameters"].contains("activation_energy_em"));
}

}  // namespace
}  // namespace kt
