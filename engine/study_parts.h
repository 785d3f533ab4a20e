// What the files of the study share (engine/study.cpp, study_hash.cpp, study_table.cpp,
// study_merge.cpp); not for use outside them.
#pragma once

#include <cstddef>
#include <string>

#include "engine/study.h"

namespace kt::study_parts {

// The shortest text that reads back as the same 32-bit value.
std::string float_text(float value);

// The number of points of `shard` in a study of `total` points.
std::size_t shard_point_count(std::size_t total, const StudyShard& shard);

// The comment line that opens a table: "# study HASH; N points; shard I/N\n".
std::string header_line(const std::string& hash, std::size_t points, const StudyShard& shard);

}  // namespace kt::study_parts
