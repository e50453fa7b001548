#include "textio/reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "harness/harness.h"
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

// The single statements of data/free_format_reads.tsv.
TEST(FreeFormatRead, EachStatementOfTheTableFillsItsTargetsOrFails) {
  for (const auto& row :
       testing::TableRows(QEV_GOLDEN_DIR "/../textio/data/free_format_reads.tsv")) {
    SCOPED_TRACE(row[1]);
    const std::string& kinds = row[0];
    Source s(testing::Unescape(row[1]));
    std::vector<std::int32_t> integers(kinds.size(), -1);
    std::vector<float> reals(kinds.size(), -1.0f);
    std::vector<Target> targets;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      if (kinds[i] == 'i') {
        targets.emplace_back(&integers[i]);
      } else {
        targets.emplace_back(&reals[i]);
      }
    }
    if (row[2][0] == '!') {
      const std::string message = ErrorOf([&] { FreeFormatRead(s.source, targets); });
      EXPECT_TRUE(row[2] == "!" || message == row[2].substr(1)) << message;
      continue;
    }
    FreeFormatRead(s.source, targets);
    std::istringstream want(row[2]);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      double value = 0.0;
      want >> value;
      if (kinds[i] == 'i') {
        EXPECT_EQ(integers[i], static_cast<std::int64_t>(value)) << i;
      } else {
        EXPECT_EQ(reals[i], static_cast<float>(value)) << i;
      }
    }
  }
}

// Each statement starts at a new line: what is left on a line is lost.
TEST(FreeFormatRead, EachReadStartsAtANewLine) {
  Source s("1 2\n3\n");
  std::int32_t x = 0;
  FreeFormatRead(s.source, {&x});
  FreeFormatRead(s.source, {&x});
  EXPECT_EQ(x, 3);
  EXPECT_EQ(ErrorOf([] {
              Source file("1900 1 1\n6.5abc\x01\n", true);
              float a, b, c;
              FreeFormatRead(file.source, {&a, &b, &c});
              FreeFormatRead(file.source, {&a}, true);
            }),
            "catalog file 'x.dat', line 2: read \"6.5abc?\", expected a real number");
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
