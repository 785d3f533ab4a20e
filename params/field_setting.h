// One field of the Parameter set given as text, FIELD=VALUE, on top of a parameter file: the
// field by its name (a misspelt name gets the nearest one), the value a number, a choice's name
// or code, or the data file name, held and range-checked as a value of the file is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "params/parameter_set.h"

namespace kt {

// Applies the settings in order (a later one of the same field wins), then checks each field
// set as a run checks the file's values. Empty when all were applied; otherwise the problem,
// beginning with the setting ("fluence=-5: Fluence [mJ/cm^2] is -5; it must be greater than 0"),
// and `parameters` unchanged.
std::string apply_field_settings(ParameterSet& parameters,
                                 const std::vector<std::string>& settings);

}  // namespace kt
