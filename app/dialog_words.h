// The desktop program's words for the settings its messages name: each setting is the field of
// the Experiment dialog that sets it, by its label ("Number of pulses" 4, "Numerical scheme"
// published); a setting without a field keeps the plain words ("refinement 4").
#pragma once

#include <string>
#include <string_view>

#include "params/setting_words.h"

namespace kt {

class DialogWords : public SettingWords {
 public:
  std::string text(const SettingMention& mention) const override;
};

// The label of the Experiment dialog's field (or group) that sets `key`, without its colon and
// its "(empty: none)"; empty when no field sets it.
std::string experiment_field_label(std::string_view key);

// Installs the dialog's words for the whole program (before any thread starts).
void use_dialog_words();

}  // namespace kt
