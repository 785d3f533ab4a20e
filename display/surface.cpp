// Drawing surface: exact pixel lines and rectangles, real-coordinate mapping, graphics text,
// bitmaps and the text layer, all in surface pixels.
#include "display/surface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kt::display {
namespace {

constexpr int kTextLayerPixels = 16;

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

}  // namespace

int round_to_pixel(double value) {
  if (std::isnan(value)) return 0;
  const double clamped = std::clamp(value, -32768.0, 32767.0);
  return static_cast<int>(std::round(clamped));  // std::round: halves away from zero
}

Surface::Surface(int width, int height)
    : image_(std::max(1, width), std::max(1, height), QImage::Format_RGB32) {
  image_.fill(QColor(0, 0, 0));
  viewport_ = image_.rect();
}

int Surface::set_color(int index) {
  const int previous = color_index_;
  color_index_ = std::clamp(index, 0, kPaletteSize - 1);
  return previous;
}

void Surface::set_viewport(int x1, int y1, int x2, int y2) {
  viewport_ =
      QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
}

bool Surface::set_real_window(bool invert, double x1, double y1, double x2, double y2) {
  if (x1 == x2 || y1 == y2) return false;
  x_min_ = std::min(x1, x2);
  x_max_ = std::max(x1, x2);
  y_min_ = std::min(y1, y2);
  y_max_ = std::max(y1, y2);
  invert_ = invert;
  real_window_set_ = true;
  return true;
}

void Surface::real_to_pixel(double x, double y, int& px, int& py) const {
  const double span_x = viewport_.width() - 1;
  const double span_y = viewport_.height() - 1;
  if (!real_window_set_) {  // no real window yet: real coordinates are pixels
    px = round_to_pixel(x);
    py = round_to_pixel(y);
    return;
  }
  px = round_to_pixel((x - x_min_) * span_x / (x_max_ - x_min_));
  const int ry = round_to_pixel((y - y_min_) * span_y / (y_max_ - y_min_));
  py = invert_ ? static_cast<int>(span_y) - ry : ry;
}

void Surface::pixel_to_real(int px, int py, double& x, double& y) const {
  const double span_x = viewport_.width() - 1;
  const double span_y = viewport_.height() - 1;
  if (!real_window_set_) {
    x = px;
    y = py;
    return;
  }
  const double ry = invert_ ? span_y - py : py;
  x = span_x > 0.0 ? x_min_ + px * (x_max_ - x_min_) / span_x : x_min_;
  y = span_y > 0.0 ? y_min_ + ry * (y_max_ - y_min_) / span_y : y_min_;
}

void Surface::set_pixel(int x, int y, std::uint32_t rgb) {
  const QRect area = clip();
  if (!area.contains(x, y)) return;
  reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = 0xFF000000u | rgb;
}

void Surface::fill_rect(int x1, int y1, int x2, int y2) {
  const QPoint origin = viewport_.topLeft();
  const QRect wanted(QPoint(std::min(x1, x2) + origin.x(), std::min(y1, y2) + origin.y()),
                     QPoint(std::max(x1, x2) + origin.x(), std::max(y1, y2) + origin.y()));
  const QRect area = wanted.intersected(clip());
  if (area.isEmpty()) return;
  const QRgb rgb = 0xFF000000u | color_rgb();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
    std::fill(row + area.left(), row + area.right() + 1, rgb);
  }
}

void Surface::outline_rect(int x1, int y1, int x2, int y2) {
  const int left = std::min(x1, x2), right = std::max(x1, x2);
  const int top = std::min(y1, y2), bottom = std::max(y1, y2);
  fill_rect(left, top, right, top);
  fill_rect(left, bottom, right, bottom);
  fill_rect(left, top, left, bottom);
  fill_rect(right, top, right, bottom);
}

void Surface::line(int x1, int y1, int x2, int y2) {
  // Bresenham; both end points are set.
  const QPoint origin = viewport_.topLeft();
  const std::uint32_t rgb = color_rgb();
  int x = x1, y = y1;
  const int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
  const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    set_pixel(x + origin.x(), y + origin.y(), rgb);
    if (x == x2 && y == y2) break;
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

void Surface::draw_text(const QString& text) {
  if (!has_font) {
    font = text_layer_font();
    font_x_scale = 1.0;
  }
  const QFontMetricsF metrics(font);
  const QPoint origin = viewport_.topLeft();
  {
    QPainter painter(&image_);
    prepare_painter(painter, clip());
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(color_rgb()));
    painter.translate(origin.x() + pos_x, origin.y() + pos_y);
    painter.scale(font_x_scale, 1.0);
    painter.drawText(QPointF(0.0, metrics.ascent()), text);
  }
  pos_x += static_cast<int>(std::lround(metrics.horizontalAdvance(text) * font_x_scale));
}

bool Surface::draw_bitmap(const QImage& bitmap, int x, int y) {
  if (bitmap.isNull()) return false;
  const QPoint origin = viewport_.topLeft();
  QPainter painter(&image_);
  prepare_painter(painter, clip());
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
  const int columns = std::max(1, image_.width() / cell_width);
  const int rows = std::max(1, image_.height() / cell_height);
  QPainter painter(&image_);
  prepare_painter(painter, image_.rect());
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
    painter.fillRect(cell, QColor::fromRgb(kPalette[0]));
    painter.setPen(QColor::fromRgb(kPalette[15]));
    painter.drawText(QPointF(cell.left(), cell.top() + metrics.ascent()), QString(c));
    ++text_column_;
  }
}

void Surface::new_line() {
  const QFontMetricsF metrics(text_layer_font());
  const int cell_height = std::max(1, static_cast<int>(std::ceil(metrics.height())));
  const int rows = std::max(1, image_.height() / cell_height);
  text_column_ = 0;
  text_row_ = (text_row_ + 1) % rows;
}

}  // namespace kt::display
