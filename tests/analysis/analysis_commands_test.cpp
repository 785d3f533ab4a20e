// The fit command end to end, on inputs that need no fit runs: refusals before any run, and the
// Beer-Lambert analysis of a measured file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

class AnalysisCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par",
                  dir_.path() / "KTparam.par");
    test::write_file(dir_.path() / "m.csv",
                     "fluence_mJ_per_cm2,total_depth_nm\n"
                     "50,49.98\n100,102.05\n200,153.92\n400,206.1\n");
  }
  int run(const std::string& arguments) {
    const std::string command = "cd '" + dir_.path().string() + "' && '" KT_BATCH_PROGRAM "' " +
                                arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string out() { return test::read_file(dir_.path() / "out.txt"); }
  std::string err() { return test::read_file(dir_.path() / "err.txt"); }
  test::ScratchDirectory dir_;
};

TEST_F(AnalysisCommands, DataSetsThatCannotBeFittedAreRefusedBeforeAnyRun) {
  test::write_file(dir_.path() / "sets.csv",
                   "dataset,fluence_mJ_per_cm2,total_depth_nm,pulses\n"
                   "a,50,20,1\na,100,60,1\nb,200,100,1\n");
  EXPECT_EQ(run("fit KTparam.par --data sets.csv --vary-each absorption_coefficient"), 1);
  EXPECT_NE(err().find("data set \"b\" of sets.csv has 1 point(s)"), std::string::npos) << err();
  test::write_file(dir_.path() / "train.csv",
                   "fluence_mJ_per_cm2,total_depth_nm,pulses\n50,20,1\n100,60,3\n");
  EXPECT_EQ(run("fit KTparam.par --data train.csv --vary activation_energy_em"), 1);
  EXPECT_NE(err().find("train.csv, line 3: pulses 3: "), std::string::npos) << err();
  EXPECT_EQ(run("fit KTparam.par --data sets.csv --separately --analyse"), 2);
  EXPECT_EQ(out(), "");
}

TEST_F(AnalysisCommands, TheBeerLambertAnalysisIsMadePerDataSet) {
  test::write_file(dir_.path() / "two.csv",
                   "pulse_width,fluence_mJ_per_cm2,total_depth_nm\n"
                   "10,50,49.98\n10,100,102.05\n10,200,153.92\n"
                   "30,50,30\n30,100,80\n30,200,130\n30,400,180\n");
  std::string arguments = "fit KTparam.par --data two.csv --analyse --report bl.json";
#ifdef KT_BATCH_PICTURES
  arguments += " --plot bl.png";
#endif
  ASSERT_EQ(run(arguments), 0) << err();
  EXPECT_NE(out().find("pulse_width=10: Beer-Lambert analysis (3 points"), std::string::npos)
      << out();
  EXPECT_NE(out().find("pulse_width=30: Beer-Lambert analysis (4 points"), std::string::npos);
  const std::string report = test::read_file(dir_.path() / "bl.json");
  EXPECT_NE(report.find("{\"name\": \"pulse_width=30\", \"points\": 4, \"beer_lambert\": {\"ok\": "
                        "true"),
            std::string::npos)
      << report;
#ifdef KT_BATCH_PICTURES
  EXPECT_GT(fs::file_size(dir_.path() / "bl.png"), 1000u);
#endif
}

TEST_F(AnalysisCommands, BadInputIsRefusedBeforeAnyRun) {
  EXPECT_EQ(run("fit KTparam.par --data m.csv --vary screening,activation_energy_em"), 1);
  EXPECT_NE(err().find("\"screening\" is not a field that can be fitted; the fields are: "),
            std::string::npos)
      << err();
  EXPECT_NE(err().find("screening_coefficient"), std::string::npos);
  for (const char* name : {"wavelength", "temperature_scale"}) {
    EXPECT_EQ(run(std::string("fit KTparam.par --data m.csv --vary ") + name), 1);
    EXPECT_NE(err().find(std::string("--vary: ") + name + " cannot be fitted: "), std::string::npos)
        << err();
  }
  EXPECT_EQ(run("fit KTparam.par --data m.csv --vary pre_exponential_vo"), 1);
  EXPECT_NE(err().find("pre_exponential_vo cannot change the depths: the bulk model"),
            std::string::npos)
      << err();

  test::write_file(dir_.path() / "bad.csv", "fluence_mJ_per_cm2,total_depth_nm\n50,1\n60,x\n");
  EXPECT_EQ(run("fit KTparam.par --data bad.csv --vary activation_energy_em"), 1);
  EXPECT_NE(err().find("bad.csv, line 3: total_depth_nm \"x\" is not a number"), std::string::npos)
      << err();
  EXPECT_EQ(run("sweep KTparam.par --fluence 50,60 --data bad.csv --jobs 1"), 1);
  EXPECT_NE(err().find("bad.csv, line 3"), std::string::npos) << err();
  EXPECT_FALSE(fs::exists(dir_.path() / "Data1K.dat"));  // no run was made

  EXPECT_EQ(run("fit KTparam.par --data m.csv --vary activation_energy_em "
                "--bounds activation_energy_em=1:2"),
            1);
  EXPECT_NE(err().find("starting value 0.7 of activation_energy_em lies outside its bounds 1:2"),
            std::string::npos)
      << err();
  EXPECT_EQ(
      run("fit KTparam.par --data m.csv --vary activation_energy_em --bounds pulse_width=1:2"), 1);
  EXPECT_NE(err().find("--bounds names \"pulse_width\", which is not in --vary"),
            std::string::npos);
  EXPECT_EQ(run("fit KTparam.par --data m.csv --vary activation_energy_em --out KTparam.par"), 2);
  EXPECT_EQ(run("fit KTparam.par --vary activation_energy_em"), 2);
}

TEST_F(AnalysisCommands, AnalyseAloneFitsTheBeerLambertLineToTheData) {
  ASSERT_EQ(run("fit KTparam.par --data m.csv --analyse --report r.json"), 0) << err();
  EXPECT_NE(out().find("threshold fluence F_th"), std::string::npos) << out();
  const std::string json = test::read_file(dir_.path() / "r.json");
  EXPECT_NE(json.find("\"beer_lambert\": {\"ok\": true, \"threshold_fluence\": 2"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"points\": ["), std::string::npos);
  // One point over the minimum depth is not enough: a reason and a failing status.
  EXPECT_EQ(run("fit KTparam.par --data m.csv --analyse --min-depth 200"), 1);
  EXPECT_NE(out().find("needs points at two or more fluences"), std::string::npos) << out();
}

TEST_F(AnalysisCommands, SweepAnalysesItsCurveAndDrawsTheMeasuredPoints) {
  std::string arguments =
      "sweep KTparam.par --fluence 40,80,160,320 --jobs 2 --analyse --data m.csv";
#ifdef KT_BATCH_PICTURES
  arguments += " --plot curve.png";
#endif
  ASSERT_EQ(run(arguments), 0) << err();
  EXPECT_NE(out().find("Beer-Lambert analysis (4 points with depth >= 1 nm)"), std::string::npos)
      << out();
  EXPECT_NE(out().find("absorption length 1/alpha_eff"), std::string::npos);
#ifdef KT_BATCH_PICTURES
  EXPECT_GT(fs::file_size(dir_.path() / "curve.png"), 1000u);
#endif
  EXPECT_EQ(run("sweep KTparam.par --fluence 40,80 --min-depth x"), 2);
  EXPECT_NE(err().find("--min-depth takes a depth in nm"), std::string::npos) << err();
}

}  // namespace
}  // namespace kt
