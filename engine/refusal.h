// Why a request does not run, as data: what is wrong, which setting is at fault and what would
// do. Every use case of the engine (run, sweep, study, merge, fit, threshold) prepares its
// request before any work and returns either its plan or a refusal; the front ends say it in
// their own words (the setting's key becomes an option or a keyword argument) and nothing has
// run or been written.
#pragma once

#include <optional>
#include <string>
#include <utility>

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
};

// The plan of a prepared request, or its refusal.
template <typename Plan>
struct Prepared {
  std::optional<Plan> plan;
  Refusal refusal;

  Prepared(Plan p) : plan(std::move(p)) {}        // NOLINT: a plan is a prepared request
  Prepared(Refusal r) : refusal(std::move(r)) {}  // NOLINT: so is a refusal
  explicit operator bool() const { return plan.has_value(); }
  const Plan& operator*() const { return *plan; }
  const Plan* operator->() const { return &*plan; }
};

}  // namespace kt
