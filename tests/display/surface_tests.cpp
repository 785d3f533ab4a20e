// Pixel rules of the graphics operations on an offscreen main window.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "display/display.h"
#include "display/drawing_context.h"

namespace kt::display {
namespace {

constexpr std::int32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kYellow = 0xFFFF00;

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(create_offscreen_main_window(200, 100)); }
  void TearDown() override { destroy_offscreen_main_window(); }

  // Pixels of colour `rgb` in the rectangle [x1, x2] x [y1, y2].
  static int count(std::int32_t rgb, int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) n += surface_pixel(x, y) == rgb ? 1 : 0;
    return n;
  }
  static int count_all(std::int32_t rgb) { return count(rgb, 0, 0, 199, 99); }

  DrawingContext pen;
};

TEST_F(SurfaceTest, PaletteColoursAndClampedIndex) {
  const std::vector<std::int32_t> expected = {
      0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
      0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  for (int i = 0; i < 16; ++i) {
    pen.set_color(static_cast<std::int16_t>(i));
    pen.draw_rectangle(3, static_cast<std::int16_t>(i * 10), 0,
                       static_cast<std::int16_t>(i * 10 + 9), 9);
    EXPECT_EQ(surface_pixel(i * 10 + 5, 5), expected[static_cast<std::size_t>(i)]) << i;
  }
  EXPECT_EQ(pen.set_color(99), 15);  // previous index returned
  EXPECT_EQ(pen.set_color(3), 15);   // 99 was clamped to 15
  EXPECT_EQ(pen.set_color(-4), 3);
  EXPECT_EQ(pen.set_color(0), 0);
}

TEST_F(SurfaceTest, RectanglesAreInclusiveInAnyCornerOrder) {
  pen.set_color(15);
  EXPECT_NE(pen.draw_rectangle(3, 30, 20, 10, 5), 0);  // reversed corners
  EXPECT_EQ(count_all(kWhite), 21 * 16);
  EXPECT_EQ(count(kWhite, 10, 5, 30, 20), 21 * 16);

  pen.set_color(0);
  pen.draw_rectangle(3, 0, 0, 199, 99);
  pen.set_color(14);
  pen.draw_rectangle(2, 50, 60, 40, 50);  // outline 11 x 11
  EXPECT_EQ(count_all(kYellow), 40);
  EXPECT_EQ(surface_pixel(40, 50), kYellow);
  EXPECT_EQ(surface_pixel(50, 60), kYellow);
  EXPECT_EQ(surface_pixel(45, 55), kBlack);
  EXPECT_EQ(surface_pixel(51, 55), kBlack);

  // Coordinates beyond the surface are clipped, not rejected.
  pen.set_color(15);
  EXPECT_NE(pen.draw_rectangle(3, -50, -50, 500, 500), 0);
  EXPECT_EQ(count_all(kWhite), 200 * 100);
}

TEST_F(SurfaceTest, LinesIncludeBothEndPoints) {
  pen.set_color(15);
  pen.move_to(10, 10);
  EXPECT_NE(pen.line_to(20, 10), 0);
  EXPECT_EQ(count_all(kWhite), 11);
  EXPECT_NE(pen.line_to(20, 30), 0);  // continues from the new current position
  EXPECT_EQ(count_all(kWhite), 31);
  pen.set_color(14);
  pen.move_to(0, 0);
  pen.line_to(9, 3);  // shallow diagonal: one pixel per column
  EXPECT_EQ(count_all(kYellow), 10);
  EXPECT_EQ(surface_pixel(0, 0), kYellow);
  EXPECT_EQ(surface_pixel(9, 3), kYellow);
  PixelPosition previous;
  pen.move_to(5, 6, &previous);
  EXPECT_EQ(previous.x, 9);
  EXPECT_EQ(previous.y, 3);
  pen.move_to(50, 50);
  pen.line_to(50, 50);  // a single point
  EXPECT_EQ(surface_pixel(50, 50), kYellow);
}

TEST_F(SurfaceTest, ViewportMovesOriginAndClipsInclusively) {
  pen.set_viewport(120, 80, 100, 60);  // reversed corners: origin (100, 60), clip to (120, 80)
  pen.set_color(15);
  pen.draw_rectangle(3, 0, 0, 1000, 1000);
  EXPECT_EQ(count_all(kWhite), 21 * 21);
  EXPECT_EQ(surface_pixel(100, 60), kWhite);
  EXPECT_EQ(surface_pixel(120, 80), kWhite);
  EXPECT_EQ(surface_pixel(121, 80), kBlack);
  pen.set_color(14);
  pen.move_to(-5, 3);
  pen.line_to(40, 3);
  EXPECT_EQ(count_all(kYellow), 21);
  EXPECT_EQ(surface_pixel(100, 63), kYellow);
}

TEST_F(SurfaceTest, RealWindowMapsWithRoundingAndInvert) {
  pen.set_viewport(0, 0, 100, 50);  // 101 x 51 pixels
  ASSERT_EQ(pen.set_real_window(0, 0.0, 0.0, 10.0, 10.0), 1);
  pen.set_color(15);
  pen.move_to_real(0.05, 0.0);  // 0.505 -> 1 (half away from zero)
  pen.line_to_real(0.05, 0.0);
  EXPECT_EQ(surface_pixel(1, 0), kWhite);
  pen.move_to_real(10.0, 10.0);
  pen.line_to_real(10.0, 10.0);
  EXPECT_EQ(surface_pixel(100, 50), kWhite);
  // -0.5 maps to -1, not 0: the point is outside the clip and nothing is drawn.
  pen.set_color(14);
  pen.move_to_real(-0.05, 5.0);
  pen.line_to_real(-0.05, 5.0);
  EXPECT_EQ(count_all(kYellow), 0);
  RealPosition real;
  pen.move_to_real(0.0, 0.0, &real);
  EXPECT_DOUBLE_EQ(real.x, -0.1);
  EXPECT_DOUBLE_EQ(real.y, 5.0);

  // Inverted: y min on the bottom edge, y max on the top edge; bounds given in any order.
  ASSERT_EQ(pen.set_real_window(1, 10.0, 10.0, 0.0, 0.0), 1);
  pen.set_color(12);
  pen.move_to_real(0.0, 0.0);
  pen.line_to_real(0.0, 0.0);
  EXPECT_EQ(surface_pixel(0, 50), 0xFF0000);
  pen.move_to_real(10.0, 10.0);
  pen.line_to_real(10.0, 10.0);
  EXPECT_EQ(surface_pixel(100, 0), 0xFF0000);
  pen.move_to_real(0.0, 0.0, &real);
  EXPECT_DOUBLE_EQ(real.x, 10.0);
  EXPECT_DOUBLE_EQ(real.y, 10.0);

  // An empty extent fails and keeps the mapping.
  EXPECT_EQ(pen.set_real_window(0, 3.0, 0.0, 3.0, 1.0), 0);
  EXPECT_EQ(pen.set_real_window(0, 0.0, 2.0, 1.0, 2.0), 0);
  pen.set_color(10);
  pen.move_to_real(0.0, 0.0);
  pen.line_to_real(0.0, 0.0);
  EXPECT_EQ(surface_pixel(0, 50), 0x00FF00);

  // A new viewport keeps the real window and recomputes the mapping.
  pen.set_viewport(100, 50, 110, 60);
  pen.set_color(9);
  pen.move_to_real(10.0, 0.0);
  pen.line_to_real(10.0, 0.0);
  EXPECT_EQ(surface_pixel(110, 60), 0x0000FF);
}

TEST_F(SurfaceTest, TextAdvancesOverTrailingBlanksAndLeavesBackground) {
  ASSERT_GT(initialize_fonts(), 0);
  ASSERT_GT(pen.set_font("t'helv'h12w7", 12), 0);
  pen.set_color(0);
  pen.draw_rectangle(3, 0, 0, 199, 99);
  pen.set_color(14);
  pen.move_to(5, 20);
  pen.draw_text("AB", 2);
  RealPosition after_two;
  pen.move_to_real(0.0, 0.0, &after_two);  // no real window: real coordinates are pixels
  pen.move_to(5, 40);
  pen.draw_text("AB  ", 4);
  RealPosition after_four;
  pen.move_to_real(0.0, 0.0, &after_four);
  EXPECT_GT(after_two.x, 5.0);
  EXPECT_GT(after_four.x, after_two.x + 4.0);  // two blanks, about 3.5 pixels each at w7
  EXPECT_EQ(after_four.y, 40.0);
  // Only the text colour was painted, within the cell below the position.
  std::set<std::int32_t> colours;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) colours.insert(surface_pixel(x, y));
  EXPECT_EQ(colours, (std::set<std::int32_t>{kBlack, kYellow}));
  EXPECT_EQ(count(kYellow, 0, 0, 199, 19), 0);
  EXPECT_GT(count(kYellow, 5, 20, 30, 31), 0);
}

