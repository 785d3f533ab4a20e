// Drawing contexts: the pen state of one drawer and the graphics, bitmap and saved-rectangle
// operations drawn with it on the main window's surface.
#include "display/drawing_context.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "display/context.h"
#include "display/fonts.h"
#include "display/surface.h"

namespace kt::display {
namespace {

std::string_view trimmed_right(const char* text, int length) {
  if (text == nullptr || length <= 0) return {};
  std::string_view view(text, static_cast<std::size_t>(length));
  const std::size_t end = view.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : view.substr(0, end + 1);
}

std::int16_t to_int16(long long value) {
  return static_cast<std::int16_t>(std::clamp<long long>(value, -32768, 32767));
}

constexpr int kSavedHeaderBytes = 8;

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

// ---- Real windows -------------------------------------------------------------------------------

bool RealWindow::set(bool invert, double x1, double y1, double x2, double y2) {
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
  set_ = true;
  return true;
}

int RealWindow::x_to_pixel(int width, double x) const {
  if (!set_) return round_to_pixel(x);  // no real window yet: real is pixels
  const double span_x = width - 1;
  return scaled_to_pixel((x - x_min_) * span_x, x_max_ - x_min_, x_reciprocal_);
}

int RealWindow::y_to_pixel(int height, double y) const {
  if (!set_) return round_to_pixel(y);
  const double span_y = height - 1;
  const int ry = scaled_to_pixel((y - y_min_) * span_y, y_max_ - y_min_, y_reciprocal_);
  return invert_ ? static_cast<int>(span_y) - ry : ry;
}

int RealWindow::x_to_device(int width, double x, double ratio) const {
  if (!set_) return round_to_pixel(round_to_pixel(x) * ratio);
  const double span_x = width - 1;
  return round_to_pixel((x - x_min_) * span_x / (x_max_ - x_min_) * ratio);
}

int RealWindow::y_to_device(int height, double y, double ratio) const {
  if (!set_) return round_to_pixel(round_to_pixel(y) * ratio);
  const double span_y = height - 1;
  double py = (y - y_min_) * span_y / (y_max_ - y_min_);
  if (invert_) py = span_y - py;
  return round_to_pixel(py * ratio);
}

void RealWindow::to_real(int width, int height, int px, int py, double& x, double& y) const {
  const double span_x = width - 1;
  const double span_y = height - 1;
  if (!set_) {
    x = px;
    y = py;
    return;
  }
  const double ry = invert_ ? span_y - py : py;
  x = span_x > 0.0 ? x_min_ + px * (x_max_ - x_min_) / span_x : x_min_;
  y = span_y > 0.0 ? y_min_ + ry * (y_max_ - y_min_) / span_y : y_min_;
}

// ---- Drawing contexts ---------------------------------------------------------------------------

struct DrawingContext::State {
  // The surface drawn on and the main-surface generation it belongs to.
  std::shared_ptr<Surface> surface;
  std::uint64_t generation = ~std::uint64_t{0};

  int color_index = static_cast<int>(PaletteColour::bright_white);
  std::optional<QRect> viewport;  // none: the whole surface

  RealWindow window;

  bool has_font = false;
  QFont font;
  double font_x_scale = 1.0;  // horizontal scale that gives the requested average width
  std::unique_ptr<QFontMetricsF> metrics;  // of the font draw_text uses; null: make anew
  QString text_buffer;                     // the last graphics text
  int pos_x = 0, pos_y = 0;
  bool text_advance_pending = false;  // pos_x still lacks the width of text_buffer

  // The main window's surface now, or null. While the main surface does not change, getting
  // it takes no lock.
  Surface* current_surface() {
    DisplayContext& ctx = context();
    if (generation != ctx.main_surface_generation.load(std::memory_order_acquire)) {
      std::lock_guard lock(ctx.mutex);
      surface = ctx.main_surface;
      generation = ctx.main_surface_generation.load(std::memory_order_relaxed);
    }
    return surface.get();
  }

  QRect viewport_on(const Surface& s) const { return viewport ? *viewport : s.rect(); }
  PenTarget target_on(const Surface& s) const {
    const QRect v = viewport_on(s);
    return {v.topLeft(), v.intersected(s.rect()), kPalette[static_cast<std::size_t>(color_index)]};
  }

