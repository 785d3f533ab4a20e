// The parameter file: one complete Parameter set as 59 lines of fixed-layout text with CR LF
// line ends, each value behind a descriptive label. Reading is positional: values are taken
// from fixed lines and columns, labels are never compared.
#pragma once

#include <string>
#include <string_view>

#include "params/parameter_set.h"

namespace kt {

inline constexpr int kParameterFileLines = 59;
// No parameter file is longer (one written by the program has about 2300 bytes).
inline constexpr std::size_t kMaxParameterFileBytes = 8192;

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

// True when `value` is finite and its 12-column form in the file reads back as a finite value
// (every finite float but the few within rounding of the largest one).
bool fits_parameter_file(float value);

// Reads all 59 lines into `parameters`. Nothing is changed unless the whole file was read.
// Refused, with the line, the field and the problem: a file that is not a regular file or is
// longer than kMaxParameterFileBytes; a number field whose column reading differs from the
// plain reading of the characters after its label (a shifted number, "150" that the columns
// read as 0.0015), or that does not fit a finite single-precision number; a choice that is not
// a whole number (switches read 1 as on and any other number as off); a name that runs past
// its columns, starts with a blank, or holds a control character, a path separator or "..".
FileResult read_parameter_file(const std::string& path, ParameterSet& parameters);
// The same for text already in memory; `path` only names the file in messages.
FileResult read_parameter_text(std::string_view text, const std::string& path,
                               ParameterSet& parameters);

// Writes the file with time_scale set to pulse_width (the record itself is not changed: a
// caller that keeps it in step with the file sets its time_scale on success). A record whose
// file the reader would refuse (an infinite value, an unusable name) is not written. The file
// is replaced through a temporary (see safe_save.h), so a failed write leaves the previous file
// whole; every failure names its reason.
FileResult write_parameter_file(const std::string& path, const ParameterSet& parameters);

// The current parameter file's name: parameter_file_path in the full_path mode,
// parameter_file_name otherwise, trailing blanks removed.
std::string current_parameter_file(const ParameterFileLocation& location);

enum class TransferDirection {
  read,  // a missing file gives the defaults and is written with them
  write,
};

// Reads or writes the current parameter file.
FileResult transfer_parameter_file(TransferDirection direction, ParameterSet& parameters,
                                   const ParameterFileLocation& location);

}  // namespace kt
