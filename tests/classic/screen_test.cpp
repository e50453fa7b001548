#include "classic/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace qev {
namespace {

TEST(DateText, DayMonthAndYearModuloOneHundredThenFifteenBlanks) {
  EXPECT_EQ(DateText({4, 11, 2001}), "04-Nov-01" + std::string(15, ' '));
  EXPECT_EQ(DateText({1, 1, 2000}), "01-Jan-00" + std::string(15, ' '));
  EXPECT_EQ(DateText({15, 6, 2105}), "15-Jun-05" + std::string(15, ' '));
  const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month)
    EXPECT_EQ(DateText({9, month, 2010}).substr(3, 3), names[month - 1]);
  // A date out of the calendar still keeps its nine characters.
  EXPECT_EQ(DateText({0, 13, -1}).size(), 24u);
  EXPECT_EQ(DateText({123, 0, 2001}).size(), 24u);
}

}  // namespace
}  // namespace qev
