#include "params/parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "params/number_format.h"
#include "params/parameter_fields.h"
#include "params/safe_save.h"

namespace kt {
namespace {

// One line of the file: a header, a value behind a label of fixed width, or the name line.
struct Line {
  enum class Kind { header, value, name } kind;
  const char* text;                       // header text or label, exactly as written
  const ParameterField* field = nullptr;  // value lines
};

const std::vector<Line>& file_lines() {
  static const std::vector<Line> lines = [] {
    std::vector<Line> l;
    auto header = [&](const char* t) { l.push_back({Line::Kind::header, t}); };
    auto value = [&](const char* t, std::string_view name) {
      l.push_back({Line::Kind::value, t, find_parameter_field(name)});
    };
    header("     Configuration  ");
    value("Ablation Model:", "ablation_model");
    value("Pulse Shape   :", "pulse_shape");
    header("     Parameters     ");
    value("Pulsewidth [ns]         :", "pulse_width");
    value("Fluence [mJ/cm^2]       :", "fluence");
    value("Part of pulse -> front  :", "front_fraction");
    value("Wavelength [nm]         :", "wavelength");
    value("Material: 1 - Polyimide, 2 - Other     :", "material");
    value("Density [g/cm^3]                       :", "density");
    value("Specific heat [J/(g*K)]                :", "specific_heat");
    value("Thermal conductivity [W/(cm*K)]        :", "thermal_conductivity");
    value("Absorption coefficient [cm^-1]         :", "absorption_coefficient");
    value("Screening coefficient [cm^-1]          :", "screening_coefficient");
    value("Reflection coefficient                 :", "reflection_coefficient");
    value("Number density of chromophores [cm^-3] :", "chromophore_density");
    value("Fraction of volatile species           :", "volatile_fraction");
    value("Ambient temperature [K]                :", "ambient_temperature");
    value("Activation energy (surface) Ea [eV]    :", "activation_energy_ea");
    value("Surface pre-exponential Vo [cm/s]      :", "pre_exponential_vo");
    value("Surface Sublimation Enthalpy DH [J/g]  :", "sublimation_enthalpy_dh");
    value("Activation energy (surface) Em [eV]    :", "activation_energy_em");
    value("Surface pre-exponential Vom [cm/s]     :", "pre_exponential_vom");
    value("Surface Sublimation Enthalpy DHm [J/g] :", "sublimation_enthalpy_dhm");
    value("Volumetric Activation Energy Eb [eV]   :", "activation_energy_eb");
    value("Volume pre-exponential ko [s^-1]       :", "pre_exponential_ko");
    value("Volumetric Sublim. Enthalpy DHb[J/cm^3]:", "sublimation_enthalpy_dhb");
    header("     Graphics       ");
    value("Surface Temperature        :", "show_surface_temperature");
    value("Velocity of Ablation front :", "show_ablation_velocity");
    value("Ablated depth              :", "show_ablated_depth");
    value("Fraction of broken bonds   :", "show_broken_fraction");
    value("Temperature(z)             :", "show_temperature_profile");
    value("Fraction(z) of broken bonds:", "show_fraction_profile");
    value("Temperature scale [K]    :", "temperature_scale");
    value("Velocity scale [cm/s]    :", "velocity_scale");
    value("Ablated depth [1/alpha]  :", "depth_scale");
    value("Time scale [ns]          :", "time_scale");
    value("Z scale [1/alpha]        :", "z_scale");
    header("     Output data    ");
    l.push_back({Line::Kind::name, "Name of Data File  :"});
    value("Surface Temperature     :", "output_surface_temperature");
    value("Ablation Velocity       :", "output_ablation_velocity");
    value("Ablated depth           :", "output_ablated_depth");
    value("Fraction of broken bonds:", "output_broken_fraction");
    value("Interval temporal output:", "output_interval");
    value("Kinetics Data File      :", "kinetics_file_mode");
    value("Spatial distributions   :", "spatial_output");
    static const char* const points[kSpatialTimeCount] = {
        "Point 1  [ns]:", "Point 2  [ns]:", "Point 3  [ns]:", "Point 4  [ns]:", "Point 5  [ns]:",
        "Point 6  [ns]:", "Point 7  [ns]:", "Point 8  [ns]:", "Point 9  [ns]:", "Point 10 [ns]:"};
    for (int i = 0; i < kSpatialTimeCount; ++i)
      value(points[i], "spatial_time_" + std::to_string(i + 1));
    value("Autoscale:", "autoscale");
    return l;
  }();
  return lines;
}

std::string quoted(const std::string& path) {
  return "\"" + path + "\"";
}

}  // namespace

std::string format_parameter_file(const ParameterSet& parameters) {
  ParameterSet p = parameters;
  std::string out;
  out.reserve(2600);
  for (const Line& line : file_lines()) {
    out += line.text;
    if (line.kind == Line::Kind::value) {
      out += ' ';
      append_scientific(out, field_value(p, *line.field), 12, 5);
    } else if (line.kind == Line::Kind::name) {
      out += ' ';
      out.append(p.data_file_name.data(), p.data_file_name.size());
    }
    out += "\r\n";
  }
  return out;
}

bool convert_number_field(std::string_view field, float& value) {
  std::string s;
  for (char c : field)
    if (c != ' ') s += c;
  if (s.empty()) {
    value = 0.0f;
    return true;
  }
  std::size_t k = 0;
  std::string sign;
  if (s[k] == '+' || s[k] == '-') sign = s[k++];
  std::string digits;
  bool point = false;
  int fraction_digits = 0;
  while (k < s.size() &&
         (std::isdigit(static_cast<unsigned char>(s[k])) || (s[k] == '.' && !point))) {
    if (s[k] == '.') {
      point = true;
    } else {
      digits += s[k];
      if (point) ++fraction_digits;
    }
    ++k;
  }
  long exponent = 0;
  if (k < s.size()) {
    const char c = s[k];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd')
      ++k;
    else if (c != '+' && c != '-')
      return false;
    bool negative = false;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
    const std::size_t first = k;
    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
      exponent = std::min(exponent * 10 + (s[k++] - '0'), 100000L);  // beyond any real
    }
    if (k == first || k != s.size()) return false;
    if (negative) exponent = -exponent;
  }
  if (digits.empty()) {
    value = 0.0f;
    return true;
  }
  // Without a point the last five digits are the fraction.
  exponent -= point ? fraction_digits : 5;
  const std::string text = sign + digits + "E" + std::to_string(exponent);
  value = std::strtof(text.c_str(), nullptr);  // correctly rounded to single precision
  return true;
}

