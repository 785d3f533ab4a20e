// Runs that cannot give a meaningful result say so: values out of their physical range are
// refused before the run, a run whose state runs away ends as diverged with the records of its
// sound steps and no kinetics line, and a refined time step converges on the model's result.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "params/parameter_fields.h"
#include "solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;

TEST(PhysicalRanges, EachNonsenseValueIsRefusedWithItsLabelAndRange) {
  EXPECT_EQ(check_run_choices(test::default_parameters()), "");
  struct Case {
    const char* field;
    float value;
    const char* expected;
  };
  const Case cases[] = {
      {"fluence", -50.0f, "Fluence [mJ/cm^2] is -50; it must be greater than 0"},
      {"pulse_width", 0.0f, "Pulsewidth [ns] is 0; it must be greater than 0"},
      {"density", 0.0f, "Density [g/cm^3] is 0"},
      {"specific_heat", -2.0f, "Specific heat [J/(g*K)] is -2"},
      {"thermal_conductivity", 0.0f, "Thermal conductivity [W/(cm*K)] is 0"},
      {"absorption_coefficient", 0.0f, "Absorption coefficient [cm^-1] is 0"},
      {"ambient_temperature", 0.0f, "Ambient temperature [K] is 0"},
      {"reflection_coefficient", 1.0f, "Reflection coefficient is 1; it must be from 0 up to"},
      {"volatile_fraction", 1.01f, "Fraction of volatile species is 1.01; it must be from 0 to 1"},
      {"sublimation_enthalpy_dhb", -1.0f,
       "Volumetric Sublim. Enthalpy DHb [J/cm^3] is -1; it must"},
      {"front_fraction", 101.0f, "is 101; it must be from 0 to 100"},
      {"pre_exponential_vom", -1.0f, "Surface pre-exponential Vom [cm/s] is -1; it must be 0"},
      {"activation_energy_eb", -0.5f, "Volumetric Activation Energy Eb [eV] is -0.5"},
      {"fluence", std::nanf(""), "Fluence [mJ/cm^2] is nan"},
      {"spatial_time_3", INFINITY, "Spatial output time 3 [ns] is inf; it must be a finite"},
  };
  for (const Case& c : cases) {
    ParameterSet p = test::default_parameters();
    set_field_value(p, *find_parameter_field(c.field), c.value);
    EXPECT_NE(check_run_choices(p).find(c.expected), std::string::npos)
        << c.field << ": " << check_run_choices(p);
    RunRecords records;
    records.parameters.values = p;
    const RunOutcome outcome = records.run(test::kinetics_only());
    EXPECT_EQ(outcome.end, RunEnd::not_started) << c.field;
    EXPECT_TRUE(records.run_state.idle());
  }
}

TEST(PhysicalRanges, OnlyTheFieldsOfTheChosenModelAreChecked) {
  ParameterSet bulk = test::default_parameters();  // the bulk model
  ASSERT_EQ(bulk.ablation_model, AblationModel::bulk);
  bulk.sublimation_enthalpy_dh = -5.0f;  // channel A is set aside
  bulk.pre_exponential_vo = -1.0f;
  EXPECT_EQ(check_run_choices(bulk), "");
  bulk.sublimation_enthalpy_dhm = -5.0f;
  EXPECT_NE(check_run_choices(bulk).find("DHm [J/g] is -5; it must be 0 or more"),
            std::string::npos)
      << check_run_choices(bulk);

  ParameterSet surface = test::default_parameters();
  surface.ablation_model = AblationModel::surface;
  surface.volatile_fraction = 7.0f;  // no volume reaction
  surface.activation_energy_eb = -1.0f;
  EXPECT_EQ(check_run_choices(surface), "");
  surface.sublimation_enthalpy_dh = -5.0f;
  EXPECT_NE(check_run_choices(surface).find("DH [J/g] is -5"), std::string::npos);
  surface.sublimation_enthalpy_dh = 0.0f;
  surface.pulse_shape = PulseShape::rectangle;  // a rectangle has no rise time
  surface.front_fraction = 150.0f;
  EXPECT_EQ(check_run_choices(surface), "");
  surface.activation_energy_eb = std::nanf("");  // set aside, but still a number
  EXPECT_NE(check_run_choices(surface).find("Eb [eV] is nan"), std::string::npos);
}

TEST(PhysicalRanges, AllSpeciesVolatileGivesTheWholeVolumeDepth) {
  auto depths = [](float volatile_fraction) {
    RunRecords records;
    records.parameters.values.fluence = 150.0f;
    records.parameters.values.volatile_fraction = volatile_fraction;
    return records.run(test::kinetics_only());
  };
  const RunOutcome all = depths(1.0f), half = depths(0.5f);
  ASSERT_EQ(all.end, RunEnd::end_test) << all.not_started_reason;
  ASSERT_GT(half.volume_depth_nm, 0.0);
  EXPECT_EQ(all.surface_recession_nm, half.surface_recession_nm);
  EXPECT_NEAR(all.volume_depth_nm, 2.0 * half.volume_depth_nm, 1e-9 * all.volume_depth_nm);
}

