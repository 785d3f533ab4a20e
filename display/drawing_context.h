// A drawing context: one drawer's pen on the main window. It holds the pen state — colour,
// current position, viewport and clip, real window, selected font and the text advance still
// owed — and draws on the main window's surface, whichever surface that is at each operation
// (the frame makes the surface anew when its client area changes size). Two contexts never
// disturb each other's pen state; the surface's lock is held only while pixels are written.
//
// A context is used by one thread at a time. With no main window, every operation does
// nothing and returns its failure value. This header has no Qt types.
#pragma once

#include <cstdint>
#include <memory>

#include "display/display.h"

namespace kt::display {

// A real window over a viewport of `width` x `height` pixels: x from its minimum at the left
// edge to its maximum at the right edge, y likewise from the top edge down (or from the bottom
// edge up when inverted), each value rounded to the nearest pixel, halves away from zero.
// Before a window is set, real coordinates are pixels.
class RealWindow {
 public:
  // False, and nothing changes, when an extent is empty. The bounds may come in any order.
  bool set(bool invert, double x1, double y1, double x2, double y2);
  int x_to_pixel(int width, double x) const;
  int y_to_pixel(int height, double y) const;
  // The same at `ratio` device pixels per pixel: the device pixel (from the viewport's first)
  // nearest to where the value falls, so that a curve follows its values at the device's
  // resolution rather than in steps of whole pixels.
  int x_to_device(int width, double x, double ratio) const;
  int y_to_device(int height, double y, double ratio) const;
  void to_real(int width, int height, int px, int py, double& x, double& y) const;

 private:
  bool set_ = false;
  bool invert_ = false;
  double x_min_ = 0.0, y_min_ = 0.0, x_max_ = 1.0, y_max_ = 1.0;
  double x_reciprocal_ = 1.0, y_reciprocal_ = 1.0;  // 1 / (max - min) of each axis
};

class DrawingContext {
 public:
  // A pen in colour bright white at (0, 0), over the whole surface, without a real window
  // (real coordinates are then pixels) and with the text layer's font.
  DrawingContext();
  ~DrawingContext();
  DrawingContext(const DrawingContext&) = delete;
  DrawingContext& operator=(const DrawingContext&) = delete;

  // ---- Fonts, colours, graphics ----

  std::int16_t set_font(const char* request, int length);  // font number from 1, or -1
  std::int16_t set_color(std::int16_t index);              // previous index, -1: no window
  std::int16_t set_color(PaletteColour colour) {
    return set_color(static_cast<std::int16_t>(colour));
  }
  std::int16_t draw_rectangle(std::int16_t mode, std::int16_t x1, std::int16_t y1, std::int16_t x2,
                              std::int16_t y2);  // mode 2 outline, 3 filled
  void move_to(std::int16_t x, std::int16_t y, PixelPosition* previous = nullptr);
  std::int16_t line_to(std::int16_t x, std::int16_t y);
  void move_to_real(double x, double y, RealPosition* previous = nullptr);
  std::int16_t line_to_real(double x, double y);
  // Draws `count` segments in order as one operation: each is set_color(colour),
  // move_to_real(x1, y1), line_to_real(x2, y2), with the same pixels, colour and final
  // position as those calls would leave. Lets a curve of many segments take the surface's lock
  // once. Nonzero on success.
  std::int16_t draw_real_segments(const RealSegment* segments, int count);
  void set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
  std::int16_t set_real_window(std::int16_t invert, double x1, double y1, double x2, double y2);
  // Latin-1 text with its top-left corner at the current position; the position then advances
  // over the text's width.
  void draw_text(const char* text, int length);

  // ---- Bitmaps and saved rectangles (viewport coordinates, clipped) ----

  std::int16_t load_bitmap(const char* file_name, int length, std::int16_t x, std::int16_t y);
  std::int32_t image_size(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
  void save_image(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2,
                  unsigned char* buffer);
  // action 0 OR, 1 AND, 2 inverted copy, 3 copy, 4 XOR
  void restore_image(std::int16_t x, std::int16_t y, const unsigned char* buffer,
                     std::int16_t action);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kt::display
