// An offscreen page for the panel tests: a main window of a given size, painted dark grey
// first so that whatever the panels leave untouched is recognisable.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/page_conventions.h"

namespace kt::test {

inline constexpr std::int32_t kGrey = 0x808080;
inline constexpr std::int32_t kCyan = 0x008080;
inline constexpr std::int32_t kMagenta = 0x800080;
inline constexpr std::int32_t kLightGreen = 0x00FF00;
inline constexpr std::int32_t kLightCyan = 0x00FFFF;
inline constexpr std::int32_t kLightRed = 0xFF0000;
inline constexpr std::int32_t kYellow = 0xFFFF00;
inline constexpr std::int32_t kWhite = 0xFFFFFF;

class PageSurface {
 public:
  PageSurface(int width, int height);
  ~PageSurface();
  PageSurface(const PageSurface&) = delete;
  PageSurface& operator=(const PageSurface&) = delete;

  bool ready() const { return ready_; }
  // Paints the whole page dark grey again, as a new title page would cover it.
  void clear() const;
  const PageGeometry& page() const { return page_; }
  std::int32_t pixel(int x, int y) const;
  // Pixels of the colour in the rectangle, edges inclusive.
  int count(int x1, int y1, int x2, int y2, std::int32_t colour) const;
  // Pixels of any colour other than the given one in the rectangle.
  int count_other(int x1, int y1, int x2, int y2, std::int32_t colour) const;
  // Saves the page under shots/ in the source tree; returns the path.
  std::string save(const std::string& name) const;

 private:
  PageGeometry page_;
  bool ready_ = false;
};

}  // namespace kt::test
