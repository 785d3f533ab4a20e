// The drawing surface of the main window: an RGB32 image with the per-window graphics state
// (colour, position, font, viewport and clip, real window, text cursor) and the lock that makes
// every display operation atomic. Lines and rectangles are written straight into the image's
// pixel rows so that the pixels are exact; text and bitmaps go through QPainter with the clip
// rectangle applied.
//
// Coordinates are surface pixels. On a high-density screen the image holds device pixels: it
// is `device_pixel_ratio` times larger and carries that ratio, so that text is drawn at the
// device's resolution and a one-pixel line or edge covers the device pixels of its surface
// pixel. At ratio 1 the image is the surface.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "display/fonts.h"

namespace kt::display {

inline constexpr int kPaletteSize = 16;
// 0xRRGGBB of the sixteen palette colours.
inline constexpr std::array<std::uint32_t, kPaletteSize> kPalette = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

// Rounds to the nearest integer, halves away from zero, and keeps the result in 16-bit range.
int round_to_pixel(double value);

class Surface {
 public:
  Surface(int width, int height, double device_pixel_ratio = 1.0);

  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // Held by every display operation for its whole duration.
  std::mutex mutex;

  // ---- everything below requires `mutex` to be held ----
  int width() const { return width_; }
  int height() const { return height_; }
  double device_pixel_ratio() const { return ratio_; }
  // The first device pixel of surface coordinate `c` (c itself at ratio 1).
  int device(int c) const;
  // The device pixels of a rectangle of surface pixels (edges inclusive).
  QRect device_rect(const QRect& rect) const;
  const QImage& image() const { return image_; }
  QImage& image() { return image_; }

  int color_index() const { return color_index_; }
  int set_color(int index);  // clamps, returns the previous index
  std::uint32_t color_rgb() const { return kPalette[static_cast<std::size_t>(color_index_)]; }

  // Viewport in surface pixels (reordered); the clip is the viewport within the surface.
  void set_viewport(int x1, int y1, int x2, int y2);
  QRect viewport() const { return viewport_; }
  QRect clip() const { return clip_; }

  // Current position, relative to the viewport origin. After graphics text the position has
  // advanced over the text's width; that width is measured only when the position is next
  // read (a move sets a new position without it).
  int pos_x() {
    settle_text_advance();
    return pos_x_;
  }
  int pos_y() const { return pos_y_; }
  void set_position(int x, int y) {
    text_advance_pending_ = false;
    pos_x_ = x;
    pos_y_ = y;
  }

  bool set_real_window(bool invert, double x1, double y1, double x2, double y2);
  void real_to_pixel(double x, double y, int& px, int& py) const;
  int real_x_to_pixel(double x) const;
  int real_y_to_pixel(double y) const;
  void pixel_to_real(int px, int py, double& x, double& y) const;

  // Drawing in viewport-relative coordinates, clipped.
  void fill_rect(int x1, int y1, int x2, int y2);
  void outline_rect(int x1, int y1, int x2, int y2);
  void line(int x1, int y1, int x2, int y2);
  // Draws Latin-1 text with its top-left at the current position and advances the position
  // (x kept within 16 bits). The text goes through a buffer kept between calls.
  void draw_text(const char* text, int length);
  bool draw_bitmap(const QImage& bitmap, int x, int y);

  // Text layer.
  void write_text(const QString& text);
  void new_line();

  // Fonts.
  std::vector<FontEntry> font_list;
  bool fonts_initialized = false;
  // Selects the font of later graphics text (`x_scale` widens it to the requested width).
  void set_text_font(const QFont& font, double x_scale);
  bool has_font() const { return has_font_; }

  // Called (under the lock) after the pixels changed; the widget uses it to schedule a repaint.
  void set_change_notifier(std::function<void()> notifier) { notifier_ = std::move(notifier); }
  void changed() {
    if (notifier_) notifier_();
  }

 private:
  // The font and metrics used by draw_text: the selected font, or the text layer's font
  // before any was selected. The metrics are made once per font, not per text.
  const QFontMetricsF& text_metrics();
  // Adds the width of the last graphics text to the position if it is still owed.
  void settle_text_advance();

  // Fills device pixels [left, right] x [top, bottom] (already clipped) with the colour.
  void fill_device(int left, int top, int right, int bottom);
  // A line at a device pixel ratio other than 1: Bresenham between the device pixels of the
  // end points, each point a block of the width of one surface pixel.
  void line_scaled(int x1, int y1, int x2, int y2);

  QImage image_;
  int width_ = 1, height_ = 1;
  double ratio_ = 1.0;
  int color_index_ = 15;
  QRect viewport_;
  QRect clip_;  // the viewport within the surface
  bool invert_ = false;
  double x_min_ = 0.0, y_min_ = 0.0, x_max_ = 1.0, y_max_ = 1.0;
  bool real_window_set_ = false;
  double x_reciprocal_ = 1.0, y_reciprocal_ = 1.0;  // 1 / (max - min) of each axis
  int text_column_ = 0, text_row_ = 0;
  std::function<void()> notifier_;

  bool has_font_ = false;
  QFont font_;
  double font_x_scale_ = 1.0;  // horizontal scale that gives the requested average width
  std::unique_ptr<QFontMetricsF> metrics_;  // of the font draw_text uses; null: make anew
  QString text_buffer_;                     // the last graphics text
  int pos_x_ = 0, pos_y_ = 0;
  bool text_advance_pending_ = false;  // pos_x_ still lacks the width of text_buffer_
};

}  // namespace kt::display