TEST(PhysicalRanges, PolyimideBelowItsSpecificHeatLawIsRefusedOtherMaterialsAreNot) {
  ParameterSet p = test::default_parameters();
  p.ambient_temperature = 77.0f;
  EXPECT_NE(check_run_choices(p).find("for polyimide it must be above 82.7 K"), std::string::npos)
      << check_run_choices(p);
  p.material = Material::other;
  EXPECT_EQ(check_run_choices(p), "");
}

// Bulk model, fast channel M with a large heat of sublimation: the surface temperature swings
// and runs away half way up the pulse.
ParameterSet runaway_bulk_parameters() {
  ParameterSet p = test::default_parameters();
  p.absorption_coefficient = 9.098e4f;
  p.fluence = 363.5f;
  p.pre_exponential_vom = 1.666e6f;
  p.pulse_width = 1.40f;
  p.sublimation_enthalpy_dhm = 1357.0f;
  return p;
}

TEST(DivergedRun, KeepsTheSoundRecordsAndWritesNoKineticsLine) {
  test::ScratchDirectory scratch;
  RunRecords records;
  records.parameters.values = runaway_bulk_parameters();
  RunOptions options;
  options.output_directory = scratch.path();
  const RunOutcome outcome = records.run(options);
  ASSERT_EQ(outcome.end, RunEnd::diverged);
  EXPECT_EQ(outcome.step_count, 514);
  EXPECT_EQ(outcome.kinetics_line, "");
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "Data1K.dat"));
  EXPECT_TRUE(records.run_state.idle());

  const std::string message = divergence_message(outcome);
  EXPECT_EQ(message.rfind("the calculation diverged at step 514 (t = 0.898061 ns): ", 0), 0u)
      << message;
  // The surface condition's feedback does not depend on the step: no refinement, the accurate
  // scheme instead.
  EXPECT_EQ(message.find("refinement"), std::string::npos) << message;
  EXPECT_NE(message.find("(scheme accurate)"), std::string::npos);

  // Every temporal record is a finite line, up to the last sound step.
  std::istringstream temporal(test::read_file(scratch.path() / "Data1D.dat"));
  std::string line;
  int records_seen = 0;
  while (std::getline(temporal, line)) {
    ++records_seen;
    EXPECT_EQ(line.find("NaN"), std::string::npos) << line;
    EXPECT_EQ(line.find("Inf"), std::string::npos) << line;
    EXPECT_EQ(line.find('*'), std::string::npos) << line;
  }
  EXPECT_GT(records_seen, 25);
}

TEST(DivergedRun, AGridTooCoarseForTheAbsorptionIsNamedInEitherModel) {
  for (AblationModel model : {AblationModel::surface, AblationModel::bulk}) {
    RunRecords records;
    records.parameters.values.ablation_model = model;
    records.parameters.values.absorption_coefficient = 1e7f;
    const RunOutcome outcome = records.run(test::kinetics_only());
    ASSERT_EQ(outcome.end, RunEnd::diverged) << choice_code(model);
    EXPECT_EQ(outcome.step_count, 1);
    EXPECT_NE(outcome.divergence_cause.find("longer than one absorption length"), std::string::npos)
        << outcome.divergence_cause;
  }
}

TEST(DivergedRun, ATemperatureBeyondTheResultFieldsEndsTheRunInsteadOfPrintingAsterisks) {
  test::ScratchDirectory scratch;
  RunRecords records;
  ParameterSet& p = records.parameters.values;
  p.fluence = 10000.0f;  // nothing ablates: the heat stays in the material
  p.activation_energy_em = 5.0f;
  p.pre_exponential_ko = 0.0f;
  RunOptions options;
  options.output_directory = scratch.path();
  const RunOutcome outcome = records.run(options);
  ASSERT_EQ(outcome.end, RunEnd::diverged);
  EXPECT_NE(outcome.divergence_cause.find("the temperature reached 1.00"), std::string::npos)
      << outcome.divergence_cause;
  EXPECT_EQ(test::read_file(scratch.path() / "Data1D.dat").find('*'), std::string::npos);
  EXPECT_EQ(test::read_file(scratch.path() / "Data1S1.dat").find('*'), std::string::npos);
}

TEST(Refinement, SubStepsConvergeOnTheModelsResult) {
  // Halving the step changes the depth less each time: the scheme converges.
  double depth[4] = {};
  int steps[4] = {};
  const int factors[4] = {1, 2, 4, 8};
  for (int i = 0; i < 4; ++i) {
    RunRecords records;
    RunOptions options = test::kinetics_only();
    options.refinement = factors[i];
    const RunOutcome outcome = records.run(options);
    ASSERT_EQ(outcome.end, RunEnd::end_test) << factors[i];
    depth[i] = outcome.total_depth_nm;
    steps[i] = outcome.step_count;
  }
  EXPECT_EQ(steps[0], 5359);
  EXPECT_NEAR(steps[1], 2 * steps[0], steps[0] / 10);
  const double d1 = std::abs(depth[1] - depth[0]);
  const double d2 = std::abs(depth[2] - depth[1]);
  const double d3 = std::abs(depth[3] - depth[2]);
  EXPECT_LT(d2, d1);
  EXPECT_LT(d3, d2);
  EXPECT_LT(d1, 0.05 * depth[0]);
}

}  // namespace
}  // namespace kt
