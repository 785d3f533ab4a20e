// The graphics, text-layer, bitmap, saved-rectangle and key operations on the main window, and
// the offscreen main window used by tests and batch pictures. Each operation holds the
// surface's lock from start to end.
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "display/context.h"
#include "display/display.h"

namespace kt::display {
namespace {

// Locks the main surface for one operation and reports a change of pixels at its end.
class SurfaceAccess {
 public:
  SurfaceAccess() : surface_(main_surface_for_operation()) {
    if (surface_) lock_ = std::unique_lock(surface_->mutex);
  }
  explicit operator bool() const { return surface_ != nullptr; }
  Surface* operator->() const { return surface_; }
  Surface& operator*() const { return *surface_; }
  void changed() { changed_ = true; }
  ~SurfaceAccess() {
    if (surface_ && changed_) surface_->changed();
  }

  SurfaceAccess(const SurfaceAccess&) = delete;
  SurfaceAccess& operator=(const SurfaceAccess&) = delete;

 private:
  Surface* surface_;
  std::unique_lock<std::mutex> lock_;
  bool changed_ = false;
};

QString latin1_text(const char* text, int length) {
  if (text == nullptr || length <= 0) return {};
  return QString::fromLatin1(text, length);
}

std::string_view trimmed_right(const char* text, int length) {
  if (text == nullptr || length <= 0) return {};
  std::string_view view(text, static_cast<std::size_t>(length));
  const std::size_t end = view.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : view.substr(0, end + 1);
}

std::int16_t to_int16(long long value) {
  return static_cast<std::int16_t>(std::clamp<long long>(value, -32768, 32767));
}

void ensure_fonts(Surface& surface) {
  if (surface.fonts_initialized) return;
  surface.font_list = build_font_list();
  surface.fonts_initialized = true;
}

constexpr int kSavedHeaderBytes = 8;

}  // namespace

// ---- Screen ------------------------------------------------------------------------------------

void query_screen_config(ScreenConfig& out) {
  out = ScreenConfig{};
  SurfaceAccess surface;
  if (!surface) return;
  out.width = to_int16(surface->width());
  out.height = to_int16(surface->height());
  out.text_columns = to_int16(surface->width() / 8);
  out.text_rows = to_int16(surface->height() / 16);
  out.colours = kPaletteSize;
  out.bits_per_pixel = 32;
}

// ---- Fonts, colours, graphics
// --------------------------------------------------------------------

std::int16_t initialize_fonts() {
  SurfaceAccess surface;
  if (!surface) return -1;
  surface->fonts_initialized = false;
  ensure_fonts(*surface);
  return to_int16(static_cast<long long>(surface->font_list.size()));
}

std::int16_t set_font(const char* request, int length) {
  SurfaceAccess surface;
  if (!surface) return -1;
  const std::optional<FontRequest> parsed = parse_font_request(trimmed_right(request, length));
  if (!parsed) return -1;
  ensure_fonts(*surface);
  const int index = select_font(*parsed, surface->font_list);
  if (index < 0) return -1;
  const MadeFont made = make_font(surface->font_list[static_cast<std::size_t>(index)], *parsed);
  surface->set_text_font(made.font, made.x_scale);
  return to_int16(index + 1);
}

std::int16_t set_color(std::int16_t index) {
  SurfaceAccess surface;
  if (!surface) return -1;
  return to_int16(surface->set_color(index));
}

std::int16_t draw_rectangle(std::int16_t mode, std::int16_t x1, std::int16_t y1, std::int16_t x2,
                            std::int16_t y2) {
  SurfaceAccess surface;
  if (!surface) return 0;
  if (mode >= 3) {
    surface->fill_rect(x1, y1, x2, y2);
  } else {
    surface->outline_rect(x1, y1, x2, y2);
  }
  surface.changed();
  return 1;
}

void move_to(std::int16_t x, std::int16_t y, PixelPosition* previous) {
  SurfaceAccess surface;
  if (!surface) return;
  if (previous != nullptr) *previous = {to_int16(surface->pos_x()), to_int16(surface->pos_y())};
  surface->set_position(x, y);
}

std::int16_t line_to(std::int16_t x, std::int16_t y) {
  SurfaceAccess surface;
  if (!surface) return 0;
  surface->line(surface->pos_x(), surface->pos_y(), x, y);
  surface->set_position(x, y);
  surface.changed();
  return 1;
}

void move_to_real(double x, double y, RealPosition* previous) {
  SurfaceAccess surface;
  if (!surface) return;
  if (previous != nullptr)
    surface->pixel_to_real(surface->pos_x(), surface->pos_y(), previous->x, previous->y);
  int px = 0, py = 0;
  surface->real_to_pixel(x, y, px, py);
  surface->set_position(px, py);
}

std::int16_t line_to_real(double x, double y) {
  SurfaceAccess surface;
  if (!surface) return 0;
  int px = 0, py = 0;
  surface->real_to_pixel(x, y, px, py);
  surface->line(surface->pos_x(), surface->pos_y(), px, py);
  surface->set_position(px, py);
  surface.changed();
  return 1;
}

std::int16_t draw_real_segments(const RealSegment* segments, int count) {
  SurfaceAccess surface;
  if (!surface) return 0;
  if (segments == nullptr || count <= 0) return 1;
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
  for (int i = 0; i < count; ++i) {
    const RealSegment& segment = segments[i];
    End& two_before = ends[static_cast<std::size_t>(i % 2)];
    const End& one_before = ends[static_cast<std::size_t>((i + 1) % 2)];
    int x1 = 0, y1 = 0;
    if (two_before.known && same(two_before.x, segment.x1) && same(two_before.y, segment.y1)) {
      x1 = two_before.px;
      y1 = two_before.py;
    } else {
      surface->real_to_pixel(segment.x1, segment.y1, x1, y1);
    }
    const int x2 = (one_before.known && same(one_before.x, segment.x2))
                       ? one_before.px
                       : surface->real_x_to_pixel(segment.x2);
    const int y2 = surface->real_y_to_pixel(segment.y2);
    two_before = {segment.x2, segment.y2, x2, y2, true};
    if (pending &&
        !(pending_x1 == x1 && pending_y1 == y1 && pending_x2 == x2 && pending_y2 == y2)) {
      surface->line(pending_x1, pending_y1, pending_x2, pending_y2);
    }
    surface->set_color(segment.colour);
    pending_x1 = x1;
    pending_y1 = y1;
    pending_x2 = x2;
    pending_y2 = y2;
    pending = true;
  }
  surface->line(pending_x1, pending_y1, pending_x2, pending_y2);
  surface->set_position(pending_x2, pending_y2);
  surface.changed();
  return 1;
}

void current_position_real(RealPosition& out) {
  SurfaceAccess surface;
  if (!surface) return;
  surface->pixel_to_real(surface->pos_x(), surface->pos_y(), out.x, out.y);
}

void set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
  SurfaceAccess surface;
  if (!surface) return;
  surface->set_viewport(x1, y1, x2, y2);
}

