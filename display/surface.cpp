// Drawing surface: exact pixel lines and rectangles, bitmaps and the text layer, all in surface
// pixels.
#include "display/surface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kt::display {
namespace {
constexpr int kTextLayerPixels = 16;
}  // namespace

QFont text_layer_font() {
  QFont font("Liberation Mono");
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(kTextLayerPixels);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

void prepare_painter(QPainter& painter, const QRect& clip) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setClipRect(clip);
}

int round_to_pixel(double value) {
  if (std::isnan(value)) return 0;
  const double clamped = std::clamp(value, -32768.0, 32767.0);
  // Halves away from zero. The integer part of a value this small and the rest are exact.
  const int whole = static_cast<int>(clamped);
  const double rest = clamped - whole;
  if (rest >= 0.5) return whole + 1;
  if (rest <= -0.5) return whole - 1;
  return whole;
}

Surface::Surface(int width, int height, double device_pixel_ratio)
    : width_(std::max(1, width)), height_(std::max(1, height)) {
  if (std::isfinite(device_pixel_ratio) && device_pixel_ratio > 1.0) ratio_ = device_pixel_ratio;
  image_ = QImage(device(width_), device(height_), QImage::Format_RGB32);
  image_.setDevicePixelRatio(ratio_);
  image_.fill(QColor(0, 0, 0));
}

int Surface::device(int c) const {
  if (ratio_ == 1.0) return c;
  return static_cast<int>(std::floor(static_cast<double>(c) * ratio_));
}

QRect Surface::device_rect(const QRect& rect) const {
  if (ratio_ == 1.0) return rect;
  return QRect(QPoint(device(rect.left()), device(rect.top())),
               QPoint(device(rect.right() + 1) - 1, device(rect.bottom() + 1) - 1));
}

void Surface::fill_device(std::uint32_t colour, int left, int top, int right, int bottom) {
  if (left > right || top > bottom) return;
  const QRgb rgb = 0xFF000000u | colour;
  const qsizetype stride = image_.bytesPerLine();
  uchar* bits = image_.bits();
  for (int y = top; y <= bottom; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(bits + y * stride);
    std::fill(row + left, row + right + 1, rgb);
  }
}

void Surface::fill_rect(const PenTarget& pen, int x1, int y1, int x2, int y2) {
  const QPoint origin = pen.origin;
  const QRect& clip = pen.clip;
  const int left = std::max(std::min(x1, x2) + origin.x(), clip.left());
  const int right = std::min(std::max(x1, x2) + origin.x(), clip.right());
  const int top = std::max(std::min(y1, y2) + origin.y(), clip.top());
  const int bottom = std::min(std::max(y1, y2) + origin.y(), clip.bottom());
  if (left > right || top > bottom) return;
  if (ratio_ != 1.0) {
    fill_device(pen.rgb, device(left), device(top), device(right + 1) - 1, device(bottom + 1) - 1);
    return;
  }
  const QRgb rgb = 0xFF000000u | pen.rgb;
  const qsizetype stride = image_.bytesPerLine();
  uchar* bits = image_.bits();
  for (int y = top; y <= bottom; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(bits + y * stride);
    std::fill(row + left, row + right + 1, rgb);
  }
}

void Surface::line_scaled(const PenTarget& pen_target, int x1, int y1, int x2, int y2) {
  const QPoint origin = pen_target.origin;
  device_blocks(pen_target.rgb, device_rect(pen_target.clip), device(x1 + origin.x()),
                device(y1 + origin.y()), device(x2 + origin.x()), device(y2 + origin.y()));
}

void Surface::line_device(const PenTarget& pen_target, int x1, int y1, int x2, int y2) {
  if (pen_target.clip.isEmpty()) return;
  const int left = device(pen_target.origin.x()), top = device(pen_target.origin.y());
  device_blocks(pen_target.rgb, device_rect(pen_target.clip), left + x1, top + y1, left + x2,
                top + y2);
}

void Surface::device_blocks(std::uint32_t rgb, const QRect& clip, int x, int y, int end_x,
                            int end_y) {
  const int pen = std::max(1, static_cast<int>(std::lround(ratio_)));
  if (std::max(x, end_x) + pen - 1 < clip.left() || std::min(x, end_x) > clip.right() ||
      std::max(y, end_y) + pen - 1 < clip.top() || std::min(y, end_y) > clip.bottom()) {
    return;
  }
  const int dx = std::abs(end_x - x), dy = -std::abs(end_y - y);
  const int sx = x < end_x ? 1 : -1, sy = y < end_y ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    fill_device(rgb, std::max(x, clip.left()), std::max(y, clip.top()),
                std::min(x + pen - 1, clip.right()), std::min(y + pen - 1, clip.bottom()));
    if (x == end_x && y == end_y) break;
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
  }
}

