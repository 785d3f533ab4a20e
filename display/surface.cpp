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
  viewport_ = QRect(0, 0, width_, height_);
  clip_ = viewport_;
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

void Surface::fill_device(int left, int top, int right, int bottom) {
  if (left > right || top > bottom) return;
  const QRgb rgb = 0xFF000000u | color_rgb();
  const qsizetype stride = image_.bytesPerLine();
  uchar* bits = image_.bits();
  for (int y = top; y <= bottom; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(bits + y * stride);
    std::fill(row + left, row + right + 1, rgb);
  }
}

int Surface::set_color(int index) {
  const int previous = color_index_;
  color_index_ = std::clamp(index, 0, kPaletteSize - 1);
  return previous;
}

void Surface::set_viewport(int x1, int y1, int x2, int y2) {
  viewport_ =
      QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
  clip_ = viewport_.intersected(QRect(0, 0, width_, height_));
}

bool Surface::set_real_window(bool invert, double x1, double y1, double x2, double y2) {
  if (x1 == x2 || y1 == y2) return false;
  x_min_ = std::min(x1, x2);
  x_max_ = std::max(x1, x2);
  y_min_ = std::min(y1, y2);
  y_max_ = std::max(y1, y2);
  // A reciprocal that is not a normal number (an extent near the largest double) is not
  // accurate enough; 0 marks it, and every conversion on that axis divides.
  const auto reciprocal = [](double extent) {
    const double r = 1.0 / extent;
    return std::isnormal(r) ? r : 0.0;
  };
  x_reciprocal_ = reciprocal(x_max_ - x_min_);
  y_reciprocal_ = reciprocal(y_max_ - y_min_);
  invert_ = invert;
  real_window_set_ = true;
  return true;
}

namespace {

// round_to_pixel(scaled / extent), where `reciprocal` is 1 / extent. Multiplying by the
// reciprocal differs from the quotient by a few units in the last place, less than 1e-9 for
// quotients below 32000; so when that product lies farther than 1e-9 from a half it rounds to
// the same pixel as the quotient. Only the rare products near a half (or large, or not finite)
// take the division, and every conversion when `reciprocal` is 0.
int scaled_to_pixel(double scaled, double extent, double reciprocal) {
  const double estimate = scaled * reciprocal;
  if (reciprocal != 0.0 && std::fabs(estimate) < 32000.0) {
    const int whole = static_cast<int>(estimate);
    const double rest = estimate - whole;
    if (std::fabs(std::fabs(rest) - 0.5) > 1e-9) {
      if (rest > 0.5) return whole + 1;
      if (rest < -0.5) return whole - 1;
      return whole;
    }
  }
  return round_to_pixel(scaled / extent);
}

}  // namespace

int Surface::real_x_to_pixel(double x) const {
  if (!real_window_set_) return round_to_pixel(x);  // no real window yet: real is pixels
  const double span_x = viewport_.width() - 1;
  return scaled_to_pixel((x - x_min_) * span_x, x_max_ - x_min_, x_reciprocal_);
}

int Surface::real_y_to_pixel(double y) const {
  if (!real_window_set_) return round_to_pixel(y);
  const double span_y = viewport_.height() - 1;
  const int ry = scaled_to_pixel((y - y_min_) * span_y, y_max_ - y_min_, y_reciprocal_);
  return invert_ ? static_cast<int>(span_y) - ry : ry;
}

