// The exit status of kestrium-batch, the same for every command.
#pragma once

namespace kt::batch {

inline constexpr int kExitDone = 0;
// The parameter file, a data file, a run or a result file failed; the message says which.
inline constexpr int kExitFailure = 1;
// A wrong command line: an unknown command or option, a missing or bad value.
inline constexpr int kExitUsage = 2;
// A calculation diverged.
inline constexpr int kExitDiverged = 3;
// Stopped by Ctrl-C (SIGINT) or SIGTERM.
inline constexpr int kExitInterrupted = 130;

}  // namespace kt::batch
