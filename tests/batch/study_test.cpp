#include "engine/study.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

std::string make_study(const std::vector<std::string>& vary, StudyPlan& plan) {
  return make_product_study(vary, plan);
}

std::string shard_table(const ParameterSet& base, const StudyPlan& plan, StudyShard shard) {
  std::atomic<bool> interrupt{false};
  const StudyResult result = run_study(base, plan, shard, 1, interrupt);
  return study_table_text(study_hash(base, plan), plan, shard, result.rows);
}

int run_program(const std::string& arguments, const fs::path& dir) {
  const std::string command =
      "cd '" + dir.string() + "' && '" KT_BATCH_PROGRAM "' " + arguments + " > out.txt 2> err.txt";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(StudyPlan, ValuesAndPointOrder) {
  std::string error;
  EXPECT_EQ(parse_study_values("5:20:5", error), (std::vector<float>{5, 10, 15, 20}));
  EXPECT_EQ(parse_study_values("0.1:0.3:0.1", error).size(), 3u);  // TO reached despite rounding
  EXPECT_EQ(parse_study_values("10:1000:log3", error), (std::vector<float>{10, 100, 1000}));
  EXPECT_EQ(parse_study_values("40,10,20", error), (std::vector<float>{40, 10, 20}));

  StudyPlan plan;
  ASSERT_EQ(make_study({"fluence=10,20", "pulse_width=1:3:1"}, plan), "");
  ASSERT_EQ(study_point_count(plan), 6u);
  EXPECT_EQ(study_point(plan, 1).values, (std::vector<float>{10, 2}));  // the last varies fastest
  EXPECT_EQ(study_point(plan, 3).values, (std::vector<float>{20, 1}));
  const std::vector<StudyPoint> shard = study_points(plan, StudyShard{2, 4});
  ASSERT_EQ(shard.size(), 2u);
  EXPECT_EQ(shard[0].index, 1u);
  EXPECT_EQ(shard[1].index, 5u);
}

TEST(StudyPlan, ErrorsNameTheProblem) {
  StudyPlan plan;
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"flunce=1,2"}, "no field is named \"flunce\""},
      {{"fluence"}, "NAME=VALUES"},
      {{"fluence=1,2", "fluence=3"}, "vary fluence=3: \"fluence\" is varied twice"},
      {{"fluence=1,x"}, "\"x\" is not a number"},
      {{"fluence=1,"}, "\"\" is not a number"},
      {{"fluence=20:10:5"}, "STEP > 0 and TO >= FROM"},
      {{"fluence=0:100:log5"}, "above 0"},
      {{"fluence=1:100:log1"}, "logN needs"},
      {{"fluence=1:2"}, "FROM:TO:STEP or FROM:TO:logN"},
      {{"fluence=1e39"}, "does not fit"},
      {{"ablation_model=1,1.5"}, "ablation_model is 1.5; it must be a whole number (1 or 2)"},
      {{"show_ablated_depth=0,2"}, "show_ablated_depth is 2; it must be 0 or 1"},
      {{"fluence=1:1000:1", "pulse_width=1:1000:1", "density=1:1000:1"}, "more than 100000000"},
      {{}, "at least one vary"},
  };
  for (const auto& [vary, expected] : cases) {
    const std::string error = make_study(vary, plan);
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  StudyShard shard;
  for (const char* text : {"0/4", "5/4", "2", "a/4", "1/0"})
    EXPECT_NE(parse_study_shard(text, shard), "") << text;
}