std::int16_t set_real_window(std::int16_t invert, double x1, double y1, double x2, double y2) {
  SurfaceAccess surface;
  if (!surface) return 0;
  return surface->set_real_window(invert != 0, x1, y1, x2, y2) ? 1 : 0;
}

void draw_text(const char* text, int length) {
  SurfaceAccess surface;
  if (!surface || text == nullptr || length <= 0) return;
  surface->draw_text(text, length);
  surface.changed();
}

// ---- Text layer
// ------------------------------------------------------------------------------------

void write_text(const char* text, int length) {
  SurfaceAccess surface;
  if (!surface) return;
  surface->write_text(latin1_text(text, length));
  surface.changed();
}

void write_line(std::string_view line) {
  SurfaceAccess surface;
  if (!surface) return;
  surface->write_text(latin1_text(line.data(), static_cast<int>(line.size())));
  surface->new_line();
  surface.changed();
}

// ---- Bitmaps and saved rectangles
// --------------------------------------------------------------------

std::int16_t load_bitmap(const char* file_name, int length, std::int16_t x, std::int16_t y) {
  const std::string_view name = trimmed_right(file_name, length);
  if (name.empty()) return -1;
  // Read the file before taking the lock: reading may be slow, drawing is not.
  QImageReader reader(QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())));
  const QImage bitmap = reader.read();
  SurfaceAccess surface;
  if (!surface || bitmap.isNull()) return -1;
  surface->draw_bitmap(bitmap, x, y);
  surface.changed();
  return 0;
}

