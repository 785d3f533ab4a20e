#include "params/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kt {
namespace {

TEST(FixedFormat, RoundsAndRightJustifies) {
  EXPECT_EQ(format_fixed(15.0, 12, 4), "     15.0000");
  EXPECT_EQ(format_fixed(5933.80449, 10, 4), " 5933.8045");
  EXPECT_EQ(format_fixed(-1.25, 8, 1), "    -1.2");  // exact tie of the binary value
  EXPECT_EQ(format_fixed(5.0, 5, 0), "   5.");
}

TEST(FixedFormat, LeadingZeroKeptWhenItFitsDroppedOtherwise) {
  EXPECT_EQ(format_fixed(0.5, 6, 4), "0.5000");
  EXPECT_EQ(format_fixed(-0.5, 6, 4), "-.5000");
  EXPECT_EQ(format_fixed(0.5, 5, 4), ".5000");
  EXPECT_EQ(format_fixed(-0.5, 5, 4), "*****");
  EXPECT_EQ(format_fixed(0.99996, 6, 4), "1.0000");  // rounding carries past the point
}

TEST(FixedFormat, TooWideValuesBecomeAsterisks) {
  EXPECT_EQ(format_fixed(12345678.9, 12, 4), "************");
  EXPECT_EQ(format_fixed(1234567.8, 12, 4), "1234567.8000");
  EXPECT_EQ(format_fixed(1e300, 10, 4), "**********");
}

TEST(FixedFormat, NonFiniteValues) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(format_fixed(std::nan(""), 6, 4), "   NaN");
  EXPECT_EQ(format_fixed(inf, 10, 4), "  Infinity");
  EXPECT_EQ(format_fixed(-inf, 10, 4), " -Infinity");
  EXPECT_EQ(format_fixed(-inf, 6, 4), "******");
}

TEST(ScientificFormat, FieldsOfTheParameterAndKineticsFiles) {
  EXPECT_EQ(format_scientific(1.42f, 12, 5), " 1.42000E+00");
  EXPECT_EQ(format_scientific(0.00156f, 12, 5), " 1.56000E-03");
  EXPECT_EQ(format_scientific(3.57e12f, 12, 5), " 3.57000E+12");
  EXPECT_EQ(format_scientific(0.0, 12, 5), " 0.00000E+00");
  EXPECT_EQ(format_scientific(-1.5, 12, 5), "-1.50000E+00");
  // A three-digit exponent keeps its letter and fills the field exactly.
  EXPECT_EQ(format_scientific(1.70566e-250, 12, 5), "1.70566E-250");
  EXPECT_EQ(format_scientific(-1.70566e-250, 12, 5), "************");
  EXPECT_EQ(format_scientific(std::nan(""), 12, 5), "         NaN");
}

}  // namespace
}  // namespace kt