  // The font and metrics used by draw_text: the selected font, or the text layer's font
  // before any was selected. The metrics are made once per font, not per text.
  const QFontMetricsF& text_metrics() {
    if (!has_font && !metrics) {
      font = text_layer_font();
      font_x_scale = 1.0;
    }
    if (!metrics) metrics = std::make_unique<QFontMetricsF>(font);
    return *metrics;
  }
  // After graphics text the position has advanced over the text's width; that width is
  // measured only when the position is next read (a move sets a new position without it).
  void settle_text_advance() {
    if (!text_advance_pending) return;
    text_advance_pending = false;
    const double advance = text_metrics().horizontalAdvance(text_buffer) * font_x_scale;
    pos_x = std::clamp(pos_x + static_cast<int>(std::lround(advance)), -32768, 32767);
  }
  int position_x() {
    settle_text_advance();
    return pos_x;
  }
  void set_position(int x, int y) {
    text_advance_pending = false;
    real_position_known = false;
    pos_x = x;
    pos_y = y;
  }

  // Where the last real-coordinate operation left the position, in real coordinates; lines
  // drawn on from there at a device pixel ratio above 1 start from it, not from its pixel.
  bool real_position_known = false;
  double real_x = 0.0, real_y = 0.0;
  void set_real_position(double x, double y) {
    real_position_known = true;
    real_x = x;
    real_y = y;
  }

  // A line in real coordinates on a surface of device pixels: from the device pixels of the
  // real end points (the start being the current position), each a block one pixel wide.
  void real_line_on_device(Surface& surface, const QRect& v, const PenTarget& pen, double x1,
                           double y1, double x2, double y2) const {
    const double ratio = surface.device_pixel_ratio();
    surface.line_device(
        pen, window.x_to_device(v.width(), x1, ratio), window.y_to_device(v.height(), y1, ratio),
        window.x_to_device(v.width(), x2, ratio), window.y_to_device(v.height(), y2, ratio));
  }

  int real_x_to_pixel(const QRect& v, double x) const { return window.x_to_pixel(v.width(), x); }
  int real_y_to_pixel(const QRect& v, double y) const { return window.y_to_pixel(v.height(), y); }
  void pixel_to_real(const QRect& v, int px, int py, double& x, double& y) const {
    window.to_real(v.width(), v.height(), px, py, x, y);
  }
};

DrawingContext::DrawingContext() : state_(std::make_unique<State>()) {}

DrawingContext::~DrawingContext() = default;

// ---- Fonts, colours, graphics ------------------------------------------------------------------

std::int16_t DrawingContext::set_font(const char* request, int length) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr) return -1;
  const std::optional<FontRequest> parsed = parse_font_request(trimmed_right(request, length));
  if (!parsed) return -1;
  FontEntry entry;
  int index = -1;
  {
    std::lock_guard lock(surface->mutex);
    surface->ensure_font_list();
    index = select_font(*parsed, surface->font_list);
    if (index < 0) return -1;
    entry = surface->font_list[static_cast<std::size_t>(index)];
  }
  const MadeFont made = make_font(entry, *parsed);
  s.settle_text_advance();  // measured in the font it was drawn in
  s.font = made.font;
  s.font_x_scale = made.x_scale;
  s.has_font = true;
  s.metrics.reset();
  return to_int16(index + 1);
}

std::int16_t DrawingContext::set_color(std::int16_t index) {
  State& s = *state_;
  if (s.current_surface() == nullptr) return -1;
  const int previous = s.color_index;
  s.color_index = std::clamp<int>(index, 0, kPaletteSize - 1);
  return to_int16(previous);
}

std::int16_t DrawingContext::draw_rectangle(std::int16_t mode, std::int16_t x1, std::int16_t y1,
                                            std::int16_t x2, std::int16_t y2) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr) return 0;
  const PenTarget pen = s.target_on(*surface);
  std::lock_guard lock(surface->mutex);
  if (mode >= 3) {
    surface->fill_rect(pen, x1, y1, x2, y2);
  } else {
    surface->outline_rect(pen, x1, y1, x2, y2);
  }
  surface->changed();
  return 1;
}

