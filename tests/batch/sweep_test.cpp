#include "engine/sweep.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "engine/study.h"
#include "kt_test_paths.h"
#include "params/parameter_file.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

class SweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           (std::string("kt_batch_") + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    set_default_parameter_groups(parameters_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The kinetics file the same fluences make when run one after another with Addition.
  std::string one_by_one(const std::vector<double>& fluences) {
    const fs::path folder = dir_ / "one_by_one";
    fs::create_directories(folder);
    for (double f : fluences) {
      SharedParameters shared;
      shared.values = parameters_;
      shared.values.fluence = static_cast<float>(f);
      shared.values.kinetics_file_mode = KineticsFileMode::addition;
      HeadlessRun records;
      RunOptions options;
      options.output_directory = folder;
      options.write_profile_files = false;
      records.run(shared, options);
    }
    return test::read_file(folder / "Data1K.dat");
  }

  SweepResult sweep(const std::vector<double>& fluences, int jobs, const fs::path& out) {
    fs::create_directories(out);
    SweepOptions options;
    options.fluences = fluences;
    options.jobs = jobs;
    options.output_directory = out;
    std::atomic<bool> interrupt{false};
    return run_sweep(parameters_, options, interrupt);
  }

  fs::path dir_;
  ParameterSet parameters_;
};

TEST(ParseFluences, RangesListsAndLogSpacing) {
  std::string error;
  EXPECT_EQ(parse_fluences("20:100:20", 0, error), (std::vector<double>{20, 40, 60, 80, 100}));
  EXPECT_EQ(parse_fluences("0.1:0.3:0.1", 0, error).size(), 3u);  // TO reached despite rounding
  EXPECT_EQ(parse_fluences("50,30,70", 0, error), (std::vector<double>{50, 30, 70}));
  std::vector<double> log = parse_fluences("10:1000", 3, error);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_DOUBLE_EQ(log[0], 10);
  EXPECT_NEAR(log[1], 100, 1e-9);
  EXPECT_EQ(log[2], 1000);
  // One grammar for every command: FROM:TO:logN is what --log N makes of FROM:TO, and a study
  // reads every list as the same values (as 32-bit fields).
  EXPECT_EQ(parse_fluences("40:100:log3", 0, error), parse_fluences("40:100", 3, error));
  EXPECT_EQ(parse_fluences("40:100", 1, error), (std::vector<double>{40}));
  for (const char* text : {"40:100:log3", "20:100:20", "0.1:0.3:0.1", "50,30,70"}) {
    const std::vector<double> fluences = parse_fluences(text, 0, error);
    const std::vector<float> values = parse_study_values(text, error);
    EXPECT_EQ(std::vector<float>(fluences.begin(), fluences.end()), values) << text;
  }
  for (auto [text, count] : {std::pair{"20:10:5", 0},
                             {"40:100:log1", 0},
                             {"40:100:log3", 3},
                             {"1:2", 0},
                             {"a,b", 0},
                             {"", 0},
                             {"0:100", 4},
                             {"10,20", 3},
                             {"1:2:0", 0}}) {
    error.clear();
    EXPECT_TRUE(parse_fluences(text, count, error).empty()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST_F(SweepTest, KineticsFileEqualsRunsOneByOneWhateverTheJobs) {
  const std::vector<double> fluences{30, 45, 60, 90, 120};
  const std::string expected = one_by_one(fluences);
  ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 5);
  SweepResult one = sweep(fluences, 1, dir_ / "jobs1");
  SweepResult two = sweep(fluences, 2, dir_ / "jobs2");
  EXPECT_EQ(one.lines_written, 5);
  EXPECT_TRUE(one.errors.empty());
  EXPECT_EQ(test::read_file(dir_ / "jobs1" / "Data1K.dat"), expected);
  EXPECT_EQ(test::read_file(dir_ / "jobs2" / "Data1K.dat"), expected);
  // No temporal or spatial files unless asked.
  EXPECT_FALSE(fs::exists(dir_ / "jobs2" / "Data1D.dat"));
  EXPECT_EQ(sweep_csv(one), sweep_csv(two));
}

TEST_F(SweepTest, CsvHasAHeaderAndOneRowPerFluence) {
  SweepResult result = sweep({40, 80}, 2, dir_ / "csv");
  const std::string csv = sweep_csv(result);
  std::istringstream in(csv);
  std::string header, row;
  std::getline(in, header);
  EXPECT_EQ(header,
            "fluence_mJ_per_cm2,surface_recession_nm,volume_depth_nm,total_depth_nm,"
            "peak_surface_temperature_K,peak_front_velocity_cm_per_s,steps,end");
  std::getline(in, row);
  EXPECT_EQ(row.rfind("40,", 0), 0u) << row;
  EXPECT_EQ(std::count(row.begin(), row.end(), ','), 7);
  EXPECT_NE(row.find(",end test"), std::string::npos);
  double recession = 0, volume = 0, total = 0;
  ASSERT_EQ(std::sscanf(row.c_str(), "%*g,%lg,%lg,%lg", &recession, &volume, &total), 3);
  EXPECT_NEAR(total, recession + volume, 1e-9 * total);
}

TEST_F(SweepTest, KeptFilesGoToOneFolderPerFluence) {
  SweepOptions options;
  options.fluences = {50};
  options.output_directory = dir_;
  options.keep_files_directory = dir_ / "kept";
  std::atomic<bool> interrupt{false};
  run_sweep(parameters_, options, interrupt);
  EXPECT_TRUE(fs::exists(dir_ / "kept" / "F50" / "Data1D.dat"));
  EXPECT_TRUE(fs::exists(dir_ / "kept" / "F50" / "Data1S1.dat"));
  EXPECT_FALSE(fs::exists(dir_ / "kept" / "F50" / "Data1K.dat"));
}

TEST_F(SweepTest, AnInterruptedSweepWritesOnlyFinishedLinesInOrder) {
  SweepOptions options;
  options.fluences = {40, 50, 60, 70};
  options.output_directory = dir_;
  options.jobs = 1;
  std::atomic<bool> interrupt{false};
  SweepResult result = run_sweep(parameters_, options, interrupt, [&](int done, int) {
    if (done == 2) interrupt.store(true);
  });
  EXPECT_TRUE(result.interrupted);
  EXPECT_EQ(result.lines_written, 2);
  EXPECT_EQ(test::read_file(dir_ / "Data1K.dat"), one_by_one({40, 50}));
}

TEST_F(SweepTest, AdditionAppendsToTheExistingKineticsFile) {
  std::ofstream(dir_ / "Data1K.dat", std::ios::binary) << "earlier line\r\n";
  parameters_.kinetics_file_mode = KineticsFileMode::addition;
  sweep({50}, 1, dir_);
  const std::string text = test::read_file(dir_ / "Data1K.dat");
  EXPECT_EQ(text.rfind("earlier line\r\n", 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

int run_program(const std::string& arguments, const fs::path& dir) {
  const std::string command =
      "cd '" + dir.string() + "' && '" KT_BATCH_PROGRAM "' " + arguments + " > out.txt 2> err.txt";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SweepTest, ProgramRunsAFileAndRefusesBadInput) {
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir_ / "KTparam.par");
  ASSERT_EQ(run_program("KTparam.par", dir_), 0);
  const std::string out = test::read_file(dir_ / "out.txt");
  EXPECT_NE(out.find("end test after 5359 steps"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(dir_ / "Data1K.dat"));

  std::ofstream(dir_ / "short.par", std::ios::binary) << "     Configuration  \r\n";
  EXPECT_EQ(run_program("short.par", dir_), 1);
  EXPECT_NE(test::read_file(dir_ / "err.txt").find("short.par"), std::string::npos);

  ParameterSet bad;
  set_default_parameter_groups(bad);
  bad.ablation_model = static_cast<AblationModel>(3);
  ASSERT_TRUE(write_parameter_file((dir_ / "model3.par").string(), bad));
  EXPECT_EQ(run_program("model3.par", dir_), 1);
  EXPECT_NE(test::read_file(dir_ / "err.txt").find("ablation_model is 3"), std::string::npos)
      << test::read_file(dir_ / "err.txt");

  // A result file that cannot be written: a folder holds its name.
  set_padded(bad.data_file_name, "x");
  bad.ablation_model = AblationModel::bulk;
  ASSERT_TRUE(write_parameter_file((dir_ / "x.par").string(), bad));
  fs::create_directory(dir_ / "xK.dat");
  EXPECT_EQ(run_program("x.par", dir_), 1);
  EXPECT_NE(test::read_file(dir_ / "err.txt").find("xK.dat"), std::string::npos)
      << test::read_file(dir_ / "err.txt");

  // Names that would put result files elsewhere, or cut short at a NUL byte (the parameter file
  // itself), are refused before anything is written.
  const std::string good = format_parameter_file(bad);
  const std::size_t name_at = good.find("Name of Data File  : ") + 21;
  for (const std::string& name :
       {std::string("k.par\0x", 7), std::string("../E"), std::string("/tmp/Ev")}) {
    std::string text = good;
    text.replace(name_at, name.size(), name);
    test::write_file(dir_ / "k.par", text);
    EXPECT_EQ(run_program("k.par", dir_), 1);
    EXPECT_NE(test::read_file(dir_ / "err.txt").find("line 41 (Name of Data File)"),
              std::string::npos)
        << test::read_file(dir_ / "err.txt");
    EXPECT_EQ(test::read_file(dir_ / "k.par"), text);
  }
  EXPECT_FALSE(fs::exists(dir_.parent_path() / "EK.dat"));
}

TEST_F(SweepTest, AThreadThatCannotStartLeavesTheFilesAsTheyWere) {
  test::write_file(dir_ / "Data1K.dat", "earlier line\r\n");
  parameters_.kinetics_file_mode = KineticsFileMode::rewrite;  // Rewrite would empty it first
  SweepOptions options;
  options.fluences = {30, 60, 90, 120};
  options.jobs = 2000;
  options.output_directory = dir_;
  int started = 0;
  options.start_thread = [&](std::function<void()> body) {
    if (++started == 3)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  };
  std::atomic<bool> interrupt{false};
  const SweepResult result = run_sweep(parameters_, options, interrupt);
  EXPECT_EQ(test::read_file(dir_ / "Data1K.dat"), "earlier line\r\n");
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_NE(result.errors[0].find("cannot start"), std::string::npos) << result.errors[0];
  EXPECT_EQ(result.lines_written, 0);

  // --jobs is capped: 2000 asked, at most max_jobs() threads (and one per fluence).
  options.fluences.assign(300, 5.0);
  options.jobs = 2000;
  started = 0;
  options.start_thread = [&](std::function<void()> body) {
    ++started;
    return std::thread(std::move(body));
  };
  interrupt = true;  // no run needs to be made
  run_sweep(parameters_, options, interrupt);
  EXPECT_EQ(started, max_jobs() - 1);  // the calling thread is the last worker

  // A data-file name that leaves the output folder starts nothing.
  set_padded(parameters_.data_file_name, "../E");
  EXPECT_FALSE(run_sweep(parameters_, options, interrupt).errors.empty());
  EXPECT_FALSE(fs::exists(dir_.parent_path() / "EK.dat"));
}

TEST_F(SweepTest, ProgramWritesCsvAndPlotOfASweep) {
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir_ / "KTparam.par");
  const int status =
      run_program("sweep KTparam.par --fluence 30,60,120 --jobs 2 --csv c.csv --plot c.png", dir_);
#ifdef KT_BATCH_PICTURES
  ASSERT_EQ(status, 0) << test::read_file(dir_ / "err.txt");
  EXPECT_EQ(test::read_file(dir_ / "c.png").substr(1, 3), "PNG");
#else
  EXPECT_EQ(status, 1);  // no pictures without the display layer; the rest is written
#endif
  const std::string kinetics = test::read_file(dir_ / "Data1K.dat");
  EXPECT_EQ(std::count(kinetics.begin(), kinetics.end(), '\n'), 3);
  const std::string csv = test::read_file(dir_ / "c.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
  EXPECT_EQ(test::read_file(dir_ / "out.txt").rfind("fluence 30 mJ/cm^2: surface recession ", 0),
            0u);
}

// The program starts without any GUI library. A copy of it without the picture library beside
// it (nor installed) runs as before, and refuses a picture with the reason and exit 1, writing
// no picture and, for a sweep, every other file.
TEST_F(SweepTest, PicturesNeedTheirLibraryOnlyWhenAskedFor) {
  const fs::path alone = dir_ / "bin" / "kestrium-batch";
  fs::create_directories(alone.parent_path());
  fs::copy_file(KT_BATCH_PROGRAM, alone);
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir_ / "KTparam.par");
  const auto run_alone = [&](const std::string& arguments) {
    const std::string command = "cd '" + dir_.string() + "' && '" + alone.string() + "' " +
                                arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run_alone("KTparam.par --png page.png"), 1);
  EXPECT_NE(test::read_file(dir_ / "err.txt").find("picture library"), std::string::npos)
      << test::read_file(dir_ / "err.txt");
  EXPECT_FALSE(fs::exists(dir_ / "page.png"));
  EXPECT_EQ(run_alone("sweep KTparam.par --fluence 30,60 --csv c.csv --plot c.png"), 1);
  EXPECT_NE(test::read_file(dir_ / "err.txt").find("picture library"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "c.png"));
  EXPECT_FALSE(test::read_file(dir_ / "c.csv").empty());
  ASSERT_EQ(run_alone("KTparam.par"), 0) << test::read_file(dir_ / "err.txt");

  if (std::system("command -v ldd > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ldd here";
  const std::string ldd = "ldd '" KT_BATCH_PROGRAM "' > '" + (dir_ / "ldd.txt").string() + "'";
  ASSERT_EQ(std::system(ldd.c_str()), 0);
  const std::string libraries = test::read_file(dir_ / "ldd.txt");
  EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
  for (const char* gui : {"Qt", "libX11", "libGL", "fontconfig"})
    EXPECT_EQ(libraries.find(gui), std::string::npos) << gui << " in\n" << libraries;
#if KT_BATCH_STATIC_CXX_RUNTIME
  // The C++ runtime is inside the program; a library linked against the shared one (a reader's
  // dependency, say) would load it again at every start.
  EXPECT_EQ(libraries.find("libstdc++"), std::string::npos) << libraries;
#endif
}

TEST_F(SweepTest, CommandLineHelpVersionAndRefusalsBeforeAnyRun) {
  ASSERT_EQ(run_program("--help", dir_), 0);
  const std::string help = test::read_file(dir_ / "out.txt");
  for (const char* option : {"--refine", "--png", "--size", "--version", "exit status"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  ASSERT_EQ(run_program("sweep --help", dir_), 0);
  for (const char* option : {"--fluence", "--log", "--jobs", "--csv", "--plot", "--keep-files"}) {
    EXPECT_NE(test::read_file(dir_ / "out.txt").find(option), std::string::npos) << option;
  }
  ASSERT_EQ(run_program("--version", dir_), 0);
  EXPECT_EQ(test::read_file(dir_ / "out.txt").rfind("kestrium-batch ", 0), 0u);

  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir_ / "KTparam.par");
  const std::pair<const char*, const char*> refusals[] = {
      {"KTparam.par --frobnicate", "unknown option --frobnicate"},
      {"KTparam.par --png", "--png needs a value"},
      {"KTparam.par --png page.jpg", "the name must end with .png"},
      {"KTparam.par --refine 0", "--refine takes a whole number from 1 to 64"},
      {"sweep KTparam.par --fluence 40,60 --csv no/such/c.csv", "No such file or directory"},
      {"sweep KTparam.par --fluence 40,60 --plot curve", "the name must end with .png"},
      {"sweep KTparam.par --fluence 40,60 --jobs", "--jobs needs a value"},
  };
  for (const auto& [arguments, message] : refusals) {
    EXPECT_EQ(run_program(arguments, dir_), 2) << arguments;
    EXPECT_NE(test::read_file(dir_ / "err.txt").find(message), std::string::npos)
        << arguments << ": " << test::read_file(dir_ / "err.txt");
  }
  // A negative fluence in a sweep is refused before any run touches the kinetics file.
  std::ofstream(dir_ / "Data1K.dat", std::ios::binary) << "kept\r\n";
  EXPECT_EQ(run_program("sweep KTparam.par --fluence -50,50", dir_), 1);
  EXPECT_NE(test::read_file(dir_ / "err.txt").find("fluence -50: Fluence [mJ/cm^2] is -50"),
            std::string::npos);
  EXPECT_EQ(test::read_file(dir_ / "Data1K.dat"), "kept\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "Data1D.dat"));
}

TEST_F(SweepTest, ADivergedRunIsMarkedAndLeftOutOfTheKineticsFile) {
  parameters_.pulse_width = 1.40f;
  parameters_.absorption_coefficient = 9.098e4f;
  parameters_.pre_exponential_vom = 1.666e6f;
  parameters_.sublimation_enthalpy_dhm = 1357.0f;
  ASSERT_TRUE(write_parameter_file((dir_ / "runaway.par").string(), parameters_));
  EXPECT_EQ(run_program("sweep runaway.par --fluence 50,363.5 --csv c.csv", dir_), 3);
  const std::string csv = test::read_file(dir_ / "c.csv");
  EXPECT_NE(csv.find("\n363.5,,,,,,514,diverged\n"), std::string::npos) << csv;
  const std::string kinetics = test::read_file(dir_ / "Data1K.dat");
  EXPECT_EQ(kinetics.substr(0, 8), " 50.0000");
  EXPECT_EQ(std::count(kinetics.begin(), kinetics.end(), '\n'), 1);
  EXPECT_EQ(run_program("runaway.par --fluence 363.5", dir_), 2) << "--fluence is a sweep option";
}

}  // namespace
}  // namespace kt
