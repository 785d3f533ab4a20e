// Every choice of a parameter file through the batch runner, at each code of its set, at 0 and at
// a code outside it: a code whose meaning the file format defines runs with that meaning (an
// autoscale other than 1 keeps the scales, a kinetics mode other than 0 appends) and gives the
// results byte for byte; a code the model leaves undefined is refused, naming the field.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "kt_test_paths.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = fs::path(KT_TEST_DATA_DIR) / "solver" / "default_run";

// The batch runner run twice on `parameters` in a fresh folder; the status of the second run.
struct TwoRuns {
  int status = -1;
  std::string err;
  nlohmann::json summary;
  test::ScratchDirectory scratch;
};

void run_twice(const ParameterSet& parameters, TwoRuns& runs) {
  const fs::path dir = runs.scratch.path();
  ASSERT_TRUE(write_parameter_file((dir / "KTparam.par").string(), parameters));
  for (int i = 0; i < 2; ++i) {
    const std::string command = "cd '" + dir.string() +
                                "' && '" KT_BATCH_PROGRAM
                                "' run KTparam.par --json > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    runs.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  runs.err = test::read_file(dir / "err.txt");
  if (runs.status == 0) runs.summary = nlohmann::json::parse(test::read_file(dir / "out.txt"));
}

TEST(ChoiceFields, EachCodeRunsWithTheMeaningTheFileGivesItOrIsRefusedByName) {
  enum Results { changed, as_default, refused };
  struct Case {
    const char* field;
    float value;
    Results results;
    int kinetics_lines;  // in the kinetics file after two runs
    int spatial_files;   // Data1S*.dat written
    bool scales_kept;    // the file's scales stay (no Auto)
  };
  const Case cases[] = {
      {"ablation_model", 1, changed, 1, 10, false},
      {"ablation_model", 2, as_default, 1, 10, false},
      {"ablation_model", 0, refused, 0, 0, false},
      {"ablation_model", 3, refused, 0, 0, false},
      {"pulse_shape", 1, as_default, 1, 10, false},
      {"pulse_shape", 2, changed, 1, 10, false},
      {"pulse_shape", 0, refused, 0, 0, false},
      {"pulse_shape", 3, refused, 0, 0, false},
      {"material", 1, as_default, 1, 10, false},
      {"material", 2, changed, 1, 10, false},
      {"material", 0, refused, 0, 0, false},
      {"material", 3, refused, 0, 0, false},
      {"autoscale", 1, as_default, 1, 10, false},
      {"autoscale", 2, as_default, 1, 10, true},
      {"autoscale", 0, as_default, 1, 10, true},
      {"autoscale", 3, as_default, 1, 10, true},
      {"kinetics_file_mode", 0, as_default, 1, 10, false},
      {"kinetics_file_mode", 1, as_default, 2, 10, false},
      {"kinetics_file_mode", 2, as_default, 2, 10, false},
      {"kinetics_file_mode", -1, as_default, 2, 10, false},
      {"spatial_output", 0, as_default, 1, 0, false},
      {"spatial_output", 1, changed, 1, 10, false},
      {"spatial_output", 2, changed, 1, 10, false},
      {"spatial_output", 3, as_default, 1, 10, false},
      {"spatial_output", 4, refused, 0, 0, false},
  };
  const std::string golden_line = test::read_file(kGolden / "Data1K.dat");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " = " + std::to_string(c.value));
    ParameterSet p = test::default_parameters();
    p.temperature_scale = 1234.0f;  // differs from what Auto would set
    ASSERT_TRUE(set_field_value(p, *find_parameter_field(c.field), c.value));
    TwoRuns runs;
    run_twice(p, runs);
    const fs::path dir = runs.scratch.path();
    int spatial_files = 0;
    for (const std::string& name : test::file_names(dir))
      spatial_files += name.rfind("Data1S", 0) == 0;
    EXPECT_EQ(spatial_files, c.spatial_files);
    if (c.results == refused) {
      EXPECT_EQ(runs.status, 1);
      EXPECT_NE(runs.err.find(std::string(c.field) + " is " + std::to_string(int(c.value)) +
                              "; it must be"),
                std::string::npos)
          << runs.err;
      EXPECT_FALSE(fs::exists(dir / "Data1K.dat"));
      continue;
    }
    ASSERT_EQ(runs.status, 0) << runs.err;
    const std::string kinetics = test::read_file(dir / "Data1K.dat");
    const std::string line = kinetics.substr(0, kinetics.find('\n') + 1);
    std::string repeated;
    for (int i = 0; i < c.kinetics_lines; ++i) repeated += line;
    EXPECT_EQ(kinetics, repeated);
    if (c.results == as_default) {
      EXPECT_EQ(line, golden_line);
      EXPECT_EQ(test::read_file(dir / "Data1D.dat"), test::read_file(kGolden / "Data1D.dat"));
      for (int m = 1; m <= c.spatial_files; ++m) {
        const std::string name = "Data1S" + std::to_string(m) + ".dat";
        EXPECT_EQ(test::read_file(dir / name), test::read_file(kGolden / name)) << name;
      }
    } else {
      const auto same = [&](const char* name) {
        return test::read_file(dir / name) == test::read_file(kGolden / name);
      };
      EXPECT_FALSE(line == golden_line && same("Data1D.dat") && same("Data1S1.dat"));
    }
    const double temperature_scale = runs.summary["temperature_scale_K"];
    EXPECT_EQ(temperature_scale == 1234.0, c.scales_kept) << temperature_scale;
  }
}

