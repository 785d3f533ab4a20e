// The hash of a study: the same for every shard and every chunk of one study.
#include <bit>
#include <cstdint>
#include <string_view>

#include "engine/study.h"
#include "params/material_file.h"

namespace kt {
namespace {

struct Fnv1a {
  std::uint64_t value = 14695981039346656037ull;
  void add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      value ^= bytes[i];
      value *= 1099511628211ull;
    }
  }
  void add(std::string_view text) {
    add(text.data(), text.size());
    add("\n", 1);
  }
  void add(float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
        static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    add(bytes, 4);
  }
  void add(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
      const unsigned char byte = static_cast<unsigned char>(v >> (8 * i));
      add(&byte, 1);
    }
  }
};

}  // namespace

std::string study_hash(const ParameterSet& base, const StudyPlan& plan) {
  Fnv1a h;
  h.add(std::string_view("kestrium study 1"));
  for (const ParameterField& field : parameter_fields()) {
    h.add(field.name);
    h.add(field_value(base, field));
  }
  for (const ParameterField* field : plan.fields) h.add(field->name);
  h.add(static_cast<std::uint64_t>(plan.refinement));
  if (plan.setup.scheme != Scheme::published)
    h.add(std::string_view(scheme_name(plan.setup.scheme)));
  if (has_energy_columns(plan.columns)) h.add(std::string_view("energy columns"));
  if (plan.setup.material) {
    h.add(std::string_view("material file"));
    h.add(std::string_view(plan.setup.material->text));
  }
  if (has_train_columns(plan.columns)) h.add(std::string_view("train columns"));
  if (has_error_columns(plan.columns)) h.add(std::string_view("error columns"));
  if (!plan.setup.identity.empty()) {
    h.add(std::string_view("experiment"));
    h.add(std::string_view(plan.setup.identity));
  }
  h.add(std::string_view(plan.axes.empty() ? "listed" : "product"));
  const std::vector<std::vector<float>>& lists = plan.axes.empty() ? plan.listed_points : plan.axes;
  h.add(static_cast<std::uint64_t>(lists.size()));
  for (const std::vector<float>& list : lists) {
    h.add(static_cast<std::uint64_t>(list.size()));
    for (float v : list) h.add(v);
  }
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(h.value));
  return buffer;
}

}  // namespace kt