TEST(Study, DivergedAndRefusedPointsAreMarkedWithoutResults) {
  const ParameterSet base = test::default_parameters();
  StudyPlan plan;
  ASSERT_EQ(make_study({"fluence=-5,100", "thermal_conductivity=1000"}, plan), "");
  std::atomic<bool> interrupt{false};
  const StudyResult result = run_study(base, plan, StudyShard{}, 2, interrupt);
  ASSERT_EQ(result.rows.size(), 2u);
  EXPECT_EQ(result.rows[0].end, StudyEnd::refused);
  EXPECT_EQ(study_row_text(result.rows[0]),
            "0,-5,1000,,,,,,,refused,Fluence [mJ/cm^2] is -5; it must be greater than 0\n");
  EXPECT_EQ(result.rows[1].end, StudyEnd::diverged);
  const std::string diverged = study_row_text(result.rows[1]);
  EXPECT_EQ(diverged.rfind("1,100,1000,,,,,,", 0), 0u) << diverged;
  EXPECT_NE(diverged.find(",diverged,\"diverged at step"), std::string::npos) << diverged;
}

TEST(Study, MergeRefusesForeignMissingRepeatedAndDamagedShards) {
  // Refused points make tables without runs.
  const ParameterSet base = test::default_parameters();
  StudyPlan plan, other;
  ASSERT_EQ(make_study({"fluence=-1,-2,-3,-4,-5"}, plan), "");
  ASSERT_EQ(make_study({"fluence=-1,-2,-3,-4,-6"}, other), "");
  std::vector<ShardTable> tables;
  for (int i = 1; i <= 3; ++i)
    tables.push_back(
        {std::string(1, 's').append(std::to_string(i)), shard_table(base, plan, StudyShard{i, 3})});
  std::string merged;
  ASSERT_EQ(merge_study_tables({tables[2], tables[0], tables[1]}, merged), "");
  EXPECT_EQ(merged, shard_table(base, plan, StudyShard{}));

  const std::string missing = merge_study_tables({tables[0], tables[2]}, merged);
  EXPECT_NE(missing.find("shard 2/3 (study.shard-2-of-3.csv) is missing"), std::string::npos)
      << missing;
  const std::string foreign = merge_study_tables(
      {tables[0], {"f2", shard_table(base, other, StudyShard{2, 3})}, tables[2]}, merged);
  EXPECT_NE(foreign.find("f2 belongs to another study than s1"), std::string::npos) << foreign;
  ParameterSet changed = base;
  changed.density = 1.5f;  // a different base file makes a different study too
  EXPECT_NE(
      merge_study_tables({tables[0], {"b2", shard_table(changed, plan, StudyShard{2, 3})}}, merged),
      "");
  const std::string twice = merge_study_tables({tables[0], tables[1], tables[1]}, merged);
  EXPECT_NE(twice.find("shard 2/3 is given twice: s2 and s2"), std::string::npos) << twice;
  const std::string cut = tables[1].text.substr(0, tables[1].text.size() - 4);
  EXPECT_NE(merge_study_tables({tables[0], {"cut", cut}, tables[2]}, merged).find("cut ends in"),
            std::string::npos);
  const std::string short_by_a_row =
      tables[1].text.substr(0, tables[1].text.rfind('\n', tables[1].text.size() - 2) + 1);
  EXPECT_NE(merge_study_tables({tables[0], {"short", short_by_a_row}, tables[2]}, merged)
                .find("short holds 1 rows"),
            std::string::npos);
}

TEST(Study, EnergyColumnsMakeAStudyOfItsOwnWhoseShardsMerge) {
  const ParameterSet base = test::default_parameters();
  StudyPlan plain, ledger;
  ASSERT_EQ(make_study({"fluence=40,80"}, plain), "");
  ASSERT_EQ(make_study({"fluence=40,80"}, ledger), "");
  ledger.columns = ResultColumnSet::with_energy;
  EXPECT_NE(study_hash(base, ledger), study_hash(base, plain));

  const ShardTable first{"e1", shard_table(base, ledger, StudyShard{1, 2})};
  const ShardTable second{"e2", shard_table(base, ledger, StudyShard{2, 2})};
  std::string merged;
  ASSERT_EQ(merge_study_tables({second, first}, merged), "");
  EXPECT_EQ(merged, shard_table(base, ledger, StudyShard{}));
  EXPECT_NE(merged.find(",energy_residual_mJ_per_cm2,steps,end,note\n"), std::string::npos);

  const ShardTable without{"p2", shard_table(base, plain, StudyShard{2, 2})};
  EXPECT_NE(merge_study_tables({first, without}, merged).find("p2 belongs to another study"),
            std::string::npos);
  // An edited ledger cell (the residual, just before the steps, given a digit the study does
  // not write) is refused like any result.
  const std::string& text = second.text;
  const std::size_t steps_cell = text.rfind(',', text.rfind(",end test") - 1);
  const std::string edited = text.substr(0, steps_cell) + "0" + text.substr(steps_cell);
  EXPECT_NE(merge_study_tables({first, {"x2", edited}}, merged).find("x2, line 3"),
            std::string::npos);
}