// Random plausible sets across the allowed ranges, with autoscale 0 or 3 and kinetics mode 2 or
// -1: each runs, keeps its scales, and writes byte for byte the files of the same set with the
// codes of the set that mean the same (autoscale 2, kinetics mode 1).
TEST(ChoiceFields, RandomSetsWithCodesOutsideTheirSetsRunAsTheirNamedEquivalents) {
  std::mt19937 random(30);
  const auto uniform = [&](double low, double high) {
    return static_cast<float>(std::uniform_real_distribution<double>(low, high)(random));
  };
  const auto decades = [&](double low, double high) {
    return static_cast<float>(std::pow(10.0, uniform(std::log10(low), std::log10(high))));
  };
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int i = 0; i < 12; ++i) {
    ParameterSet p = test::default_parameters();
    p.ablation_model = static_cast<AblationModel>(pick(1, 2));
    p.pulse_shape = static_cast<PulseShape>(pick(1, 2));
    p.material = static_cast<Material>(pick(1, 2));
    p.spatial_output = static_cast<SpatialOutput>(pick(0, 3));
    p.pulse_width = uniform(5, 40);
    p.fluence = decades(20, 400);
    p.front_fraction = uniform(0, 100);
    p.density = uniform(1, 2);
    p.specific_heat = uniform(1, 3);
    p.thermal_conductivity = decades(5e-4, 5e-3);
    p.absorption_coefficient = decades(5e4, 1e6);
    p.screening_coefficient = uniform(0, 2e5);
    p.reflection_coefficient = uniform(0, 0.3);
    p.volatile_fraction = uniform(0, 0.9);
    p.ambient_temperature = uniform(280, 350);
    p.activation_energy_em = uniform(0.5, 1.0);
    p.pre_exponential_vom = decades(3e4, 3e5);
    p.activation_energy_ea = uniform(1.2, 1.8);
    p.pre_exponential_vo = decades(1e6, 1e7);
    p.temperature_scale = std::round(uniform(500, 3000));  // as the file's F-format keeps it
    p.output_interval = uniform(0.05, 0.5);
    ParameterSet odd = p, named = p;
    odd.autoscale = static_cast<Autoscale>(pick(0, 1) * 3);
    named.autoscale = Autoscale::manual;
    odd.kinetics_file_mode = static_cast<KineticsFileMode>(pick(0, 1) ? 2 : -1);
    named.kinetics_file_mode = KineticsFileMode::addition;
    SCOPED_TRACE(i);
    TwoRuns odd_runs, named_runs;
    run_twice(odd, odd_runs);
    run_twice(named, named_runs);
    ASSERT_NE(odd_runs.status, 1) << odd_runs.err;
    EXPECT_EQ(odd_runs.status, named_runs.status);
    const std::vector<std::string> names = test::file_names(named_runs.scratch.path());
    EXPECT_EQ(test::file_names(odd_runs.scratch.path()), names);
    for (const std::string& name : names) {
      if (name.ends_with(".dat")) {
        EXPECT_EQ(test::read_file(odd_runs.scratch.path() / name),
                  test::read_file(named_runs.scratch.path() / name))
            << name;
      }
    }
    if (odd_runs.status == 0) {
      EXPECT_EQ(odd_runs.summary["temperature_scale_K"].get<double>(), p.temperature_scale);
    }
  }
}

}  // namespace
}  // namespace kt
