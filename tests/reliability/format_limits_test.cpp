// Broken format texts are programming errors: the formatter refuses them with
// std::logic_error instead of overflowing a counter, running for ever or
// filling the memory. These inputs were found by fuzzing.
#include <gtest/gtest.h>

#include <stdexcept>

#include "textio/formatter.h"

namespace qev {
namespace {

TEST(FormatLimits, NumbersBeyondAnyFormatOfTheProgramAreRefused) {
  // Once a signed overflow of the repeat count.
  EXPECT_THROW(FormatText("(99999999999X)", {}), std::logic_error);
  EXPECT_THROW(FormatText("(1000X)", {}), std::logic_error);
  EXPECT_THROW(FormatText("(F1000.2)", {1.0f}), std::logic_error);
  EXPECT_EQ(FormatText("(999X)", {}).front().size(), 999u);
}

TEST(FormatLimits, NestedRepeatGroupsCannotRunAwayInTimeOrMemory) {
  EXPECT_THROW(FormatText("(999(999(999(''))))", {}), std::logic_error);  // once a time-out
  EXPECT_THROW(FormatText("(999(999(999X)))", {}), std::logic_error);     // once a gigabyte
  EXPECT_THROW(FormatText("(999(999(/)))", {}), std::logic_error);
  // The program's own repeat groups still run.
  const auto records = FormatText("(2(1X,I2),3('a'))", {std::int32_t{1}, std::int32_t{2}});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.front(), "  1  2aaa");
}

TEST(FormatLimits, AnItemOfTheWrongTypeIsAProgrammingError) {
  EXPECT_THROW(FormatText("(I3)", {1.5f}), std::logic_error);
  EXPECT_THROW(FormatText("(I3)", {std::string("x")}), std::logic_error);
  EXPECT_THROW(FormatText("(F5.2)", {std::string("x")}), std::logic_error);
  EXPECT_THROW(FormatText("(A3)", {std::int32_t{4}}), std::logic_error);
  EXPECT_EQ(FormatText("(F5.1)", {std::int32_t{4}}).front(),
            "  4.0");  // an integer shown as a real
}

}  // namespace
}  // namespace qev
