// A material file taken into runs: what the engine reads into the parameters and the options,
// the study identity it becomes part of, and --material through the batch runner.
#include "engine/material_setup.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "engine/study.h"
#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

const fs::path kPolyimide = fs::path(KT_SOURCE_DIR) / "materials" / "polyimide.toml";

TEST(MaterialSetup, ReadsTheFileIntoTheRunOrRefusesNamingIt) {
  ParameterSet p = test::default_parameters();
  p.density = 1.1f;
  RunOptions options;
  ASSERT_EQ(setup_material(kPolyimide, p, options), "");
  ASSERT_TRUE(options.material);
  EXPECT_EQ(options.material->name, "polyimide");
  EXPECT_EQ(p.density, 1.42f);
  EXPECT_EQ(p.material, Material::other);

  test::ScratchDirectory scratch;
  std::string text = test::read_file(kPolyimide);
  const std::size_t from = text.find("[thermal_conductivity]");
  text.replace(from, text.find("[absorption_coefficient]") - from,
               "[thermal_conductivity]\nlaw = \"table\"\nunit = \"W/(cm K)\"\nsource = \"s\"\n"
               "temperature = [300, 900, 800]\nvalue = [0.0015, 0.002, 0.0025]\n");
  test::write_file(scratch.path() / "bad.toml", text);
  ParameterSet untouched = test::default_parameters();
  RunOptions none;
  for (const fs::path& path : {scratch.path() / "bad.toml", scratch.path() / "missing.toml"}) {
    const std::string refusal = setup_material(path, untouched, none);
    EXPECT_NE(refusal.find(path.string()), std::string::npos) << refusal;
    EXPECT_EQ(untouched, test::default_parameters());
    EXPECT_FALSE(none.material);
  }
  ParameterSet cold = test::default_parameters();
  cold.ambient_temperature = 150.0f;
  EXPECT_NE(
      setup_material(fs::path(KT_SOURCE_DIR) / "materials" / "polyimide-table.toml", cold, none)
          .find("specific_heat: the temperature reached 150 K, outside the table's range "
                "(200 K to 2400 K) at the ambient temperature"),
      std::string::npos);
  EXPECT_FALSE(none.material);
  const std::string refusal = setup_material(scratch.path() / "bad.toml", untouched, none);
  EXPECT_NE(refusal.find("thermal_conductivity: temperature 800 K on row 3 is not above"),
            std::string::npos)
      << refusal;
}

TEST(MaterialSetup, TheFileContentIsPartOfTheStudyIdentity) {
  test::ScratchDirectory scratch;
  const std::string text = test::read_file(kPolyimide);
  std::string other = text;
  other.replace(other.find("t_scale = 460.0"), 15, "t_scale = 470.0");
  test::write_file(scratch.path() / "same.toml", text);
  test::write_file(scratch.path() / "other.toml", other);

  const ParameterSet defaults = test::default_parameters();
  auto hash_with = [&](const fs::path& path) {
    ParameterSet base = defaults;
    StudyPlan plan;
    EXPECT_EQ(make_product_study({"fluence=40,80"}, plan), "");
    if (!path.empty()) {
      EXPECT_EQ(setup_material(path, base, plan.setup.material), "");
    }
    return study_hash(base, plan);
  };
  const std::string without = hash_with({});
  EXPECT_NE(hash_with(kPolyimide), without);
  // The content counts, not where the file lies.
  EXPECT_EQ(hash_with(scratch.path() / "same.toml"), hash_with(kPolyimide));
  EXPECT_NE(hash_with(scratch.path() / "other.toml"), hash_with(kPolyimide));
}

TEST(MaterialSetup, BatchRunnerTakesMaterialAndRefusesABadOneBeforeAnyRun) {
  test::ScratchDirectory scratch;
  const fs::path dir = scratch.path();
  fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", dir / "KTparam.par");
  auto run = [&](const std::string& arguments) {
    const std::string command = "cd '" + dir.string() + "' && '" KT_BATCH_PROGRAM "' " + arguments +
                                " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(run("run KTparam.par --material '" + kPolyimide.string() + "'"), 0)
      << test::read_file(dir / "err.txt");
  EXPECT_EQ(test::read_file(dir / "Data1K.dat"),
            test::read_file(fs::path(KT_TEST_DATA_DIR) / "solver" / "default_run" / "Data1K.dat"));
  fs::remove(dir / "Data1K.dat");
  EXPECT_EQ(run("sweep KTparam.par --fluence 40,60 --material nothing.toml"), 1);
  EXPECT_NE(test::read_file(dir / "err.txt").find("nothing.toml"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "Data1K.dat"));
}

}  // namespace
}  // namespace kt
