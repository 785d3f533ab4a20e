// The parameter file: one complete Parameter set as 59 lines of fixed-layout text with CR LF
// line ends, each value behind a descriptive label. Reading is positional: values are taken
// from fixed lines and columns, labels are never compared.
#pragma once

#include <string>

#include "params/parameter_set.h"

namespace kt {

inline constexpr int kParameterFileLines = 59;

struct FileResult {
  bool ok = true;
  std::string message;  // names the file and the problem when !ok
  explicit operator bool() const { return ok; }
};

// The whole file text for a Parameter set (time_scale written as it stands).
std::string format_parameter_file(const ParameterSet& parameters);

// Converts a 12-character number field: blanks ignored (all blanks give 0), optional sign,
// digits with or without a point (without one the last five digits are the fraction), and an
// optional exponent written with E or D or as a signed integer after the digits.
// Returns false when the field holds a character that cannot belong to a number.
bool convert_number_field(std::string_view field, float& value);

// Reads all 59 lines into `parameters`. Nothing is changed unless the whole file was read.
FileResult read_parameter_file(const std::string& path, ParameterSet& parameters);

// Sets time_scale to pulse_width, then writes the file. The file is written beside the
// target under a temporary name and renamed into place, so a failed write leaves the
// previous file whole.
FileResult write_parameter_file(const std::string& path, ParameterSet& parameters);

// The current parameter file's name: parameter_file_name in mode 1.0, parameter_file_path in
// mode 2.0, trailing blanks removed.
std::string current_parameter_file(const ParameterFileLocation& location);

// direction 0 reads the current file (a missing file gives the defaults and is written with
// them); direction 1 writes it.
FileResult transfer_parameter_file(int direction, ParameterSet& parameters,
                                   const ParameterFileLocation& location);

}  // namespace kt
