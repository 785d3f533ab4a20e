// An offscreen main window for the shell tests, with its page geometry and pixel queries, and a
// scratch directory that is removed afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "graphics/page_conventions.h"
#include "test_support.h"

namespace kt::test {

inline constexpr std::int32_t kBlue = 0x000080;
inline constexpr std::int32_t kMagenta = 0x800080;
inline constexpr std::int32_t kGrey = 0x808080;
inline constexpr std::int32_t kLightGreen = 0x00FF00;
inline constexpr std::int32_t kLightCyan = 0x00FFFF;
inline constexpr std::int32_t kLightRed = 0xFF0000;
inline constexpr std::int32_t kYellow = 0xFFFF00;
inline constexpr std::int32_t kWhite = 0xFFFFFF;

class AppPage {
 public:
  AppPage(int width, int height);
  ~AppPage();
  AppPage(const AppPage&) = delete;
  AppPage& operator=(const AppPage&) = delete;

  bool ready() const { return ready_; }
  const PageGeometry& page() const { return page_; }
  std::int32_t pixel(int x, int y) const;
  int count(int x1, int y1, int x2, int y2, std::int32_t colour) const;
  // Bounding box of the pixels of a colour in a rectangle; false when there is none.
  bool extent(int x1, int y1, int x2, int y2, std::int32_t colour, int& min_x, int& min_y,
              int& max_x, int& max_y) const;
  // Every pixel of a rectangle, row by row.
  std::vector<std::int32_t> pixels(int x1, int y1, int x2, int y2) const;

 private:
  PageGeometry page_;
  bool ready_ = false;
};

}  // namespace kt::test