void Surface::real_to_pixel(double x, double y, int& px, int& py) const {
  px = real_x_to_pixel(x);
  py = real_y_to_pixel(y);
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

void Surface::fill_rect(int x1, int y1, int x2, int y2) {
  const QPoint origin = viewport_.topLeft();
  const int left = std::max(std::min(x1, x2) + origin.x(), clip_.left());
  const int right = std::min(std::max(x1, x2) + origin.x(), clip_.right());
  const int top = std::max(std::min(y1, y2) + origin.y(), clip_.top());
  const int bottom = std::min(std::max(y1, y2) + origin.y(), clip_.bottom());
  if (left > right || top > bottom) return;
  if (ratio_ != 1.0) {
    fill_device(device(left), device(top), device(right + 1) - 1, device(bottom + 1) - 1);
    return;
  }
  const QRgb rgb = 0xFF000000u | color_rgb();
  const qsizetype stride = image_.bytesPerLine();
  uchar* bits = image_.bits();
  for (int y = top; y <= bottom; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(bits + y * stride);
    std::fill(row + left, row + right + 1, rgb);
  }
}

void Surface::line_scaled(int x1, int y1, int x2, int y2) {
  const QRect clip = device_rect(clip_);
  const QPoint origin = viewport_.topLeft();
  const int pen = std::max(1, static_cast<int>(std::lround(ratio_)));
  int x = device(x1 + origin.x()), y = device(y1 + origin.y());
  const int end_x = device(x2 + origin.x()), end_y = device(y2 + origin.y());
  if (std::max(x, end_x) + pen - 1 < clip.left() || std::min(x, end_x) > clip.right() ||
      std::max(y, end_y) + pen - 1 < clip.top() || std::min(y, end_y) > clip.bottom()) {
    return;
  }
  const int dx = std::abs(end_x - x), dy = -std::abs(end_y - y);
  const int sx = x < end_x ? 1 : -1, sy = y < end_y ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    fill_device(std::max(x, clip.left()), std::max(y, clip.top()),
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

void Surface::outline_rect(int x1, int y1, int x2, int y2) {
  const int left = std::min(x1, x2), right = std::max(x1, x2);
  const int top = std::min(y1, y2), bottom = std::max(y1, y2);
  fill_rect(left, top, right, top);
  fill_rect(left, bottom, right, bottom);
  fill_rect(left, top, left, bottom);
  fill_rect(right, top, right, bottom);
}

void Surface::line(int x1, int y1, int x2, int y2) {
  // Bresenham in surface pixels; both end points are set, pixels outside the clip are skipped.
  if (clip_.isEmpty()) return;
  if (ratio_ != 1.0) {
    line_scaled(x1, y1, x2, y2);
    return;
  }
  const QPoint origin = viewport_.topLeft();
  int x = x1 + origin.x(), y = y1 + origin.y();
  const int end_x = x2 + origin.x(), end_y = y2 + origin.y();
  const QRgb rgb = 0xFF000000u | color_rgb();
  const int dx = std::abs(end_x - x), dy = -std::abs(end_y - y);
  const int sx = x < end_x ? 1 : -1, sy = y < end_y ? 1 : -1;
  const int clip_left = clip_.left(), clip_right = clip_.right();
  const int clip_top = clip_.top(), clip_bottom = clip_.bottom();
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

void Surface::set_text_font(const QFont& font, double x_scale) {
  settle_text_advance();  // measured in the font it was drawn in
  font_ = font;
  font_x_scale_ = x_scale;
  has_font_ = true;
  metrics_.reset();
}

const QFontMetricsF& Surface::text_metrics() {
  if (!has_font_ && !metrics_) {
    font_ = text_layer_font();
    font_x_scale_ = 1.0;
  }
  if (!metrics_) metrics_ = std::make_unique<QFontMetricsF>(font_);
  return *metrics_;
}

void Surface::settle_text_advance() {
  if (!text_advance_pending_) return;
  text_advance_pending_ = false;
  const double advance = text_metrics().horizontalAdvance(text_buffer_) * font_x_scale_;
  pos_x_ = std::clamp(pos_x_ + static_cast<int>(std::lround(advance)), -32768, 32767);
}

void Surface::draw_text(const char* text, int length) {
  settle_text_advance();  // this text starts where the last one ended
  if (text == nullptr || length <= 0) return;
  text_buffer_.resize(length);
  QChar* out = text_buffer_.data();
  for (int i = 0; i < length; ++i) out[i] = QChar(static_cast<uchar>(text[i]));
  const QFontMetricsF& metrics = text_metrics();
  const QPoint origin = viewport_.topLeft();
  {
    QPainter painter(&image_);
    prepare_painter(painter, clip_);
    painter.setFont(font_);
    painter.setPen(QColor::fromRgb(color_rgb()));
    painter.translate(origin.x() + pos_x_, origin.y() + pos_y_);
    painter.scale(font_x_scale_, 1.0);
    painter.drawText(QPointF(0.0, metrics.ascent()), text_buffer_);
  }
  // Callers mostly move elsewhere before they read the position again; the width is measured
  // only when they do not.
  text_advance_pending_ = true;
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
    painter.fillRect(cell, QColor::fromRgb(kPalette[0]));
    painter.setPen(QColor::fromRgb(kPalette[15]));
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
