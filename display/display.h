// Display services: the window, text, graphics, menu and dialog operations that the rest of
// the system calls. This header has no Qt types; display/ alone knows the toolkit.
//
// Coordinates are pixels relative to the viewport origin unless an operation says "real".
// Every operation on the main window is atomic across threads (one lock per window). With no
// main window, every operation does nothing and returns its failure value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "display/dialog_template.h"

namespace kt::display {

// ---- Screen, windows -------------------------------------------------------------------

// Eleven 16-bit fields: width, height, text columns, text rows, colours, bits per pixel,
// video pages (0), mode (-1), adapter (0), monitor (0), memory (0).
struct ScreenConfig {
  std::int16_t width = 0, height = 0, text_columns = 0, text_rows = 0, colours = 0,
               bits_per_pixel = 0, video_pages = 0, mode = -1, adapter = 0, monitor = 0, memory = 0;
};
struct PixelPosition {
  std::int16_t x = 0, y = 0;
};
struct RealPosition {
  double x = 0.0, y = 0.0;
};

enum class WindowTarget { frame, main };
// state 1 minimize, 2 maximize, 3 restore, 4 place at (x, y) with the given size.
struct WindowRequest {
  std::int16_t state = 0, x = 0, y = 0, height = 0, width = 0;
};

void query_screen_config(ScreenConfig& out);
std::int16_t set_window_size(WindowTarget target, const WindowRequest& request);
std::int16_t get_window_size(WindowTarget target, WindowRequest& out);
std::int16_t tile_windows();
std::int16_t toggle_status_bar();

// ---- Fonts, colours, graphics ------------------------------------------------------------

std::int16_t initialize_fonts();                         // count, negative: no window
std::int16_t set_font(const char* request, int length);  // font number from 1, or -1
std::int16_t set_color(std::int16_t index);              // previous index, -1: no window
std::int16_t draw_rectangle(std::int16_t mode, std::int16_t x1, std::int16_t y1, std::int16_t x2,
                            std::int16_t y2);  // mode 2 outline, 3 filled
void move_to(std::int16_t x, std::int16_t y, PixelPosition* previous = nullptr);
std::int16_t line_to(std::int16_t x, std::int16_t y);
void move_to_real(double x, double y, RealPosition* previous = nullptr);
std::int16_t line_to_real(double x, double y);
void current_position_real(RealPosition& out);
// One line of a real-coordinate path: drawn in palette colour `colour` from (x1, y1) to (x2, y2).
struct RealSegment {
  std::int16_t colour = 15;
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};
// Draws `count` segments in order as one operation: each is set_color(colour),
// move_to_real(x1, y1), line_to_real(x2, y2), with the same pixels, colour and final position
// as those calls would leave. Lets a curve of many segments take the window's lock once.
// Nonzero on success.
std::int16_t draw_real_segments(const RealSegment* segments, int count);
void set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
std::int16_t set_real_window(std::int16_t invert, double x1, double y1, double x2, double y2);
void draw_text(const char* text, int length);

// ---- Text layer ----------------------------------------------------------------------------

void write_text(const char* text, int length);
void write_line(std::string_view line);

// ---- Bitmaps and saved rectangles ------------------------------------------------------------

std::int16_t load_bitmap(const char* file_name, int length, std::int16_t x, std::int16_t y);
std::int32_t image_size(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
void save_image(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2,
                unsigned char* buffer);
// action 0 OR, 1 AND, 2 inverted copy, 3 copy, 4 XOR
void restore_image(std::int16_t x, std::int16_t y, const unsigned char* buffer,
                   std::int16_t action);

// ---- Keys ----------------------------------------------------------------------------------

std::int16_t read_key();

// ---- Menus ---------------------------------------------------------------------------------

using MenuCallback = std::function<void(std::int32_t checked)>;
inline constexpr std::int32_t kMenuGrayed = 1, kMenuDisabled = 2, kMenuEnabled = 4,
                              kMenuSeparator = 8, kMenuChecked = 16;
// `shortcut` (a key sequence such as "Ctrl+O" or "F5", empty for none) triggers the item from
// anywhere in the frame and is shown beside it in its popup.
bool append_menu_item(std::int32_t bar_position, std::int32_t state_flags, std::string_view text,
                      MenuCallback callback, std::string_view shortcut = {});
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

// A modal message box over the frame (used for file errors the user must see).
void show_message(std::string_view title, std::string_view text);
// The end-of-program query: "Program Terminated with exit code " + code, a new line,
// "Exit Window?", Yes/No with No the default; Yes ends the application.
void end_program(int exit_code);
// Closes the frame window and ends the application (the Exit command).
void close_frame_window();

// ---- Offscreen surfaces (tests, the batch runner's pictures, benchmarks) -----------------------

// Makes an offscreen main window of the given size the target of every operation above (no
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