TEST_F(SurfaceTest, TextAdvanceIsTheSameHoweverThePositionIsReadNext) {
  // The width of a text is added to the position when the position is next used: by a line,
  // by the next text, by the position queries, and in the font the text was drawn in even
  // when another font is selected first.
  ASSERT_GT(initialize_fonts(), 0);
  ASSERT_GT(pen.set_font("t'tms rmn'h26w16", 16), 0);
  pen.move_to(3, 10);
  pen.draw_text("Wide text", 9);
  RealPosition wide;
  pen.move_to_real(0.0, 0.0, &wide);
  ASSERT_GT(wide.x, 60.0);

  pen.move_to(3, 10);
  pen.draw_text("Wide text", 9);
  ASSERT_GT(pen.set_font("t'helv'h10w5", 12), 0);  // narrower font selected before the read
  PixelPosition moved_from;
  pen.move_to(0, 0, &moved_from);
  EXPECT_EQ(moved_from.x, static_cast<std::int16_t>(wide.x));
  EXPECT_EQ(moved_from.y, 10);

  ASSERT_GT(pen.set_font("t'tms rmn'h26w16", 16), 0);
  pen.set_color(14);
  pen.move_to(3, 50);
  pen.draw_text("Wide text", 9);
  pen.line_to(static_cast<std::int16_t>(wide.x), 80);  // the line starts where the text ended
  EXPECT_EQ(surface_pixel(static_cast<int>(wide.x), 50), kYellow);

  // Two texts in a row: the second starts where the first ended.
  pen.move_to(3, 10);
  pen.draw_text("Wide", 4);
  pen.draw_text(" text", 5);
  RealPosition joined;
  pen.move_to_real(0.0, 0.0, &joined);
  RealPosition first;
  pen.move_to(3, 10);
  pen.draw_text("Wide", 4);
  pen.move_to_real(0.0, 0.0, &first);
  EXPECT_GT(joined.x, first.x);
  EXPECT_NEAR(joined.x, wide.x, 1.0);
}