TEST(Study, ChunksOfValueListsMakeTheTableOfTheWholeStudy) {
  // The way a worker pool runs a study: the plan built from value lists, chunks of point
  // indices run anywhere, rows put back in point order.
  const ParameterSet base = test::default_parameters();
  StudyPlan from_text, from_lists;
  ASSERT_EQ(make_study({"fluence=40,80", "pulse_width=-1,10"}, from_text), "");
  ASSERT_EQ(make_axes_study({"fluence", "pulse_width"}, {{40, 80}, {-1, 10}}, from_lists), "");
  EXPECT_EQ(study_hash(base, from_lists), study_hash(base, from_text));
  std::atomic<bool> interrupt{false};
  StudyResult late = run_study_points(base, from_lists, {2, 3}, 2, interrupt);
  StudyResult early = run_study_points(base, from_lists, {0, 1}, 1, interrupt);
  std::vector<StudyRow> rows = std::move(early.rows);
  rows.insert(rows.end(), late.rows.begin(), late.rows.end());
  EXPECT_EQ(study_table_text(study_hash(base, from_lists), from_lists, StudyShard{}, rows),
            shard_table(base, from_text, StudyShard{}));
}

TEST(Study, InterruptStopsTheRunsAndLeavesTheStudyUnfinished) {
  const ParameterSet base = test::default_parameters();
  StudyPlan plan;
  ASSERT_EQ(make_study({"fluence=50,60,70,80"}, plan), "");
  std::atomic<bool> interrupt{false};
  const StudyResult result = run_study(base, plan, StudyShard{}, 1, interrupt,
                                       [&](std::size_t, std::size_t) { interrupt.store(true); });
  EXPECT_TRUE(result.interrupted);
  EXPECT_EQ(result.rows[0].end, StudyEnd::end_test);
  EXPECT_EQ(result.rows[1].end, StudyEnd::interrupted);
}

TEST(StudyProgram, FourShardsMergeIntoTheUnsplitTableByteForByte) {
  test::ScratchDirectory scratch;
  const fs::path& dir = scratch.path();
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir / "KTparam.par");
  const std::string study =
      "study KTparam.par --vary fluence=30:3000:log5 --vary pulse_width=8,20 ";
  ASSERT_EQ(run_program(study + "--jobs 2 --out whole", dir), 0)
      << test::read_file(dir / "err.txt");
  for (int i = 1; i <= 4; ++i) {
    ASSERT_EQ(run_program(study + "--jobs 1 --out shards --shard " + std::to_string(i) + "/4", dir),
              0)
        << test::read_file(dir / "err.txt");
  }
  ASSERT_EQ(run_program("merge shards --out merged", dir), 0) << test::read_file(dir / "err.txt");
  const std::string whole = test::read_file(dir / "whole" / "study.csv");
  EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 12);
  EXPECT_EQ(test::read_file(dir / "merged" / "study.csv"), whole);
  EXPECT_EQ(test::file_names(dir / "whole"), std::vector<std::string>{"study.csv"});

  fs::remove(dir / "shards" / "study.shard-3-of-4.csv");
  EXPECT_EQ(run_program("merge shards --out merged2", dir), 1);
  EXPECT_NE(test::read_file(dir / "err.txt").find("shard 3/4"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "merged2" / "study.csv"));
  EXPECT_EQ(run_program("study KTparam.par --vary fluence=1:2 --out bad", dir), 2);
  EXPECT_NE(test::read_file(dir / "err.txt").find("--vary fluence=1:2:"), std::string::npos);
}

