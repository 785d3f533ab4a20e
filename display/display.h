// Display services: the window, text, graphics, menu and dialog operations that the rest of
// the system calls. This header has no Qt types; display/ alone knows the toolkit.
//
// The drawing operations themselves belong to a drawing context (display/drawing_context.h),
// each with its own pen; what is here is shared by every drawer. Every operation on the main
// window is atomic across threads (one lock per window). With no main window, every operation
// does nothing and returns its failure value.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "display/dialog_template.h"

namespace kt::display {

// ---- Screen, windows -------------------------------------------------------------------

// The size of the main window's surface in pixels (0 without a main window).
struct ScreenConfig {
  std::int16_t width = 0, height = 0;
};
enum class WindowTarget { frame, main };
// A window's state and place: set_window_size takes state 2 (maximize) only; get_window_size
// reports 1 minimized, 2 maximized or 4 placed at (x, y) with the given size.
struct WindowRequest {
  std::int16_t state = 0, x = 0, y = 0, height = 0, width = 0;
};

void query_screen_config(ScreenConfig& out);
std::int16_t set_window_size(WindowTarget target, const WindowRequest& request);
std::int16_t get_window_size(WindowTarget target, WindowRequest& out);
std::int16_t toggle_status_bar();

// ---- Palette, fonts ---------------------------------------------------------------------------

// The sixteen palette colours by name; a drawing context's colour is one of them.
enum class PaletteColour : std::int16_t {
  black = 0,
  blue = 1,
  green = 2,
  cyan = 3,
  red = 4,
  magenta = 5,
  brown = 6,
  white = 7,
  grey = 8,
  light_blue = 9,
  light_green = 10,
  light_cyan = 11,
  light_red = 12,
  light_magenta = 13,
  yellow = 14,
  bright_white = 15,
};
inline constexpr int kPaletteSize = 16;
// 0xRRGGBB of the palette colours, by index.
inline constexpr std::array<std::uint32_t, kPaletteSize> kPalette = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
constexpr std::uint32_t palette_rgb(PaletteColour colour) {
  return kPalette[static_cast<std::size_t>(colour)];
}

// Builds the list of installed fonts that font requests select from: the count, negative
// without a main window.
std::int16_t initialize_fonts();

// ---- Graphics values -----------------------------------------------------------------------

struct PixelPosition {
  std::int16_t x = 0, y = 0;
};
struct RealPosition {
  double x = 0.0, y = 0.0;
};
// One line of a real-coordinate path: drawn in palette colour `colour` from (x1, y1) to (x2, y2).
struct RealSegment {
  std::int16_t colour = static_cast<std::int16_t>(PaletteColour::bright_white);
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};

// ---- Text layer ----------------------------------------------------------------------------

// The text layer: fixed-size cells in white on black from the top-left corner of the surface,
// one cursor for the whole window.
void write_text(const char* text, int length);
void write_line(std::string_view line);

// ---- Keys ----------------------------------------------------------------------------------

std::int16_t read_key();

// ---- Menus ---------------------------------------------------------------------------------

using MenuCallback = std::function<void(std::int32_t checked)>;
// The one state flag of a menu item: without it the item is shown greyed.
inline constexpr std::int32_t kMenuEnabled = 4;
// An item that toggles a check mark; its callback gets 1 when checked, 0 when not. In a popup
// the mark is the popup's own; on the bar itself, where no mark is drawn, the item's text
// begins with a box that is ticked while the item is checked.
inline constexpr std::int32_t kMenuCheckable = 8;
// `shortcut` (a key sequence such as "Ctrl+O" or "F5", empty for none) triggers the item from
// anywhere in the frame and is shown beside it in its popup.
bool append_menu_item(std::int32_t bar_position, std::int32_t state_flags, std::string_view text,
                      MenuCallback callback, std::string_view shortcut = {});
// Greys or enables a menu item: `item` 0 is the bar item itself, 1 and on the entries of its
// popup. False when there is no such item (or no frame window).
bool set_menu_item_enabled(std::int32_t bar_position, std::int32_t item, bool enabled);
// Sets the check mark of a checkable menu item (as `set_menu_item_enabled` finds it) without
// running its callback. False when there is no such item or it is not checkable.
bool set_menu_item_checked(std::int32_t bar_position, std::int32_t item, bool checked);
// True when the item exists, is checkable and shows its check mark.
bool menu_item_checked(std::int32_t bar_position, std::int32_t item);
// True when the item exists and is enabled.
bool menu_item_enabled(std::int32_t bar_position, std::int32_t item);
// Runs `work` later on the GUI thread, from any thread, without waiting for it. Work posted
// while the frame window exists runs only while it still does (dropped otherwise); without a
// frame window nothing is posted.
void post_to_frame(std::function<void()> work);
// A key of the frame that runs `callback` (with 0) without a menu item, e.g. "Esc". While a
// window waits for a key (read_key), every key goes to that window instead.
bool add_key_command(std::string_view shortcut, MenuCallback callback);

// ---- Dialogs -------------------------------------------------------------------------------

struct DialogObject;  // owned by the caller from dialog_init to dialog_release
using DialogCallback =
    std::function<void(DialogObject& dialog, std::int32_t control_id, std::int32_t kind)>;

// Creates the dialog object from a template (copied: the caller's may go once this returns);
// nullptr when two controls of the template share an id, or without a GUI application.
DialogObject* dialog_init(const DialogTemplate& form);
bool dialog_set_text(DialogObject& dialog, std::int32_t control_id, const char* text, int length);
bool dialog_set_checked(DialogObject& dialog, std::int32_t control_id, bool checked);
// Enables a control or greys it (a greyed control takes no input and keeps its text).
bool dialog_set_enabled(DialogObject& dialog, std::int32_t control_id, bool enabled);
// Marks an edit field with a note the user sees in the dialog (the field highlighted, the note
// as its tooltip); an empty note removes the mark.
bool dialog_set_note(DialogObject& dialog, std::int32_t control_id, const std::string& note);
// The control's current text, blank padded to `capacity` characters.
bool dialog_get_text(DialogObject& dialog, std::int32_t control_id, std::string& out, int capacity);
bool dialog_set_callback(DialogObject& dialog, std::int32_t control_id, DialogCallback callback);
// kDialogOk for OK, kDialogCancel for Cancel, Escape or the close box.
std::int32_t dialog_run_modal(DialogObject& dialog);
void dialog_release(DialogObject* dialog);

// ---- Open-file chooser -----------------------------------------------------------------------

// Shows the chooser (title, filters " PAR Files (*.par)" / " All Files (*.*)", initial name
// "*.par"). Returns the full path chosen or typed, or the unchanged `initial_name` on cancel.
std::string show_open_file_chooser(std::string_view title, std::string_view initial_name);

// Shows the save-file chooser for a picture (filter " PNG Pictures (*.png)"). Returns the full
// path chosen, with ".png" added when it has no extension, or empty on cancel.
std::string show_save_picture_chooser(std::string_view title, std::string_view initial_name);

// The chooser of a file to open with the given filters (e.g. " Pulse traces (*.csv)"; the
// first is selected) starting at `initial_path` (a file or folder; empty: the current folder).
// The full path chosen, or empty on cancel.
std::string choose_file_to_open(std::string_view title, std::string_view initial_path,
                                const std::vector<std::string>& filters);
// The chooser of a file to save, likewise; `suffix` (without the dot) is added to a name
// without an extension. The full path chosen, or empty on cancel.
std::string choose_file_to_save(std::string_view title, std::string_view initial_path,
                                const std::vector<std::string>& filters, std::string_view suffix);

// ---- Messages and the end of the program -------------------------------------------------------

// The frame's title: the program's caption, then " - " and `document` when it is not empty.
void set_document_title(std::string_view document);
enum class SaveChoice { save, discard, cancel };
// Asks whether changes are to be saved: Save, Discard or Cancel (the default; Escape and the
// close box too). Without a frame window: cancel.
SaveChoice ask_to_save(std::string_view title, std::string_view text);
// Asked on the GUI thread when the user closes the frame by its close box; false keeps the
// frame open. Not asked when the program closes it (close_frame_window).
void set_close_query(std::function<bool()> query);

// Told on the GUI thread each time the main window's surface has been made anew because the
// frame's client area changed size (the user resized or maximized the frame): the surface is
// then blank, of the new size, and the page is to be laid out and drawn again.
void set_surface_resized_handler(std::function<void()> handler);

// A modal message box over the frame (used for file errors the user must see).
void show_message(std::string_view title, std::string_view text);
// The end-of-program query: "Program Terminated with exit code " + code, a new line,
// "Exit Window?", Yes/No with No the default; Yes ends the application.
void end_program(int exit_code);
// Closes the frame window and ends the application (the Exit command).
void close_frame_window();

// ---- Offscreen surfaces (tests, the batch runner's pictures, benchmarks) -----------------------

// Makes an offscreen main window of the given size the target of every drawing operation (no
// frame, no widgets; a QGuiApplication must exist). With a device pixel ratio above 1 (at most
// 4) the surface holds that many device pixels per pixel, as on a high-density screen.
// Returns false when one cannot be made.
bool create_offscreen_main_window(int width, int height, double device_pixel_ratio = 1.0);
// Removes the offscreen main window; operations then fail as without a window.
void destroy_offscreen_main_window();
// 0xRRGGBB of a device pixel of the surface (absolute; surface pixels at ratio 1), or -1
// outside the surface.
std::int32_t surface_pixel(int x, int y);
// Saves the whole surface as a PNG file.
bool save_surface_png(const std::string& path);

}  // namespace kt::display
