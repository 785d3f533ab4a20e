// The shell tests draw into the shared offscreen page.
#pragma once

#include "offscreen_page.h"
#include "test_support.h"

namespace kt::test {
using AppPage = OffscreenPage;
}  // namespace kt::test
