// The real program as a process: answers piped into standard input, the
// console read from standard output, the exit status from the process.
#include <gtest/gtest.h>

#include <string>

#include "harness/session_harness.h"
#include "harness/session_scripts.h"

namespace qev::testing {
namespace {

const std::string kStopLine = "Stop - Program terminated.\r\n";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(QevBinary, WholeSessionEndsWithTheStopLineAndStatusZero) {
  SessionHarness harness;
  harness.WriteFile("comp1.dat", SmallCompleteCatalog());
  const auto outcome = harness.RunBinary(CompleteSession("run.txt", "comp1.dat", "50 100 1000\n"));
  EXPECT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  EXPECT_TRUE(EndsWith(outcome.Console, kStopLine));
  EXPECT_TRUE(outcome.ErrorStream.empty()) << outcome.ErrorStream;
  EXPECT_EQ(outcome.OutputFileName, "run.txt");
  EXPECT_EQ(outcome.OutputFile.rfind("  \r\n " + std::string(60, '=') + "\r\n\r\n  Date      : ", 0), 0u);
}

TEST(QevBinary, InputEndingEarlyStopsWithStatusOneAndAFlushedFile) {
  SessionHarness harness;
  const auto outcome = harness.RunBinary(IntroAnswers("early.txt") + "1\n2\n");
  EXPECT_EQ(outcome.ExitStatus, 1);
  EXPECT_TRUE(EndsWith(outcome.Console, kStopLine));
  ASSERT_EQ(outcome.OutputFileName, "early.txt");
  // The five top lines were written before the stop and are all there.
  EXPECT_TRUE(EndsWith(outcome.OutputFile, "  File Name :           early.txt      \r\n"));
}

TEST(QevBinary, BlankOutputNameUsesTheCommandLineArgument) {
  SessionHarness harness;
  const auto outcome = harness.RunBinary(IntroAnswers("") + "1\n", {"argname.txt"});
  EXPECT_EQ(outcome.OutputFileName, "argname.txt");
  EXPECT_EQ(outcome.Console.find("File name missing"), std::string::npos);
}

TEST(QevBinary, MissingCatalogFileStopsWithStatusOne) {
  SessionHarness harness;
  const auto outcome =
      harness.RunBinary(CompleteSession("out.txt", "nosuch.dat", "50 100 1000\n"));
  EXPECT_EQ(outcome.ExitStatus, 1);
  EXPECT_NE(outcome.Console.find("nosuch.dat"), std::string::npos);
  EXPECT_TRUE(EndsWith(outcome.Console, kStopLine));
}

}  // namespace
}  // namespace qev::testing
