// Fuzz target (libFuzzer) for the merge of shard tables. The input is one or two tables (split
// at the first form feed). Besides crashes, sanitizer findings, hangs and memory blow-ups from
// hostile headers, it checks the merge's promise: a merged table is itself a table of the whole
// study, and merging it alone gives it back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/study.h"

namespace {

void require(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<kt::ShardTable> tables;
  const std::size_t split = text.find('\f');
  tables.push_back({"a.csv", std::string(text.substr(0, split))});
  if (split != std::string_view::npos)
    tables.push_back({"b.csv", std::string(text.substr(split + 1))});
  std::string merged;
  const std::string error = kt::merge_study_tables(tables, merged);
  if (!error.empty()) {
    require(merged.empty());
    require(error.size() < 4096);  // a refusal is a message, not a listing
    return 0;
  }
  std::string again;
  require(kt::merge_study_tables({{"merged.csv", merged}}, again).empty());
  require(again == merged);
  return 0;
}
