// The page as a picture: what the main window's surface holds, written as a PNG file. The
// program's File > Export picture... and the batch runner's --png both write it this way.
#pragma once

#include <string>

namespace kt {

// Writes the whole surface of the main window to `png`. False with `error` set when there is
// no surface or the file cannot be written.
bool save_page_picture(const std::string& png, std::string& error);

}  // namespace kt
