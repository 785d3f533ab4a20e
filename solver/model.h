// The ablation model: one-dimensional heat conduction in an absorbing polymer heated by a
// nanosecond laser pulse, whose surface recedes (the ablation front) and, in the bulk model,
// whose bonds break in a volume reaction.
//
// Equation. In a frame moving with the surface (z = depth below the current surface) the
// temperature rise theta obeys
//
//   d(theta)/dt = (D/cf) d/dz(kf d(theta)/dz) + v d(theta)/dz + I/cf
//                 - DHb' ko' (1 - phi) exp(-Eb'/(T0' + theta)) / cf - Lambda (kf/cf) theta
//
//   heat conduction (D the scaled diffusivity; cf, kf the temperature factors of the specific
//   heat and conductivity, both 1 for "Other material"), advection towards the receding surface
//   at the front velocity v, the absorbed laser power I, the heat taken by the volume reaction
//   (bulk model only) and a weak linear loss, Lambda = kHeatLossFactor D / kHeatLossLength^2.
//
// Light. I(t, z) follows Beer-Lambert with absorption 1 per depth unit, screened at the surface
// by the material already removed: I(t, 0) = P(t) exp(-sigma' depth_total), P the pulse
// (triangle or rectangle, after reflection).
//
// Front. v = VA + VM with Arrhenius channels VA = Vo' exp(-Ea'/Ts) (surface model) and
// VM = Vom' exp(-Em'/((phi_s + 1e-6) Ts)) (bulk model: the barrier falls as bonds break at the
// surface), Ts = T0' + theta(0). The depths grow by v dt per channel.
//
// Bonds. d(phi)/dt = ko' exp(-Eb'/(T0' + theta)) (1 - phi) + v d(phi)/dz: first-order
// Arrhenius bond breaking, carried towards the surface. The volume ablated depth is
// f_v times the integral of phi over the grid.
//
// Domain and conditions. 0 <= z <= z[65], about 9 absorption lengths plus the heat diffusion
// length of the pulse. Initially theta = phi = 0. At the surface the conductive flux over the
// first cell carries the heat of sublimation of each channel (DH' VA + DHm' VM); at the far end
// theta = 0 (ambient).
//
// Discretisation. 65 nodes: 24 uniform cells of 0.02 near the surface, 25 cells growing
// geometrically from 0.02 to h, 14 cells of h, and a last cell of h - 0.02; h scales with the
// diffusion length sqrt(D tau'). Time step dt = 0.006 time units per 15 ns of pulse width.
//
// Time scheme, per step: surface intensity (step 1) and front advance (3) explicit; the
// end-of-run test (with the bulk integral, 5) once t > 2 tau'; Beer-Lambert profile (2) and
// upwind explicit bond kinetics (4); then the heat equation implicit in time, its coefficients
// rebuilt from the latest theta in three sweeps (fixed-point iteration for the nonlinear
// property laws and the surface sink), each solved by the three-diagonal sweep, with v
// re-evaluated after each. Where each term lives: compute_surface_intensity,
// compute_intensity_profile, advance_front/front_velocity_at, update_broken_fraction,
// compute_bulk_integral, heat_step (A/B/C/G coefficients and the surface condition mu1).
//
// Scaled units: depth in absorption lengths 1/alpha, time in units of t0 = 3.12e-9 s,
// temperature as the rise above T0 in units of the heating scale Cheat, intensity in units of
// 1e10 mJ/(cm^2 s). Decimal constants that are not whole numbers are single-precision values
// widened to 64 bits; whole numbers, 0.125, 0.5, 1e7 and 1e10 are exact.
//
// Two electron-volt-to-kelvin factors coexist on purpose: the model's activation temperatures
// use 11604.7 K/eV (kElectronVoltKelvin), while the Auto velocity scale of the plots uses the
// ratio of single-precision 1.6e-19 J/eV and 1.38e-23 J/K (11594.2 K/eV) as the program always
// has; the second only sets a plot axis and never enters a result.
#pragma once

#include <cstdint>

#include "params/parameter_set.h"
#include "solver/kernels.h"
#include "solver/step_profiles.h"