void DrawingContext::move_to(std::int16_t x, std::int16_t y, PixelPosition* previous) {
  State& s = *state_;
  if (s.current_surface() == nullptr) return;
  if (previous != nullptr) *previous = {to_int16(s.position_x()), to_int16(s.pos_y)};
  s.set_position(x, y);
}

std::int16_t DrawingContext::line_to(std::int16_t x, std::int16_t y) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr) return 0;
  const PenTarget pen = s.target_on(*surface);
  const int from_x = s.position_x();
  {
    std::lock_guard lock(surface->mutex);
    surface->line(pen, from_x, s.pos_y, x, y);
    surface->changed();
  }
  s.set_position(x, y);
  return 1;
}

void DrawingContext::move_to_real(double x, double y, RealPosition* previous) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr) return;
  const QRect viewport = s.viewport_on(*surface);
  if (previous != nullptr) {
    s.pixel_to_real(viewport, s.position_x(), s.pos_y, previous->x, previous->y);
  }
  s.set_position(s.real_x_to_pixel(viewport, x), s.real_y_to_pixel(viewport, y));
  s.set_real_position(x, y);
}

std::int16_t DrawingContext::line_to_real(double x, double y) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr) return 0;
  const QRect viewport = s.viewport_on(*surface);
  const int px = s.real_x_to_pixel(viewport, x);
  const int py = s.real_y_to_pixel(viewport, y);
  const PenTarget pen = s.target_on(*surface);
  const int from_x = s.position_x();
  double from_real_x = 0.0, from_real_y = 0.0;
  if (s.real_position_known) {
    from_real_x = s.real_x;
    from_real_y = s.real_y;
  } else {
    s.pixel_to_real(viewport, from_x, s.pos_y, from_real_x, from_real_y);
  }
  {
    std::lock_guard lock(surface->mutex);
    if (surface->device_pixel_ratio() == 1.0) {
      surface->line(pen, from_x, s.pos_y, px, py);
    } else {
      s.real_line_on_device(*surface, viewport, pen, from_real_x, from_real_y, x, y);
    }
    surface->changed();
  }
  s.set_position(px, py);
  s.set_real_position(x, y);
  return 1;
}

std::int16_t DrawingContext::draw_real_segments(const RealSegment* segments, int count) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr) return 0;
  if (segments == nullptr || count <= 0) return 1;
  const QRect viewport = s.viewport_on(*surface);
  PenTarget pen = s.target_on(*surface);
  // A path's segment usually starts where the segment two before it ended (two polylines
  // drawn in alternation) and ends at the x where the one before it ended; those conversions
  // are taken over instead of repeated (same bits in, same pixel out).
  struct End {
    double x = 0.0, y = 0.0;
    int px = 0, py = 0;
    bool known = false;
  };
  const auto same = [](double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  };
  std::array<End, 2> ends{};  // ends[i % 2]: the end of segment i (and of i - 2 before it)
  // A segment whose pixel end points equal those of the segment right after it sets exactly the
  // pixels that the next one sets again: it is not drawn (an unchanged stretch of a curve that
  // is erased and redrawn in one pass costs one line, not two).
  int pending_x1 = 0, pending_y1 = 0, pending_x2 = 0, pending_y2 = 0;
  bool pending = false;
  std::lock_guard lock(surface->mutex);
  if (surface->device_pixel_ratio() != 1.0) {
    for (int i = 0; i < count; ++i) {
      const RealSegment& segment = segments[i];
      s.color_index = std::clamp<int>(segment.colour, 0, kPaletteSize - 1);
      pen.rgb = kPalette[static_cast<std::size_t>(s.color_index)];
      s.real_line_on_device(*surface, viewport, pen, segment.x1, segment.y1, segment.x2,
                            segment.y2);
    }
    const RealSegment& last = segments[count - 1];
    s.set_position(s.real_x_to_pixel(viewport, last.x2), s.real_y_to_pixel(viewport, last.y2));
    s.set_real_position(last.x2, last.y2);
    surface->changed();
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    const RealSegment& segment = segments[i];
    End& two_before = ends[static_cast<std::size_t>(i % 2)];
    const End& one_before = ends[static_cast<std::size_t>((i + 1) % 2)];
    int x1 = 0, y1 = 0;
    if (two_before.known && same(two_before.x, segment.x1) && same(two_before.y, segment.y1)) {
      x1 = two_before.px;
      y1 = two_before.py;
    } else {
      x1 = s.real_x_to_pixel(viewport, segment.x1);
      y1 = s.real_y_to_pixel(viewport, segment.y1);
    }
    const int x2 = (one_before.known && same(one_before.x, segment.x2))
                       ? one_before.px
                       : s.real_x_to_pixel(viewport, segment.x2);
    const int y2 = s.real_y_to_pixel(viewport, segment.y2);
    two_before = {segment.x2, segment.y2, x2, y2, true};
    if (pending &&
        !(pending_x1 == x1 && pending_y1 == y1 && pending_x2 == x2 && pending_y2 == y2)) {
      surface->line(pen, pending_x1, pending_y1, pending_x2, pending_y2);
    }
    s.color_index = std::clamp<int>(segment.colour, 0, kPaletteSize - 1);
    pen.rgb = kPalette[static_cast<std::size_t>(s.color_index)];
    pending_x1 = x1;
    pending_y1 = y1;
    pending_x2 = x2;
    pending_y2 = y2;
    pending = true;
  }
  surface->line(pen, pending_x1, pending_y1, pending_x2, pending_y2);
  s.set_position(pending_x2, pending_y2);
  s.set_real_position(segments[count - 1].x2, segments[count - 1].y2);
  surface->changed();
  return 1;
}

