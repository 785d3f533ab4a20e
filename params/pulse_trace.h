// A measured pulse shape: a CSV trace of `time_ns,intensity` pairs (any positive intensity
// scale, `#` starts a comment, an optional header line of names), read and normalised so that
// the pulse delivers exactly the run's fluence. Between samples the intensity is linear, before
// the first and after the last sample it is zero, so the delivered fluence is the trapezoidal
// integral of the samples.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// The most samples of a trace, and the longest span from its first to its last sample [ns]: a
// nanosecond pulse recorded at any oscilloscope's resolution is well within both.
inline constexpr std::size_t kMaximumTraceSamples = 1000000;
inline constexpr double kMaximumTraceSpanNs = 1e5;

struct PulseTrace {
  std::filesystem::path path;
  std::vector<double> time_ns;    // strictly increasing
  std::vector<double> intensity;  // per ns, normalised: its trapezoidal integral is 1
  double duration_ns() const { return time_ns.back() - time_ns.front(); }
  // The normalised intensity [1/ns] at `t_ns` after the first sample (linear between samples).
  double at(double t_ns) const;
  // The integral of the normalised intensity from the first sample to `t_ns` (0 ... 1).
  double delivered(double t_ns) const;
};

// Reads and checks a trace. A header naming the time column with a unit (`time_ns`, `time_us`,
// `time_s`, "time (ps)", "t [ms]") gives the times in that unit, converted to ns as if written
// in ns; a unit that is not a time's is refused naming it; a header without one means ns.
// Refuses (with the file, the line and the problem) a time that does
// not increase, a negative or non-finite intensity, a line that is not two numbers, fewer than
// three points or more than kMaximumTraceSamples, a span beyond kMaximumTraceSpanNs (naming
// it) and a zero integral.
std::optional<PulseTrace> read_pulse_trace(const std::filesystem::path& path, std::string& error);
std::optional<PulseTrace> parse_pulse_trace(std::string_view text, const std::string& origin,
                                            std::string& error);

}  // namespace kt
