// The drawing surface of the main window: an RGB32 image, the font list, the text layer's
// cursor and the lock that makes every display operation atomic. What a drawer draws with —
// colour, position, viewport and clip, real window, font — is its drawing context's, not the
// surface's. Lines and rectangles are written straight into the image's pixel rows so that the
// pixels are exact; text and bitmaps go through QPainter with the clip rectangle applied.
//
// Coordinates are surface pixels. On a high-density screen the image holds device pixels: it
// is `device_pixel_ratio` times larger and carries that ratio, so that text is drawn at the
// device's resolution and a one-pixel line or edge covers the device pixels of its surface
// pixel. At ratio 1 the image is the surface.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "display/display.h"
#include "display/fonts.h"

namespace kt::display {

// Rounds to the nearest integer, halves away from zero, and keeps the result in 16-bit range.
int round_to_pixel(double value);

// The font of the text layer, also the font of graphics text before a font is selected.
QFont text_layer_font();
// A painter without smoothing of any kind, clipped to `clip`.
void prepare_painter(QPainter& painter, const QRect& clip);

// Where a drawing context's pixels go: the origin of its viewport and its clip (the viewport
// within the surface), in surface pixels, and its colour.
struct PenTarget {
  QPoint origin;
  QRect clip;
  std::uint32_t rgb = 0xFFFFFF;
};

class Surface {
 public:
  Surface(int width, int height, double device_pixel_ratio = 1.0);

  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // Held while pixels, the font list or the text layer are read or written.
  std::mutex mutex;

  // The size and device pixel ratio never change.
  int width() const { return width_; }
  int height() const { return height_; }
  QRect rect() const { return QRect(0, 0, width_, height_); }
  double device_pixel_ratio() const { return ratio_; }
  // The first device pixel of surface coordinate `c` (c itself at ratio 1).
  int device(int c) const;
  // The device pixels of a rectangle of surface pixels (edges inclusive).
  QRect device_rect(const QRect& rect) const;

  // ---- everything below requires `mutex` to be held ----
  const QImage& image() const { return image_; }
  QImage& image() { return image_; }

  // Drawing in viewport-relative coordinates, clipped.
  void fill_rect(const PenTarget& pen, int x1, int y1, int x2, int y2);
  void outline_rect(const PenTarget& pen, int x1, int y1, int x2, int y2);
  void line(const PenTarget& pen, int x1, int y1, int x2, int y2);
  // A line between device pixels given from the first device pixel of the pen's origin, each
  // point a block of the width of one surface pixel, clipped to the pen's clip.
  void line_device(const PenTarget& pen, int x1, int y1, int x2, int y2);
  bool draw_bitmap(const PenTarget& pen, const QImage& bitmap, int x, int y);

  // Text layer.
  void write_text(const QString& text);
  void new_line();

  // Fonts.
  std::vector<FontEntry> font_list;
  bool fonts_initialized = false;
  // Builds the font list unless it has been built.
  void ensure_font_list() {
    if (fonts_initialized) return;
    font_list = build_font_list();
    fonts_initialized = true;
  }

  // Called (under the lock) after the pixels changed; the widget uses it to schedule a repaint.
  void set_change_notifier(std::function<void()> notifier) { notifier_ = std::move(notifier); }
  void changed() {
    if (notifier_) notifier_();
  }

 private:
  // Fills device pixels [left, right] x [top, bottom] (already clipped) with `rgb`.
  void fill_device(std::uint32_t rgb, int left, int top, int right, int bottom);
  // A line at a device pixel ratio other than 1: Bresenham between the device pixels of the
  // end points, each point a block of the width of one surface pixel.
  void line_scaled(const PenTarget& pen, int x1, int y1, int x2, int y2);
  // Bresenham between absolute device pixels in blocks of `pen` device pixels, within `clip`.
  void device_blocks(std::uint32_t rgb, const QRect& clip, int x, int y, int end_x, int end_y);

  QImage image_;
  int width_ = 1, height_ = 1;
  double ratio_ = 1.0;
  int text_column_ = 0, text_row_ = 0;
  std::function<void()> notifier_;
};

}  // namespace kt::display
