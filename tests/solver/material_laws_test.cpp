// A material file's laws in the solver: their integrals (the accurate scheme's enthalpy and
// conduction potential) against the laws themselves, the shipped polyimide file against the
// built-in laws in whole runs of both schemes, its tabulated copy, every file of materials/, and
// the refusal of a run that leaves a table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kt_test_paths.h"
#include "params/material_file.h"
#include "solver/calculation_run.h"
#include "solver/property_integrals.h"
#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;
using test::ScratchDirectory;

std::shared_ptr<const MaterialFile> shipped(const char* name) {
  std::string error;
  std::optional<MaterialFile> material =
      read_material_file(std::filesystem::path(KT_SOURCE_DIR) / "materials" / name, error);
  EXPECT_TRUE(material) << error;
  return material ? std::make_shared<const MaterialFile>(std::move(*material)) : nullptr;
}

// A run of the default parameters with `material` put in as the engine puts it.
RunOutcome run_with(const std::shared_ptr<const MaterialFile>& material, RunOptions options,
                    float ambient_k = 300.0f) {
  RunRecords records;
  records.parameters.values.ambient_temperature = ambient_k;
  if (material) {
    EXPECT_EQ(apply_material(*material, records.parameters.values), "");
    options.material = material;
  }
  return records.run(options);
}

TEST(MaterialLawIntegrals, EnthalpyAndPotentialAreTheIntegralsOfEveryLawForm) {
  PropertyLaw constant, exponential, power, inverse, table;
  constant.value = 1.7;
  exponential.form = LawForm::saturating_exponential;
  exponential.a = 2.4;
  exponential.b = 1.3;
  exponential.t_ref = 280.0;
  exponential.t_scale = 350.0;
  power.form = LawForm::power;
  power.value = 0.002;
  power.t_ref = 300.0;
  power.exponent = 0.4;
  inverse = power;
  inverse.exponent = -1.0;  // the primitive is a logarithm
  table.form = LawForm::table;
  table.temperatures = {250.0, 400.0, 420.0, 900.0, 2000.0};
  table.values = {1.0, 1.5, 1.9, 2.0, 3.5};
  ASSERT_EQ(table.prepare(), "");
  for (const PropertyLaw* law : {&constant, &exponential, &power, &inverse, &table}) {
    MaterialLaw m;
    m.polyimide = false;
    m.heating_scale = 600.0;
    m.ambient = 300.0 / 600.0;
    m.specific_heat = 1.9;
    m.thermal_conductivity = 0.7;
    m.specific_heat_law = law;
    m.conductivity_law = law;
    const MaterialIntegrals integrals = make_material_integrals(m);
    EXPECT_EQ(evaluate_material(integrals, 0.0).enthalpy, 0.0);
    // Across the table's pieces and its points: dH/dtheta = c f and dPhi/dtheta = k f.
    for (double theta : {0.05, 0.2, 0.2 + 100.0 / 600.0, 0.9, 2.0, 2.7}) {
      const double h = 1e-5;
      const MaterialPoint p = evaluate_material(integrals, theta);
      const double dh =
          (material_enthalpy(integrals, theta + h) - material_enthalpy(integrals, theta - h)) /
          (2.0 * h);
      const double dphi =
          (material_potential(integrals, theta + h) - material_potential(integrals, theta - h)) /
          (2.0 * h);
      EXPECT_NEAR(dh, p.heat_capacity, 1e-6 * p.heat_capacity) << theta;
      EXPECT_NEAR(dphi, p.conduction, 1e-6 * p.conduction) << theta;
      EXPECT_DOUBLE_EQ(p.heat_capacity, specific_heat_factor(m, theta));
      EXPECT_DOUBLE_EQ(p.conduction, conductivity_factor(m, theta));
    }
  }
}

TEST(MaterialFileRun, ShippedPolyimideGivesTheDefaultRunByteForByteInBothSchemes) {
  const auto polyimide = shipped("polyimide.toml");
  ASSERT_TRUE(polyimide);
  ScratchDirectory published;
  RunOptions options;
  options.output_directory = published.path();
  ASSERT_EQ(run_with(polyimide, options).end, RunEnd::end_test);
  EXPECT_EQ(test::compare_with_golden(published.path(), std::filesystem::path(KT_TEST_DATA_DIR) /
                                                            "solver" / "default_run"),
            "");

  ScratchDirectory built_in, from_file;
  options.scheme = Scheme::accurate;
  options.output_directory = built_in.path();
  ASSERT_EQ(run_with(nullptr, options).end, RunEnd::end_test);
  options.output_directory = from_file.path();
  ASSERT_EQ(run_with(polyimide, options).end, RunEnd::end_test);
  const std::vector<std::string> names = test::file_names(built_in.path());
  EXPECT_EQ(names.size(), 12u);
  EXPECT_EQ(test::file_names(from_file.path()), names);
  for (const std::string& name : names) {
    EXPECT_EQ(test::read_file(from_file.path() / name), test::read_file(built_in.path() / name))
        << name;
  }
}

