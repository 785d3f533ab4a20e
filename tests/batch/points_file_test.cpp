// The points file of a listed study, read a block at a time: what it accepts, and each refusal
// named with its file and line, the plan left as it was.
#include "engine/points_file.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace kt {
namespace {

using namespace std::string_literals;

TEST(PointsFile, ReadsPointsAcrossBlocksAndLineEnds) {
  test::ScratchDirectory scratch;
  const std::string path = (scratch.path() / "p.csv").string();
  // A mark, a comment, CRLF, blank lines, spaces around cells, a comma ending a line, and
  // enough points that lines cross the reader's blocks.
  std::string text = "\xEF\xBB\xBF# fluence, density\r\n\r\nfluence , density,\r\n";
  for (int i = 0; i < 20000; ++i) text += std::to_string(40 + i % 50) + ", 1.25\n";
  text += "\n# the last one has no line end\n99,1.5";
  test::write_file(path, text);
  StudyPlan plan;
  ASSERT_EQ(read_points_file(path, plan), "");
  ASSERT_EQ(plan.fields.size(), 2u);
  EXPECT_EQ(plan.fields[0]->name, "fluence");
  ASSERT_EQ(plan.listed_points.size(), 20001u);
  EXPECT_EQ(plan.listed_points[0], (std::vector<float>{40.0F, 1.25F}));
  EXPECT_EQ(plan.listed_points[12345], (std::vector<float>{85.0F, 1.25F}));
  EXPECT_EQ(plan.listed_points.back(), (std::vector<float>{99.0F, 1.5F}));
}

TEST(PointsFile, RefusalsNameTheFileAndLine) {
  test::ScratchDirectory scratch;
  const std::string path = (scratch.path() / "p.csv").string();
  const struct {
    std::string text;
    std::string message;  // after the path
  } cases[] = {
      {"fluence,density\n60\n", " line 2: 1 values for 2 fields"},
      {"fluence\n# x\n60\n6O\n", " line 4: \"6O\" is not a number"},
      {"fluence\n60\n\n,\n", " line 4: \"\" is not a number"},
      {"fluence\n1e39\n", " line 2: fluence is not a finite 32-bit number"},
      {"fluence\nnan\n", " line 2: fluence is not a finite 32-bit number"},
      {"fluense\n60\n", " line 1: no field is named \"fluense\""},
      {"fluence,fluence\n60,60\n", " line 1: \"fluence\" is varied twice"},
      {"fluence\n60\n7\x01\x00\n"s, ", line 3: a NUL byte; the file is not text"},
      {"# only a comment\n", ": a listed study needs at least one field"},
      {"fluence\n# no point\n", ": the study lists no point"},
      {"\xFF\xFE"
       "f\0l\0"s,
       " is UTF-16 text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    test::write_file(path, c.text);
    StudyPlan plan;
    plan.refinement = 3;
    const std::string error = read_points_file(path, plan);
    EXPECT_EQ(error.find(path + c.message), 0u) << error;
    EXPECT_EQ(plan.refinement, 3);
    EXPECT_TRUE(plan.fields.empty());
  }
  // A folder is no points file; a missing one is named.
  StudyPlan plan;
  EXPECT_NE(read_points_file(scratch.path().string(), plan).find("is a directory"),
            std::string::npos);
  EXPECT_NE(read_points_file(path + ".none", plan).find("cannot open the points file"),
            std::string::npos);
}

}  // namespace
}  // namespace kt
