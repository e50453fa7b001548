// The driver's console helpers: the screen feed, the pause, the date text.
#include <gtest/gtest.h>

#include <string>

#include "driver/screen.h"
#include "harness/session_harness.h"

namespace qev::testing {
namespace {

TEST(DateText, DayMonthAndYearModuloOneHundredThenFifteenBlanks) {
  EXPECT_EQ(DateText({4, 11, 2001}), "04-Nov-01" + std::string(15, ' '));
  EXPECT_EQ(DateText({31, 12, 1999}), "31-Dec-99" + std::string(15, ' '));
  EXPECT_EQ(DateText({1, 1, 2000}), "01-Jan-00" + std::string(15, ' '));
  EXPECT_EQ(DateText({15, 6, 2105}), "15-Jun-05" + std::string(15, ' '));
  EXPECT_EQ(DateText({4, 11, 2001}).size(), 24u);
}

TEST(DateText, EveryMonthHasItsThreeLetterName) {
  const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(DateText({9, month, 2010}).substr(3, 3), names[month - 1]);
  }
}

TEST(DateText, ADateOutOfTheCalendarStaysWithinItsNineCharacters) {
  EXPECT_EQ(DateText({0, 13, -1}).size(), 24u);
  EXPECT_EQ(DateText({123, 0, 2001}).size(), 24u);
}

TEST(ClearScreen, ScrollsWithOneBlankRecordAndTwentyFiveEmptyOnes) {
  SessionHarness harness;
  const auto outcome = harness.RunProcedure("", [](Session& s) {
    ClearScreen(s.io.Sink());
    s.io.Sink().List(Dest::Console, {std::string(" next")});
  });
  // 26 empty console lines, then the next record on a line of its own.
  std::string expected;
  for (int i = 0; i < 26; ++i) expected += "\r\n";
  expected += " next";
  EXPECT_EQ(outcome.Console, expected);
}

TEST(PauseForKey, ReadsExactlyOneLineAndIgnoresIt) {
  SessionHarness harness;
  std::string nextLine;
  const auto outcome = harness.RunProcedure("anything typed\nsecond\n", [&](Session& s) {
    PauseForKey(s.io);
    s.io.ReadConsoleLine(nextLine, 15);
  });
  EXPECT_EQ(nextLine, "second" + std::string(9, ' '));
  EXPECT_TRUE(outcome.Console.empty());
}

TEST(PauseForKey, EndOfInputIsAReadingErrorStop) {
  SessionHarness harness;
  const auto outcome = harness.RunProcedure("", [](Session& s) { PauseForKey(s.io); });
  EXPECT_EQ(outcome.ExitStatus, 1);
  EXPECT_NE(outcome.Console.find("Stop - Program terminated."), std::string::npos);
}

}  // namespace
}  // namespace qev::testing
