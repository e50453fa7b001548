#include "textio/reader.h"

#include <gtest/gtest.h>

#include <sstream>

#include "qev/errors.h"

namespace qev {
namespace {

struct Source {
  explicit Source(const std::string& text, bool file = false)
      : in(text), source(in, file ? "catalog file 'x.dat'" : "console input", file) {}
  std::istringstream in;
  LineSource source;
};

// Runs a read expected to fail and returns the error's message.
template <typename F>
std::string ErrorOf(F&& read) {
  try {
    read();
  } catch (const ReadingError& error) {
    return error.what();
  }
  ADD_FAILURE() << "the read did not fail";
  return {};
}

TEST(FreeFormatRead, MenuAnswersIgnoreBlanksTrailingCommasAndExtraValues) {
  for (const char* text : {"  3\n", "3,\n", "3 4\n", "\n\n3\n", "\t3\r\n"}) {
    Source s(text);
    std::int32_t answer = 0;
    FreeFormatRead(s.source, {&answer});
    EXPECT_EQ(answer, 3) << text;
  }
}

TEST(FreeFormatRead, ValuesMaySpanLinesAndEachReadStartsAtANewLine) {
  for (const char* text :
       {"50,100,1000\n", "50 100 1000\n", "50\n100\n1000\n", "50 , 100,1000 9\n"}) {
    Source s(text);
    float a = 0, b = 0, c = 0;
    FreeFormatRead(s.source, {&a, &b, &c});
    EXPECT_EQ(a, 50.0f);
    EXPECT_EQ(b, 100.0f);
    EXPECT_EQ(c, 1000.0f);
  }
  Source s("1 2\n3\n");
  std::int32_t x = 0;
  FreeFormatRead(s.source, {&x});
  FreeFormatRead(s.source, {&x});
  EXPECT_EQ(x, 3);  // the 2 left on the first line is lost
}

TEST(FreeFormatRead, NullValuesRepeatsAndSlashLeaveOrFillTargets) {
  Source s("1,,3\n2*7.5 1*\n4 /\n");
  float a = -1, b = -1, c = -1, d = -1;
  FreeFormatRead(s.source, {&a, &b, &c});
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(b, -1.0f);
  EXPECT_EQ(c, 3.0f);
  a = b = c = -1;
  FreeFormatRead(s.source, {&a, &b, &c});
  EXPECT_EQ(a, 7.5f);
  EXPECT_EQ(b, 7.5f);
  EXPECT_EQ(c, -1.0f);
  FreeFormatRead(s.source, {&a, &b, &d});
  EXPECT_EQ(a, 4.0f);
  EXPECT_EQ(b, 7.5f);
  EXPECT_EQ(d, -1.0f);
}

TEST(FreeFormatRead, RealsTakeEOrDExponentsAndPlainIntegers) {
  Source s("5 1.5E2 -2.5d-1 .5 +3.\n");
  float v[5] = {};
  FreeFormatRead(s.source, {&v[0], &v[1], &v[2], &v[3], &v[4]});
  EXPECT_EQ(v[0], 5.0f);
  EXPECT_EQ(v[1], 150.0f);
  EXPECT_EQ(v[2], -0.25f);
  EXPECT_EQ(v[3], 0.5f);
  EXPECT_EQ(v[4], 3.0f);
}

TEST(FreeFormatRead, MalformedValuesAreReportedWithSourceTextAndExpectation) {
  EXPECT_EQ(ErrorOf([] {
              Source s("1.0\n");
              std::int32_t x;
              FreeFormatRead(s.source, {&x});
            }),
            "console input, line 1: read \"1.0\", expected an integer");
  EXPECT_EQ(ErrorOf([] {
              Source s("1900 1 1\n6.5abc\x01\n", true);
              float a, b, c;
              FreeFormatRead(s.source, {&a, &b, &c});
              FreeFormatRead(s.source, {&a}, true);
            }),
            "catalog file 'x.dat', line 2: read \"6.5abc?\", expected a real number");

  for (const char* bad : {"1e39", "-1e39", "nan", "inf", "1e", "--1", "4.5.1", "6.5abc"}) {
    Source s(std::string(bad) + "\n");
    float r;
    ErrorOf([&] { FreeFormatRead(s.source, {&r}); });
  }
  Source big("2147483648\n");
  std::int32_t i;
  ErrorOf([&] { FreeFormatRead(big.source, {&i}); });
  // r* gives r null values: the target keeps its value.
  Source nulls("3*\n");
  float kept = 2.5f;
  FreeFormatRead(nulls.source, {&kept});
  EXPECT_EQ(kept, 2.5f);
}

TEST(FreeFormatRead, EndOfFileBranchKeepsValuesFilledBeforeIt) {
  Source s("1900 5\n", true);
  float y = 0, m = 0, d = -1;
  EXPECT_EQ(FreeFormatRead(s.source, {&y, &m, &d}, true), ReadOutcome::EndOfFile);
  EXPECT_EQ(y, 1900.0f);
  EXPECT_EQ(m, 5.0f);
  EXPECT_EQ(d, -1.0f);

  Source trailing("4.5\n\n\n", true);
  float mag = 0;
  EXPECT_EQ(FreeFormatRead(trailing.source, {&mag}, true), ReadOutcome::Completed);
  EXPECT_EQ(FreeFormatRead(trailing.source, {&mag}, true), ReadOutcome::EndOfFile);

  Source noLineEnd("4.5 0.2", true);
  float sd = 0;
  EXPECT_EQ(FreeFormatRead(noLineEnd.source, {&mag, &sd}, true), ReadOutcome::Completed);
  EXPECT_EQ(sd, 0.2f);

  // Without the branch the end of input is a reading error.
  EXPECT_EQ(ErrorOf([] {
              Source s("");
              std::int32_t x;
              FreeFormatRead(s.source, {&x});
            }),
            "console input: the input is empty, expected an integer");
}

TEST(LineRead, CutsOrPadsToTheTextLength) {
  Source s("a-rather-long-file-name.txt\r\nshort\n\n");
  std::string name;
  LineRead(s.source, name, 15);
  EXPECT_EQ(name, "a-rather-long-f");
  LineRead(s.source, name, 15);
  EXPECT_EQ(name, "short          ");
  LineRead(s.source, name, 1);
  EXPECT_EQ(name, " ");
  EXPECT_EQ(ErrorOf([&] { LineRead(s.source, name, 1); }),
            "console input: the input ends after line 3, expected a line of text");
}

}  // namespace
}  // namespace qev
