#include "solver/calculation_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "kt_test_paths.h"
#include "params/parameter_fields.h"
#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

using test::RecordingObserver;
using test::RunRecords;
using test::ScratchDirectory;

RunOptions in_directory(const ScratchDirectory& directory) {
  RunOptions options;
  options.output_directory = directory.path();
  return options;
}

using test::kinetics_only;

void expect_finite(const RunOutcome& outcome) {
  EXPECT_TRUE(std::isfinite(outcome.surface_recession_nm));
  EXPECT_TRUE(std::isfinite(outcome.volume_depth_nm));
  EXPECT_TRUE(std::isfinite(outcome.total_depth_nm));
  EXPECT_TRUE(std::isfinite(outcome.peak_surface_temperature_k));
  EXPECT_TRUE(std::isfinite(outcome.peak_front_velocity_cm_s));
  EXPECT_EQ(outcome.kinetics_line.find("NaN"), std::string::npos) << outcome.kinetics_line;
}

TEST(CalculationRun, DefaultRunEndsByItsTestAndReportsItsAutoScales) {
  ScratchDirectory directory;
  RunRecords records;
  test::TakenObserver observer;
  const RunOutcome outcome = records.run(in_directory(directory), &observer);
  EXPECT_EQ(outcome.end, RunEnd::end_test);
  EXPECT_EQ(outcome.step_count, 5359);
  EXPECT_TRUE(outcome.file_errors.empty());
  EXPECT_EQ(outcome.fluence_used, 50.0);
  EXPECT_EQ(outcome.kinetics_line, " 50.0000   2.79927E+01   3.94849E+00   3.19412E+01");
  EXPECT_NEAR(outcome.total_depth_nm, outcome.surface_recession_nm + outcome.volume_depth_nm,
              1e-12);
  EXPECT_GT(outcome.peak_surface_temperature_k, 1000.0);

  // The run wrote nothing into its input; the scales it took are in its outcome.
  EXPECT_EQ(records.parameters.values, test::default_parameters());
  ParameterSet p = records.parameters.values;
  apply_run_adjustments(outcome.adjustments, p);
  EXPECT_NEAR(p.temperature_scale, 1977.93f, 0.01f);
  EXPECT_NEAR(p.velocity_scale, 1151.80f, 0.01f);
  EXPECT_EQ(p.depth_scale, 0.2f);
  // Its observer was handed that set, which the plots draw on, and the 65 nodes of the grid.
  EXPECT_EQ(observer.taken, p);
  EXPECT_EQ(observer.node_count, 65);
  EXPECT_TRUE(records.run_state.idle());
}

TEST(CalculationRun, AutoScaleBandsAndManualScales) {
  ParameterSet p = test::default_parameters();
  AutoScales a = compute_auto_scales(p);
  EXPECT_NEAR(a.maximum_temperature_k, 5933.80, 0.005);
  EXPECT_NEAR(a.band_factor, 0.3, 1e-7);
  p.fluence = 100.0f;  // Tmax/3 = 3855.9: an eighth of Tmax, f = 0.1
  a = compute_auto_scales(p);
  EXPECT_NEAR(a.band_factor, 0.1, 1e-7);
  EXPECT_FLOAT_EQ(a.temperature_scale, static_cast<float>(a.maximum_temperature_k * 0.125));
  p.ablation_model = AblationModel::surface;  // surface: Ea and Vo
  p.fluence = 50.0f;
  a = compute_auto_scales(p);
  EXPECT_NEAR(a.velocity_scale, 3.0e6 * std::exp(-1.5 * 1.6e-19 / (0.3 * 1.38e-23 * 5933.8033)),
              0.01);

  RunRecords records;
  records.parameters.values.autoscale = Autoscale::manual;
  records.parameters.values.fluence = 20000.0f;
  records.parameters.values.pulse_width = 0.5f;
  const RunOutcome outcome = records.run(kinetics_only());
  const ParameterSet entered = records.parameters.values;
  EXPECT_EQ(entered.fluence, 20000.0f);  // the input is as it was
  EXPECT_TRUE(outcome.adjustments.fluence_clamped);
  EXPECT_TRUE(outcome.adjustments.pulse_width_clamped);
  ParameterSet after = entered;
  apply_run_adjustments(outcome.adjustments, after);
  EXPECT_EQ(after.temperature_scale, 2000.0f);
  EXPECT_EQ(after.velocity_scale, 200.0f);
  EXPECT_EQ(after.depth_scale, 1.0f);
  EXPECT_EQ(after.fluence, 10000.0f);
  EXPECT_EQ(after.pulse_width, 1.0f);
  EXPECT_EQ(outcome.fluence_used, 10000.0);
  EXPECT_EQ(outcome.kinetics_line.substr(0, 8), "10000.00");
  expect_finite(outcome);
}

