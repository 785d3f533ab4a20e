// Where the program's own data files (the help file and the logo) are found: in the current
// directory first, then in the program's data directory beside the executable. Parameter and
// result files are not looked up this way; they stay in the current directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kt {

// `name` when it exists in the current directory, else `data_directory`/`name` (the build
// tree) or `data_directory`/../share/kestrium/`name` (an installed tree) when that exists,
// else `name` (so that a missing file is reported by its plain name).
std::string find_data_file(std::string_view name, const std::filesystem::path& data_directory);

// The directory of the running executable, or an empty path when it cannot be told.
std::filesystem::path executable_directory(const char* argv0);

}  // namespace kt