TEST(MaterialFileRun, TabulatedPolyimideComesWithinATenthOfAPercentOfTheDepths) {
  const auto table = shipped("polyimide-table.toml");
  ASSERT_TRUE(table);
  for (Scheme scheme : {Scheme::published, Scheme::accurate}) {
    RunOptions options = test::kinetics_only();
    options.scheme = scheme;
    const RunOutcome laws = run_with(nullptr, options);
    const RunOutcome tabulated = run_with(table, options);
    ASSERT_EQ(tabulated.end, RunEnd::end_test) << scheme_name(scheme);
    EXPECT_NEAR(tabulated.total_depth_nm, laws.total_depth_nm, 1e-3 * laws.total_depth_nm);
    EXPECT_NEAR(tabulated.surface_recession_nm, laws.surface_recession_nm,
                1e-3 * laws.surface_recession_nm);
  }
}

// Every file of materials/ (not only the ones named above) reads with its range and source
// checks and runs the default set to its end in both schemes, so that a file added there, or an
// edit of one, cannot ship unreadable or refused.
TEST(MaterialFileRun, EveryShippedFileReadsAndRunsTheDefaultsInBothSchemes) {
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(KT_SOURCE_DIR) / "materials")) {
    if (entry.path().extension() == ".toml") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  // The listing itself: an empty or mislocated folder must not pass for a checked one.
  for (const char* known : {"polyimide-fitted.toml", "polyimide-table.toml", "polyimide.toml"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), known), names.end()) << known;
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const auto material = shipped(name.c_str());
    ASSERT_TRUE(material);
    EXPECT_FALSE(material->name.empty());
    for (Scheme scheme : {Scheme::published, Scheme::accurate}) {
      RunOptions options = test::kinetics_only();
      options.scheme = scheme;
      const RunOutcome outcome = run_with(material, options);
      EXPECT_EQ(outcome.end, RunEnd::end_test)
          << scheme_name(scheme) << ": " << outcome.divergence_cause;
      EXPECT_FALSE(outcome.material_range_refusal) << scheme_name(scheme);
      EXPECT_GT(outcome.total_depth_nm, 0.0) << scheme_name(scheme);
    }
  }
}

TEST(MaterialFileRun, ATableLeftDuringTheRunOrAtItsStartIsRefused) {
  const char* text =
      "name = \"short table\"\n"
      "[specific_heat]\nlaw = \"table\"\nunit = \"J/(g K)\"\nscale = 2.0\nsource = \"test\"\n"
      "temperature = [250, 600, 1000]\nvalue = [1.2, 2.0, 2.3]\n"
      "[thermal_conductivity]\nlaw = \"constant\"\nvalue = 0.00156\nunit = \"W/(cm K)\"\n"
      "source = \"test\"\n";
  std::string error;
  std::optional<MaterialFile> read = parse_material_text(text, "short.toml", error);
  ASSERT_TRUE(read) << error;
  read->path = "short.toml";
  const auto material = std::make_shared<const MaterialFile>(std::move(*read));
  for (Scheme scheme : {Scheme::published, Scheme::accurate}) {
    ScratchDirectory directory;
    RunOptions options;
    options.output_directory = directory.path();
    options.scheme = scheme;
    const RunOutcome outcome = run_with(material, options);
    EXPECT_EQ(outcome.end, RunEnd::diverged);
    EXPECT_TRUE(outcome.material_range_refusal);
    const std::string message = divergence_message(outcome);
    for (const char* part :
         {"the run was refused at step", "short.toml: specific_heat", "the temperature reached 10",
          "(250 K to 1000 K)", "no kinetics line was written"}) {
      EXPECT_NE(message.find(part), std::string::npos) << message;
    }
    EXPECT_TRUE(outcome.kinetics_line.empty());
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "Data1K.dat"));
  }
  const RunOutcome cold = run_with(material, test::kinetics_only(), 240.0f);
  EXPECT_EQ(cold.end, RunEnd::not_started);
  EXPECT_NE(cold.not_started_reason.find("reached 240 K, outside the table's range (250 K to "
                                         "1000 K) at the ambient temperature"),
            std::string::npos)
      << cold.not_started_reason;
}

}  // namespace
}  // namespace kt