namespace kt {

inline constexpr int kNodeCount = 65;
inline constexpr int kStepLimit = 10000;
inline constexpr int kSweepCount = 3;

// Single-precision decimals of the model, widened.
inline constexpr double kTimeUnit = static_cast<double>(3.12e-9f);  // t0 [s]
inline constexpr double kNanosecond = static_cast<double>(1e-9f);
inline constexpr double kElectronVoltKelvin = static_cast<double>(11604.7f);  // K per eV

// The linear heat-loss term: Lambda = kHeatLossFactor * D / kHeatLossLength^2 (scaled units).
inline constexpr double kHeatLossFactor = static_cast<double>(3.562f);
inline constexpr double kHeatLossLength = 10000.0;

// Grid landmarks (1-based node numbers): nodes 1 to kLastUniformNode are 0.02 apart; the
// geometric part runs from kFirstStretchedNode to kLastStretchedNode; kUniformFarCells cells
// of h follow up to the last node.
inline constexpr int kLastUniformNode = 24;
inline constexpr int kFirstStretchedNode = 25;
inline constexpr int kStretchedCells = 25;
inline constexpr int kLastStretchedNode = kFirstStretchedNode + kStretchedCells;  // 50
inline constexpr int kUniformFarCells = 14;

// Everything a run derives from the Parameter set before its first step.
class PulseProfile;

struct RunConstants {
  AblationModel model = AblationModel::bulk;
  PulseLaw pulse;
  // A Gaussian or measured pulse (pulse_shapes.h), owned by the run; null for the parameter
  // file's triangle or rectangle.
  const PulseProfile* pulse_profile = nullptr;
  // When the pulse is over: 2 tau' for the parameter file's shapes (the end test and the
  // published model's "twice the pulse width"), the profile's end otherwise.
  double pulse_end = 0.0;
  MaterialLaw material;

  // Physical inputs kept for conversions (64-bit copies of the run's Parameter set values).
  double absorption_coefficient = 0.0;  // alpha [1/cm]
  double ambient_temperature = 0.0;     // T0 [K]
  double volatile_fraction = 0.0;       // f_v
  double fluence = 0.0;                 // F used [mJ/cm^2], after the cap

  double pulse_seconds = 0.0;   // tau_s [s]
  double peak_intensity = 0.0;  // I0
  double pulse_duration = 0.0;  // tau'
  double front_time = 0.0;      // tF
  double heating_scale = 0.0;   // Cheat [K]
  double diffusivity = 0.0;     // D
  double activation_ea = 0.0;   // Ea'
  double activation_em = 0.0;   // Em'
  double activation_eb = 0.0;   // Eb'
  double rate_vo = 0.0;         // Vo'
  double rate_vom = 0.0;        // Vom'
  double rate_ko = 0.0;         // ko'
  double enthalpy_dh = 0.0;     // DH'
  double enthalpy_dhm = 0.0;    // DHm'
  double enthalpy_dhb = 0.0;    // DHb'
  double ambient = 0.0;         // T0'
  double screening = 0.0;       // sigma'
  double time_step = 0.0;       // dt
  double output_period = 0.0;   // delta_out

  // Grid.
  double cell_max = 0.0;          // h
  double cell_ratio = 0.0;        // q
  double stretched_length = 0.0;  // S

  int step_limit = kStepLimit;
  int sweeps = kSweepCount;
  int node_count = kNodeCount;
};

// Channel velocities for a surface temperature rise and surface fraction.
struct FrontVelocity {
  double channel_a = 0.0;
  double channel_m = 0.0;
  double total() const { return channel_a + channel_m; }
};

// The nodal arrays, front and depths of one run, plus the coefficient and work arrays of the
// heat step; all preallocated.
struct SolverState {
  NodeArray temperature_rise{};     // theta
  NodeArray theta_previous{};       // theta at the start of the heat step
  NodeArray broken_fraction_old{};  // phi_old
  NodeArray broken_fraction_new{};  // phi_new
  NodeArray intensity_profile{};    // I
  NodeArray depth_grid{};           // z, measured from the current surface

  NodeArray coefficient_a{};
  NodeArray coefficient_b{};
  NodeArray coefficient_c{};
  NodeArray coefficient_g{};
  NodeArray sweep{};
  NodeArray heat_capacity_factor{};  // cf per node, this sweep
  NodeArray conduction_factor{};     // kf per node, this sweep

  // Pure functions evaluated again with the same argument, kept for their last argument: the
  // volume reaction's exp(-Eb'/(T0' + theta)) per node (the kinetics and the first sweep's heat
  // sink see the same theta), the two front channels' exponentials (the surface condition of a
  // sweep sees the theta and phi of the velocity evaluated just before it, a step's front
  // advance those of the step before's last sweep).
  std::array<ExpMemo, kNodeCapacity + 1> reaction_exponential{};
  ExpMemo channel_a_exponential;
  ExpMemo channel_m_exponential;