namespace {

// The short name of a line's field for messages: its label up to a unit or the colon.
std::string field_name(const Line& line) {
  std::string name(line.text);
  name = name.substr(0, name.find_first_of("[:"));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

// Text from a file as it may be shown in a message: other bytes than printable ASCII as \xNN,
// trailing blanks dropped.
std::string shown(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  return out;
}

// Text from a file in single quotes, as shown().
std::string in_quotes(std::string_view text) {
  std::string out(1, '\'');
  out += shown(text);
  out += '\'';
  return out;
}

// A value as a message shows it: the shortest text that reads back as the same float; with
// `point` it always holds a decimal point, so that the field reader does not take its last
// digits as a fraction.
std::string value_text(float value, bool point) {
  if (!std::isfinite(value))
    return std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  int digits = 1;
  for (; digits < 9; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*E", digits - 1, static_cast<double>(value));
    if (std::strtof(buffer, nullptr) == value) break;
  }
  const int exponent =
      value == 0.0f ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(value))));
  if (exponent >= -5 && exponent < 15) {
    std::snprintf(buffer, sizeof buffer, "%.*f", std::max(0, digits - 1 - exponent),
                  static_cast<double>(value));
  } else {
    std::snprintf(buffer, sizeof buffer, "%.*E", digits - 1, static_cast<double>(value));
  }
  std::string text = buffer;
  if (point && text.find('.') == std::string::npos) {
    const std::size_t e = text.find('E');
    text.insert(e == std::string::npos ? text.size() : e, ".0");
  }
  return text;
}

// The plain reading of a number: the whole text (blanks at both ends removed) is one number,
// with an optional sign, digits with or without a point, and an optional exponent written with
// E or D or as a signed integer after the digits. Empty text reads as 0.
bool read_plain_number(std::string_view text, float& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) {
    value = 0.0f;
    return true;
  }
  std::string normal;
  std::size_t k = 0;
  auto digits = [&] {
    std::size_t count = 0;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) {
      normal += text[k++];
      ++count;
    }
    return count;
  };
  if (text[k] == '+' || text[k] == '-') normal += text[k++];
  std::size_t mantissa = digits();
  if (k < text.size() && text[k] == '.') {
    normal += text[k++];
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (k < text.size()) {
    const char c = text[k];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd')
      ++k;
    else if (c != '+' && c != '-')
      return false;
    normal += 'E';
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) normal += text[k++];
    if (digits() == 0 || k != text.size()) return false;
  }
  value = std::strtof(normal.c_str(), nullptr);
  return true;
}

