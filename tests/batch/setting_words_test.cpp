// Settings named in messages: the lower layers name each by its key, and the batch runner's
// words make it the option that sets it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/batch/option_words.h"
#include "engine/study.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

TEST(SettingWords, TheBatchRunnerNamesEachSettingByItsOption) {
  const batch::OptionWords words;
  const struct {
    SettingMention mention;
    const char* text;
  } cases[] = {
      {{"refinement", "4"}, "--refine 4"},
      {{"grid_refinement", "M"}, "--grid-refine M"},
      {{"rate_hz", ""}, "--rate"},
      {{"fluences", "x"}, "--fluence x"},
      {{"pulse_shape", "measured"}, "--pulse-shape measured"},
      {{"vary_each", ""}, "--vary-each"},
      {{"max_runs", "7"}, "--max-runs 7"},
      {{"bounds", "pulse_width"}, "--bounds pulse_width=LO:HI"},
      {{"bounds", ""}, "--bounds"},
  };
  for (const auto& c : cases) EXPECT_EQ(words.text(c.mention), c.text) << c.mention.key;
  EXPECT_EQ(plain_setting_words().text({"refinement", "4"}), "refinement 4");
}

TEST(SettingWords, InstalledWordsReachTheEngineMessages) {
  StudyShard shard;
  EXPECT_EQ(parse_study_shard("5/4", shard).rfind("shard takes I/N", 0), 0u);
  batch::use_option_words();
  EXPECT_EQ(parse_study_shard("5/4", shard).rfind("--shard takes I/N", 0), 0u);
  set_setting_words(nullptr);
  EXPECT_EQ(setting_text("shard"), "shard");
}

// No option of a front end is written in the model, the engine, the analyses or the
// parameters: a string there that starts an option ("--refine") is one.
TEST(SettingWords, TheLowerLayersWriteNoOption) {
  const std::regex option(R"re("[^"\n]*(^|[ (`])--[a-z])re");
  for (const char* layer : {"params", "solver", "analysis", "engine"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(KT_SOURCE_DIR) / layer)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".cpp" && ext != ".h") continue;
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      const std::string source = text.str();
      EXPECT_FALSE(std::regex_search(source, option)) << entry.path();
      EXPECT_EQ(source.find("kestrium-batch"), std::string::npos) << entry.path();
    }
  }
}

}  // namespace
}  // namespace kt
