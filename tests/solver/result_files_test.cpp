#include "solver/result_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "solver/calculation_run.h"
#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;
using test::ScratchDirectory;

std::array<char, kDataFileNameLength> padded(const char* text) {
  std::array<char, kDataFileNameLength> field{};
  set_padded(field, text);
  return field;
}

long line_count(const std::string& text) {
  return std::count(text.begin(), text.end(), '\n');
}

TEST(ResultFileNames, BaseIsAtMostSevenCharacters) {
  EXPECT_EQ(result_file_base(padded("Data1")), "Data1");
  EXPECT_EQ(result_file_base(padded("")), "");
  EXPECT_EQ(temporal_file_name(result_file_base(padded(""))), "D.dat");
  const std::string base = result_file_base(padded("ABCDEFGHIJ"));
  EXPECT_EQ(temporal_file_name(base), "ABCDEFGD.dat");
  EXPECT_EQ(kinetics_file_name(base), "ABCDEFGK.dat");
  EXPECT_EQ(spatial_file_name(base, 10), "ABCDEFGS10.dat");
  EXPECT_EQ(spatial_file_name("Data1", 1), "Data1S1.dat");
  EXPECT_EQ(result_file_base(padded("  ab")), "  ab");          // leading blanks stay
  EXPECT_EQ(result_file_base(padded("ABC   XYZ")), "ABC   X");  // inner blanks stay
  EXPECT_EQ(temporal_file_name(result_file_base(padded("ab   cdefgh"))), "ab   cdD.dat");
  EXPECT_EQ(temporal_file_name(result_file_base(padded("run 7"))), "run 7D.dat");
  std::array<char, kDataFileNameLength> zeros{};  // never-set field
  EXPECT_EQ(result_file_base(zeros), "");
}

TEST(ResultRecords, Layouts) {
  OutputValues values;
  values.time_ns = 12.5f;
  values.surface_temperature_k = 1234.56789f;
  values.velocity_cm_s = 98.7654f;
  values.plotted_depth_nm = 3.25f;
  values.surface_fraction = 0.5f;
  TemporalSelection all{true, true, true, true};
  std::string line;
  append_temporal_record(line, all, AblationModel::bulk, values);
  EXPECT_EQ(line, "      12.5000   1234.5679       98.7654        3.2500  0.5000   \r\n");
  line.clear();
  append_temporal_record(line, all, AblationModel::surface, values);
  EXPECT_EQ(line, "      12.5000   1234.5679       98.7654        3.2500   \r\n");
  line.clear();
  append_temporal_record(line, TemporalSelection{false, false, false, true}, AblationModel::surface,
                         values);
  EXPECT_EQ(line, "      12.5000   \r\n");

  ProfileArrays profiles;
  profiles.profile_depth_nm[1] = 0.0f;
  profiles.profile_temperature_k[1] = 663.3677f;
  profiles.profile_fraction[1] = 0.25f;
  std::string spatial;
  append_spatial_lines(spatial, SpatialOutput::both, AblationModel::bulk, profiles);
  EXPECT_EQ(line_count(spatial), 64);
  EXPECT_EQ(spatial.substr(0, 35), "       0.0000    663.3677  0.2500\r\n");
  spatial.clear();
  append_spatial_lines(spatial, SpatialOutput::fraction, AblationModel::bulk, profiles);
  EXPECT_EQ(spatial.substr(0, 23), "       0.0000  0.2500\r\n");
  spatial.clear();
  append_spatial_lines(spatial, SpatialOutput::both, AblationModel::surface, profiles);
  EXPECT_EQ(spatial.substr(0, 27), "       0.0000    663.3677\r\n");
  spatial.clear();
  append_spatial_lines(spatial, SpatialOutput::fraction, AblationModel::surface, profiles);
  EXPECT_TRUE(spatial.empty());
}

TEST(ResultRecords, KineticsLineKeepsEightFluenceColumns) {
  KineticsDepths depths{12.5, 0.0, 12.5};
  EXPECT_EQ(kinetics_line(AblationModel::surface, 50.0, depths), " 50.0000   1.25000E+01");
  EXPECT_EQ(kinetics_line(AblationModel::surface, 999.5, depths).substr(0, 8), "999.5000");
  EXPECT_EQ(kinetics_line(AblationModel::surface, 1000.0, depths).substr(0, 8), "1000.000");
  EXPECT_EQ(kinetics_line(AblationModel::surface, 6000.0, depths).substr(0, 8), "6000.000");
  EXPECT_EQ(kinetics_line(AblationModel::surface, 10000.0, depths).substr(0, 8), "10000.00");
  EXPECT_EQ(kinetics_line(AblationModel::bulk, 50.0, KineticsDepths{1.0, 2.0, 3.0}),
            " 50.0000   1.00000E+00   2.00000E+00   3.00000E+00");
}

