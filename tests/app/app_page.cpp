#include "app_page.h"

#include <unistd.h>

#include <atomic>
#include <string>

#include "display/display.h"

namespace kt::test {

AppPage::AppPage(int width, int height) {
  ready_ = display::create_offscreen_main_window(width, height);
  if (!ready_) return;
  display::initialize_fonts();
  page_.screen_width = static_cast<std::int16_t>(width);
  page_.screen_height = static_cast<std::int16_t>(height);
  page_.screen_scale = static_cast<float>(width) / 1024.0f;
  display::set_color(8);
  display::draw_rectangle(3, 0, 0, page_.screen_width, page_.screen_height);
}

AppPage::~AppPage() {
  if (ready_) display::destroy_offscreen_main_window();
}

std::int32_t AppPage::pixel(int x, int y) const {
  return display::surface_pixel(x, y);
}

int AppPage::count(int x1, int y1, int x2, int y2, std::int32_t colour) const {
  int n = 0;
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) n += pixel(x, y) == colour ? 1 : 0;
  }
  return n;
}

bool AppPage::extent(int x1, int y1, int x2, int y2, std::int32_t colour, int& min_x, int& min_y,
                     int& max_x, int& max_y) const {
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

std::vector<std::int32_t> AppPage::pixels(int x1, int y1, int x2, int y2) const {
  std::vector<std::int32_t> out;
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) out.push_back(pixel(x, y));
  }
  return out;
}

}  // namespace kt::test
