// The panel tests draw into the shared offscreen page.
#pragma once

#include "offscreen_page.h"

namespace kt::test {
using PageSurface = OffscreenPage;
}  // namespace kt::test