TEST(CalculationRun, DefaultRunMatchesGoldenFilesByteForByte) {
  ScratchDirectory directory;
  RunRecords records;
  records.run(in_directory(directory));
  const std::filesystem::path golden =
      std::filesystem::path(KT_TEST_DATA_DIR) / "solver" / "default_run";
  EXPECT_EQ(test::compare_with_golden(directory.path(), golden), "");
  const std::vector<std::string> names = test::file_names(golden);
  ASSERT_EQ(names.size(), 12u);

  // A second run with the same parameters writes the same files.
  ScratchDirectory again;
  RunRecords second;
  second.run(in_directory(again));
  for (const std::string& name : names) {
    EXPECT_EQ(test::read_file(again.path() / name), test::read_file(directory.path() / name));
  }
}

TEST(CalculationRun, ObserverOrderAndArguments) {
  RunRecords records;
  RecordingObserver observer;
  const RunOutcome outcome = records.run(kinetics_only(), &observer);
  const auto& calls = observer.calls;
  using Kind = RecordingObserver::Call::Kind;
  // Accepted, started, a step per finished step (the step ended by the end test has no output),
  // ended.
  const std::size_t output_steps = static_cast<std::size_t>(outcome.step_count) - 1;
  ASSERT_EQ(calls.size(), 3 + output_steps);
  EXPECT_EQ(calls[0].kind, Kind::accepted);
  EXPECT_EQ(calls[1].kind, Kind::started);
  EXPECT_EQ(calls[1].values[0], 300.0f);
  for (std::size_t step = 1; step <= output_steps; ++step) {
    ASSERT_EQ(calls[1 + step].kind, Kind::step);
    ASSERT_FLOAT_EQ(calls[1 + step].values[0], static_cast<float>(step * 0.006 * 3.12));
  }
  EXPECT_EQ(calls.back().kind, Kind::ended);
  EXPECT_FLOAT_EQ(calls[2].values[1], 300.031f);  // the first step's surface temperature
  EXPECT_FLOAT_EQ(calls[2].profile_depth_2, 0.625f);
}

TEST(CalculationRun, ModelSwitchIgnoresTheOtherModelsConstants) {
  RunRecords surface_zero;
  surface_zero.parameters.values.ablation_model = AblationModel::surface;
  RunRecords surface_other = RunRecords();
  surface_other.parameters.values.ablation_model = AblationModel::surface;
  for (ParameterSet* p : {&surface_zero.parameters.values}) {
    p->activation_energy_em = p->pre_exponential_vom = p->pre_exponential_ko = 0.0f;
    p->activation_energy_eb = p->sublimation_enthalpy_dhm = p->sublimation_enthalpy_dhb = 0.0f;
  }
  ParameterSet& other = surface_other.parameters.values;
  other.activation_energy_em = 0.1f;
  other.pre_exponential_vom = 5e7f;
  other.pre_exponential_ko = 1e15f;
  other.activation_energy_eb = 0.3f;
  other.sublimation_enthalpy_dhm = 7000.0f;
  other.sublimation_enthalpy_dhb = 9000.0f;
  other.wavelength = 193.0f;
  other.chromophore_density = 1e19f;
  const RunOutcome a = surface_zero.run(kinetics_only());
  const RunOutcome b = surface_other.run(kinetics_only());
  EXPECT_EQ(a.kinetics_line, b.kinetics_line);
  EXPECT_EQ(a.step_count, b.step_count);
  EXPECT_EQ(a.peak_surface_temperature_k, b.peak_surface_temperature_k);
  for (int k = 1; k <= 65; ++k) {
    EXPECT_EQ(surface_other.state->broken_fraction_new[k], 0.0);
    EXPECT_EQ(surface_zero.state->temperature_rise[k], surface_other.state->temperature_rise[k]);
  }
  EXPECT_GT(a.surface_recession_nm, 0.0);

  RunRecords bulk_zero;
  bulk_zero.parameters.values.pre_exponential_vo = 0.0f;
  bulk_zero.parameters.values.sublimation_enthalpy_dh = 0.0f;
  RunRecords bulk_other;
  bulk_other.parameters.values.pre_exponential_vo = 1e9f;
  bulk_other.parameters.values.sublimation_enthalpy_dh = 5000.0f;
  bulk_other.parameters.values.activation_energy_ea = 0.2f;
  const RunOutcome c = bulk_zero.run(kinetics_only());
  const RunOutcome d = bulk_other.run(kinetics_only());
  EXPECT_EQ(c.kinetics_line, d.kinetics_line);
  EXPECT_EQ(c.step_count, d.step_count);
  EXPECT_EQ(c.peak_front_velocity_cm_s, d.peak_front_velocity_cm_s);
}

