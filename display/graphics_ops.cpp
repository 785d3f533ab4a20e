// The operations on the main window that every drawer shares (the screen's size, the font
// list, the text layer, keys) and the offscreen main window used by tests and batch pictures.
// Each operation holds the surface's lock from start to end.
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImageWriter>
#include <QList>
#include <algorithm>
#include <memory>

#include "display/context.h"
#include "display/display.h"

namespace kt::display {
namespace {

// Locks the main surface for one operation and reports a change of pixels at its end.
class SurfaceAccess {
 public:
  SurfaceAccess() : surface_(main_surface()) {
    if (surface_) lock_ = std::unique_lock(surface_->mutex);
  }
  explicit operator bool() const { return surface_ != nullptr; }
  Surface* operator->() const { return surface_.get(); }
  Surface& operator*() const { return *surface_; }
  void changed() { changed_ = true; }
  ~SurfaceAccess() {
    if (surface_ && changed_) surface_->changed();
  }

  SurfaceAccess(const SurfaceAccess&) = delete;
  SurfaceAccess& operator=(const SurfaceAccess&) = delete;

 private:
  std::shared_ptr<Surface> surface_;
  std::unique_lock<std::mutex> lock_;
  bool changed_ = false;
};

QString latin1_text(const char* text, int length) {
  if (text == nullptr || length <= 0) return {};
  return QString::fromLatin1(text, length);
}

std::int16_t to_int16(long long value) {
  return static_cast<std::int16_t>(std::clamp<long long>(value, -32768, 32767));
}

}  // namespace

// ---- Screen ------------------------------------------------------------------------------------

void query_screen_config(ScreenConfig& out) {
  out = ScreenConfig{};
  SurfaceAccess surface;
  if (!surface) return;
  out.width = to_int16(surface->width());
  out.height = to_int16(surface->height());
}

// ---- Fonts
// ---------------------------------------------------------------------------------------

std::int16_t initialize_fonts() {
  SurfaceAccess surface;
  if (!surface) return -1;
  surface->fonts_initialized = false;
  surface->ensure_font_list();
  return to_int16(static_cast<long long>(surface->font_list.size()));
}

// ---- Text layer --------------------------------------------------------------------------------

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

// ---- Keys --------------------------------------------------------------------------------------

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

// ---- Offscreen main window ---------------------------------------------------------------------

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

namespace {

// The page as an 8-bit indexed image when it has at most 256 colours (a page of flat colours
// always has): the same pixels in a quarter of the bytes, which PNG stores with a palette and no
// per-row filter search. A null image when there are more colours.
QImage indexed_page(const QImage& page) {
  QList<QRgb> palette;
  QImage indexed(page.size(), QImage::Format_Indexed8);
  QRgb last = 0;
  uchar last_index = 0;
  bool have_last = false;
  for (int y = 0; y < page.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(page.constScanLine(y));
    uchar* out = indexed.scanLine(y);
    for (int x = 0; x < page.width(); ++x) {
      const QRgb colour = in[x];
      if (!have_last || colour != last) {
        const auto found = std::find(palette.cbegin(), palette.cend(), colour);
        if (found == palette.cend()) {
          if (palette.size() == 256) return {};
          palette.push_back(colour);
          last_index = static_cast<uchar>(palette.size() - 1);
        } else {
          last_index = static_cast<uchar>(found - palette.cbegin());
        }
        last = colour;
        have_last = true;
      }
      out[x] = last_index;
    }
  }
  indexed.setColorTable(palette);
  return indexed;
}

}  // namespace

bool save_surface_png(const std::string& path) {
  QImage copy;
  {
    SurfaceAccess surface;
    if (!surface) return false;
    copy = surface->image().copy();
  }
  const QImage indexed = indexed_page(copy);
  QImageWriter writer(QString::fromStdString(path), "png");
  // The fastest deflate level (quality 80 selects zlib level 1): a flat page compresses well at
  // any level, and the higher levels cost more than the drawing of a whole run.
  writer.setQuality(80);
  return writer.write(indexed.isNull() ? copy : indexed);
}

}  // namespace kt::display
