// The batch runner against a user's own files, as a user would drive it: no output option
// replaces an input, writes never follow planted links or take a user's file, hostile or odd
// data files are refused by name without hanging, shard tables are checked row by row, and
// reports say what happened. Every case checks afterwards that the inputs are unchanged, byte
// for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "engine/study.h"
#include "kt_test_paths.h"
#include "params/safe_save.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

class InputSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", path("in.par"));
    input("synth.csv",
          "fluence_mJ_per_cm2,total_depth_nm\n50,49.98\n100,102.05\n200,153.92\n400,206.1\n");
    inputs_["in.par"] = test::read_file(path("in.par"));
  }
  void TearDown() override {
    for (const auto& [name, bytes] : inputs_)
      EXPECT_EQ(test::read_file(path(name)), bytes) << name << " was changed";
  }
  fs::path path(const std::string& name) const { return dir_.path() / name; }
  // A file the commands read; TearDown checks it is unchanged.
  void input(const std::string& name, const std::string& text) {
    test::write_file(path(name), text);
    inputs_[name] = text;
  }
  int run(const std::string& arguments) {
    const std::string command = "cd '" + dir_.path().string() + "' && timeout 60 '" +
                                KT_BATCH_PROGRAM + "' " + arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string out() const { return test::read_file(path("out.txt")); }
  std::string err() const { return test::read_file(path("err.txt")); }
  bool err_has(const std::string& text) const { return err().find(text) != std::string::npos; }

  test::ScratchDirectory dir_;
  std::map<std::string, std::string> inputs_;
};

TEST_F(InputSafety, NoOutputReplacesAnInputOfItsCommand) {
  fs::create_symlink("in.par", path("link.par"));
  const std::pair<const char*, const char*> cases[] = {
      {"fit in.par --data synth.csv --vary activation_energy_em --report in.par",
       "--report \"in.par\" is the parameter file \"in.par\""},
      {"fit in.par --data synth.csv --vary activation_energy_em --out ./in.par",
       "--out \"./in.par\" is the parameter file \"in.par\""},
      {"fit in.par --data synth.csv --vary activation_energy_em --out link.par",
       "--out \"link.par\" is the parameter file"},
      {"fit in.par --data synth.csv --analyse --report synth.csv",
       "--report \"synth.csv\" is the data file \"synth.csv\""},
      {"fit in.par --data synth.csv --analyse --report r.json --plot r.json",
       "--plot \"r.json\" and --report \"r.json\" are the same file"},
      {"sweep in.par --fluence 40,90 --data synth.csv --csv synth.csv",
       "--csv \"synth.csv\" is the data file"},
      {"sweep in.par --fluence 40,90 --csv in.par", "--csv \"in.par\" is the parameter file"},
  };
  for (const auto& [arguments, message] : cases) {
    EXPECT_EQ(run(arguments), 2) << arguments;
    EXPECT_TRUE(err_has(message)) << arguments << "\n" << err();
  }
  EXPECT_FALSE(fs::exists(path("Data1K.dat")));  // no run was made
  // The result files a run writes into the current folder (named from the parameter file).
  input("Data1K.dat", "fluence_mJ_per_cm2,total_depth_nm\n50,40\n100,80\n");
  EXPECT_EQ(run("sweep in.par --fluence 40 --data Data1K.dat"), 1);
  EXPECT_TRUE(err_has("the kinetics file \"Data1K.dat\" is the data file")) << err();
  fs::copy_file(path("in.par"), path("Data1S3.dat"));
  inputs_["Data1S3.dat"] = inputs_["in.par"];
  EXPECT_EQ(run("Data1S3.dat"), 1);
  EXPECT_TRUE(err_has("a spatial file \"Data1S3.dat\" is the parameter file")) << err();
  // Study and merge: the table of --out is the points file or a shard table read.
  fs::create_directory(path("p"));
  input("p/study.csv", "fluence\n50\n");
  EXPECT_EQ(run("study in.par --points p/study.csv --out p"), 2);
  EXPECT_TRUE(err_has("is the points file \"p/study.csv\"")) << err();
  fs::create_directory(path("t"));
  input("t/study.shard-1-of-1.csv", "# study 0123456789abcdef; 0 points; shard 1/1\n");
  fs::create_symlink("study.shard-1-of-1.csv", path("t/study.csv"));
  EXPECT_EQ(run("merge t --out t"), 2);
  EXPECT_TRUE(err_has("--out \"t/study.csv\" is the shard table \"t/study.shard-1-of-1.csv\""))
      << err();
  EXPECT_FALSE(fs::exists(path("Data1D.dat")));  // no run was made
}