TEST(CalculationRun, BulkRunAtHighFluenceStaysFinite) {
  RunRecords records;
  records.parameters.values.fluence = 6000.0f;
  // The model's own step breaks the bond transport's limit at this fluence; sub-steps keep it.
  RunOptions options = kinetics_only();
  options.refinement = 4;
  const RunOutcome outcome = records.run(options);
  EXPECT_NE(outcome.end, RunEnd::not_started);
  EXPECT_NE(outcome.end, RunEnd::stop);
  expect_finite(outcome);
  EXPECT_EQ(outcome.kinetics_line.substr(0, 8), "6000.000");
  EXPECT_GT(outcome.total_depth_nm, 0.0);
  for (int k = 1; k <= 65; ++k) {
    const double phi = records.state->broken_fraction_new[k];
    EXPECT_TRUE(phi >= 0.0 && phi <= 1.0) << k << " " << phi;
    EXPECT_TRUE(std::isfinite(records.state->temperature_rise[k]));
  }
}

TEST(CalculationRun, ZeroActivationEnergyIsTheLimitOfSmallOnes) {
  RunRecords zero;
  zero.parameters.values.ablation_model = AblationModel::surface;
  zero.parameters.values.activation_energy_ea = 0.0f;
  zero.parameters.values.pre_exponential_vo = 10.0f;
  const RunOutcome a = zero.run(kinetics_only());
  expect_finite(a);
  RunRecords small;
  small.parameters.values.ablation_model = AblationModel::surface;
  small.parameters.values.activation_energy_ea = 1e-7f;
  small.parameters.values.pre_exponential_vo = 10.0f;
  const RunOutcome b = small.run(kinetics_only());
  EXPECT_NEAR(a.surface_recession_nm, b.surface_recession_nm, 1e-4 * b.surface_recession_nm);
  EXPECT_NEAR(a.peak_surface_temperature_k, b.peak_surface_temperature_k, 1e-3);
}

TEST(CalculationRun, WithoutAblationTheRunTakesTheStepLimit) {
  RunRecords records;
  records.parameters.values.pre_exponential_vo = 0.0f;
  records.parameters.values.pre_exponential_vom = 0.0f;
  const RunOutcome outcome = records.run(kinetics_only());
  EXPECT_EQ(outcome.end, RunEnd::step_limit);
  EXPECT_EQ(outcome.step_count, 10000);
  EXPECT_EQ(outcome.surface_recession_nm, 0.0);
}

