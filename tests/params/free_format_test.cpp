#include "params/free_format.h"

#include <gtest/gtest.h>

#include <utility>

namespace kt {
namespace {

TEST(FreeFormatText, SevenSignificantDigits) {
  EXPECT_EQ(free_format_real_text(15.0f), "15.00000");
  EXPECT_EQ(free_format_real_text(50.0f), "50.00000");
  EXPECT_EQ(free_format_real_text(248.0f), "248.0000");
  EXPECT_EQ(free_format_real_text(1.42f), "1.420000");
  EXPECT_EQ(free_format_real_text(320000.0f), "320000.0");
  EXPECT_EQ(free_format_real_text(0.1f), "0.1000000");
  EXPECT_EQ(free_format_real_text(3.0e6f), "3000000.");
  EXPECT_EQ(free_format_real_text(0.00156f), "1.5600000E-03");
  EXPECT_EQ(free_format_real_text(6.0e21f), "6.0000000E+21");
  EXPECT_EQ(free_format_real_text(0.0f), "0.0000000E+00");
  EXPECT_EQ(free_format_real_text(1.0e7f), "1.0000000E+07");
  EXPECT_EQ(free_format_real_text(-1.5f), "-1.500000");
  EXPECT_EQ(free_format_real_text(99.999999f), "100.0000");
  EXPECT_EQ(free_format_real_text(0.09999999f), "9.9999990E-02");  // below 0.1
}

// A value as the parameter file writes it (six digits) shows those digits, not the noise of its
// binary value beyond a single-precision value's seven, and reads back as the same value.
TEST(FreeFormatText, ShowsTheValueAsTheFileWritesIt) {
  const struct {
    float value;
    const char* text;
  } cases[] = {{3.57e12f, "3.5700000E+12"},
               {1.23457e-5f, "1.2345700E-05"},
               {-7.77777e30f, "-7.7777700E+30"},
               {9.99999e-2f, "9.9999900E-02"},
               {3.3e-2f, "3.3000000E-02"}};
  for (const auto& c : cases) {
    EXPECT_EQ(free_format_real_text(c.value), c.text);
    EXPECT_EQ(free_format_read_real(free_format_real_text(c.value)), c.value) << c.text;
  }
}

TEST(FreeFormatInput, FirstItemOfAList) {
  for (const char* text :
       {"15", "15.", "1.5E1", "1.5D1", "1.5e+1", " +15 ", "15 20", "15,20", "15/"})
    EXPECT_EQ(free_format_read_real(text), 15.0f) << text;
  EXPECT_EQ(free_format_read_real("-2.5d-3"), -2.5e-3f);
  EXPECT_EQ(free_format_read_real("3"), 3.0f);
}

TEST(FreeFormatInput, TheTextAfterTheFirstItemIsWhatWasNotRead) {
  const std::pair<const char*, const char*> cases[] = {
      {"72,5", "5"},     {" 1 2 3 ", "2 3"}, {"15, ", ""},    {"15/", ""},
      {"15 / 7", "/ 7"}, {"1.5E1", ""},      {"15,,20", "20"}};
  for (const auto& [text, unused] : cases) EXPECT_EQ(free_format_unused_text(text), unused) << text;
}

TEST(FreeFormatInput, NoValue) {
  for (const char* text :
       {"", "   ", "/", "/15", ",15", "abc", "3a", "1.5E", "e5", ".", "-", "1e60"})
    EXPECT_FALSE(free_format_read_real(text).has_value()) << text;
}

TEST(FreeFormatInput, OnlyTheFirst55CharactersAreRead) {
  std::string text(54, ' ');
  EXPECT_EQ(free_format_read_real(text + "7"), 7.0f);
  EXPECT_FALSE(free_format_read_real(text + " 7").has_value());
}

std::string name_of(std::string_view text) {
  auto name = free_format_read_name(text);
  return name ? std::string(name->data(), name->size()) : "<none>";
}

TEST(FreeFormatName, ItemsQuotesAndLength) {
  EXPECT_EQ(name_of("Data1"), "Data1         ");
  EXPECT_EQ(name_of("ABCDEFGHIJKLMNOPQRST"), "ABCDEFGHIJKLMN");
  EXPECT_EQ(name_of("run 7"), "run           ");
  EXPECT_EQ(name_of("'run 7'"), "run 7         ");
  EXPECT_EQ(name_of("\"a,b/c\" next"), "a,b/c         ");
  EXPECT_EQ(name_of("  x,y"), "x             ");
  EXPECT_EQ(name_of(""), "<none>");
  EXPECT_EQ(name_of("    "), "<none>");
  EXPECT_EQ(name_of("/name"), "<none>");
}

}  // namespace
}  // namespace kt
