#include "offscreen_page.h"

#include <algorithm>
#include <filesystem>

#include "display/display.h"
#include "kt_test_paths.h"

namespace kt::test {

OffscreenPage::OffscreenPage(int width, int height, double device_pixel_ratio)
    : ratio_(device_pixel_ratio) {
  page_.screen_width = static_cast<std::int16_t>(width);
  page_.screen_height = static_cast<std::int16_t>(height);
  page_.screen_scale = static_cast<float>(width) / 1024.0f;
  ready_ = display::create_offscreen_main_window(width, height, device_pixel_ratio);
  if (!ready_) return;
  display::initialize_fonts();
  clear();
}

OffscreenPage::~OffscreenPage() {
  if (ready_) display::destroy_offscreen_main_window();
}

void OffscreenPage::clear() {
  pen_.set_viewport(0, 0, page_.screen_width, page_.screen_height);
  pen_.set_color(display::PaletteColour::grey);
  pen_.draw_rectangle(3, 0, 0, page_.screen_width, page_.screen_height);
}

std::int32_t OffscreenPage::pixel(int x, int y) const {
  if (ratio_ == 1.0) return display::surface_pixel(x, y);
  return display::surface_pixel(static_cast<int>(x * ratio_), static_cast<int>(y * ratio_));
}

int OffscreenPage::count(int x1, int y1, int x2, int y2, std::int32_t colour) const {
  int n = 0;
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) n += pixel(x, y) == colour ? 1 : 0;
  }
  return n;
}

int OffscreenPage::count_other(int x1, int y1, int x2, int y2, std::int32_t colour) const {
  return (x2 - x1 + 1) * (y2 - y1 + 1) - count(x1, y1, x2, y2, colour);
}

bool OffscreenPage::extent(int x1, int y1, int x2, int y2, std::int32_t colour, int& min_x,
                           int& min_y, int& max_x, int& max_y) const {
  bool found = false;
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) {
      if (pixel(x, y) != colour) continue;
      if (!found) {
        min_x = max_x = x;
        min_y = max_y = y;
        found = true;
      }
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, y);
      max_y = std::max(max_y, y);
    }
  }
  return found;
}

std::vector<std::int32_t> OffscreenPage::pixels(int x1, int y1, int x2, int y2) const {
  std::vector<std::int32_t> out;
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) out.push_back(pixel(x, y));
  }
  return out;
}

std::string OffscreenPage::save(const std::string& name) const {
  const std::filesystem::path dir = std::filesystem::path(KT_BINARY_DIR) / "shots";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / name).string();
  display::save_surface_png(path);
  return path;
}

}  // namespace kt::test