TEST_F(InputSafety, WritesNeverFollowPlantedLinksNorTakeAUsersFile) {
  input("victim.txt", "precious\n");
  fs::create_symlink("victim.txt", path("r.json.tmp"));
  input("s.csv.tmp", "the user's own file\n");
  ASSERT_EQ(run("fit in.par --data synth.csv --analyse --report r.json"), 0) << err();
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path("r.json"))));
  EXPECT_TRUE(fs::is_symlink(path("r.json.tmp")));
  ASSERT_EQ(run("sweep in.par --fluence 60 --jobs 1 --csv s.csv"), 0) << err();
  EXPECT_EQ(test::read_file(path("s.csv")).rfind("fluence_mJ_per_cm2,", 0), 0u);
  for (const std::string& name : test::file_names(dir_.path()))
    EXPECT_EQ(name.find(kSaveTemporaryMark), std::string::npos) << name;
}

TEST_F(InputSafety, TemporariesOfKilledSavesAreRemovedByTheNextSave) {
  // A process that no longer runs: a child that has ended and been waited for.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string mark(kSaveTemporaryMark);
  const std::string stale = "r.json" + mark + std::to_string(gone) + "-Ab3dE9";
  const std::string running = "r.json" + mark + std::to_string(::getppid()) + "-Zz0000";
  input(running, "a save under way in another process\n");
  input("r.json" + mark + "notmine", "not the pattern\n");
  input("other.json" + mark + std::to_string(gone) + "-Ab3dE9", "another file's temporary\n");
  test::write_file(path(stale), "left by a killed save");
  ASSERT_EQ(run("fit in.par --data synth.csv --analyse --report r.json"), 0) << err();
  EXPECT_FALSE(fs::exists(path(stale)));
  EXPECT_TRUE(fs::exists(path("r.json")));
}

TEST_F(InputSafety, DataFilesThatAreNotTextFilesAreRefusedByName) {
  ASSERT_EQ(::mkfifo(path("fifo.csv").c_str(), 0600), 0);
  fs::create_directory(path("folder.csv"));
  input("nul.csv", std::string("fluence_mJ_per_cm2,total_depth_nm\n50,4\0"
                               "9\n",
                               41));
  input("utf16.csv", std::string("\xFF\xFE"
                                 "f\0l\0u\0",
                                 8));
  input("plain16.csv", std::string("f\0l\0u\0e\0", 8));
  const std::pair<std::string, const char*> cases[] = {
      {"fit in.par --analyse --data /dev/zero", "\"/dev/zero\" is a device"},
      {"fit in.par --analyse --data fifo.csv", "\"fifo.csv\" is a pipe (FIFO)"},
      {"study in.par --points fifo.csv --out o --check", "\"fifo.csv\" is a pipe (FIFO)"},
      {"fit in.par --analyse --data folder.csv", "\"folder.csv\" is a directory"},
      {"fit in.par --analyse --data missing.csv", "\"missing.csv\": No such file or directory"},
      {"fit in.par --analyse --data nul.csv", "nul.csv, line 2: a NUL byte"},
      {"fit in.par --analyse --data utf16.csv", "utf16.csv is UTF-16 text"},
      {"fit in.par --analyse --data plain16.csv", "plain16.csv is UTF-16 text"},
  };
  for (const auto& [arguments, message] : cases) {
    EXPECT_EQ(run(arguments), 1) << arguments;
    EXPECT_TRUE(err_has(message)) << arguments << "\n" << err();
  }
}