void Surface::outline_rect(const PenTarget& pen, int x1, int y1, int x2, int y2) {
  const int left = std::min(x1, x2), right = std::max(x1, x2);
  const int top = std::min(y1, y2), bottom = std::max(y1, y2);
  fill_rect(pen, left, top, right, top);
  fill_rect(pen, left, bottom, right, bottom);
  fill_rect(pen, left, top, left, bottom);
  fill_rect(pen, right, top, right, bottom);
}

void Surface::line(const PenTarget& pen, int x1, int y1, int x2, int y2) {
  // Bresenham in surface pixels; both end points are set, pixels outside the clip are skipped.
  const QRect& clip = pen.clip;
  if (clip.isEmpty()) return;
  if (ratio_ != 1.0) {
    line_scaled(pen, x1, y1, x2, y2);
    return;
  }
  const QPoint origin = pen.origin;
  int x = x1 + origin.x(), y = y1 + origin.y();
  const int end_x = x2 + origin.x(), end_y = y2 + origin.y();
  const QRgb rgb = 0xFF000000u | pen.rgb;
  const int dx = std::abs(end_x - x), dy = -std::abs(end_y - y);
  const int sx = x < end_x ? 1 : -1, sy = y < end_y ? 1 : -1;
  const int clip_left = clip.left(), clip_right = clip.right();
  const int clip_top = clip.top(), clip_bottom = clip.bottom();
  // The pixels of a line stay within the box of its end points: when that box misses the clip
  // there is nothing to set, and when it lies inside no pixel needs a test.
  const int box_left = std::min(x, end_x), box_right = std::max(x, end_x);
  const int box_top = std::min(y, end_y), box_bottom = std::max(y, end_y);
  if (box_right < clip_left || box_left > clip_right || box_bottom < clip_top ||
      box_top > clip_bottom) {
    return;
  }
  const bool inside = box_left >= clip_left && box_right <= clip_right && box_top >= clip_top &&
                      box_bottom <= clip_bottom;
  const qsizetype stride = image_.bytesPerLine();
  uchar* bits = image_.bits();
  int error = dx + dy;
  for (;;) {
    if (inside || (x >= clip_left && x <= clip_right && y >= clip_top && y <= clip_bottom)) {
      reinterpret_cast<QRgb*>(bits + y * stride)[x] = rgb;
    }
    if (x == end_x && y == end_y) break;
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
  }
}

bool Surface::draw_bitmap(const PenTarget& pen, const QImage& bitmap, int x, int y) {
  if (bitmap.isNull()) return false;
  const QPoint origin = pen.origin;
  QPainter painter(&image_);
  prepare_painter(painter, pen.clip);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(origin.x() + x, origin.y() + y),
                    bitmap.convertToFormat(QImage::Format_RGB32));
  return true;
}

void Surface::write_text(const QString& text) {
  const QFont font_used = text_layer_font();
  const QFontMetricsF metrics(font_used);
  const int cell_width = std::max(1, static_cast<int>(std::lround(metrics.horizontalAdvance('M'))));
  const int cell_height = std::max(1, static_cast<int>(std::ceil(metrics.height())));
  const int columns = std::max(1, width_ / cell_width);
  const int rows = std::max(1, height_ / cell_height);
  QPainter painter(&image_);
  prepare_painter(painter, QRect(0, 0, width_, height_));
  painter.setFont(font_used);
  for (const QChar c : text) {
    if (c == '\n') {
      text_column_ = 0;
      text_row_ = (text_row_ + 1) % rows;
      continue;
    }
    if (text_column_ >= columns) {
      text_column_ = 0;
      text_row_ = (text_row_ + 1) % rows;
    }
    const QRect cell(text_column_ * cell_width, text_row_ * cell_height, cell_width, cell_height);
    painter.fillRect(cell, QColor::fromRgb(palette_rgb(PaletteColour::black)));
    painter.setPen(QColor::fromRgb(palette_rgb(PaletteColour::bright_white)));
    painter.drawText(QPointF(cell.left(), cell.top() + metrics.ascent()), QString(c));
    ++text_column_;
  }
}

void Surface::new_line() {
  const QFontMetricsF metrics(text_layer_font());
  const int cell_height = std::max(1, static_cast<int>(std::ceil(metrics.height())));
  const int rows = std::max(1, height_ / cell_height);
  text_column_ = 0;
  text_row_ = (text_row_ + 1) % rows;
}

}  // namespace kt::display