std::int32_t image_size(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
  SurfaceAccess surface;
  if (!surface) return -1;
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

void save_image(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2,
                unsigned char* buffer) {
  SurfaceAccess surface;
  if (!surface || buffer == nullptr) return;
  const QPoint origin = surface->viewport().topLeft();
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

void restore_image(std::int16_t x, std::int16_t y, const unsigned char* buffer,
                   std::int16_t action) {
  SurfaceAccess surface;
  if (!surface || buffer == nullptr) return;
  std::int32_t width = 0, height = 0;
  std::memcpy(&width, buffer, 4);
  std::memcpy(&height, buffer + 4, 4);
  if (width <= 0 || height <= 0) return;
  const int mode = std::clamp<int>(action, 0, 4);
  const QPoint origin = surface->viewport().topLeft();
  const QRect clip = surface->device_rect(surface->clip());
  const int left = surface->device(x + origin.x());
  const int top = surface->device(y + origin.y());
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
  surface.changed();
}

// ---- Keys
// ------------------------------------------------------------------------------------------

namespace {
constexpr std::int16_t kKeyWhenClosing = 27;
}  // namespace

std::int16_t read_key() {
  if (!main_surface()) return -1;
  DisplayContext& ctx = context();
  const auto take_key = [&ctx](int& code) {
    std::lock_guard lock(ctx.key_mutex);
    if (ctx.keys.empty()) return false;
    code = ctx.keys.front();
    ctx.keys.pop_front();
    return true;
  };
  int code = 0;
  struct Waiting {  // keys go to this reader, not to the frame's shortcuts, while it waits
    std::atomic<int>& readers;
    explicit Waiting(std::atomic<int>& r) : readers(r) { ++readers; }
    ~Waiting() { --readers; }
  } waiting(ctx.key_readers);
  if (QCoreApplication::instance() != nullptr && on_gui_thread()) {
    if (ctx.gui_key_loop != nullptr) return 255;  // a wait is already pending here
    QEventLoop loop;
    ctx.gui_key_loop = &loop;
    while (!take_key(code)) {
      if (ctx.closing || loop.exec() != kKeyLoopWoken) {
        if (take_key(code)) break;
        code = kKeyWhenClosing;
        break;
      }
    }
    ctx.gui_key_loop = nullptr;
    return static_cast<std::int16_t>(code);
  }
  std::unique_lock lock(ctx.key_mutex);
  ctx.key_arrived.wait(lock, [&ctx] { return !ctx.keys.empty() || ctx.closing.load(); });
  if (ctx.keys.empty()) return kKeyWhenClosing;
  code = ctx.keys.front();
  ctx.keys.pop_front();
  return static_cast<std::int16_t>(code);
}

// ---- Offscreen main window
// -------------------------------------------------------------------------

bool create_offscreen_main_window(int width, int height, double device_pixel_ratio) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return false;
  if (!(device_pixel_ratio >= 1.0 && device_pixel_ratio <= 4.0)) return false;
  set_main_surface(std::make_shared<Surface>(width, height, device_pixel_ratio));
  return true;
}

void destroy_offscreen_main_window() {
  set_main_surface(nullptr);
}

std::int32_t surface_pixel(int x, int y) {
  SurfaceAccess surface;
  if (!surface) return -1;
  const QImage& image = surface->image();
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return -1;
  return static_cast<std::int32_t>(reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] &
                                   0xFFFFFFu);
}

bool save_surface_png(const std::string& path) {
  QImage copy;
  {
    SurfaceAccess surface;
    if (!surface) return false;
    copy = surface->image().copy();
  }
  return copy.save(QString::fromStdString(path), "PNG");
}

}  // namespace kt::display
