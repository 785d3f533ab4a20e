// Lines, rectangles, real-coordinate lines, graphics text in several fonts, the text layer and
// saved rectangles, many of them cut by viewports and by the surface's edges, drawn into one
// surface that must equal its golden picture pixel for pixel.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/drawing_context.h"
#include "golden_image.h"
#include "kt_test_paths.h"

namespace kt::display {
namespace {

constexpr int kWidth = 640, kHeight = 480;

void text(DrawingContext& pen, std::string_view s) {
  pen.draw_text(s.data(), static_cast<int>(s.size()));
}

void font(DrawingContext& pen, std::string_view request) {
  pen.set_font(request.data(), static_cast<int>(request.size()));
}

void draw_primitives(DrawingContext& pen) {
  pen.set_viewport(0, 0, kWidth - 1, kHeight - 1);
  pen.set_color(1);
  pen.draw_rectangle(3, 0, 0, kWidth - 1, kHeight - 1);

  // Text layer first, as the program writes it under the graphics.
  write_line("Text layer: first line");
  write_text("partial ", 8);
  write_line("and the rest");

  // Rectangles: filled and outlined, reversed corners, partly and wholly off the surface.
  pen.set_color(5);
  pen.draw_rectangle(3, 300, 10, 250, 60);
  pen.set_color(15);
  pen.draw_rectangle(2, 250, 10, 300, 60);
  pen.set_color(12);
  pen.draw_rectangle(3, -20, 440, 30, 500);
  pen.set_color(14);
  pen.draw_rectangle(2, 620, -5, 700, 20);
  pen.draw_rectangle(3, 700, 700, 800, 800);
  pen.set_color(99);  // clamped to 15
  pen.draw_rectangle(2, 320, 20, 320, 20);

  // Lines in every octant from a centre, and lines leaving the surface.
  pen.set_color(10);
  const std::array<std::array<int, 2>, 16> ends = {{{60, 0},
                                                    {60, 25},
                                                    {60, 60},
                                                    {25, 60},
                                                    {0, 60},
                                                    {-25, 60},
                                                    {-60, 60},
                                                    {-60, 25},
                                                    {-60, 0},
                                                    {-60, -25},
                                                    {-60, -60},
                                                    {-25, -60},
                                                    {0, -60},
                                                    {25, -60},
                                                    {60, -60},
                                                    {60, -25}}};
  for (const auto& e : ends) {
    pen.move_to(100, 150);
    pen.line_to(static_cast<std::int16_t>(100 + e[0]), static_cast<std::int16_t>(150 + e[1]));
  }
  pen.set_color(11);
  pen.move_to(-100, 300);
  pen.line_to(700, 250);
  pen.line_to(600, -40);
  pen.line_to(-30000, 30000);
  pen.move_to(5, 5);
  pen.line_to(5, 5);

  // A viewport clips lines and rectangles; coordinates are relative to its origin.
  pen.set_viewport(400, 100, 560, 220);
  pen.set_color(3);
  pen.draw_rectangle(3, -10, -10, 200, 200);
  pen.set_color(14);
  pen.move_to(-50, 60);
  pen.line_to(250, 10);
  pen.line_to(80, 300);
  pen.set_color(15);
  pen.draw_rectangle(2, 0, 0, 160, 120);

  // Real coordinates with y upwards over the same viewport, a curve partly outside it.
  pen.set_real_window(1, 0.0, 0.0, 10.0, 2.0);
  pen.set_color(12);
  pen.move_to_real(0.0, 0.0);
  for (int i = 1; i <= 40; ++i) {
    const double x = i * 0.25;
    pen.line_to_real(x, 0.1 * x * x);
  }
  pen.set_real_window(0, 10.0, 5.0, -2.0, -1.0);
  pen.set_color(13);
  pen.move_to_real(-2.0, -1.0);
  pen.line_to_real(10.0, 5.0);
  pen.line_to_real(3.3, 4.9999);

  // Graphics text in the fonts the pages use and a few more, some of it cut by a viewport.
  pen.set_viewport(0, 0, kWidth - 1, kHeight - 1);
  const std::array<const char*, 8> fonts = {
      "t'tms rmn'h26w16", "t'helv'h15w8",    "t'helv'h12w7",     "t'helv'h10w5",
      "t'helv'h18w9",     "t'tms rmn'h15w8", "t'courier'h16w9e", "t'tms rmn'h29w12iu"};
  int y = 240;
  int colour = 9;
  for (const char* request : fonts) {
    font(pen, request);
    pen.set_color(static_cast<std::int16_t>(colour));
    colour = colour == 15 ? 9 : colour + 1;
    pen.move_to(20, static_cast<std::int16_t>(y));
    text(pen, "Temporal distributions");
    text(pen, " 1.50E+03  ");  // continues where the first text ended
    y += 28;
  }
  pen.set_viewport(300, 250, 460, 290);
  font(pen, "t'helv'h18w9");
  pen.set_color(15);
  pen.move_to(-30, -6);
  text(pen, "Clipped at the viewport 0.123");
  pen.move_to(10, 20);
  text(pen, "-2.5E+02   ");
  pen.set_viewport(0, 0, kWidth - 1, kHeight - 1);
  pen.set_color(14);
  pen.move_to(600, 460);
  text(pen, "Edge text");

  // Saved rectangles restored with every action.
  const std::int32_t bytes = pen.image_size(90, 100, 150, 160);
  std::vector<unsigned char> buffer(static_cast<std::size_t>(bytes));
  pen.save_image(90, 100, 150, 160, buffer.data());
  for (std::int16_t action = 0; action <= 4; ++action) {
    pen.restore_image(static_cast<std::int16_t>(470 + action * 30),
                      static_cast<std::int16_t>(300 + action * 30), buffer.data(), action);
  }
}

TEST(GoldenSurface, PrimitivesDrawTheGoldenPicture) {
  ASSERT_TRUE(create_offscreen_main_window(kWidth, kHeight));
  initialize_fonts();
  DrawingContext pen;
  draw_primitives(pen);
  EXPECT_TRUE(test::surface_matches_png(std::string(KT_TEST_DATA_DIR) + "/display/primitives.png",
                                        kWidth, kHeight));
  destroy_offscreen_main_window();
}

}  // namespace
}  // namespace kt::display
