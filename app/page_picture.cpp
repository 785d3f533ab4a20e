#include "app/page_picture.h"

#include "display/display.h"

namespace kt {

bool save_page_picture(const std::string& png, std::string& error) {
  if (display::save_surface_png(png)) return true;
  error = "cannot write the picture \"" + png + "\"";
  return false;
}

}  // namespace kt
