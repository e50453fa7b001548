#include "console/formatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "console/sink.h"

namespace qev {
namespace {

// One field: 'I' an integer, 'F' fixed point, 'E' a fraction and an exponent.
struct Field {
  char kind;
  float value;
  int width, decimals;
  const char* shown;
};

// Fixed fields have no zero before the point, round half up (the digit
// string of .05 is 5000...) and keep at most seven significant digits
// (123456.789 is 123456.7890625 in single precision); fields that do not fit
// show asterisks; non-finite values show their text cut or completed with
// points.
TEST(Fields, ShowTheirValueInExactlyTheirWidth) {
  const float inf = std::numeric_limits<float>::infinity();
  volatile float zero = 0.0f;
  const float undefined = zero / zero;
  // clang-format off
  const Field fields[] = {
      {'I', 7, 2, 0, " 7"}, {'I', 100, 2, 0, "**"}, {'I', -5, 3, 0, " -5"}, {'I', 0, 1, 0, "0"},
      {'I', 10, 1, 0, "*"}, {'F', 0.9f, 6, 3, "  .900"}, {'F', 0.0f, 5, 2, "  .00"},
      {'F', -0.5f, 5, 2, " -.50"}, {'F', 9.996f, 5, 2, "10.00"}, {'F', 12345.678f, 7, 2, "*******"},
      {'F', 10.0f, 5, 2, "10.00"}, {'F', 99.999f, 5, 2, "*****"}, {'F', 1.0f, 6, 4, "1.0000"},
      {'F', 1.0f, 8, 6, "1.000000"}, {'F', 0.5f, 8, 6, " .500000"}, {'F', -0.004f, 5, 2, "  .00"},
      {'F', 2.0724f, 6, 3, " 2.072"}, {'F', 0.05f, 4, 1, "  .1"},
      {'F', 123456.789f, 10, 2, " 123456.80"}, {'F', 1.0e35f, 8, 1, "********"},
      {'F', 4.1f, 5, 2, " 4.10"}, {'E', 12345.0f, 10, 4, " .1235E+05"},
      {'E', 0.00123f, 8, 3, ".123E-02"}, {'E', 0.0f, 8, 3, ".000E+00"},
      {'E', -0.00123f, 8, 3, "********"}, {'E', 9999.6f, 10, 4, " .1000E+05"},
      {'E', 1.0e-38f, 10, 3, "  .100E-37"}, {'F', inf, 8, 2, "1#INF..."}, {'F', -inf, 4, 1, "1#IN"},
      {'F', undefined, 8, 3, "1#IND..."},
      {'E', std::numeric_limits<float>::quiet_NaN(), 10, 4, "1#QNAN...."},
      {'F', std::numeric_limits<float>::signaling_NaN(), 6, 2, "1#SNAN"}};
  // clang-format on
  for (const Field& f : fields) {
    const std::string shown = f.kind == 'I'
                                  ? FormatInteger(static_cast<std::int32_t>(f.value), f.width)
                              : f.kind == 'F' ? FormatFixed(f.value, f.width, f.decimals)
                                              : FormatExponent(f.value, f.width, f.decimals);
    EXPECT_EQ(shown, f.shown) << f.kind << " " << f.value;
  }
}

// (The records of the screens and the report, built from their descriptors,
// are pinned by the golden transcripts.)
// (Repeat groups: the hazard table's header.)
TEST(FormatText, MissingItemsEndOutput) {
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

// The carriage control of console records. (The records of the screens and
// the report, the output file and the file-name prompts are pinned byte for
// byte by the golden transcripts.)
TEST(ConsoleRecords, ControlCharactersZeroOneAndPlus) {
  std::ostringstream out;
  ReportSink sink(out);
  sink.Format(Dest::Console, "('0double')");
  sink.Format(Dest::Console, "('1page')");
  sink.Format(Dest::Console, "('+over')");
  sink.WriteStopLine();
  EXPECT_EQ(out.str(), "\r\ndouble\r\n\fpage\rover\r\nStop - Program terminated.\r\n");
}

// Broken format texts are programming errors: the formatter refuses them with
// std::logic_error instead of overflowing a counter, running for ever or
// filling the memory. These inputs were found by fuzzing.
TEST(FormatLimits, BrokenFormatsAndItemsOfTheWrongTypeAreRefused) {
  // Numbers beyond any format of the program (once a signed overflow of the
  // repeat count), a repeat count of 0.
  EXPECT_THROW(FormatText("(99999999999X)", {}), std::logic_error);
  EXPECT_THROW(FormatText("(1000X)", {}), std::logic_error);
  EXPECT_THROW(FormatText("(F1000.2)", {1.0f}), std::logic_error);
  EXPECT_THROW(FormatText("(0(1X))", {}), std::logic_error);
  EXPECT_EQ(FormatText("(999X)", {}).front().size(), 999u);
  // Nested repeat groups that once ran for ever or filled a gigabyte.
  EXPECT_THROW(FormatText("(999(999(999(''))))", {}), std::logic_error);
  EXPECT_THROW(FormatText("(999(999(999X)))", {}), std::logic_error);
  EXPECT_THROW(FormatText("(999(999(/)))", {}), std::logic_error);
  // The program's own repeat groups still run.
  EXPECT_EQ(FormatText("(2(1X,I2),3('a'))", {std::int32_t{1}, std::int32_t{2}}),
            std::vector<std::string>{"  1  2aaa"});
  // Items of the wrong type; an integer is shown as a real.
  EXPECT_THROW(FormatText("(I3)", {1.5f}), std::logic_error);
  EXPECT_THROW(FormatText("(I3)", {std::string("x")}), std::logic_error);
  EXPECT_THROW(FormatText("(F5.2)", {std::string("x")}), std::logic_error);
  EXPECT_THROW(FormatText("(A3)", {std::int32_t{4}}), std::logic_error);
  EXPECT_EQ(FormatText("(F5.1)", {std::int32_t{4}}).front(), "  4.0");
}

}  // namespace
}  // namespace qev
