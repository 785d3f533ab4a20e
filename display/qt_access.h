// Toolkit-level access for the display layer's own tests and demo programs: make a frame
// window without running the application, and reach the widgets behind the display
// operations (for QTest typing and clicking). Not for the rest of the system.
#pragma once

#include "display/application.h"
#include "display/display.h"

class QDialog;
class QMainWindow;
class QMenuBar;
class QWidget;

namespace kt::display {

// Makes the frame window with its main window (a QApplication must exist; GUI thread). It is
// not shown. Replaces any earlier frame window.
bool create_frame_window(const ApplicationOptions& options);
// Shows the frame window.
void show_frame_window();
// Destroys the frame window; operations then fail as without a window.
void destroy_frame_window();

QMainWindow* frame_window();
QWidget* main_window_widget();  // the widget that shows the surface and takes keys
QMenuBar* frame_menu_bar();

QDialog* dialog_widget(DialogObject& dialog);
// The widget that holds every control of the dialog, one child per template control in template
// order, inside the dialog's scroll area; its object name is kDialogCanvasName.
QWidget* dialog_canvas(DialogObject& dialog);
inline constexpr const char* kDialogCanvasName = "dialog_controls";
// The widget of a control of the dialog, or null when the template has no such control.
QWidget* dialog_control(DialogObject& dialog, int control_id);

}  // namespace kt::display
