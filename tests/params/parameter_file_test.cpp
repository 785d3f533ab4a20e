#include "params/parameter_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "kt_test_paths.h"
#include "params/run_state.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

ParameterSet defaults() {
  return test::default_parameters();
}

class ParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kt_params_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
  zero.autoscale = static_cast<Autoscale>(0);
  EXPECT_EQ(start.autoscale, Autoscale::automatic);
  start.autoscale = static_cast<Autoscale>(0);
  EXPECT_EQ(start, zero);  // every other field 0.0, the name zero bytes

  ParameterSet p = defaults();
  EXPECT_EQ(p.time_scale, 15.0f);
  EXPECT_EQ(p.thermal_conductivity, 0.00156f);
  EXPECT_EQ(std::string(p.data_file_name.data(), 14), "Data1         ");
  EXPECT_EQ(p.spatial_times[9], 40.0f);
}

TEST(ParameterSetTest, GuardKeepsEveryField) {
  for (RunState busy : {RunState::help_shown, RunState::about_shown, RunState::running}) {
    RunStateMachine run_state;
    ASSERT_TRUE(run_state.try_enter(busy));
    ParameterSet p;
    p.fluence = 123.0f;
    const ParameterSet before = p;
    set_default_parameters(p, run_state);
    EXPECT_EQ(p, before);
  }
}

// One thing at a time: a state is entered only from idle, a run moves only from the state it is
// in, and a Stop request belongs to the calculation under way: refused while none is, taken
// once, gone with the run.
TEST(RunStateMachine, EntersOnlyFromIdleAndKeepsStopApart) {
  RunStateMachine run_state;
  ASSERT_TRUE(run_state.try_enter(RunState::starting));
  EXPECT_FALSE(run_state.try_enter(RunState::help_shown));
  EXPECT_FALSE(run_state.try_enter(RunState::starting));
  EXPECT_FALSE(run_state.advance(RunState::running, RunState::stopping));
  ASSERT_TRUE(run_state.advance(RunState::starting, RunState::running));
  EXPECT_TRUE(run_state.calculating());
  run_state.leave();
  EXPECT_TRUE(run_state.idle());
  ASSERT_TRUE(run_state.try_enter(RunState::about_shown));
  EXPECT_FALSE(run_state.calculating());
  run_state.leave();

  EXPECT_FALSE(run_state.request_stop()) << "a Stop chosen while idle is refused";
  EXPECT_FALSE(run_state.stop_requested()) << "and nothing waits for the next run";
  ASSERT_TRUE(run_state.try_enter(RunState::help_shown));
  EXPECT_FALSE(run_state.request_stop()) << "nor over the help window";
  run_state.leave();

  ASSERT_TRUE(run_state.try_enter(RunState::starting));
  EXPECT_TRUE(run_state.request_stop());
  EXPECT_TRUE(run_state.request_stop());
  ASSERT_TRUE(run_state.advance(RunState::starting, RunState::running));
  EXPECT_TRUE(run_state.stop_requested()) << "a request made while starting goes with the run";
  EXPECT_EQ(run_state.state(), RunState::running);
  EXPECT_TRUE(run_state.take_stop_request());
  EXPECT_FALSE(run_state.take_stop_request()) << "two requests are one";
  ASSERT_TRUE(run_state.advance(RunState::running, RunState::stopping));
  EXPECT_FALSE(run_state.request_stop()) << "a run leaving its loop has nothing to stop";

  // A request the run never took ends with it.
  run_state.leave();
  ASSERT_TRUE(run_state.try_enter(RunState::starting));
  ASSERT_TRUE(run_state.request_stop());
  run_state.leave();
  EXPECT_TRUE(run_state.idle());
  ASSERT_TRUE(run_state.try_enter(RunState::starting));
  EXPECT_FALSE(run_state.stop_requested()) << "the next run starts without it";
}

TEST_F(ParameterFileTest, DefaultsWriteTheReferenceFileByteForByte) {
  ParameterSet p = defaults();
  EXPECT_EQ(format_parameter_file(p), golden_);
}

