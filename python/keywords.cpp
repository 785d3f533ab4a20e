// The Python module's words for the settings its messages name: each setting is the keyword
// argument that sets it ("refinement=4", scheme="accurate", bounds={'NAME': (LO, HI)}).
#include <string>
#include <string_view>

#include "params/setting_words.h"
#include "python/bindings.h"

namespace kt::python {
namespace {

// The settings whose value is a word, written as a Python string.
constexpr std::string_view kWordSettings[] = {"scheme", "pulse_shape", "method", "quantity"};

bool is_placeholder(std::string_view value) {
  return !value.empty() && value[0] >= 'A' && value[0] <= 'Z';
}

class KeywordWords : public SettingWords {
 public:
  std::string text(const SettingMention& m) const override {
    std::string out(m.key);
    if (m.value.empty()) return out;
    out += '=';
    if (m.key == "bounds") return out + "{'" + std::string(m.value) + "': (LO, HI)}";
    if (m.key == "vary" && m.value == "NAME=VALUES") return out + "{NAME: VALUES}";
    if (m.key == "vary" && m.value == "NAME[,NAME...]") return out + "[NAME, ...]";
    for (std::string_view word : kWordSettings)
      if (m.key == word && !is_placeholder(m.value)) return out + '"' + std::string(m.value) + '"';
    return out + std::string(m.value);
  }
};

}  // namespace

void use_keyword_words() {
  static const KeywordWords words;
  set_setting_words(&words);
}

}  // namespace kt::python