TEST(CalculationRun, StopEndsTheRunAfterTheCurrentStep) {
  ScratchDirectory directory;
  RunRecords records;
  test::StopAfter stop(records.run_state, 100);
  const RunOutcome outcome = records.run(in_directory(directory), &stop);
  EXPECT_EQ(outcome.end, RunEnd::stop);
  EXPECT_EQ(outcome.step_count, 100);
  EXPECT_FALSE(records.run_state.stop_requested());
  EXPECT_TRUE(records.run_state.idle());
  // Stopped before twice the pulse width: the kinetics line still carries the volume depth.
  const std::string kinetics = test::read_file(directory.path() / "Data1K.dat");
  EXPECT_EQ(kinetics, outcome.kinetics_line + "\r\n");
  EXPECT_GT(outcome.volume_depth_nm, 0.0);
  EXPECT_NEAR(
      outcome.volume_depth_nm,
      0.32f * integrate_profile(records.state->depth_grid, records.state->broken_fraction_new, 65) *
          31.25,
      1e-9);
  // Records at step 1 and then every 16 or 17 steps: 1, 18, 34, 51, 68, 84.
  const std::string temporal = test::read_file(directory.path() / "Data1D.dat");
  EXPECT_EQ(std::count(temporal.begin(), temporal.end(), '\n'), 6);
  // 100 steps reach 1.872 ns: no spatial file is due yet.
  EXPECT_FALSE(std::filesystem::exists(directory.path() / "Data1S1.dat"));
}

// Ctrl-C of the batch runner, sweeps, studies and Python: the run ends as by Stop after the step
// at which it reads the interrupt; its line is made but not written to the kinetics file (it is
// not a result), and a train's pulse table marks the pulse cut short. The program's own Stop
// still writes the line.
TEST(CalculationRun, AnInterruptEndsTheRunAsStopAfterItsStepWithoutAKineticsLine) {
  struct InterruptAt : RunObserver {
    std::int32_t at = 0;
    std::atomic<bool> interrupt{false};
    void step_done(const StepRecord& record, const ProfileArrays&) override {
      if (record.step == at) interrupt = true;
    }
  };
  struct Case {
    int pulses;  // 1: a single pulse on the published scheme
    int step;
  };
  for (const Case c : {Case{1, 40}, Case{3, 3000}}) {
    SCOPED_TRACE(c.pulses);
    ScratchDirectory directory;
    InterruptAt observer;
    observer.at = c.step;
    RunRecords records;
    RunOptions options = in_directory(directory);
    options.interrupt = &observer.interrupt;
    if (c.pulses > 1) {
      options.scheme = Scheme::accurate;
      options.pulse.pulses = c.pulses;
      options.pulse.rate_hz = 10.0;
    }
    const RunOutcome outcome = records.run(options, &observer);
    EXPECT_EQ(outcome.end, RunEnd::stop);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_FALSE(outcome.kinetics_line.empty());
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "Data1K.dat"));
    EXPECT_FALSE(records.run_state.stop_requested()) << "the interrupt is not a pending Stop";
    if (c.pulses == 1) {
      EXPECT_EQ(outcome.step_count, c.step);
      continue;
    }
    ASSERT_FALSE(outcome.pulses.empty());
    EXPECT_TRUE(outcome.pulses.back().cut_short);
    const std::string table = test::read_file(directory.path() / "Data1P.dat");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'),
              static_cast<long>(outcome.pulses.size()) + 1);
    EXPECT_NE(table.rfind("cut short"), std::string::npos);
    EXPECT_EQ(table.find("cut short"), table.rfind("cut short"));
  }
  // Stop as the program gives it: the line of the depths reached is written.
  ScratchDirectory directory;
  RunRecords records;
  struct StopAt : RunObserver {
    RunStateMachine* run_state = nullptr;
    void step_done(const StepRecord& record, const ProfileArrays&) override {
      if (record.step == 40) run_state->request_stop();
    }
  } stop;
  stop.run_state = &records.run_state;
  const RunOutcome stopped = records.run(in_directory(directory), &stop);
  EXPECT_EQ(stopped.end, RunEnd::stop);
  EXPECT_FALSE(stopped.interrupted);
  EXPECT_EQ(test::read_file(directory.path() / "Data1K.dat"), stopped.kinetics_line + "\r\n");
}

