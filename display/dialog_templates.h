// The dialog templates of the parameter dialogs: caption, position and size in dialog units,
// font, and every control in tab order.
#pragma once

#include <vector>

namespace kt::display {

enum class ControlKind { group_box, radio_button, label, edit_field, push_button };

struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::label;
  const char* text = "";
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  bool group_start = false;                 // first control of a group (radio group, label)
  bool default_button = false;
};

struct DialogTemplate {
  int id = 0;
  const char* caption = "";
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  const char* font_face = "MS Sans Serif";
  int font_points = 8;
  std::vector<ControlTemplate> controls;
};

// The template with this id, or null.
const DialogTemplate* find_dialog_template(int id);

}  // namespace kt::display
