#include "textio/formatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qev {
namespace {

std::string F(float v, int w, int d) { return FormatFixed(v, w, d); }
std::string E(float v, int w, int d) { return FormatExponent(v, w, d); }

TEST(IntegerField, RightJustifiesAndOverflowsToAsterisks) {
  EXPECT_EQ(FormatInteger(7, 2), " 7");
  EXPECT_EQ(FormatInteger(100, 2), "**");
  EXPECT_EQ(FormatInteger(-5, 3), " -5");
  EXPECT_EQ(FormatInteger(0, 1), "0");
  EXPECT_EQ(FormatInteger(10, 1), "*");
}

TEST(FixedField, HasNoZeroBeforeThePointAndRoundsHalfUp) {
  EXPECT_EQ(F(0.9f, 6, 3), "  .900");
  EXPECT_EQ(F(0.0f, 5, 2), "  .00");
  EXPECT_EQ(F(-0.5f, 5, 2), " -.50");
  EXPECT_EQ(F(9.996f, 5, 2), "10.00");
  EXPECT_EQ(F(12345.678f, 7, 2), "*******");
  EXPECT_EQ(F(10.0f, 5, 2), "10.00");
  EXPECT_EQ(F(99.999f, 5, 2), "*****");
  EXPECT_EQ(F(1.0f, 6, 4), "1.0000");
  EXPECT_EQ(F(1.0f, 8, 6), "1.000000");
  EXPECT_EQ(F(0.5f, 8, 6), " .500000");
  EXPECT_EQ(F(-0.004f, 5, 2), "  .00");
  EXPECT_EQ(F(2.0724f, 6, 3), " 2.072");
  EXPECT_EQ(F(0.05f, 4, 1), "  .1");  // the digit string 5000..., rounded half up
}

TEST(FixedField, KeepsAtMostSevenSignificantDigits) {
  // 123456.789 is 123456.7890625 in single precision: 7 digits, then zeros.
  EXPECT_EQ(F(123456.789f, 10, 2), " 123456.80");
  EXPECT_EQ(F(1.0e35f, 8, 1), "********");
  EXPECT_EQ(F(4.1f, 5, 2), " 4.10");
}

TEST(ExponentField, WritesAFractionAndATwoDigitExponent) {
  EXPECT_EQ(E(12345.0f, 10, 4), " .1235E+05");
  EXPECT_EQ(E(0.00123f, 8, 3), ".123E-02");
  EXPECT_EQ(E(0.0f, 8, 3), ".000E+00");
  EXPECT_EQ(E(-0.00123f, 8, 3), "********");
  EXPECT_EQ(E(9999.6f, 10, 4), " .1000E+05");
  EXPECT_EQ(E(1.0e-38f, 10, 3), "  .100E-37");
}

TEST(NonFiniteFields, ShowTheirTextCutOrCompletedWithPoints) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(F(inf, 8, 2), "1#INF...");
  EXPECT_EQ(F(-inf, 4, 1), "1#IN");
  volatile float zero = 0.0f;
  const float undefined = zero / zero;
  EXPECT_EQ(F(undefined, 8, 3), "1#IND...");
  EXPECT_EQ(E(std::numeric_limits<float>::quiet_NaN(), 10, 4), "1#QNAN....");
  EXPECT_EQ(F(std::numeric_limits<float>::signaling_NaN(), 6, 2), "1#SNAN");
}

TEST(FormatText, BuildsRecordsFromDescriptors) {
  EXPECT_EQ(FormatText("('  Beta   = ',F6.3,'  (b = ',F6.3,')')", {2.0724f, 0.9f}),
            std::vector<std::string>{"  Beta   =  2.072  (b =   .900)"});
  EXPECT_EQ(FormatText("(/,'  Transmission coefficient = ',F5.2)", {4.93f}),
            (std::vector<std::string>{"", "  Transmission coefficient =  4.93"}));
  EXPECT_EQ(FormatText("(/,/,/)", {}).size(), 4u);
  EXPECT_EQ(FormatText("(' ',/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)", {}).size(), 26u);
  EXPECT_EQ(FormatText("(1X,I3,5X,I5,4X,F5.1)", {1, 12, 4.09f}),
            std::vector<std::string>{"   1        12      4.1"});
  EXPECT_EQ(FormatText("('  Date      : ',A10)", {std::string("06-Dec-26               ")}),
            std::vector<std::string>{"  Date      : 06-Dec-26 "});
  EXPECT_EQ(FormatText("('  File Name : ',A25)", {std::string("report.txt     ")}),
            std::vector<std::string>{"  File Name :           report.txt     "});
}

TEST(FormatText, RepeatGroupsAndMissingItemsEndOutput) {
  EXPECT_EQ(FormatText("(' INT/MAG  LAMBDA             RET PER      Pr(T = 1,',3(1X,F7.1,','))",
                       {50.0f, 100.0f, 1000.0f}),
            std::vector<std::string>{
                " INT/MAG  LAMBDA             RET PER      Pr(T = 1,    50.0,   100.0,  1000.0,"});
  // The literals before the first data descriptor without an item are written.
  EXPECT_EQ(FormatText("('  Lambda = ',F7.2,' +- ',F7.2)", {}),
            std::vector<std::string>{"  Lambda = "});
  EXPECT_EQ(FormatText("('  Lambda = ',F7.2,' +- ',F7.2)", {1.5f}),
            std::vector<std::string>{"  Lambda =    1.50 +- "});
}

TEST(ListRecord, StartsWithABlankAndRightJustifiesIntegers) {
  EXPECT_EQ(ListRecord({}), "");
  EXPECT_EQ(ListRecord({std::string(" ")}), "  ");
  EXPECT_EQ(ListRecord({std::string(" ERROR in EXTERME DATA INPUT: e-ke nr "), 3}),
            "  ERROR in EXTERME DATA INPUT: e-ke nr           3");
  EXPECT_EQ(ListRecord({1, 2}), "           1           2");
}

}  // namespace
}  // namespace qev
