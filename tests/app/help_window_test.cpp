// The help window: paging by 25 lines forward and back, "Q" and "q", the 20-page budget, the
// missing file, the text read from the file, and the picture beneath coming back.
#include "app/help_window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app_page.h"
#include "graphics/title_page.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

using test::AppPage;

// What the panel showed each time the window waited for a key.
struct Snapshot {
  std::vector<bool> slot_has_text;  // 25 slots
  int light_red = 0;
};

class HelpWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(page.ready());
    TitleState title;
    draw_title_page(page.page(), title, std::string(KT_SOURCE_DIR) + "/data/ZOR.bmp");
    before = page.pixels(100, 150, 930, 620);
  }

  std::string write_help(int count, int lines, std::size_t length = 20) {
    const std::string path = (scratch.path() / "Kestrium.hlp").string();
    std::ofstream out(path);
    out << (count < 100 ? (count < 10 ? "  " : " ") : "") << count << "\n";
    for (int i = 1; i <= lines; ++i) {
      std::string line = "Line " + std::to_string(i) + " ";
      line.resize(length, 'W');
      out << line << "\n";
    }
    return path;
  }

  // Runs the window; each wait takes a snapshot and answers with the next scripted key (and
  // then with blanks).
  void run(const std::string& path, const std::string& keys) {
    std::size_t next = 0;
    show_help(page.page(), path, [&]() -> std::int16_t {
      Snapshot s;
      for (int k = 0; k < kHelpPageLines; ++k) {
        const int y = 177 + 17 * k;
        s.slot_has_text.push_back(page.count(118, y, 900, y + 14, test::kWhite) > 0);
      }
      s.light_red = page.count(108, 160, 918, 608, test::kLightRed);
      snapshots.push_back(s);
      return static_cast<std::int16_t>(next < keys.size() ? static_cast<unsigned char>(keys[next++])
                                                          : ' ');
    });
  }

  static int slots_with_text(const Snapshot& s) {
    int n = 0;
    for (bool b : s.slot_has_text) n += b ? 1 : 0;
    return n;
  }

  void expect_background_restored() { EXPECT_EQ(page.pixels(100, 150, 930, 620), before); }

  AppPage page{1024, 768};
  test::ScratchDirectory scratch;
  std::vector<std::int32_t> before;
  std::vector<Snapshot> snapshots;
};

// Paging: the count in record 1 and the lines in the file, the keys pressed, and how many lines
// each page showed when the window waited for a key.
struct PagingCase {
  const char* what;
  int count, lines;
  std::string keys;
  std::vector<int> lines_per_wait;
};

TEST_F(HelpWindowTest, Paging) {
  const PagingCase cases[] = {
      {"60 lines: three pages", 60, 60, "   ", {25, 25, 10}},
      {"q closes at once", 60, 60, "q", {25}},
      {"Q closes at once", 60, 60, "Q", {25}},
      {"25 lines: one page, then an empty panel", 25, 25, "  ", {25, 0}},
      {"a count of 0: the empty panel", 0, 10, " ", {0}},
      {"the count limits the lines", 30, 60, "  ", {25, 5}},
      {"the file ends before its count", 40, 28, "  ", {25, 3}},
      // Turning back: Backspace, or Page Up (224 then its scan code 73, "I"); each code is a
      // wait of its own. On the first page there is nothing to turn back to.
      {"Backspace turns back a page", 30, 30, " \b ", {25, 5, 25, 5}},
      {"Page Up turns back a page", 30, 30, " \xE0I ", {25, 5, 5, 25, 5}},
      {"back on the first page stays", 30, 30, "\b ", {25, 25, 5}},
      {"back from the empty panel", 25, 25, " \b  ", {25, 0, 25, 0}},
      // Page Down's scan code 81 is the letter "Q": the pair is one key and turns forward.
      {"Page Down is one key", 30, 30, "\xE0Q", {25, 25, 5}},
      {"20 pages at most", 999, 999, std::string(30, ' '),
       [] {
         std::vector<int> v(20, 25);
         v.push_back(0);
         return v;
       }()},
  };
  for (const PagingCase& c : cases) {
    SCOPED_TRACE(c.what);
    snapshots.clear();
    run(write_help(c.count, c.lines), c.keys);
    std::vector<int> shown;
    for (const Snapshot& s : snapshots) shown.push_back(slots_with_text(s));
    EXPECT_EQ(shown, c.lines_per_wait);
    // A short page fills its first slots.
    for (int k = 0; k < shown.back(); ++k) EXPECT_TRUE(snapshots.back().slot_has_text[k]);
    expect_background_restored();
  }
}