void DrawingContext::set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2,
                                  std::int16_t y2) {
  State& s = *state_;
  if (s.current_surface() == nullptr) return;
  s.viewport =
      QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
}

std::int16_t DrawingContext::set_real_window(std::int16_t invert, double x1, double y1, double x2,
                                             double y2) {
  State& s = *state_;
  if (s.current_surface() == nullptr) return 0;
  return s.window.set(invert != 0, x1, y1, x2, y2) ? 1 : 0;
}

void DrawingContext::draw_text(const char* text, int length) {
  State& s = *state_;
  Surface* surface = s.current_surface();
  if (surface == nullptr || text == nullptr || length <= 0) return;
  s.settle_text_advance();  // this text starts where the last one ended
  s.text_buffer.resize(length);
  QChar* out = s.text_buffer.data();
  for (int i = 0; i < length; ++i) out[i] = QChar(static_cast<uchar>(text[i]));
  const double ascent = s.text_metrics().ascent();
  const PenTarget pen = s.target_on(*surface);
  {
    std::lock_guard lock(surface->mutex);
    {
      QPainter painter(&surface->image());
      prepare_painter(painter, pen.clip);
      painter.setFont(s.font);
      painter.setPen(QColor::fromRgb(pen.rgb));
      painter.translate(pen.origin.x() + s.pos_x, pen.origin.y() + s.pos_y);
      painter.scale(s.font_x_scale, 1.0);
      painter.drawText(QPointF(0.0, ascent), s.text_buffer);
    }
    surface->changed();
  }
  // Callers mostly move elsewhere before they read the position again; the width is measured
  // only when they do not.
  s.text_advance_pending = true;
}

// ---- Bitmaps and saved rectangles --------------------------------------------------------------

std::int16_t DrawingContext::load_bitmap(const char* file_name, int length, std::int16_t x,
                                         std::int16_t y) {
  const std::string_view name = trimmed_right(file_name, length);
  if (name.empty()) return -1;
  // Read the file before taking the lock: reading may be slow, drawing is not.
  QImageReader reader(QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())));
  const QImage bitmap = reader.read();
  Surface* surface = state_->current_surface();
  if (surface == nullptr || bitmap.isNull()) return -1;
  const PenTarget pen = state_->target_on(*surface);
  std::lock_guard lock(surface->mutex);
  surface->draw_bitmap(pen, bitmap, x, y);
  surface->changed();
  return 0;
}

