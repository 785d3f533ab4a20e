#include "params/pulse_trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "params/bounded_file.h"
#include "params/unit_text.h"

namespace kt {
namespace {

// A trace of a few thousand samples is a few hundred kB; this is far beyond any oscilloscope's.
constexpr std::size_t kMaxTraceBytes = std::size_t{16} << 20;

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

// The whole text as one finite number.
bool whole_number(const std::string& text, double& value) {
  return read_shifted_decimal(text, 0, value);
}

// The unit the header's time column names: "time_us", "time (us)", "t [s]" give "us" and "s";
// empty for a name without one ("time", "t") or one that is not a time's ("pulse").
std::string time_unit_of(const std::string& name) {
  const std::string lower = plain_unit_text(name);
  std::size_t start = lower.rfind("time", 0) == 0 ? 4 : lower.rfind('t', 0) == 0 ? 1 : 0;
  if (start == 0) return {};
  if (start < lower.size() && std::string_view(" _[(").find(lower[start]) == std::string::npos)
    return {};
  while (start < lower.size() && std::string_view(" _[(").find(lower[start]) != std::string::npos)
    ++start;
  std::size_t end = lower.size();
  while (end > start && std::string_view(" ])").find(lower[end - 1]) != std::string::npos) end -= 1;
  return lower.substr(start, end - start);
}

}  // namespace

double PulseTrace::at(double t_ns) const {
  const double t = t_ns + time_ns.front();
  if (t < time_ns.front() || t > time_ns.back()) return 0.0;
  const auto upper = std::upper_bound(time_ns.begin(), time_ns.end(), t);
  const std::size_t i = std::min<std::size_t>(
      static_cast<std::size_t>(std::max<std::ptrdiff_t>(upper - time_ns.begin() - 1, 0)),
      time_ns.size() - 2);
  const double s = (t - time_ns[i]) / (time_ns[i + 1] - time_ns[i]);
  return intensity[i] + s * (intensity[i + 1] - intensity[i]);
}

double PulseTrace::delivered(double t_ns) const {
  const double t = t_ns + time_ns.front();
  if (t <= time_ns.front()) return 0.0;
  double sum = 0.0;
  for (std::size_t i = 0; i + 1 < time_ns.size(); ++i) {
    if (t >= time_ns[i + 1]) {
      sum += 0.5 * (intensity[i] + intensity[i + 1]) * (time_ns[i + 1] - time_ns[i]);
      continue;
    }
    const double h = t - time_ns[i];
    const double end =
        intensity[i] + h / (time_ns[i + 1] - time_ns[i]) * (intensity[i + 1] - intensity[i]);
    sum += 0.5 * (intensity[i] + end) * h;
    break;
  }
  return std::min(sum, 1.0);
}

std::optional<PulseTrace> parse_pulse_trace(std::string_view text, const std::string& origin,
                                            std::string& error) {
  PulseTrace trace;
  int shift = 0;            // from the header's time unit to ns
  std::string unit = "ns";  // the header's time unit, for messages
  int line_number = 0;
  bool data_seen = false;
  std::size_t start = 0;
  auto refuse = [&](const std::string& problem) {
    error = origin + ", line " + std::to_string(line_number) + ": " + problem;
    return std::nullopt;
  };
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (line_number == 1 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
    if (raw.find('\0') != std::string_view::npos)
      return refuse("holds a NUL byte: not a text file");
    const std::string line = trimmed(raw.substr(0, raw.find('#')));
    if (line.empty()) {
      if (end == text.size()) break;
      continue;
    }
    const auto comma = line.find_first_of(",;\t");
    if (comma == std::string::npos)
      return refuse("\"" + line + "\" is not time_" + unit + ",intensity");
    double t = 0.0, v = 0.0;
    const bool t_ok = read_shifted_decimal(trimmed(line.substr(0, comma)), shift, t);
    const bool v_ok = whole_number(trimmed(line.substr(comma + 1)), v);
    if (!t_ok || !v_ok) {
      // One header line of names is allowed before the data.
      if (!data_seen && trace.time_ns.empty() && !t_ok && line_number <= 50 &&
          std::isalpha(static_cast<unsigned char>(line[0]))) {
        data_seen = true;
        const std::string name = trimmed(line.substr(0, comma));
        if (const std::string named = time_unit_of(name); !named.empty()) {
          const std::optional<int> known = time_unit_shift(named);
          if (!known)
            return refuse("the time column \"" + name + "\" is in \"" + named +
                          "\", a unit a trace does not take; name it time_ns, time_us or time_s");
          shift = *known;
          unit = named;
        }
        continue;
      }
      return refuse("\"" + line + "\" is not two finite numbers (time_" + unit + ",intensity)");
    }
    data_seen = true;
    if (v < 0.0) return refuse("the intensity " + trimmed(line.substr(comma + 1)) + " is negative");
    if (!trace.time_ns.empty() && !(t > trace.time_ns.back())) {
      return refuse("the time " + trimmed(line.substr(0, comma)) + " " + unit +
                    " does not increase (the line before has " +
                    std::to_string(trace.time_ns.back()) + " ns)");
    }
    if (trace.time_ns.size() == kMaximumTraceSamples)
      return refuse("more than " + std::to_string(kMaximumTraceSamples) +
                    " samples; a pulse trace holds at most that many");
    trace.time_ns.push_back(t);
    trace.intensity.push_back(v);
    if (end == text.size()) break;
  }
  if (trace.time_ns.size() < 3) {
    error = origin + ": a pulse trace needs 3 points at least; it has " +
            std::to_string(trace.time_ns.size());
    return std::nullopt;
  }
  if (const double span = trace.time_ns.back() - trace.time_ns.front();
      !(span <= kMaximumTraceSpanNs)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  ": the samples span %g ns (from %g to %g ns); a pulse trace spans at most %g ns",
                  span, trace.time_ns.front(), trace.time_ns.back(), kMaximumTraceSpanNs);
    error = origin + text;
    return std::nullopt;
  }
  double integral = 0.0;
  for (std::size_t i = 0; i + 1 < trace.time_ns.size(); ++i) {
    integral += 0.5 * (trace.intensity[i] + trace.intensity[i + 1]) *
                (trace.time_ns[i + 1] - trace.time_ns[i]);
  }
  if (!(integral > 0.0) || !std::isfinite(integral)) {
    error = origin + ": the trace's integral is " + (integral == 0.0 ? "zero" : "not finite") +
            ": it delivers no pulse";
    return std::nullopt;
  }
  for (double& v : trace.intensity) v /= integral;
  return trace;
}

std::optional<PulseTrace> read_pulse_trace(const std::filesystem::path& path, std::string& error) {
  const std::string origin = path.string();
  std::string text;
  if (!read_bounded_file(origin, "the pulse trace", kMaxTraceBytes, text, error) ||
      !check_text_encoding(text, origin, error))
    return std::nullopt;
  std::optional<PulseTrace> trace = parse_pulse_trace(text, origin, error);
  if (trace) trace->path = path;
  return trace;
}

}  // namespace kt