  double front_velocity = 0.0;   // v
  FrontVelocity front_channels;  // v by channel, as the published step last evaluated it
  double depth_a = 0.0;          // recession by channel A
  double depth_m = 0.0;          // recession by channel M
  double depth_total = 0.0;
  double bulk_integral = 0.0;   // integral of phi over the grid
  std::int32_t step_index = 1;  // n, t = n dt

  // End-of-run test bookkeeping.
  double bulk_integral_at_last_test = 0.0;
  bool end_test_done = false;
};

// Raises pulse_width to 1 ns and lowers fluence to 10000 mJ/cm^2 where needed; true when
// anything changed.
bool apply_run_clamps(ParameterSet& parameters);

// Run constants in their order, with the model switch applied to the run's own copies. The
// clamps are applied to a copy; the caller writes them back to the Parameter set.
RunConstants compute_run_constants(const ParameterSet& parameters);

// The model's time step [ns] for a pulse width [ns] (RunConstants::time_step in ns).
double model_time_step_ns(double pulse_width_ns);

// The most time steps a run's pulse may take (a measured trace or a Gaussian over the time
// step): beyond it a run would not end in any reasonable time.
inline constexpr double kMaximumPulseSteps = 1e7;

// Fills z[1..65] of the moving grid.
void build_depth_grid(const RunConstants& constants, NodeArray& z);

// Zero temperature, fractions, depths and integral; n = 1.
void reset_solver_state(SolverState& state);

// Step 1: I[1] = P(t) exp(-sigma' depth_total), with the depth of the previous step.
void compute_surface_intensity(const RunConstants& constants, SolverState& state, double t);

// P(t) of the step ending at t: the parameter file's shape at t, or a profiled pulse's mean
// over the step (pulse_shapes.h).
double step_pulse_intensity(const RunConstants& constants, double t);

// Step 2: explicit Beer-Lambert attenuation down the grid.
void compute_intensity_profile(const RunConstants& constants, SolverState& state);

FrontVelocity front_velocity_at(const RunConstants& constants, double theta_surface,
                                double fraction_surface);
// The same, the exponentials taken through the state's channel memos.
FrontVelocity front_velocity_at(const RunConstants& constants, double theta_surface,
                                double fraction_surface, SolverState& state);

// Step 3: v from theta[1] and phi_new[1]; the depths grow by each channel's v dt.
void advance_front(const RunConstants& constants, SolverState& state);

// Step 4: explicit broken-bond kinetics with upwind transport towards the surface; each
// phi_new[k] is held within [0, 1].
void update_broken_fraction(const RunConstants& constants, SolverState& state);

// Step 5: bulk_integral = integral of phi_new over the grid.
void compute_bulk_integral(const RunConstants& constants, SolverState& state);

// Step 6: implicit heat step with three coefficient sweeps; v is re-evaluated after each.
void heat_step(const RunConstants& constants, SolverState& state);

// End-of-run test (only meaningful when t - 2 tau' > 0); true when the run should end now.
bool end_test(const RunConstants& constants, SolverState& state);

// One time step up to and including the heat step: steps 1 and 3, the end test once the time
// has passed twice the pulse width, then steps 2, 4 and 6. Returns true when the end test ended
// the run (the rest of the step is then not done). No output, no allocation.
bool take_time_step(const RunConstants& constants, SolverState& state);

// Where a run stops making sense: temperatures, front velocities and depths at or beyond these
// are far outside what the model describes for a polymer, and the result files' fixed fields
// (F10.4 for kelvin, F12.4 for cm/s and nm) cannot hold them.
inline constexpr double kTemperatureCeilingK = 1e5;
inline constexpr double kVelocityCeilingCmS = 1e7;
inline constexpr double kDepthCeilingNm = 1e7;

// False when a value of the state is not finite, a temperature is at or below 0 K or at or
// above kTemperatureCeilingK, or the front velocity or a depth is beyond its ceiling: the run
// has left the model and the step's results mean nothing.
bool state_is_sound(const RunConstants& constants, const SolverState& state);

// Step 7: the values the output step reports.
struct ReportedValues {
  double time_ns = 0.0;
  double surface_temperature_k = 0.0;
  double velocity_cm_s = 0.0;
  double ablated_depth_nm = 0.0;  // depth_a (surface model) or depth_m (bulk model)
  double surface_fraction = 0.0;
};
ReportedValues reported_values(const RunConstants& constants, const SolverState& state);

// Per-node depth [nm], temperature [K] and fraction of nodes 1 ... 65 as 32-bit reals.
void fill_profile_arrays(const RunConstants& constants, const SolverState& state,
                         ProfileArrays& profiles);

// Depth conversion: scaled depth to nm.
double depth_nm(const RunConstants& constants, double depth);

}  // namespace kt
