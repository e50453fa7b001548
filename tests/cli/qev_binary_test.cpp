// The real program as a process: answers piped into standard input, the
// console read from standard output, the exit status from the process.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"
#include "harness/session_scripts.h"

namespace qev::testing {
namespace {

const std::string kStopLine = "Stop - Program terminated.\r\n";

TEST(QevBinary, InputEndingEarlyStopsWithStatusOneAndAFlushedFile) {
  Workspace harness;
  const auto outcome = harness.RunBinary(IntroAnswers("early.txt") + "1\n2\n");
  EXPECT_EQ(outcome.ExitStatus, 1);
  EXPECT_TRUE(outcome.Console.ends_with(kStopLine));
  ASSERT_EQ(outcome.OutputFileName, "early.txt");
  // The five top lines were written before the stop and are all there.
  EXPECT_TRUE(outcome.OutputFile.ends_with("  File Name :           early.txt      \r\n"));
}

// The answer itself was blank, and the file-name line shows the answer.
TEST(QevBinary, BlankOutputNameUsesTheCommandLineArgument) {
  Workspace harness;
  const auto outcome = harness.RunBinary(IntroAnswers("   ") + "1\n", {"argname.txt"});
  EXPECT_EQ(outcome.OutputFileName, "argname.txt");
  EXPECT_EQ(outcome.Console.find("File name missing"), std::string::npos);
  EXPECT_TRUE(outcome.OutputFile.ends_with("  File Name :" + std::string(26, ' ') + "\r\n"))
      << outcome.OutputFile;
}

}  // namespace
}  // namespace qev::testing