std::int32_t DrawingContext::image_size(std::int16_t x1, std::int16_t y1, std::int16_t x2,
                                        std::int16_t y2) {
  Surface* surface = state_->current_surface();
  if (surface == nullptr) return -1;
  // Device pixels: at a ratio other than 1 a rectangle covers at most one more than its scaled
  // size on each axis.
  const double ratio = surface->device_pixel_ratio();
  const long long slack = ratio == 1.0 ? 0 : 1;
  const long long width =
      static_cast<long long>(std::ceil((std::abs(x2 - x1) + 1.0) * ratio)) + slack;
  const long long height =
      static_cast<long long>(std::ceil((std::abs(y2 - y1) + 1.0) * ratio)) + slack;
  const long long bytes = kSavedHeaderBytes + width * height * 4;
  if (bytes > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(bytes);
}

void DrawingContext::save_image(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2,
                                unsigned char* buffer) {
  Surface* surface = state_->current_surface();
  if (surface == nullptr || buffer == nullptr) return;
  const QPoint origin = state_->viewport_on(*surface).topLeft();
  // The rectangle's device pixels (its surface pixels at ratio 1).
  const QRect area = surface->device_rect(
      QRect(QPoint(std::min<int>(x1, x2) + origin.x(), std::min<int>(y1, y2) + origin.y()),
            QSize(std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1)));
  const std::int32_t width = area.width();
  const std::int32_t height = area.height();
  std::memcpy(buffer, &width, 4);
  std::memcpy(buffer + 4, &height, 4);
  const int left = area.left();
  const int top = area.top();
  std::lock_guard lock(surface->mutex);
  const QImage& image = surface->image();
  unsigned char* out = buffer + kSavedHeaderBytes;
  for (int row = 0; row < height; ++row) {
    const int y = top + row;
    const QRgb* line = (y >= 0 && y < image.height())
                           ? reinterpret_cast<const QRgb*>(image.constScanLine(y))
                           : nullptr;
    for (int column = 0; column < width; ++column) {
      const int x = left + column;
      const std::uint32_t rgb =
          (line != nullptr && x >= 0 && x < image.width()) ? (line[x] & 0xFFFFFFu) : 0u;
      std::memcpy(out, &rgb, 4);
      out += 4;
    }
  }
}

void DrawingContext::restore_image(std::int16_t x, std::int16_t y, const unsigned char* buffer,
                                   std::int16_t action) {
  Surface* surface = state_->current_surface();
  if (surface == nullptr || buffer == nullptr) return;
  std::int32_t width = 0, height = 0;
  std::memcpy(&width, buffer, 4);
  std::memcpy(&height, buffer + 4, 4);
  if (width <= 0 || height <= 0) return;
  const int mode = std::clamp<int>(action, 0, 4);
  const PenTarget pen = state_->target_on(*surface);
  const QRect clip = surface->device_rect(pen.clip);
  const int left = surface->device(x + pen.origin.x());
  const int top = surface->device(y + pen.origin.y());
  std::lock_guard lock(surface->mutex);
  QImage& image = surface->image();
  const unsigned char* in = buffer + kSavedHeaderBytes;
  for (int row = 0; row < height; ++row) {
    const int ty = top + row;
    QRgb* line = (ty >= clip.top() && ty <= clip.bottom())
                     ? reinterpret_cast<QRgb*>(image.scanLine(ty))
                     : nullptr;
    for (int column = 0; column < width; ++column, in += 4) {
      const int tx = left + column;
      if (line == nullptr || tx < clip.left() || tx > clip.right()) continue;
      std::uint32_t source = 0;
      std::memcpy(&source, in, 4);
      const std::uint32_t target = line[tx] & 0xFFFFFFu;
      std::uint32_t result = source;
      switch (mode) {
        case 0:
          result = target | source;
          break;
        case 1:
          result = target & source;
          break;
        case 2:
          result = ~source;
          break;
        case 3:
          result = source;
          break;
        default:
          result = target ^ source;
          break;
      }
      line[tx] = 0xFF000000u | (result & 0xFFFFFFu);
    }
  }
  surface->changed();
}

}  // namespace kt::display
