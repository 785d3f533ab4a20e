// Font requests: the parser, the face aliases and the made font's size.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>

#include "display/display.h"
#include "display/drawing_context.h"
#include "display/fonts.h"

namespace kt::display {
namespace {

TEST(FontRequest, ParsesEveryOption) {
  const auto request = parse_font_request("t'Tms Rmn'h29w12 f p v r b i u e");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->face, "Tms Rmn");
  EXPECT_EQ(request->height, 29);
  EXPECT_EQ(request->width, 12);
  EXPECT_EQ(request->pitch, Pitch::proportional);  // the later of f/p counts
  EXPECT_EQ(request->kind, FontKind::raster);      // the later of v/r counts
  EXPECT_TRUE(request->best_fit && request->italic && request->underline && request->bold);

  const auto upper = parse_font_request("H15W8T'COURIER'");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->face, "COURIER");
  EXPECT_EQ(upper->height, 15);
  EXPECT_EQ(upper->width, 8);

  EXPECT_FALSE(parse_font_request("t'helv h12w7"));  // unclosed quote
  EXPECT_FALSE(parse_font_request("t'" + std::string(32, 'a') + "'"));
  EXPECT_TRUE(parse_font_request("t'" + std::string(31, 'a') + "'"));
  const auto numbered = parse_font_request("n3h40");
  ASSERT_TRUE(numbered);
  EXPECT_EQ(numbered->number, 3);
  EXPECT_EQ(numbered->height, 0);  // nothing after the number counts
}

TEST(FontRequest, RasterFontsByExactSizeOrBestFit) {
  std::vector<FontEntry> list(3);
  list[0] = {"Small", 10, 5, false, false};
  list[1] = {"Small", 14, 7, false, false};
  list[2] = {"Scaled", 0, 0, true, true};
  FontRequest request;
  request.face = "small";
  request.height = 14;
  EXPECT_EQ(select_font(request, list), 1);
  request.height = 13;
  EXPECT_EQ(select_font(request, list), -1);
  request.best_fit = true;
  request.width = 6;
  EXPECT_EQ(select_font(request, list), 1);  // score 2 beats 4
  request.height = 400;
  EXPECT_EQ(select_font(request, list), -1);  // no score under 200
  request = FontRequest{};
  request.pitch = Pitch::fixed;
  EXPECT_EQ(select_font(request, list), 2);
  request.kind = FontKind::raster;
  EXPECT_EQ(select_font(request, list), -1);
  request = FontRequest{};
  request.number = 3;
  EXPECT_EQ(select_font(request, list), 2);
  request.number = 4;
  EXPECT_EQ(select_font(request, list), -1);
}

class FontOnWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(create_offscreen_main_window(300, 100));
    ASSERT_GT(initialize_fonts(), 0);
  }
  void TearDown() override { destroy_offscreen_main_window(); }
  DrawingContext pen;
};

TEST_F(FontOnWindow, AliasesSelectTheScalableFaceAtTheRequestedSize) {
  const std::vector<FontEntry> list = build_font_list();
  const std::int16_t helv = pen.set_font("t'helv'h12w7        ", 20);
  ASSERT_GT(helv, 0);
  const FontEntry& entry = list[static_cast<std::size_t>(helv - 1)];
  EXPECT_TRUE(entry.scalable);
  EXPECT_TRUE(entry.face == "Arial" || entry.face == "Liberation Sans") << entry.face.toStdString();
  FontRequest request = *parse_font_request("t'helv'h12w7");
  const MadeFont made = make_font(entry, request);
  const QFontMetricsF metrics(made.font);
  EXPECT_NEAR(metrics.height(), 12.0, 1.0);
  EXPECT_NEAR(average_char_width(made.font) * made.x_scale, 7.0, 0.01);

  const std::int16_t times = pen.set_font("t'tms rmn'h29w12", 16);
  ASSERT_GT(times, 0);
  const QString face = list[static_cast<std::size_t>(times - 1)].face;
  EXPECT_TRUE(face == "Times New Roman" || face == "Liberation Serif") << face.toStdString();
  const std::int16_t courier = pen.set_font("t'COURIER'", 10);
  ASSERT_GT(courier, 0);
  EXPECT_TRUE(list[static_cast<std::size_t>(courier - 1)].fixed_pitch);

  EXPECT_EQ(pen.set_font("t'helv h12w7", 12), -1);
  EXPECT_EQ(pen.set_font("t'No Such Face At All'", 22), -1);
  EXPECT_EQ(pen.set_font("n0", 2), -1);
  EXPECT_EQ(pen.set_font("n1", 2), 1);
}

}  // namespace
}  // namespace kt::display