TEST_F(SurfaceTest, TwoContextsKeepTheirOwnPens) {
  DrawingContext other;
  pen.set_viewport(0, 0, 100, 50);
  ASSERT_EQ(pen.set_real_window(0, 0.0, 0.0, 10.0, 10.0), 1);
  pen.set_color(PaletteColour::yellow);
  pen.move_to_real(0.0, 0.0);
  // Another drawer in between, with its own viewport, real window, colour and position.
  other.set_viewport(150, 60, 199, 99);
  ASSERT_EQ(other.set_real_window(1, -1.0, -1.0, 1.0, 1.0), 1);
  other.set_color(PaletteColour::light_red);
  other.move_to_real(-1.0, -1.0);
  other.line_to_real(1.0, 1.0);
  // The first pen's line starts where it left its position, in its window and colour.
  EXPECT_EQ(pen.line_to_real(10.0, 0.0), 1);
  EXPECT_EQ(count(kYellow, 0, 0, 100, 0), 101);
  EXPECT_EQ(count_all(kYellow), 101);
  EXPECT_EQ(surface_pixel(150, 99), 0xFF0000);
  EXPECT_EQ(surface_pixel(199, 60), 0xFF0000);
  // And the other pen goes on from its own position.
  other.line_to_real(-1.0, 1.0);
  EXPECT_EQ(count(0xFF0000, 150, 60, 199, 60), 50);
  EXPECT_EQ(count_all(kYellow), 101);
}

