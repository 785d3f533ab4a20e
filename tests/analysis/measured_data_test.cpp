#include "analysis/measured_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace kt {
namespace {

TEST(MeasuredCsv, ReadsCommentsBlankLinesCrLfAndSigma) {
  MeasuredData data;
  std::string error;
  const std::string text =
      "# ablation of polyimide at 248 nm\r\n"
      "fluence_mJ_per_cm2, total_depth_nm ,sigma_nm\r\n"
      "\r\n"
      "50,40.5,1.5  # first\r\n"
      "100,70,2\r\n"
      "100,72,2";  // no line end at the end, a repeated fluence
  ASSERT_TRUE(parse_measured_csv(text, "m.csv", data, error)) << error;
  ASSERT_EQ(data.points.size(), 3u);
  EXPECT_TRUE(data.has_sigma);
  EXPECT_EQ(data.quantity, DepthQuantity::total);
  EXPECT_DOUBLE_EQ(data.points[0].fluence, 50.0);
  EXPECT_DOUBLE_EQ(data.points[0].depth_nm, 40.5);
  EXPECT_DOUBLE_EQ(data.points[0].sigma_nm, 1.5);
  EXPECT_EQ(data.points[0].line, 4);
  EXPECT_EQ(data.points[2].line, 6);
}

TEST(MeasuredCsv, PicksTheDepthColumnAndNotesUnusedOnes) {
  const std::string sweep =
      "fluence_mJ_per_cm2,surface_recession_nm,volume_depth_nm,total_depth_nm,steps,end\n"
      "50,20,4,24,5000,end test\n";
  MeasuredData data;
  std::string error;
  ASSERT_TRUE(parse_measured_csv(sweep, "s.csv", data, error)) << error;
  EXPECT_EQ(data.quantity, DepthQuantity::total);
  EXPECT_DOUBLE_EQ(data.points[0].depth_nm, 24.0);
  EXPECT_FALSE(data.has_sigma);
  EXPECT_EQ(data.warnings.size(), 4u);  // steps, end, and the two other depths

  const DepthQuantity surface = DepthQuantity::surface;
  ASSERT_TRUE(parse_measured_csv(sweep, "s.csv", data, error, &surface)) << error;
  EXPECT_EQ(data.quantity, DepthQuantity::surface);
  EXPECT_DOUBLE_EQ(data.points[0].depth_nm, 20.0);

  ASSERT_TRUE(
      parse_measured_csv("fluence_mJ_per_cm2,volume_depth_nm\n80,3\n", "v.csv", data, error));
  EXPECT_EQ(data.quantity, DepthQuantity::volume);
}

TEST(MeasuredCsv, BadFilesNameTheFileTheLineAndTheProblem) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "m.csv: the file is empty"},
      {"# only a comment\n", "m.csv: the file is empty"},
      {"fluence_mJ_per_cm2,total_depth_nm\n", "m.csv: the file has a header but no data rows"},
      {"fluence,total_depth_nm\n1,2\n", "m.csv, line 1: the header has no fluence_mJ_per_cm2"},
      {"fluence_mJ_per_cm2,depth\n1,2\n", "m.csv, line 1: the header has no depth column"},
      {"fluence_mJ_per_cm2,total_depth_nm\n50,1\n60\n",
       "m.csv, line 3: the row has 1 values; the header names 2"},
      {"fluence_mJ_per_cm2,total_depth_nm\n\n50,abc\n",
       "m.csv, line 3: total_depth_nm \"abc\" is not a number"},
      {"fluence_mJ_per_cm2,total_depth_nm\n,3\n", "m.csv, line 2: fluence_mJ_per_cm2 is empty"},
      {"fluence_mJ_per_cm2,total_depth_nm\n-5,3\n",
       "m.csv, line 2: fluence_mJ_per_cm2 is -5; it must be greater than 0"},
      {"fluence_mJ_per_cm2,total_depth_nm\n20000,3\n",
       "m.csv, line 2: fluence_mJ_per_cm2 is 20000; the model runs at most"},
      {"fluence_mJ_per_cm2,total_depth_nm,sigma_nm\n50,3,0\n",
       "m.csv, line 2: sigma_nm is 0; it must be greater than 0"},
      {"fluence_mJ_per_cm2,total_depth_nm\n50,nan\n",
       "m.csv, line 2: total_depth_nm \"nan\" is not a number"},
  };
  for (const auto& [text, expected] : cases) {
    MeasuredData data;
    data.source = "unchanged";
    std::string error;
    EXPECT_FALSE(parse_measured_csv(text, "m.csv", data, error)) << text;
    EXPECT_EQ(error.rfind(expected, 0), 0u) << "got: " << error;
    EXPECT_EQ(data.source, "unchanged");
  }
  const DepthQuantity surface = DepthQuantity::surface;
  MeasuredData data;
  std::string error;
  EXPECT_FALSE(parse_measured_csv("fluence_mJ_per_cm2,total_depth_nm\n1,2\n", "m.csv", data, error,
                                  &surface));
  EXPECT_NE(error.find("no surface_recession_nm column"), std::string::npos) << error;
  EXPECT_FALSE(read_measured_csv("/nonexistent/m.csv", data, error));
  EXPECT_NE(error.find("/nonexistent/m.csv"), std::string::npos);
}

