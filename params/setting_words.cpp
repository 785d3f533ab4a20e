#include "params/setting_words.h"

namespace kt {
namespace {

const SettingWords kPlainWords;
const SettingWords* installed = &kPlainWords;

}  // namespace

std::string SettingWords::text(const SettingMention& mention) const {
  std::string out(mention.key);
  if (!mention.value.empty()) {
    out += ' ';
    out += mention.value;
  }
  return out;
}

const SettingWords& plain_setting_words() {
  return kPlainWords;
}
const SettingWords& setting_words() {
  return *installed;
}

void set_setting_words(const SettingWords* words) {
  installed = words ? words : &kPlainWords;
}

std::string setting_text(std::string_view key, std::string_view value) {
  return installed->text({key, value});
}

}  // namespace kt
