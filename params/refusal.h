// Why something asked for does not run, as data: what is wrong, which setting is at fault and
// what would do. The checks of the settings (params/experiment_file.h) and every use case of
// the engine (engine/refusal.h) return one; the front ends say it in their own words (the
// setting's key becomes an option or a keyword argument) and nothing has run or been written.
#pragma once

#include <string>

namespace kt {

struct Refusal {
  // What is wrong, naming the file, the field or the line it comes from; the settings it names
  // are in the front end's words (params/setting_words.h).
  std::string problem;
  // The key of the setting at fault (`refinement`, `fluences`, `scheme`, `shard`, ...); empty
  // when the fault is in a file or the parameters themselves.
  std::string setting;
  // What would make the request run; empty when the problem says it.
  std::string remedy;

  // The problem, then the remedy after "; ".
  std::string text() const { return remedy.empty() ? problem : problem + "; " + remedy; }
  // True when there is nothing to refuse.
  bool empty() const { return problem.empty(); }
};

}  // namespace kt