TEST_F(HelpWindowTest, ThePanelIsBlueFromCornerToCorner) {
  const std::string path = write_help(3, 3);
  show_help(page.page(), path, [&]() -> std::int16_t {
    EXPECT_EQ(page.pixel(108, 160), test::kBlue);
    EXPECT_EQ(page.pixel(918, 608), test::kBlue);
    EXPECT_NE(page.pixel(107, 400), test::kBlue);
    EXPECT_NE(page.pixel(919, 400), test::kBlue);
    // The first line starts 10 right of the panel's edge and 17 below its top.
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    EXPECT_TRUE(page.extent(108, 160, 918, 193, test::kWhite, x1, y1, x2, y2));
    EXPECT_GE(x1, 118);
    EXPECT_LE(x1, 121);
    EXPECT_GE(y1, 177);
    return ' ';
  });
  expect_background_restored();
}

TEST_F(HelpWindowTest, MissingFileShowsItsMessageUntilAKey) {
  run((scratch.path() / "absent.hlp").string(), "x");
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_GT(snapshots[0].light_red, 50);
  EXPECT_EQ(slots_with_text(snapshots[0]), 0);
  // The message starts at (350, 300).
  expect_background_restored();
}

TEST_F(HelpWindowTest, LongLinesAreCutAtEightyCharacters) {
  const std::string path = write_help(1, 1, 200);
  int right_edge = 0;
  show_help(page.page(), path, [&]() -> std::int16_t {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    EXPECT_TRUE(page.extent(108, 160, 918, 608, test::kWhite, x1, y1, x2, y2));
    right_edge = x2;
    return ' ';
  });
  // 80 characters of an 8-pixel average width; 200 would run far off the panel.
  EXPECT_LT(right_edge, 118 + 80 * 8 * 13 / 10);
  EXPECT_GT(right_edge, 118 + 60 * 8);
}

TEST(HelpFile, RecordsAsRead) {
  EXPECT_EQ(parse_help_line_count("122"), 122);
  EXPECT_EQ(parse_help_line_count("  5"), 5);
  EXPECT_EQ(parse_help_line_count(" 30 and more"), 30);
  EXPECT_EQ(parse_help_line_count("1234"), 123);
  EXPECT_EQ(parse_help_line_count("abc"), 0);
  EXPECT_EQ(parse_help_line_count(""), 0);
  EXPECT_EQ(parse_help_line_count(" -3"), 0);
  EXPECT_EQ(help_text_line("abc\r"), "abc" + std::string(77, ' '));
  EXPECT_EQ(help_text_line(std::string(100, 'x')), std::string(80, 'x'));
}

TEST(HelpFile, TheDeliveredHelpFileFitsItsFormat) {
  std::ifstream in(std::string(KT_SOURCE_DIR) + "/data/Kestrium.hlp");
  ASSERT_TRUE(in);
  std::string record;
  ASSERT_TRUE(std::getline(in, record));
  const int count = parse_help_line_count(record);
  int lines = 0;
  while (std::getline(in, record)) {
    ++lines;
    EXPECT_LE(record.size(), 80u) << "line " << lines;
  }
  EXPECT_EQ(count, lines);
  EXPECT_LE(count, kHelpPageLines * kHelpPageBudget);
}

}  // namespace
}  // namespace kt