TEST_F(SurfaceTest, SavedRectanglesRoundTripWithEveryAction) {
  pen.set_color(12);  // 0xFF0000
  pen.draw_rectangle(3, 0, 0, 9, 4);
  pen.set_color(9);  // 0x0000FF
  pen.draw_rectangle(3, 5, 0, 9, 4);
  const std::int32_t size = pen.image_size(9, 4, 0, 0);
  ASSERT_GE(size, 10 * 5 * 3);
  std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
  pen.save_image(0, 0, 9, 4, buffer.data());

  pen.restore_image(50, 50, buffer.data(), 3);  // copy
  EXPECT_EQ(surface_pixel(50, 50), 0xFF0000);
  EXPECT_EQ(surface_pixel(59, 54), 0x0000FF);
  EXPECT_EQ(surface_pixel(60, 54), kBlack);
  EXPECT_EQ(surface_pixel(59, 55), kBlack);

  pen.set_color(10);  // 0x00FF00 under the next restores
  pen.draw_rectangle(3, 100, 0, 199, 99);
  pen.restore_image(100, 0, buffer.data(), 0);  // OR
  EXPECT_EQ(surface_pixel(100, 0), 0xFFFF00);
  pen.restore_image(120, 0, buffer.data(), 1);  // AND
  EXPECT_EQ(surface_pixel(120, 0), kBlack);
  pen.restore_image(140, 0, buffer.data(), 2);  // inverted copy
  EXPECT_EQ(surface_pixel(140, 0), 0x00FFFF);
  EXPECT_EQ(surface_pixel(149, 0), 0xFFFF00);
  pen.restore_image(160, 0, buffer.data(), 4);  // XOR
  EXPECT_EQ(surface_pixel(160, 0), 0xFFFF00);
  pen.restore_image(160, 0, buffer.data(), 4);  // XOR twice restores
  EXPECT_EQ(surface_pixel(160, 0), 0x00FF00);

  // Restoring partly outside the surface draws the visible part only.
  pen.restore_image(195, 97, buffer.data(), 3);
  EXPECT_EQ(surface_pixel(199, 99), 0xFF0000);
}

// At a device pixel ratio of 2 a curve in real coordinates follows its values at the device's
// resolution (a pixel-doubled line would be made of whole 2 x 2 blocks), keeps the thickness of
// one pixel, stays inside its viewport, and drawing it again in the background colour leaves
// nothing of it, whether drawn point by point or as segments.
TEST(OffscreenWindow, CurvesAtDeviceResolution) {
  ASSERT_TRUE(create_offscreen_main_window(100, 80, 2.0));
  DrawingContext pen;
  const auto draw_curve = [&](std::int16_t colour) {
    pen.set_viewport(10, 10, 89, 69);
    pen.set_real_window(1, 0.0, 0.0, 1.0, 1.0);
    pen.set_color(colour);
    pen.move_to_real(0.0, 0.0);
    for (int i = 1; i <= 40; ++i) {
      const double x = i / 40.0;
      pen.line_to_real(x, x * x);
    }
    std::vector<RealSegment> segments;
    for (int i = 1; i <= 40; ++i) {
      const double x0 = (i - 1) / 40.0, x1 = i / 40.0;
      segments.push_back({colour, x0, 1.0 - 0.8 * x0, x1, 1.0 - 0.8 * x1});
    }
    pen.draw_real_segments(segments.data(), static_cast<int>(segments.size()));
  };
  draw_curve(14);
  int drawn = 0, mixed_blocks = 0, outside = 0;
  for (int y = 0; y < 160; y += 2) {
    for (int x = 0; x < 200; x += 2) {
      int yellow = 0;
      for (int d = 0; d < 4; ++d) yellow += surface_pixel(x + d % 2, y + d / 2) == 0xFFFF00;
      drawn += yellow;
      if (yellow > 0 && yellow < 4) ++mixed_blocks;
      if (yellow > 0 && (x < 20 || x > 179 || y < 20 || y > 139)) ++outside;
    }
  }
  EXPECT_GT(mixed_blocks, 40) << "steps of whole pixels";
  EXPECT_EQ(outside, 0);
  // Two curves about 80 and 100 pixels long, each about two device pixels thick.
  EXPECT_GT(drawn, 2 * 2 * 80);
  EXPECT_LT(drawn, 2 * 2 * 4 * 110);
  draw_curve(0);
  int left = 0;
  for (int y = 0; y < 160; ++y) {
    for (int x = 0; x < 200; ++x) left += surface_pixel(x, y) != 0x000000;
  }
  EXPECT_EQ(left, 0);
  destroy_offscreen_main_window();
}