// A table handed over in memory reads as the same rows of a file do (the units converted, the
// conditions and data sets alike), and is refused as a file is, its rows named by index.
TEST(MeasuredTable, ReadsAsItsFileAndNamesRowsByIndex) {
  auto number = [](double v, const char* text) { return MeasuredCell{text, v}; };
  auto label = [](const char* text) { return MeasuredCell{text, std::nullopt}; };
  MeasuredTable table{{"dataset", "Fluence (J/cm2)", "total_depth_nm", "pulse_width"},
                      {{label("a"), number(0.05, "0.05"), number(20.5, "20.5"), number(20, "20")},
                       {label("a"), number(0.1, "0.1"), number(60, "60"), number(20, "20")},
                       {label("b"), number(0.08, "0.08"), number(40, "40"), number(30, "30")}}};
  const std::string file =
      "dataset,Fluence (J/cm2),total_depth_nm,pulse_width\n"
      "a,0.05,20.5,20\na,0.1,60,20\nb,0.08,40,30\n";
  MeasuredData from_table, from_file;
  std::string error;
  ASSERT_TRUE(read_measured_table(table, "the arrays", from_table, error)) << error;
  ASSERT_TRUE(parse_measured_csv(file, "m.csv", from_file, error)) << error;
  ASSERT_EQ(from_table.points.size(), from_file.points.size());
  for (std::size_t i = 0; i < from_file.points.size(); ++i) {
    EXPECT_EQ(from_table.points[i].fluence, from_file.points[i].fluence) << i;
    EXPECT_EQ(from_table.points[i].depth_nm, from_file.points[i].depth_nm) << i;
    EXPECT_EQ(from_table.points[i].conditions, from_file.points[i].conditions) << i;
    EXPECT_EQ(from_table.points[i].dataset, from_file.points[i].dataset) << i;
  }
  EXPECT_EQ(from_table.datasets.size(), 2u);
  EXPECT_EQ(from_table.warnings.size(), from_file.warnings.size());
  EXPECT_DOUBLE_EQ(from_table.points[1].fluence, 100.0);

  struct Case {
    const char* name;
    int row, column;
    MeasuredCell cell;
    const char* error;
  };
  const Case cases[] = {
      {"a negative fluence", 1, 1, number(-5, "-5.0"),
       "the arrays, index 1: fluence_mJ_per_cm2 is -5.0; it must be greater than 0"},
      {"a text for a depth", 2, 2, label("deep"),
       "the arrays, index 2: total_depth_nm \"deep\" is not a number"},
      {"not a number", 0, 2, number(std::nan(""), "nan"),
       "the arrays, index 0: total_depth_nm \"nan\" is not a number"},
      {"a condition out of range", 1, 3, number(-1, "-1.0"),
       "the arrays, index 1: column pulse_width: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MeasuredTable bad = table;
    bad.rows[static_cast<std::size_t>(c.row)][static_cast<std::size_t>(c.column)] = c.cell;
    MeasuredData kept = from_table;
    EXPECT_FALSE(read_measured_table(bad, "the arrays", kept, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    EXPECT_EQ(kept.points.size(), 3u);  // unchanged
  }
  MeasuredTable no_depth{{"fluence_mJ_per_cm2"}, {{number(50, "50")}}};
  EXPECT_FALSE(read_measured_table(no_depth, "the arrays", from_table, error));
  EXPECT_EQ(error.rfind("the arrays: the header has no depth column", 0), 0u) << error;
}

}  // namespace
}  // namespace kt
