// The real program as a process: answers piped into standard input, the
// console read from standard output, the exit status from the process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Only an exact first argument --help or --version is a request: it is answered
// on standard output with status 0 and no session; any other argument stays the
// name of a file answered blank, here the output file.
TEST(QevBinary, HelpAndVersionAreRequestsOnlyAsTheExactFirstArgument) {
  struct Case {
    std::vector<std::string> Args;
    int Status;
    std::string ConsolePart;  // what standard output must hold
    std::string OutputFile;   // the file the session wrote, empty for none
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "\nThe manual: man qev\n", ""},
      {{"--version"}, 0, "qev " QEV_VERSION "\n", ""},
      {{"--version.txt"}, 1, kStopLine, "--version.txt"},
      {{"named.txt", "--help"}, 1, kStopLine, "named.txt"},
  };
  for (const Case& c : cases) {
    Workspace harness;
    const auto outcome = harness.RunBinary(IntroAnswers("   ") + "1\n", c.Args);
    EXPECT_EQ(outcome.ExitStatus, c.Status) << c.Args[0];
    EXPECT_NE(outcome.Console.find(c.ConsolePart), std::string::npos) << outcome.Console;
    EXPECT_EQ(outcome.OutputFileName, c.OutputFile) << c.Args[0];
  }
}

}  // namespace
}  // namespace qev::testing
