// The batch runner's words for the settings its messages name: each setting is the option that
// sets it ("--refine 4", "--scheme accurate", "--bounds NAME=LO:HI").
#pragma once

#include <string>

#include "params/setting_words.h"

namespace kt::batch {

class OptionWords : public SettingWords {
 public:
  std::string text(const SettingMention& mention) const override;
};

// Installs the option words for the whole program (once, at its start).
void use_option_words();

}  // namespace kt::batch
