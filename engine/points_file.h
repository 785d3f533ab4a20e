// The points file of a listed study: a line of field names, then one line of values per point,
// comma separated; blank lines and lines starting with # are skipped. It is read a block at a
// time, never whole: the points are counted first, and a file listing more than
// kMaximumListedPoints is refused with its count before any point is stored.
#pragma once

#include <cstddef>
#include <string>

#include "engine/study.h"

namespace kt {

// The most points a points file lists.
inline constexpr std::size_t kMaximumListedPoints = 10'000'000;

// Reads the points file `path` (at most kMaximumDataFileBytes) into a listed study. Empty on
// success; otherwise the problem, naming the file and, where one is to blame, its line, and
// `plan` is unchanged.
std::string read_points_file(const std::string& path, StudyPlan& plan);

}  // namespace kt
