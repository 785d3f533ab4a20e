// Every use case of the engine (run, sweep, study, merge, fit, threshold) prepares its request
// before any work and returns either its plan or a refusal (params/refusal.h); the front ends
// say it in their own words (the setting's key becomes an option or a keyword argument) and
// nothing has run or been written.
#pragma once

#include <optional>
#include <utility>

#include "params/refusal.h"

namespace kt {

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
  Plan& operator*() { return *plan; }
  Plan* operator->() { return &*plan; }
};

}  // namespace kt