TEST(ResultFiles, KineticsFileAdditionAndRewrite) {
  ScratchDirectory directory;
  RunOptions options;
  options.output_directory = directory.path();
  options.write_profile_files = false;
  RunRecords records;
  records.parameters.values.kinetics_file_mode = KineticsFileMode::addition;
  records.parameters.values.fluence = 5.0f;  // little to compute
  for (int i = 0; i < 3; ++i) records.run(options);
  const std::filesystem::path kinetics = directory.path() / "Data1K.dat";
  EXPECT_EQ(line_count(test::read_file(kinetics)), 3);
  records.parameters.values.kinetics_file_mode = KineticsFileMode::rewrite;
  const RunOutcome outcome = records.run(options);
  EXPECT_EQ(test::read_file(kinetics), outcome.kinetics_line + "\r\n");
  EXPECT_EQ(test::file_names(directory.path()), std::vector<std::string>{"Data1K.dat"});

  // Returned instead of written.
  options.append_kinetics_line = false;
  records.parameters.values.fluence = 7.0f;
  const RunOutcome quiet = records.run(options);
  EXPECT_EQ(test::read_file(kinetics), outcome.kinetics_line + "\r\n");
  EXPECT_EQ(quiet.kinetics_line.substr(0, 8), "  7.0000");
}

TEST(ResultFiles, SelectionsIntervalsAndSpatialPoints) {
  ScratchDirectory directory;
  RunOptions options;
  options.output_directory = directory.path();
  RunRecords records;
  ParameterSet& p = records.parameters.values;
  p.ablation_model = AblationModel::surface;
  p.output_surface_temperature = p.output_ablation_velocity = p.output_ablated_depth = false;
  p.output_broken_fraction = true;
  p.output_interval = 0.0f;
  p.spatial_output = SpatialOutput::fraction;
  p.spatial_times = {4, 2, 8, 1000, 1, 1, 1, 1, 1, 1};
  set_padded(p.data_file_name, "ABCDEFGHIJ");
  const RunOutcome outcome = records.run(options);
  // A record at every finished step, holding only the time part and the closing blanks.
  const std::string temporal = test::read_file(directory.path() / "ABCDEFGD.dat");
  EXPECT_EQ(line_count(temporal), outcome.step_count - 1);
  EXPECT_EQ(temporal.substr(0, 18), "       0.0187   \r\n");
  // Surface model, fraction only: the files are created empty; the fourth point is never reached.
  EXPECT_EQ(test::file_names(directory.path()),
            (std::vector<std::string>{"ABCDEFGD.dat", "ABCDEFGK.dat", "ABCDEFGS1.dat",
                                      "ABCDEFGS2.dat", "ABCDEFGS3.dat"}));
  EXPECT_TRUE(test::read_file(directory.path() / "ABCDEFGS2.dat").empty());

  // No temporal selection: no temporal file.
  ScratchDirectory none;
  options.output_directory = none.path();
  RunRecords quiet;
  quiet.parameters.values.output_surface_temperature = false;
  quiet.parameters.values.output_ablation_velocity = false;
  quiet.parameters.values.output_ablated_depth = false;
  quiet.parameters.values.output_broken_fraction = false;
  quiet.parameters.values.spatial_output = SpatialOutput::none;
  quiet.run(options);
  EXPECT_EQ(test::file_names(none.path()), std::vector<std::string>{"Data1K.dat"});
}

TEST(ResultFiles, UnwritableFilesAreReportedAndTheRunGoesOn) {
  ScratchDirectory directory;
  RunOptions options;
  options.output_directory = directory.path() / "missing";
  RunRecords records;
  const RunOutcome outcome = records.run(options);
  EXPECT_EQ(outcome.end, RunEnd::end_test);
  EXPECT_EQ(outcome.step_count, 5359);
  ASSERT_EQ(outcome.file_errors.size(), 12u);  // temporal, ten spatial, kinetics
  EXPECT_NE(outcome.file_errors.front().find("Data1D.dat"), std::string::npos);
  EXPECT_NE(outcome.file_errors.front().find("No such file"), std::string::npos);
  EXPECT_NE(outcome.file_errors.back().find("Data1K.dat"), std::string::npos);

  std::vector<std::string> errors;
  ResultFile full;
  if (full.open("/dev/full", ResultFile::Mode::rewrite, errors)) {
    full.write(std::string(100000, 'x'));
    full.close(errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("cannot write /dev/full"), std::string::npos);
  }
}

TEST(ResultFiles, AFailedAppendLeavesWholeLinesOnly) {
  ScratchDirectory directory;
  const std::filesystem::path kinetics = directory.path() / "Data1K.dat";
  const std::string first = " 60.0000   3.70226E+01   3.88602E+00   4.09086E+01\r\n";
  test::write_file(kinetics, first);
  std::vector<std::string> errors;
  {
    test::FileSizeLimit full_disk(static_cast<long long>(first.size()) + 30);
    write_result_file(kinetics, ResultFile::Mode::append, first, errors);
  }
  EXPECT_EQ(test::read_file(kinetics), first);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Data1K.dat"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find(std::strerror(EFBIG)), std::string::npos) << errors[0];
  // The next append continues on a line of its own.
  write_result_file(kinetics, ResultFile::Mode::append, first, errors);
  EXPECT_EQ(test::read_file(kinetics), first + first);
}

}  // namespace
}  // namespace kt
