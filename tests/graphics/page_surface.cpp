#include "page_surface.h"

#include <filesystem>

#include "display/display.h"
#include "kt_test_paths.h"

namespace kt::test {

PageSurface::PageSurface(int width, int height) {
  page_.screen_width = static_cast<std::int16_t>(width);
  page_.screen_height = static_cast<std::int16_t>(height);
  page_.screen_scale = static_cast<float>(width) / 1024.0f;
  ready_ = display::create_offscreen_main_window(width, height);
  if (!ready_) return;
  display::initialize_fonts();
  clear();
}

void PageSurface::clear() const {
  display::set_viewport(0, 0, page_.screen_width, page_.screen_height);
  display::set_color(8);
  display::draw_rectangle(3, 0, 0, page_.screen_width, page_.screen_height);
}

PageSurface::~PageSurface() {
  if (ready_) display::destroy_offscreen_main_window();
}

std::int32_t PageSurface::pixel(int x, int y) const {
  return display::surface_pixel(x, y);
}

int PageSurface::count(int x1, int y1, int x2, int y2, std::int32_t colour) const {
  int n = 0;
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) n += display::surface_pixel(x, y) == colour ? 1 : 0;
  }
  return n;
}

int PageSurface::count_other(int x1, int y1, int x2, int y2, std::int32_t colour) const {
  return (x2 - x1 + 1) * (y2 - y1 + 1) - count(x1, y1, x2, y2, colour);
}

std::string PageSurface::save(const std::string& name) const {
  const std::filesystem::path dir = std::filesystem::path(KT_SOURCE_DIR) / "shots";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / name).string();
  display::save_surface_png(path);
  return path;
}

}  // namespace kt::test
