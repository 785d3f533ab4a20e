#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "kt_test_paths.h"
#include "test_support.h"
#include "params/parameter_file.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

ParameterSet defaults() { return test::default_parameters(); }

class ParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kt_params_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    golden_ = test::read_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  // The golden default file with one line replaced (1-based line number).
  std::string golden_with_line(int number, const std::string& text) const {
    std::istringstream in(golden_);
    std::string line, out;
    for (int n = 1; std::getline(in, line); ++n) out += (n == number ? text + "\r" : line) + "\n";
    return out;
  }
  fs::path dir_;
  std::string golden_;
};

TEST(ParameterSetTest, StartStateAndDefaults) {
  ParameterSet start;
  ParameterSet zero;
  zero.autoscale = 0.0f;
  EXPECT_EQ(start.autoscale, 1.0f);
  start.autoscale = 0.0f;
  EXPECT_EQ(start, zero);  // every other field 0.0, the name zero bytes

  ParameterSet p = defaults();
  EXPECT_EQ(p.time_scale, 15.0f);
  EXPECT_EQ(p.thermal_conductivity, 0.00156f);
  EXPECT_EQ(std::string(p.data_file_name.data(), 14), "Data1         ");
  EXPECT_EQ(p.spatial_times[9], 40.0f);
}

TEST(ParameterSetTest, GroupFourTakesTheCurrentPulseWidth) {
  ParameterSet p = defaults();
  p.pulse_width = 30.0f;
  p.temperature_scale = 5.0f;
  GuardFlags flags;
  set_default_parameters(p, flags, 4);
  EXPECT_EQ(p.time_scale, 30.0f);
  EXPECT_EQ(p.temperature_scale, 2000.0f);
  EXPECT_EQ(p.pulse_width, 30.0f);  // group 2 untouched
}

TEST(ParameterSetTest, GuardKeepsEveryField) {
  for (int which = 0; which < 3; ++which) {
    GuardFlags flags;
    (which == 0 ? flags.help_open : which == 1 ? flags.about_open : flags.calculation_running) = 1.0f;
    ParameterSet p;
    p.fluence = 123.0f;
    const ParameterSet before = p;
    set_default_parameters(p, flags, 0);
    EXPECT_EQ(p, before);
  }
}

TEST_F(ParameterFileTest, DefaultsWriteTheReferenceFileByteForByte) {
  ParameterSet p = defaults();
  EXPECT_EQ(format_parameter_file(p), golden_);
}

TEST_F(ParameterFileTest, MissingFileGivesDefaultsAndIsCreated) {
  ParameterFileLocation location;
  location.parameter_file_mode = 1.0f;
  const std::string file = path("KTparam.par");
  set_padded(location.parameter_file_path, file);
  location.parameter_file_mode = 2.0f;
  ParameterSet p;
  ASSERT_TRUE(transfer_parameter_file(0, p, location));
  EXPECT_EQ(p, defaults());
  EXPECT_EQ(test::read_file(file), golden_);
}

TEST_F(ParameterFileTest, ReadThenWriteReproducesAValidFile) {
  // A file whose time scale differs from its pulse width, a name with an inner blank.
  std::string edited = golden_;
  edited.replace(edited.find("Data1         "), 14, "abc 7         ");
  edited.replace(edited.find(" 1.50000E+01\r\nZ scale"), 12, " 2.20000E+01");
  test::write_file(path("a.par"), edited);
  ParameterSet p;
  ASSERT_TRUE(read_parameter_file(path("a.par"), p));
  EXPECT_EQ(p.time_scale, 22.0f);  // loaded unchanged
  EXPECT_EQ(std::string(p.data_file_name.data(), 14), "abc 7         ");
  ASSERT_TRUE(write_parameter_file(path("b.par"), p));
  EXPECT_EQ(p.time_scale, 15.0f);  // the save follows the pulse width
  std::string expected = edited;
  expected.replace(expected.find(" 2.20000E+01\r\nZ scale"), 12, " 1.50000E+01");
  EXPECT_EQ(test::read_file(path("b.par")), expected);
}

TEST_F(ParameterFileTest, PositionalReadingAndNumberConversion) {
  std::string text = golden_with_line(5, "any other twenty-five ch:  3.00000E+01");
  test::write_file(path("p.par"), text);
  ParameterSet p;
  ASSERT_TRUE(read_parameter_file(path("p.par"), p));
  EXPECT_EQ(p.pulse_width, 30.0f);

  struct Case { const char* field; float value; };
  for (const Case& c : {Case{"          30", 0.0003f}, Case{"30          ", 0.0003f},
                        Case{"         30.", 30.0f}, Case{"            ", 0.0f},
                        Case{" 3 0 . 5    ", 30.5f}, Case{"  1.5D+01   ", 15.0f},
                        Case{"     1.5+1  ", 15.0f}, Case{"    -2.5e-3 ", -2.5e-3f},
                        Case{"       15E1 ", 0.0015f}, Case{" 1.0E0000001", 10.0f}}) {
    float value = -1.0f;
    ASSERT_TRUE(convert_number_field(c.field, value)) << c.field;
    EXPECT_EQ(value, c.value) << c.field;
  }
  float value;
  for (const char* bad : {"  1.5x      ", "   abc      ", "  1.5E      ", "1.2.3       "})
    EXPECT_FALSE(convert_number_field(bad, value)) << bad;
}

TEST_F(ParameterFileTest, ShortLinesArePaddedWithBlanks) {
  test::write_file(path("s.par"), golden_with_line(6, "Fluence [mJ/cm^2]       :"));
  ParameterSet p;
  ASSERT_TRUE(read_parameter_file(path("s.par"), p));
  EXPECT_EQ(p.fluence, 0.0f);
}

TEST_F(ParameterFileTest, BadFilesChangeNothingAndNameTheProblem) {
  std::string shortened = golden_.substr(0, golden_.rfind("Autoscale"));
  test::write_file(path("short.par"), shortened);
  test::write_file(path("word.par"), golden_with_line(7, "Part of pulse -> front  :  twenty five"));
  test::write_file(path("empty.par"), "");
  ParameterSet p;
  p.fluence = 77.0f;
  const ParameterSet before = p;

  FileResult r = read_parameter_file(path("short.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("short.par"), std::string::npos);
  EXPECT_NE(r.message.find("ends after line 58"), std::string::npos) << r.message;

  r = read_parameter_file(path("word.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("line 7"), std::string::npos) << r.message;

  r = read_parameter_file(path("empty.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(p, before);
}

TEST_F(ParameterFileTest, AFailedWriteKeepsThePreviousFile) {
  test::write_file(path("keep.par"), golden_);
  fs::create_directory(path("keep.par.kt-save~"));  // the temporary cannot be made
  ParameterSet p = defaults();
  p.fluence = 99.0f;
  p.time_scale = 3.0f;
  FileResult r = write_parameter_file(path("keep.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(p.time_scale, 3.0f);  // the record is not changed by a failed save
  EXPECT_NE(r.message.find("keep.par"), std::string::npos);
  EXPECT_EQ(test::read_file(path("keep.par")), golden_);
}

TEST_F(ParameterFileTest, ShorterFileReplacesLongerOneWhole) {
  test::write_file(path("long.par"), golden_ + golden_);
  ParameterSet p = defaults();
  ASSERT_TRUE(write_parameter_file(path("long.par"), p));
  ASSERT_TRUE(write_parameter_file(path("long.par"), p));
  EXPECT_EQ(test::read_file(path("long.par")), golden_);
}

}  // namespace
}  // namespace kt