TEST_F(InputSafety, MeasuredFilesAsLabsWriteThemAreRead) {
  input("lab.csv",
        "\xEF\xBB\xBF"
        "Fluence (mJ/cm2);Depth (nm)\n50;49,98\n\"100\";\"102.05\"\n200;153.92\n"
        "400;206.1\n");
  input("tabs.csv",
        "fluence [mJ/cm^2]\tdepth_nm\n50\t49.98\n100\t102.05\n200\t153.92\n400\t206.1\n");
  ASSERT_EQ(run("fit in.par --data synth.csv --analyse"), 0) << err();
  const std::string reference = out();
  ASSERT_EQ(run("fit in.par --data lab.csv --analyse"), 0) << err();
  EXPECT_EQ(out(), reference);
  ASSERT_EQ(run("fit in.par --data tabs.csv --analyse"), 0) << err();
  EXPECT_EQ(out(), reference);

  input("units.csv", "Fluence (J/cm2),Thickness\n1,2\n");
  EXPECT_EQ(run("fit in.par --data units.csv --analyse"), 1);
  EXPECT_TRUE(
      err_has("the columns found are \"Fluence (J/cm2)\", \"Thickness\"; the names "
              "taken are fluence_mJ_per_cm2"))
      << err();
}

TEST_F(InputSafety, DataThatWouldGiveASilentlyWrongResultIsRefused) {
  input("twice.csv", "fluence_mJ_per_cm2,total_depth_nm,Depth (nm)\n50,1,2\n100,3,4\n");
  EXPECT_EQ(run("fit in.par --data twice.csv --analyse"), 1);
  EXPECT_TRUE(err_has("the column \"Depth (nm)\" (column 3) repeats column 2")) << err();
  for (const char* depths :
       {"50\n200,50\n400,50\n", "1e300\n200,1e300\n400,1e300\n", "0.1\n200,0.1\n400,0.1\n"}) {
    input("flat.csv", std::string("fluence_mJ_per_cm2,total_depth_nm\n100,") + depths);
    EXPECT_EQ(run("fit in.par --data flat.csv --analyse --min-depth 0 --report r.json"), 1)
        << depths;
    EXPECT_TRUE(out().find("the depth does not grow with fluence") != std::string::npos) << out();
  }
  input("huge.csv", "fluence_mJ_per_cm2,total_depth_nm\n100,1e300\n200,2e300\n400,3e300\n");
  ASSERT_EQ(run("fit in.par --data huge.csv --analyse"), 0) << err();
  EXPECT_TRUE(out().find("F_th   50 ") != std::string::npos) << out();
}

TEST_F(InputSafety, ReportsSayWhatHappened) {
  EXPECT_EQ(run("fit in.par --data synth.csv --vary activation_energy_em --max-runs 15"), 1);
  EXPECT_TRUE(err_has("allow at least 16")) << err();
  // A write that fails says why, in the system's words; nothing is left behind. The report
  // is longer than the 512 bytes the file-size limit allows.
  const std::string command = "cd '" + dir_.path().string() + "' && (ulimit -f 1; '" +
                              KT_BATCH_PROGRAM +
                              "' fit in.par --data synth.csv --analyse --report big.json 2>&1 "
                              ">/dev/null; echo \"exit $?\") | cat > err.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(err_has("exit 1")) << err();
  EXPECT_TRUE(err_has("cannot write \"big.json\": cannot write: File too large")) << err();
  EXPECT_FALSE(fs::exists(path("big.json")));
  for (const std::string& name : test::file_names(dir_.path()))
    EXPECT_EQ(name.find(kSaveTemporaryMark), std::string::npos) << name;
}