TEST(CalculationRun, InvalidChoicesDoNotStart) {
  ScratchDirectory directory;
  struct Case {
    const char* field;
    float value;
    const char* message;
  };
  // Set by name as a study or the Python module sets them: a whole number outside the set is
  // held, and the run refuses it.
  const Case cases[] = {
      {"ablation_model", 3.0f, "ablation_model is 3; it must be 1 or 2"},
      {"pulse_shape", 0.0f, "pulse_shape is 0; it must be 1 or 2"},
      {"spatial_output", -4.0f, "spatial_output is -4; it must be 0, 1, 2 or 3"},
      {"material", 3.0f, "material is 3; it must be 1 or 2"},
  };
  for (const Case& c : cases) {
    RunRecords records;
    ASSERT_TRUE(
        set_field_value(records.parameters.values, *find_parameter_field(c.field), c.value));
    RecordingObserver observer;
    const ParameterSet before = records.parameters.values;
    const RunOutcome outcome = records.run(in_directory(directory), &observer);
    EXPECT_EQ(outcome.end, RunEnd::not_started);
    EXPECT_EQ(outcome.not_started_reason, c.message);
    EXPECT_FALSE(outcome.kept_by_guard);  // a refusal the user is told about
    EXPECT_TRUE(observer.calls.empty());
    EXPECT_EQ(records.parameters.values, before);
  }
  EXPECT_TRUE(test::file_names(directory.path()).empty());
  // The other members of the sets run, and so do the codes whose meaning the file defines
  // outside their sets (an autoscale 0 keeps the scales, a kinetics mode 3 appends).
  RunRecords other;
  other.parameters.values.material = Material::other;
  other.parameters.values.pulse_shape = PulseShape::rectangle;
  other.parameters.values.autoscale = static_cast<Autoscale>(0);
  other.parameters.values.kinetics_file_mode = static_cast<KineticsFileMode>(3);
  EXPECT_NE(other.run(kinetics_only()).end, RunEnd::not_started);
}

TEST(CalculationRun, ResultNamesOutsideTheFolderDoNotStart) {
  ScratchDirectory directory;
  for (const char* name : {"../../E", "/tmp/Ev", "sub\\x", "a\x01"}) {
    RunRecords records;
    set_padded(records.parameters.values.data_file_name, name);
    const RunOutcome outcome = records.run(in_directory(directory));
    EXPECT_EQ(outcome.end, RunEnd::not_started) << name;
    EXPECT_NE(outcome.not_started_reason.find("data-file name"), std::string::npos);
  }
  EXPECT_TRUE(test::file_names(directory.path()).empty());
}

TEST(CalculationRun, OverflowingAutoScalesAreNotWrittenBack) {
  RunRecords records;
  records.parameters.values.fluence = 1e38f;  // the temperature scale overflows
  const RunOutcome outcome = records.run(kinetics_only());
  EXPECT_EQ(outcome.fluence_used, 10000.0);
  ParameterSet p = records.parameters.values;
  apply_run_adjustments(outcome.adjustments, p);
  EXPECT_EQ(p.temperature_scale, 2000.0f);  // kept, not infinity
  EXPECT_TRUE(std::isfinite(p.velocity_scale));
  EXPECT_EQ(p.depth_scale, 0.2f);
}

// A dialog committing the whole record while the run reads its per-step fields.
TEST(CalculationRun, CommitsDuringARunAreSafe) {
  ScratchDirectory directory;
  RunRecords records;
  std::atomic<bool> done{false};
  std::thread dialog([&] {
    ParameterSet working = records.parameters.snapshot();
    int round = 0;
    while (!done.load()) {
      working.output_ablated_depth = (round % 2) != 0;
      working.show_temperature_profile = (round % 3) != 0;
      set_padded(working.data_file_name, (round % 2) ? "Data1" : "Other");
      records.parameters.commit(working);
      ++round;
      std::this_thread::yield();
    }
  });
  const RunOutcome outcome = records.run(in_directory(directory));
  done = true;
  dialog.join();
  EXPECT_EQ(outcome.step_count, 5359);
  EXPECT_EQ(outcome.kinetics_line, " 50.0000   2.79927E+01   3.94849E+00   3.19412E+01");
  EXPECT_TRUE(outcome.file_errors.empty());
}

}  // namespace
}  // namespace kt
