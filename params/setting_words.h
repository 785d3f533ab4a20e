// Settings named in messages. A message of the model, the engine or the analyses that names a
// setting the user can change (a remedy such as a finer time step, a setting that does not go
// with another) names it by its key, the name it has in the experiment file and the Parameter
// set (`refinement`, `scheme`, `pulse_shape`, `rate_hz`, `bounds`, ...), through
// setting_text(). How the key is written is the front end's: the batch runner writes its
// option, Python "refinement=4"; the desktop program and a library user keep the plain words
// ("refinement 4"). A front end installs its words once, at its start, before any thread.
#pragma once

#include <string>
#include <string_view>

namespace kt {

// A setting and the value a message gives it: a number, a choice ("accurate"), a placeholder
// ("K", "FILE.csv", "NAME=VALUES", "NAME[,NAME...]", "I/N"), a field name (for `bounds`: the
// field whose range is meant), or nothing.
struct SettingMention {
  std::string_view key;
  std::string_view value;
};

// How a front end writes a setting.
class SettingWords {
 public:
  virtual ~SettingWords() = default;
  // The plain words: the key, then the value after a space ("refinement 4", "pulse_shape").
  virtual std::string text(const SettingMention& mention) const;
};

// Installs `words` (which must outlive every message) for the whole process; null restores the
// plain words. Call it before any thread starts.
void set_setting_words(const SettingWords* words);

// The plain words, and the words installed.
const SettingWords& plain_setting_words();
const SettingWords& setting_words();

// The setting as the installed words write it.
std::string setting_text(std::string_view key, std::string_view value = {});

}  // namespace kt
