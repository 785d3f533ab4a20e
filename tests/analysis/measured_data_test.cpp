#include "analysis/measured_data.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kt
