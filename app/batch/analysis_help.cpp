// The help texts of the analysis commands.
#include <string>

#include "app/batch/analysis_commands.h"
#include "app/batch/experiment_options.h"

namespace kt {
namespace {

constexpr const char* kFitHelp =
    "usage: kestrium-batch fit PARFILE --data FILE.csv --vary NAME[,NAME...] [options]\n"
    "       kestrium-batch fit PARFILE --data FILE.csv --analyse [options]\n"
    "\n"
    "Fits Parameter-set fields to measured depths by weighted least squares (NLopt BOBYQA),\n"
    "starting from the values in PARFILE; every other field keeps its value. FILE.csv has a\n"
    "header row naming fluence_mJ_per_cm2, a depth column (total_depth_nm,\n"
    "surface_recession_nm or volume_depth_nm) and optionally sigma_nm (one standard\n"
    "deviation per point; without it all points weigh the same and the errors are scaled by\n"
    "the reduced chi-square). Names with units as labs write them are read too (\"Fluence\n"
    "(mJ/cm2)\", \"fluence [mJ/cm^2]\", \"Depth (nm)\", depth_nm); values are separated by\n"
    "commas, ';' or tabs and may be quoted. '#' starts a comment; blank lines are skipped.\n"
    "FILE.csv is a UTF-8 text file of at most 64 MiB and 100000 points.\n"
    "\n"
    "A column named by a field (pulse_width, absorption_coefficient, reflection_coefficient,\n"
    "..., or \"pulse_width (ns)\"; and pulses) sets that field for its row's run, range-checked\n"
    "as in a parameter file. A dataset column labels the data sets; without one, the rows\n"
    "sharing their condition values form a data set (named e.g. pulse_width=20).\n"
    "\n"
    "  --vary NAME,...     the fields to fit (screening_coefficient, activation_energy_em,\n"
    "                      pre_exponential_vom, absorption_coefficient, ...); fields spanning\n"
    "                      decades (pre-exponentials, coefficients) are fitted on a log scale\n"
    "  --vary-each NAME,...  fields fitted once per data set (e.g. the absorption per\n"
    "                      wavelength while the --vary fields are shared by every row)\n"
    "  --separately        also fit each data set alone and report its values and errors\n"
    "                      beside the global fit's\n"
    "  --bounds NAME=LO:HI the range of a field (repeatable); default: a factor 100 either way\n"
    "                      for log-scaled fields, a factor 2 for others, 0 to 0.99 for fractions\n"
    "  --quantity Q        total, surface or volume: which depth column of FILE.csv to fit\n"
    "  --jobs N            runs of one evaluation at once (default: all cores)\n"
    "  --max-runs N        the most model runs in all (default 5000)\n"
    "  --method M          bobyqa (default) or sbplx (a simplex method: slower, for data\n"
    "                      sitting at the threshold's kink)\n"
    "  --out FITTED.par    the parameter file with the fitted values (only when the fit\n"
    "                      converged cleanly)\n"
    "  --report FILE.json  values, errors, correlation, chi2, dof, runs and every point (and\n"
    "                      each data set's chi2 and points)\n"
    "  --plot FILE.png     the points, the fitted curve and the residuals (each data set in\n"
    "                      its own colour with its own curve)\n"
    "  --analyse           also the Beer-Lambert analysis d = (1/alpha_eff) ln(F/F_th) of the\n"
    "                      measured points with a depth of at least --min-depth NM (default 1),\n"
    "                      of each data set\n"
    "\n"
    "The experiment options below make the model's runs (a train's depth is its mean depth\n"
    "per pulse, as profilometry of an N-pulse crater divided by N gives).\n"
    "\n"
    "Everything is checked before the first run; no output may be PARFILE, FILE.csv or\n"
    "another output. Ctrl-C or SIGTERM stops the fit; the report then holds the best values\n"
    "found, marked as interrupted.\n"
    "exit status: 0 a converged fit (or analysis); 1 a failure or a fit that does not\n"
    "describe the data (the message says why: out of reach, a field at its bound, a field the\n"
    "data do not determine, the run limit); 2 a wrong command line; 130 interrupted.\n";

constexpr const char* kThresholdHelp =
    "usage: kestrium-batch threshold PARFILE [--depth NM] [--quantity total|surface|volume]\n"
    "                                [--jobs N] [--json] [experiment options]\n"
    "       kestrium-batch threshold PARFILE --pulses N1,N2,... --rate HZ [--plot FILE.png]\n"
    "                                [options as above]\n"
    "       kestrium-batch threshold PARFILE --method d2 --spot-radius UM [options as above]\n"
    "       kestrium-batch threshold --diameters FILE.csv | --thresholds FILE.csv\n"
    "\n"
    "Finds the fluence at which the chosen depth (default: total) first reaches NM (default\n"
    "1 nm), to 0.1 % of the fluence, by doubling or halving the fluence of PARFILE until the\n"
    "depth is bracketed, then bisecting on a log scale (with --jobs N, N runs a round). For a\n"
    "train the depth is the mean depth per pulse. With several pulse numbers (a value list:\n"
    "1,2,5,10,20,50 or FROM:TO:logN) it finds the threshold at each and fits the incubation\n"
    "law F_th(N) = F_th(1) N^(S-1), reporting S and F_th(1) with their standard errors (from\n"
    "the scatter of the thresholds about the law).\n"
    "\n"
    "  --depth NM        the depth that marks the threshold (default 1)\n"
    "  --quantity Q      total, surface or volume depth (default total)\n"
    "  --jobs N          runs a bisection round (default: all cores)\n"
    "  --json            the thresholds (and the law) as one JSON object\n"
    "  --plot FILE.png   with several pulse numbers: F_th against N on log axes with the law\n"
    "  --method M        search (default) or d2: craters of the gaussian spot at 8 pulse\n"
    "                    energies (peak fluences 1.5 to 10 times the searched threshold), their\n"
    "                    diameters at the depth NM, and the D^2 law D^2 = 2 w^2 ln(E/E_th)\n"
    "                    fitted to them: F_th and the spot radius w from the slope\n"
    "  --diameters FILE  measured craters (CSV: energy_uj,diameter_um[,pulses]; diameter 0 for\n"
    "                    none): F_th, w and, with several pulse numbers, the incubation S\n"
    "  --thresholds FILE measured thresholds (CSV: pulses,threshold_mj_cm2[,sigma_mj_cm2]): the\n"
    "                    incubation law F_th(N) = F_th(1) N^(S-1) through them\n";

constexpr const char* kThresholdHelpRest =
    "\n"
    "Ctrl-C or SIGTERM stops the search after the runs under way.\n"
    "exit status: 0 found; 1 no threshold or no law (the message says why), a bad experiment\n"
    "file or trace; 2 a wrong command line; 130 interrupted.\n";

}  // namespace

std::string fit_help() {
  return std::string(kFitHelp) + "\n" + batch::experiment_options_help();
}

std::string threshold_help() {
  return std::string(kThresholdHelp) +
         batch::experiment_options_help(
             "  --pulses N|LIST   a train of N pulses, or thresholds at several N and the\n"
             "                    incubation law through them\n") +
         kThresholdHelpRest;
}

const char* sweep_analysis_help() {
  return "  --analyse         the Beer-Lambert analysis d = (1/alpha_eff) ln(F/F_th) of the total\n"
         "                    depths of at least --min-depth NM (default 1); drawn on --plot\n"
         "  --data FILE.csv   measured points drawn over the curve of --plot\n";
}

}  // namespace kt
