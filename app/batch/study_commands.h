// The batch runner's study commands: `study` runs a parameter study (or one shard of it) and
// writes its table; `merge` joins shard tables into the table of the whole study.
#pragma once

#include <string>
#include <vector>

namespace kt {

// The arguments after "study" / "merge"; the exit status (0 done, 1 failed, 2 bad arguments,
// 130 interrupted).
int study_command(const std::vector<std::string>& args);
int merge_command(const std::vector<std::string>& args);

// The help texts of both commands.
std::string study_help();
std::string merge_help();

}  // namespace kt
