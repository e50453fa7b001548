// The header block of the output file: 55 records, the fixed rows exactly,
// the rows of citations and contacts in their places and forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/output_header.h"
#include "harness/session_harness.h"

namespace qev::testing {
namespace {

const std::string kEquals = " " + std::string(60, '=');

class OutputHeader : public ::testing::Test {
 protected:
  void SetUp() override {
    outcome = harness.RunProcedure("", [](Session& s) { WriteOutputHeader(s.io.Sink()); },
                                   "header.txt");
    lines = SplitLines(outcome.OutputFile);
  }
  // Row n of the block (1-based, as the rows are numbered).
  const std::string& Row(std::size_t n) const { return lines.at(n - 1); }

  SessionHarness harness;
  SessionOutcome outcome;
  std::vector<std::string> lines;
};

TEST_F(OutputHeader, WritesFiftyFiveRecordsToTheFileOnly) {
  EXPECT_EQ(lines.size(), 55u);
  EXPECT_TRUE(outcome.Console.empty());
  EXPECT_EQ(outcome.OutputFile.substr(outcome.OutputFile.size() - 4), "\r\n\r\n");
  EXPECT_EQ(outcome.ExitStatus, -1);  // no stop
}

TEST_F(OutputHeader, FixedRowsAreWrittenWithTheirLeadingBlank) {
  ASSERT_EQ(lines.size(), 55u);
  EXPECT_EQ(Row(1), "  ");
  EXPECT_EQ(Row(2), kEquals);
  EXPECT_EQ(Row(2).size(), 61u);
  EXPECT_EQ(Row(3), "  ");
  EXPECT_EQ(Row(4), " SEISMIC HAZARD ASSESSMENT FROM INCOMPLETE & UNCERTAIN DATA");
  EXPECT_EQ(Row(5), "");
  EXPECT_EQ(Row(6), " Version B: LAMBDA and BETA are calculated SIMULTANEOUSLY");
  EXPECT_EQ(Row(7), " Magnitude errors are distributed NORMALLY");
  EXPECT_EQ(Row(8), " Range of magnitude integration: < m_min, m_max >");
  EXPECT_EQ(Row(9), " Procedure for Mmax evaluation accounts both, aleatory");
  EXPECT_EQ(Row(10), " and epistemic errors. [SD(b)/b = 0.25]");
  EXPECT_EQ(Row(11), "");
  EXPECT_EQ(Row(12), " Regional maximum magnitude can be estimated according to:");
  EXPECT_EQ(Row(13), "  ");
  EXPECT_EQ(Row(17), " Theory of the HAZARD evaluation procedure is given in:");
  EXPECT_EQ(Row(23), "  ");
  EXPECT_EQ(Row(24), "  and");
  EXPECT_EQ(Row(31), "");
  EXPECT_EQ(Row(32), kEquals);
  EXPECT_EQ(Row(33), "");
  EXPECT_EQ(Row(34), " PROGRAM : QEV");
  EXPECT_EQ(Row(37), " RELEASE : 2.08/04 NOV 2001");
  EXPECT_EQ(Row(38), "");
  EXPECT_EQ(Row(39), "  NEW FEATURES OF QEV, RELEASE 2.08:");
  EXPECT_EQ(Row(40), "   - a second procedure for Mmax assessment has been introduced");
  EXPECT_EQ(Row(41), "   - new version accepts free format of input files");
  EXPECT_EQ(Row(42), "   - reads a piori Gutenberg-Richter b-value and its SD");
  EXPECT_EQ(Row(43), "");
  EXPECT_EQ(Row(44), kEquals);
  EXPECT_EQ(Row(45), "  ");
  EXPECT_EQ(Row(49), "");
  EXPECT_EQ(Row(53), "  ");
  EXPECT_EQ(Row(54), kEquals);
  EXPECT_EQ(Row(55), "");
}

TEST_F(OutputHeader, ZeroLengthTextRowsShowEmpty) {
  ASSERT_EQ(lines.size(), 55u);
  for (std::size_t row : {16u, 18u, 25u}) {
    EXPECT_EQ(Row(row).find_first_not_of(' '), std::string::npos) << "row " << row;
  }
}

TEST_F(OutputHeader, ProcedureRowsNameBothProceduresWithACitation) {
  ASSERT_EQ(lines.size(), 55u);
  const std::string first = "  (1) Tolve-Brandholm, (";
  const std::string second = "  (2) Tolve-Brandholm-Bayes, (";
  EXPECT_EQ(Row(14).rfind(first, 0), 0u) << Row(14);
  EXPECT_EQ(Row(15).rfind(second, 0), 0u) << Row(15);
  EXPECT_EQ(Row(14).back(), ')');
  EXPECT_EQ(Row(15).back(), ')');
}

TEST_F(OutputHeader, CitationAndContactBlocksKeepTheirIndentation) {
  ASSERT_EQ(lines.size(), 55u);
  auto indent = [&](std::size_t row) { return Row(row).find_first_not_of(' '); };
  // In the file every list record carries one blank more than its text.
  EXPECT_EQ(indent(19), 4u);
  for (std::size_t row = 20; row <= 22; ++row) EXPECT_EQ(indent(row), 5u) << "row " << row;
  EXPECT_EQ(indent(26), 4u);
  for (std::size_t row = 27; row <= 30; ++row) EXPECT_EQ(indent(row), 5u) << "row " << row;
  EXPECT_EQ(Row(35).rfind(" WRITTEN : ", 0), 0u);
  EXPECT_EQ(Row(36).rfind(" REVISED : ", 0), 0u);
  for (std::size_t row : {46u, 47u, 48u, 50u, 51u, 52u}) {
    EXPECT_NE(indent(row), std::string::npos) << "row " << row;
  }
  // No record reaches the list-record limit.
  for (const std::string& line : lines) EXPECT_LE(line.size(), 79u) << line;
}

}  // namespace
}  // namespace qev::testing
