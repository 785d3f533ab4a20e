// A dialog template: what the display layer builds a modal dialog from, as plain data. Caption,
// position and size in dialog units, font, and every control in tab order. The display layer
// knows no particular dialog; its callers own their templates and their control ids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kt::display {

// Push buttons with these ids close the dialog with that result (dialog_run_modal).
inline constexpr std::int32_t kDialogOk = 1;
inline constexpr std::int32_t kDialogCancel = 2;

enum class ControlKind { group_box, radio_button, label, edit_field, push_button };

struct ControlTemplate {
  std::int32_t id = 0;  // unique within the template
  ControlKind kind = ControlKind::label;
  std::string text;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  bool group_start = false;                 // first control of a group (radio group, label)
  bool default_button = false;
};

struct DialogTemplate {
  std::string caption;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  std::string font_face = "MS Sans Serif";
  int font_points = 8;
  std::vector<ControlTemplate> controls;
};

}  // namespace kt::display
