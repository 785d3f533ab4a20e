#include "app/batch/option_words.h"

#include <string_view>

namespace kt::batch {
namespace {

struct OptionName {
  std::string_view key, option;
};

// The settings whose option is not the key with dashes.
constexpr OptionName kOptions[] = {
    {"refinement", "--refine"}, {"grid_refinement", "--grid-refine"},
    {"rate_hz", "--rate"},      {"spot_radius_um", "--spot-radius"},
    {"fluences", "--fluence"},
};

std::string option_of(std::string_view key) {
  for (const OptionName& o : kOptions)
    if (o.key == key) return std::string(o.option);
  std::string option = "--";
  for (char c : key) option += c == '_' ? '-' : c;
  return option;
}

}  // namespace

std::string OptionWords::text(const SettingMention& mention) const {
  std::string out = option_of(mention.key);
  if (mention.value.empty()) return out;
  out += ' ';
  out += mention.value;
  // The range of a field: its name is the mention's value.
  if (mention.key == "bounds") out += "=LO:HI";
  return out;
}

void use_option_words() {
  static const OptionWords words;
  set_setting_words(&words);
}

}  // namespace kt::batch
