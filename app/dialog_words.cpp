#include "app/dialog_words.h"

#include <cstdint>

#include "app/experiment_dialog.h"

namespace kt {
namespace {

struct FieldOf {
  std::string_view key;
  std::int32_t control;  // a field (its label is the control before it) or a group box
  bool group;
};

constexpr FieldOf kFields[] = {
    {"scheme", kSchemeGroup, true},
    {"pulse_shape", kShapeGroup, true},
    {"trace", kTraceField, false},
    {"pulses", kPulsesField, false},
    {"rate_hz", kRateField, false},
    {"incubated_absorption", kIncubatedField, false},
    {"material", kMaterialField, false},
    {"beam", kSpotGroup, true},
    {"spot_radius_um", kSpotRadiusField, false},
};

std::string trimmed_label(std::string label) {
  const std::size_t first = label.find_first_not_of(' ');
  label.erase(0, first == std::string::npos ? label.size() : first);
  while (!label.empty() && (label.back() == ' ' || label.back() == ':')) label.pop_back();
  if (const std::size_t empty = label.find(" (empty:"); empty != std::string::npos)
    label.resize(empty);
  return label;
}

}  // namespace

std::string experiment_field_label(std::string_view key) {
  for (const FieldOf& f : kFields) {
    if (f.key != key) continue;
    const std::int32_t label_id = f.group ? f.control : f.control - 1;
    for (const display::ControlTemplate& c : experiment_template().controls)
      if (c.id == label_id) return trimmed_label(c.text);
  }
  return {};
}

std::string DialogWords::text(const SettingMention& mention) const {
  const std::string label = experiment_field_label(mention.key);
  if (label.empty()) return SettingWords::text(mention);
  std::string out = "\"" + label + "\"";
  if (!mention.value.empty()) {
    out += ' ';
    out += mention.value;
  }
  return out;
}

void use_dialog_words() {
  static const DialogWords words;
  set_setting_words(&words);
}

}  // namespace kt