class StudySafety : public InputSafety {
 protected:
  // A study of two points split in two shards: t/study.shard-1-of-2.csv and -2-of-2.
  void make_shards() {
    for (const char* shard : {"1/2", "2/2"})
      ASSERT_EQ(
          run(std::string("study in.par --vary fluence=50,70 --jobs 1 --out t --shard ") + shard),
          0)
          << err();
  }
};

TEST_F(StudySafety, MergeRefusesEditedAndCutRowsNamingTheLine) {
  make_shards();
  const std::string shard = test::read_file(path("t/study.shard-2-of-2.csv"));
  const std::size_t row = shard.find("\n1,") + 1;
  const std::size_t result = shard.find(',', row + 2) + 1;  // the first result
  const std::pair<std::string, const char*> edits[] = {
      {shard.substr(0, row) + "1,70.0" + shard.substr(row + 4),
       "t/study.shard-2-of-2.csv, line 3 (point 1): the row is not as the study writes it"},
      {shard.substr(0, result) + "+" + shard.substr(result), "line 3 (point 1): the row is not"},
      {shard.substr(0, row) + "1,70,12.5\n", "line 3 (point 1): the row has 3 cells"},
      {shard.substr(0, row) + "1,70,,,,,,,diverged,\n", "the row is not as the study writes it"},
  };
  for (const auto& [text, message] : edits) {
    test::write_file(path("t/study.shard-2-of-2.csv"), text);
    EXPECT_EQ(run("merge t --out m"), 1);
    EXPECT_TRUE(err_has(message)) << text << err();
    EXPECT_FALSE(fs::exists(path("m/study.csv")));
  }
  test::write_file(path("t/study.shard-2-of-2.csv"), shard);
  EXPECT_EQ(run("merge t --out m"), 0) << err();
}

TEST_F(StudySafety, MergeSurvivesLoopingLinksAndHostileHeaders) {
  make_shards();
  fs::create_symlink("loop", path("t/loop"));
  EXPECT_EQ(run("merge t --out m"), 0) << err();  // a loop under another name is passed over
  fs::create_symlink("study.shard-3-of-3.csv", path("t/study.shard-3-of-3.csv"));
  EXPECT_EQ(run("merge t --out m"), 1);
  EXPECT_TRUE(err_has("study.shard-3-of-3.csv\": Too many levels of symbolic links")) << err();
  fs::create_symlink("self", path("self"));
  EXPECT_EQ(run("merge self --out m"), 1);
  EXPECT_TRUE(err_has("\"self\" is neither a folder nor a table")) << err();

  fs::create_directory(path("h"));
  for (const char* header : {"# study 188d86999331a478; 0 points; shard 1/2000000000\n",
                             "# study 188d86999331a478; 0 points; shard 1/900000\n"}) {
    input("h/study.shard-1-of-2.csv", std::string(header) +
                                          "point,surface_recession_nm,volume_depth_nm,"
                                          "total_depth_nm,peak_surface_temperature_K,"
                                          "peak_front_velocity_cm_per_s,steps,end,note\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("merge h --out m"), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LT(err().size(), 2000u) << err().substr(0, 400);
  }
  EXPECT_TRUE(err_has("and 899989 more are missing")) << err();
}

TEST_F(StudySafety, AStudyTooLargeForOneRunIsRefusedWithItsSize) {
  const std::string vary = "study in.par --vary fluence=1:10000:1 --vary pulse_width=1:10000:1 ";
  EXPECT_EQ(run(vary + "--out o --check"), 1);
  EXPECT_TRUE(
      err_has("the study would run 100000000 points at once; one run holds at most "
              "1000000 points. Split it with --shard I/N, N at least 100"))
      << err();
  EXPECT_EQ(run(vary + "--out o --check --shard 7/100"), 0) << err();
  EXPECT_FALSE(fs::exists(path("o")));
}

}  // namespace
}  // namespace kt