TEST(StudyProgram, MergeGivenTheStudyChecksEveryPointsValues) {
  test::ScratchDirectory scratch;
  const fs::path& dir = scratch.path();
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir / "KTparam.par");
  const std::string definition = " --study KTparam.par --vary fluence=40:70:10";
  for (const char* shard : {"1/2", "2/2"}) {
    ASSERT_EQ(
        run_program(
            "study KTparam.par --vary fluence=40:70:10 --out s --shard " + std::string(shard), dir),
        0)
        << test::read_file(dir / "err.txt");
  }
  ASSERT_EQ(run_program("merge s --out plain", dir), 0) << test::read_file(dir / "err.txt");
  ASSERT_EQ(run_program("merge s --out checked" + definition, dir), 0)
      << test::read_file(dir / "err.txt");
  EXPECT_EQ(test::read_file(dir / "checked" / "study.csv"),
            test::read_file(dir / "plain" / "study.csv"));

  // A study of other points is refused by its hash, naming the table.
  EXPECT_EQ(run_program("merge s --out m --study KTparam.par --vary fluence=40:80:10", dir), 1);
  EXPECT_NE(test::read_file(dir / "err.txt").find("study.shard-1-of-2.csv is a table of study"),
            std::string::npos)
      << test::read_file(dir / "err.txt");

  // A varied value edited in its written form merges on the form alone, not against the study.
  const fs::path second = dir / "s" / "study.shard-2-of-2.csv";
  std::string text = test::read_file(second);
  const std::size_t row = text.find("\n3,70,");
  ASSERT_NE(row, std::string::npos) << text;
  text.replace(row, 6, "\n3,71,");
  test::write_file(second, text);
  EXPECT_EQ(run_program("merge s --out edited", dir), 0);
  EXPECT_EQ(run_program("merge s --out m" + definition, dir), 1);
  EXPECT_NE(test::read_file(dir / "err.txt")
                .find("study.shard-2-of-2.csv, line 4, column 2 (fluence, point 3): \"71\", "
                      "but the study's point has \"70\""),
            std::string::npos)
      << test::read_file(dir / "err.txt");
  EXPECT_FALSE(fs::exists(dir / "m" / "study.csv"));
  EXPECT_EQ(run_program("merge s --out m --vary fluence=40:70:10", dir), 2);
}

TEST(StudyProgram, PointsFileAndTablesNamedOneByOne) {
  test::ScratchDirectory scratch;
  const fs::path& dir = scratch.path();
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir / "KTparam.par");
  test::write_file(dir / "points.csv",
                   "# density, fluence\r\nfluence, density\r\n60, 1.4\r\n-1, 1.4\r\n");
  const std::string study = "study KTparam.par --points points.csv ";
  ASSERT_EQ(run_program(study + "--out whole", dir), 0) << test::read_file(dir / "err.txt");
  const std::string whole = test::read_file(dir / "whole" / "study.csv");
  EXPECT_NE(whole.find("\n0,60,1.4,"), std::string::npos) << whole;
  EXPECT_NE(whole.find("\n1,-1,1.4,,,,,,,refused,"), std::string::npos) << whole;
  for (const char* shard : {"1/2", "2/2"})
    ASSERT_EQ(run_program(study + "--out s --shard " + shard, dir), 0);
  // A folder and one of its tables name that table twice; it counts once.
  ASSERT_EQ(run_program("merge s/study.shard-2-of-2.csv s --out m", dir), 0)
      << test::read_file(dir / "err.txt");
  EXPECT_EQ(test::read_file(dir / "m" / "study.csv"), whole);

  test::write_file(dir / "bad.csv", "fluence,density\n60\n");
  EXPECT_EQ(run_program("study KTparam.par --points bad.csv --out b", dir), 1);
  EXPECT_NE(test::read_file(dir / "err.txt").find("bad.csv line 2: 1 values for 2 fields"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "b"));
}

}  // namespace
}  // namespace kt