TEST(OffscreenWindow, WorkerFollowsTheMainWindowWhenItIsReplaced) {
  // A worker draws without pause while the main window is removed and made anew: every
  // operation lands on the window of the moment or fails without one, and once the last
  // window exists the worker's drawing reaches it.
  ASSERT_TRUE(create_offscreen_main_window(120, 80));
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  std::thread worker([&] {
    DrawingContext pen;
    const RealSegment segment{14, 0.0, 0.0, 119.0, 79.0};
    while (!stop) {
      pen.set_color(12);
      pen.draw_rectangle(3, 0, 0, 9, 9);
      pen.draw_real_segments(&segment, 1);
      pen.move_to(20, 40);
      pen.draw_text("x", 1);
      pen.move_to(20, 30);
      pen.line_to(30, 30);
      rounds.fetch_add(1);
    }
  });
  for (int i = 0; i < 20; ++i) {
    destroy_offscreen_main_window();
    std::this_thread::yield();
    ASSERT_TRUE(create_offscreen_main_window(120 + i, 80));
    const int seen = rounds.load();
    while (rounds.load() < seen + 2) std::this_thread::yield();
  }
  stop = true;
  worker.join();
  EXPECT_EQ(surface_pixel(5, 5), 0xFF0000);
  EXPECT_EQ(surface_pixel(0, 0), 0xFFFF00);  // the segment's first pixel, drawn after the rectangle
  EXPECT_EQ(surface_pixel(25, 30), 0xFFFF00);  // in the colour the segment left
  destroy_offscreen_main_window();
}

TEST(NoWindow, EveryOperationFails) {
  destroy_offscreen_main_window();
  DrawingContext pen;
  EXPECT_EQ(pen.set_color(3), -1);
  EXPECT_EQ(initialize_fonts(), -1);
  EXPECT_EQ(pen.set_font("t'helv'h12w7", 12), -1);
  EXPECT_EQ(pen.draw_rectangle(3, 0, 0, 5, 5), 0);
  EXPECT_EQ(pen.line_to(5, 5), 0);
  EXPECT_EQ(pen.line_to_real(5.0, 5.0), 0);
  EXPECT_EQ(pen.set_real_window(0, 0.0, 0.0, 1.0, 1.0), 0);
  EXPECT_LT(pen.image_size(0, 0, 5, 5), 0);
  EXPECT_LT(pen.load_bitmap("x.bmp", 5, 0, 0), 0);
  EXPECT_EQ(read_key(), -1);
  EXPECT_EQ(surface_pixel(0, 0), -1);
  EXPECT_FALSE(save_surface_png("/tmp/kt_none.png"));
  ScreenConfig config;
  config.width = 77;
  query_screen_config(config);
  EXPECT_EQ(config.width, 0);
  pen.draw_text("abc", 3);  // does nothing, does not crash
}

TEST(OffscreenWindow, WindowOperationsFromAnotherThreadNeedNoEventLoop) {
  ASSERT_TRUE(create_offscreen_main_window(320, 240));
  std::thread other([] {
    EXPECT_EQ(set_window_size(WindowTarget::frame, WindowRequest{}), -1);
    EXPECT_EQ(set_window_size(WindowTarget::frame, WindowRequest{2, 0, 0, 0, 0}), -1);
    EXPECT_EQ(set_window_size(WindowTarget::main, WindowRequest{2, 0, 0, 0, 0}), 0);
    EXPECT_EQ(set_window_size(WindowTarget::main, WindowRequest{7, 0, 0, 0, 0}), -1);
    WindowRequest size;
    EXPECT_EQ(get_window_size(WindowTarget::main, size), 0);
    EXPECT_EQ(size.state, 2);
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 240);
    EXPECT_EQ(toggle_status_bar(), 0);
    EXPECT_FALSE(append_menu_item(1, kMenuEnabled, "File", {}));
    show_message("Kestrium", "written to the error stream without a frame");
  });
  other.join();
  destroy_offscreen_main_window();
}