// Checks one value line and converts its field. `rest` is the line from the column after the
// label on. Empty when the value was read; otherwise the problem.
std::string read_value(std::string_view rest, float& value) {
  const std::string_view field = rest.substr(std::min<std::size_t>(1, rest.size()), 12);
  const std::string_view beyond = rest.substr(std::min<std::size_t>(13, rest.size()));
  std::string padded(field);
  padded.resize(12, ' ');
  float columns = 0.0f;
  float plain = 0.0f;
  const bool columns_ok = convert_number_field(padded, columns);
  const bool plain_ok = read_plain_number(rest, plain);
  const bool beyond_blank = beyond.find_first_not_of(' ') == std::string_view::npos;
  const std::string quoted_rest = in_quotes(rest);
  if (columns_ok && plain_ok && beyond_blank && columns == plain) {
    if (!std::isfinite(columns)) {
      return quoted_rest + " is too large for a single-precision number (at most 3.40282E+38)";
    }
    value = columns;
    return {};
  }
  if ((plain_ok && !std::isfinite(plain)) || (columns_ok && !std::isfinite(columns))) {
    return quoted_rest + " is too large for a single-precision number (at most 3.40282E+38)";
  }
  if (plain_ok && columns_ok) {
    return quoted_rest + " reads as " + value_text(columns, false) +
           " by its columns; write it as " + value_text(plain, true);
  }
  if (plain_ok) {
    return quoted_rest + " does not fit its 12 columns; write it as " + value_text(plain, true);
  }
  if (columns_ok) {
    return quoted_rest + " is not one number (by its columns it reads as " +
           value_text(columns, false) + "); write one number in the 12 columns after the label";
  }
  return quoted_rest + " is not a number";
}

// Reads one value line into its field. A switch is on when the file holds 1 and off for any
// other number; it is written back as 1 or 0. A choice holds any whole number, one outside its
// set included (the run refuses that by name); a fraction cannot be held and is refused.
std::string read_field(std::string_view rest, const ParameterField& field, ParameterSet& read) {
  float value = 0.0f;
  if (std::string problem = read_value(rest, value); !problem.empty()) return problem;
  if (field.kind == FieldKind::on_off) value = value == 1.0f ? 1.0f : 0.0f;
  if (!field_value_problem(field, value).empty()) {
    const bool whole = std::trunc(value) == value;
    return in_quotes(rest) +
           (whole ? " is beyond the whole numbers a choice holds" : " is not a whole number") +
           "; the field is a choice (" + std::string(field.codes) + ")";
  }
  set_field_value(read, field, value);
  return {};
}

// Checks the name line and takes its 14 characters. Empty when the name was read.
std::string read_name(std::string_view rest, std::array<char, kDataFileNameLength>& name) {
  if (rest.size() > 1 + name.size()) {
    return in_quotes(rest) + " runs past its column " + std::to_string(20 + 1 + name.size()) +
           "; a name has at most " + std::to_string(name.size()) + " characters after the blank";
  }
  std::string field(rest.substr(std::min<std::size_t>(1, rest.size())));
  field.resize(name.size(), ' ');
  std::memcpy(name.data(), field.data(), name.size());
  std::string trimmed = field;  // zero bytes at the end count: they are not blanks
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  if (!rest.empty() && rest[0] != ' ') {
    return in_quotes(rest) +
           " starts in the label's blank column; the name begins one column later";
  }
  if (!trimmed.empty() && trimmed[0] == ' ') {
    return "the name " + in_quotes(field) +
           " starts with a blank; write it from the column after the blank";
  }
  if (const std::string problem = data_file_name_problem(trimmed); !problem.empty()) {
    return "the name " + in_quotes(field) + " cannot be used: " + problem;
  }
  return {};
}