TEST_F(ParameterFileTest, MissingFileGivesDefaultsAndIsCreated) {
  ParameterFileLocation location;
  location.parameter_file_mode = ParameterFileMode::short_name;
  const std::string file = path("KTparam.par");
  set_padded(location.parameter_file_path, file);
  location.parameter_file_mode = ParameterFileMode::full_path;
  ParameterSet p;
  ASSERT_TRUE(transfer_parameter_file(TransferDirection::read, p, location));
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
  const ParameterSet before = p;
  ASSERT_TRUE(write_parameter_file(path("b.par"), p));
  EXPECT_EQ(p, before);  // the file's time scale follows the pulse width, the record is as it was
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

  struct Case {
    const char* field;
    float value;
  };
  for (const Case& c :
       {Case{"          30", 0.0003f}, Case{"30          ", 0.0003f}, Case{"         30.", 30.0f},
        Case{"            ", 0.0f}, Case{" 3 0 . 5    ", 30.5f}, Case{"  1.5D+01   ", 15.0f},
        Case{"     1.5+1  ", 15.0f}, Case{"    -2.5e-3 ", -2.5e-3f}, Case{"       15E1 ", 0.0015f},
        Case{" 1.0E0000001", 10.0f}}) {
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

TEST_F(ParameterFileTest, AFailedWriteKeepsThePreviousFileAndSaysWhy) {
  test::write_file(path("keep.par"), golden_);
  ParameterSet p = defaults();
  p.fluence = 99.0f;
  p.time_scale = 3.0f;
  FileResult r;
  {
    test::FileSizeLimit full_disk(100);
    r = write_parameter_file(path("keep.par"), p);
  }
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(p.time_scale, 3.0f);  // the record is not changed by a failed save
  EXPECT_NE(r.message.find("keep.par"), std::string::npos);
  EXPECT_NE(r.message.find(std::strerror(EFBIG)), std::string::npos) << r.message;
  EXPECT_EQ(test::read_file(path("keep.par")), golden_);
  EXPECT_EQ(test::file_names(dir_), std::vector<std::string>{"keep.par"});  // no temporary left
}

TEST_F(ParameterFileTest, SaveFollowsLinksKeepsTheModeAndRefusesReadOnlyFiles) {
  ParameterSet p = defaults();
  p.fluence = 99.0f;
  const std::string saved = format_parameter_file(p);

  // A link planted at the name the temporary once had is not followed.
  test::write_file(path("victim"), "precious");
  fs::create_symlink(path("victim"), path("plain.par.kt-save~"));
  ASSERT_TRUE(write_parameter_file(path("plain.par"), p));
  EXPECT_EQ(test::read_file(path("victim")), "precious");

  // A linked parameter file: the link stays, its target gets the text.
  fs::create_directory(path("real"));
  test::write_file(path("real/target.par"), golden_);
  fs::create_symlink("real/target.par", path("link.par"));
  ASSERT_TRUE(write_parameter_file(path("link.par"), p));
  EXPECT_TRUE(fs::is_symlink(path("link.par")));
  EXPECT_EQ(test::read_file(path("real/target.par")), saved);

  // The mode is kept.
  test::write_file(path("private.par"), golden_);
  fs::permissions(path("private.par"), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(write_parameter_file(path("private.par"), p));
  EXPECT_EQ(fs::status(path("private.par")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  // A read-only file is not replaced, and the message says so.
  test::write_file(path("locked.par"), golden_);
  fs::permissions(path("locked.par"), fs::perms::owner_read | fs::perms::group_read);
  const FileResult r = write_parameter_file(path("locked.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("read-only"), std::string::npos) << r.message;
  EXPECT_EQ(test::read_file(path("locked.par")), golden_);
}

TEST_F(ParameterFileTest, OnlyRegularFilesOfAParameterFilesLengthAreRead) {
  ParameterSet p = defaults();
  fs::create_directory(path("folder.par"));
  ASSERT_EQ(::mkfifo(path("pipe.par").c_str(), 0600), 0);
  test::write_file(path("long.par"), golden_ + std::string(kMaxParameterFileBytes, ' '));
  struct Case {
    std::string file;
    const char* problem;
  };
  for (const Case& c :
       {Case{path("folder.par"), "is a directory"}, Case{path("pipe.par"), "not a regular file"},
        Case{"/dev/zero", "not a regular file"},
        Case{path("long.par"), "longer than any parameter file"}}) {
    const FileResult r = read_parameter_file(c.file, p);  // at once, without waiting for input
    EXPECT_FALSE(r.ok) << c.file;
    EXPECT_NE(r.message.find(c.problem), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(c.file), std::string::npos) << r.message;
  }
  EXPECT_EQ(p, defaults());
}

TEST_F(ParameterFileTest, NamesThatLeaveTheFolderOrHoldControlBytesAreRefused) {
  ParameterSet p = defaults();
  p.fluence = 77.0f;
  const ParameterSet before = p;
  for (const std::string& name :
       {std::string("k.par\0x       ", 14), std::string("Data1\0\0\0\0\0\0\0\0\0", 14),
        std::string("../../E       "), std::string("/tmp/Ev       "), std::string("a\\b          "),
        std::string("tab\tx        "), std::string(" Data1        ")}) {
    test::write_file(path("n.par"), golden_with_line(41, "Name of Data File  : " + name));
    const FileResult r = read_parameter_file(path("n.par"), p);
    EXPECT_FALSE(r.ok) << name;
    EXPECT_NE(r.message.find("line 41 (Name of Data File)"), std::string::npos) << r.message;
    EXPECT_EQ(p, before);
  }
  EXPECT_EQ(data_file_name_problem("abc 7"), "");
  EXPECT_NE(data_file_name_problem("a..b"), "");
  // The writer does not write a name the reader refuses.
  set_padded(p.data_file_name, "sub/x");
  EXPECT_FALSE(write_parameter_file(path("w.par"), p).ok);
  EXPECT_FALSE(fs::exists(path("w.par")));
}

TEST_F(ParameterFileTest, ShiftedAndMisreadNumbersAreRefused) {
  struct Case {
    int line;
    std::string text;
    const char* problem;
  };
  const Case cases[] = {
      {6, "Fluence [mJ/cm^2]       :   1.50000E+02",
       "line 6 (Fluence): '   1.50000E+02' reads as 1.5 by its columns; write it as 150.0."},
      {6, "Fluence [mJ/cm^2]       :          150",
       "line 6 (Fluence): '          150' reads as 0.0015 by its columns; write it as 150.0."},
      {12, "Thermal conductivity [W/(cm*K)]        :   1.56000E-03",
       "reads as 1.56 by its columns; write it as 0.00156."},
      {5, "Pulsewidth [ns]         :  1.5000XE+01", "is not a number"},
      {6, "Fluence [mJ/cm^2]       :  1.5 E+02", "is not one number"},
      {6, "Fluence [mJ/cm^2]       :  1.00000E+99", "too large for a single-precision number"},
      {6, "Fluence [mJ/cm^2]       : 1.00000E+39", "too large for a single-precision number"},
      {2, "Ablation Model:  40.0000E+800", "too large for a single-precision number"},
  };
  ParameterSet p = defaults();
  for (const Case& c : cases) {
    test::write_file(path("f.par"), golden_with_line(c.line, c.text));
    const FileResult r = read_parameter_file(path("f.par"), p);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_NE(r.message.find(c.problem), std::string::npos) << r.message;
  }
  // Every line one blank further right, as a hand edit might leave it.
  std::string shifted;
  for (const char c : golden_) shifted += c == ':' ? std::string(": ") : std::string(1, c);
  test::write_file(path("shifted.par"), shifted);
  EXPECT_FALSE(read_parameter_file(path("shifted.par"), p).ok);
  EXPECT_EQ(p, defaults());

  // Blanks after a number change nothing; a value that is its plain reading is taken.
  test::write_file(path("ok.par"), golden_with_line(6, "Fluence [mJ/cm^2]       :        150.   "));
  ASSERT_TRUE(read_parameter_file(path("ok.par"), p));
  EXPECT_EQ(p.fluence, 150.0f);
}

TEST_F(ParameterFileTest, ChoicesHoldWholeNumbersAndSwitchesReadOneAsOn) {
  // A whole number outside a choice's set is held and written back as it stood (a run refuses
  // it); so is every switch that holds 0 or 1.
  std::string odd = golden_with_line(2, "Ablation Model:  3.00000E+00");
  odd.replace(odd.find("Kinetics Data File      :  0.00000E+00"), 38,
              "Kinetics Data File      :  2.00000E+00");
  test::write_file(path("odd.par"), odd);
  ParameterSet p;
  ASSERT_TRUE(read_parameter_file(path("odd.par"), p));
  EXPECT_EQ(choice_code(p.ablation_model), 3);
  EXPECT_EQ(format_parameter_file(p), odd);

  // Any other number in a switch reads as off and is written back as 0.
  test::write_file(path("half.par"),
                   golden_with_line(31, "Ablated depth              :  5.00000E-01"));
  ASSERT_TRUE(read_parameter_file(path("half.par"), p));
  EXPECT_FALSE(p.show_ablated_depth);
  EXPECT_EQ(format_parameter_file(p),
            golden_with_line(31, "Ablated depth              :  0.00000E+00"));

  // A fraction in a choice cannot be held: the file is refused, naming it, the field and the
  // value, and nothing changes.
  test::write_file(path("frac.par"), golden_with_line(59, "Autoscale:  1.50000E+00"));
  const ParameterSet before = p;
  const FileResult r = read_parameter_file(path("frac.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("frac.par\", line 59 (Autoscale): '  1.50000E+00' is not a whole "
                           "number; the field is a choice (1 or 2)"),
            std::string::npos)
      << r.message;
  EXPECT_EQ(p, before);
}

TEST_F(ParameterFileTest, ValuesBeyondSinglePrecisionAreNeverWritten) {
  EXPECT_TRUE(fits_parameter_file(std::numeric_limits<float>::max()));
  EXPECT_FALSE(fits_parameter_file(std::numeric_limits<float>::infinity()));
  EXPECT_FALSE(fits_parameter_file(std::nanf("")));
  test::write_file(path("keep.par"), golden_);
  ParameterSet p = defaults();
  p.temperature_scale = std::numeric_limits<float>::infinity();
  const FileResult r = write_parameter_file(path("keep.par"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("line 35 (Temperature scale)"), std::string::npos) << r.message;
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