TEST(OffscreenWindow, ScreenConfigAndBitmap) {
  ASSERT_TRUE(create_offscreen_main_window(320, 240));
  DrawingContext pen;
  ScreenConfig config;
  query_screen_config(config);
  EXPECT_EQ(config.width, 320);
  EXPECT_EQ(config.height, 240);

  const std::string path = ::testing::TempDir() + "kt_display_logo.bmp";
  QImage bitmap(4, 3, QImage::Format_RGB32);
  bitmap.fill(QColor(255, 0, 255));
  ASSERT_TRUE(bitmap.save(QString::fromStdString(path), "BMP"));
  const std::string padded = path + "   ";  // trailing blanks are dropped
  EXPECT_EQ(pen.load_bitmap(padded.c_str(), static_cast<int>(padded.size()), 100, 100), 0);
  EXPECT_EQ(surface_pixel(100, 100), 0xFF00FF);
  EXPECT_EQ(surface_pixel(103, 102), 0xFF00FF);
  EXPECT_EQ(surface_pixel(104, 102), kBlack);
  pen.set_viewport(200, 150, 201, 151);  // a bitmap is placed in the viewport, clipped to it
  EXPECT_EQ(pen.load_bitmap(path.c_str(), static_cast<int>(path.size()), 1, 0), 0);
  EXPECT_EQ(surface_pixel(201, 150), 0xFF00FF);
  EXPECT_EQ(surface_pixel(202, 150), kBlack);
  EXPECT_LT(pen.load_bitmap("/nonexistent/ZOR.bmp", 20, 0, 0), 0);
  destroy_offscreen_main_window();
}

// The saved PNG decodes to the surface's pixels: a page of a few flat colours (stored with a
// palette), one of exactly 256 colours, and one of more than 256 (a bitmap of a colour ramp),
// which no palette can hold.
TEST(OffscreenWindow, SavedPictureDecodesToTheSurfacePixels) {
  for (const int colours : {0, 256 - 16, 300}) {
    ASSERT_TRUE(create_offscreen_main_window(320, 240));
    DrawingContext pen;
    for (std::int16_t c = 0; c < 16; ++c) {
      pen.set_color(c);
      pen.draw_rectangle(3, static_cast<std::int16_t>(c * 20), 0,
                         static_cast<std::int16_t>(c * 20 + 19), 50);
    }
    if (colours > 0) {
      // A ramp of colours that are not in the palette, one per column and row.
      const std::string path = ::testing::TempDir() + "kt_display_ramp.bmp";
      QImage ramp(20, (colours + 19) / 20, QImage::Format_RGB32);
      ramp.fill(QColor(1, 2, 3));
      for (int i = 0; i < colours; ++i) ramp.setPixel(i % 20, i / 20, qRgb(7, i / 256, i % 256));
      ASSERT_TRUE(ramp.save(QString::fromStdString(path), "BMP"));
      EXPECT_EQ(pen.load_bitmap(path.c_str(), static_cast<int>(path.size()), 10, 100), 0);
    }
    const std::string png = ::testing::TempDir() + "kt_display_saved.png";
    ASSERT_TRUE(save_surface_png(png));
    const QImage saved = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.size(), QSize(320, 240)) << colours;
    int differing = 0;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x)
        differing +=
            static_cast<std::int32_t>(saved.pixel(x, y) & 0xFFFFFFu) != surface_pixel(x, y);
    EXPECT_EQ(differing, 0) << colours;
    destroy_offscreen_main_window();
  }
}

}  // namespace
}  // namespace kt::display