// Reads the 59 lines of `text` into `read`. Empty when the whole text was read; otherwise the
// problem, beginning with "line N (field): " or "ends after line N".
std::string read_lines(std::string_view text, ParameterSet& read) {
  int number = 0;
  std::size_t position = 0;
  for (const Line& line : file_lines()) {
    ++number;
    if (position >= text.size()) {
      return "ends after line " + std::to_string(number - 1) + "; a parameter file has " +
             std::to_string(kParameterFileLines) + " lines";
    }
    const std::size_t end = std::min(text.find('\n', position), text.size());
    std::string_view row = text.substr(position, end - position);
    position = end + 1;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (line.kind == Line::Kind::header) continue;
    const std::size_t label = std::strlen(line.text);
    const std::string_view rest = row.substr(std::min(label, row.size()));
    const std::string problem = line.kind == Line::Kind::name ? read_name(rest, read.data_file_name)
                                                              : read_field(rest, *line.field, read);
    if (!problem.empty()) {
      return "line " + std::to_string(number) + " (" + field_name(line) + "): " + problem;
    }
  }
  return {};
}

std::string located(const std::string& path, const std::string& problem) {
  return "The parameter file " + quoted(path) + (problem.rfind("line", 0) == 0 ? ", " : " ") +
         problem + ".";
}

}  // namespace

bool fits_parameter_file(float value) {
  return std::isfinite(value) &&
         std::isfinite(std::strtof(format_scientific(value, 12, 5).c_str(), nullptr));
}

FileResult read_parameter_text(std::string_view text, const std::string& path,
                               ParameterSet& parameters) {
  ParameterSet read = parameters;
  if (const std::string problem = read_lines(text, read); !problem.empty()) {
    return {false, located(path, problem)};
  }
  parameters = read;
  return {};
}

FileResult read_parameter_file(const std::string& path, ParameterSet& parameters) {
  // Not blocking: a pipe or a device is refused below instead of being waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return {false, "Cannot open the parameter file " + quoted(path) + ": " + std::strerror(errno)};
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    return {false, "Cannot read the parameter file " + quoted(path) + ": " + std::strerror(errno)};
  }
  if (S_ISDIR(info.st_mode)) {
    return {false, "The parameter file " + quoted(path) + " is a directory, not a file."};
  }
  if (!S_ISREG(info.st_mode)) {
    return {false, "The parameter file " + quoted(path) +
                       " is not a regular file (it is a device, a pipe or a socket)."};
  }
  const std::string too_long = "The parameter file " + quoted(path) +
                               " is longer than any parameter file (at most " +
                               std::to_string(kMaxParameterFileBytes) + " bytes).";
  if (info.st_size > static_cast<off_t>(kMaxParameterFileBytes)) return {false, too_long};
  std::string text(kMaxParameterFileBytes + 1, '\0');
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t n = ::read(fd, text.data() + size, text.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return {false,
              "Cannot read the parameter file " + quoted(path) + ": " + std::strerror(errno)};
    }
    size += static_cast<std::size_t>(n);
  }
  if (size > kMaxParameterFileBytes) return {false, too_long};
  text.resize(size);
  return read_parameter_text(text, path, parameters);
}

FileResult write_parameter_file(const std::string& path, const ParameterSet& parameters) {
  ParameterSet written = parameters;
  written.time_scale = written.pulse_width;
  const std::string text = format_parameter_file(written);
  // Nothing is written that the reader would refuse (an infinite value, a name it cannot use).
  ParameterSet read_back = written;
  if (const std::string problem = read_lines(text, read_back); !problem.empty()) {
    return {false, "The parameter file " + quoted(path) +
                       " was not saved, because it would not read back: " + problem + "."};
  }
  if (const SaveResult saved = save_file_contents(path, text); !saved) {
    return {false, "Cannot save the parameter file " + quoted(path) + ": " + saved.reason + "."};
  }
  return {};
}

std::string current_parameter_file(const ParameterFileLocation& location) {
  return location.parameter_file_mode == ParameterFileMode::full_path
             ? trimmed_right(location.parameter_file_path)
             : trimmed_right(location.parameter_file_name);
}

FileResult transfer_parameter_file(TransferDirection direction, ParameterSet& parameters,
                                   const ParameterFileLocation& location) {
  const std::string path = current_parameter_file(location);
  if (direction == TransferDirection::read) {
    std::error_code error;
    if (std::filesystem::exists(path, error) || error) return read_parameter_file(path, parameters);
    set_default_parameter_groups(parameters);
  }
  const FileResult written = write_parameter_file(path, parameters);
  if (written) parameters.time_scale = parameters.pulse_width;  // the record follows the file
  return written;
}

}  // namespace kt
