// The real program's command line: the requests --help and --version beside
// arguments that name files answered blank.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"
#include "qev/version.h"

namespace qev::testing {
namespace {

const std::string kStopLine = "Stop - Program terminated.\r\n";

// Only an exact first argument -h, --help or --version is a request: it is answered
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
      {{"-h"}, 0, "\nThe manual: man qev\n", ""},
      {{"-h"}, 0, "Usage: qev [FILE]...\n       qev -h | --help | --version\n", ""},
      {{"--help"}, 0, "qev-prepare", ""},
      {{"--help"}, 0, "qev-batch", ""},
      {{"--version"}, 0, "qev " QEV_VERSION "\n", ""},
      {{"--version.txt"}, 1, kStopLine, "--version.txt"},
      {{"named.txt", "--help"}, 1, kStopLine, "named.txt"},
      {{"-help"}, 1, kStopLine, "-help"},
  };
  for (const Case& c : cases) {
    Workspace harness;
    const auto outcome = harness.RunBinary("\n\n   \n1\n", c.Args);
    EXPECT_EQ(outcome.ExitStatus, c.Status) << c.Args[0];
    EXPECT_NE(outcome.Console.find(c.ConsolePart), std::string::npos) << outcome.Console;
    EXPECT_EQ(outcome.OutputFileName, c.OutputFile) << c.Args[0];
  }
}

// qev/version.h spells the project version the build was given, part by part.
TEST(QevBinary, VersionHeaderSpellsTheProjectVersion) {
  EXPECT_STREQ(QEV_VERSION_STRING, QEV_VERSION);
  EXPECT_EQ(std::to_string(QEV_VERSION_MAJOR) + "." + std::to_string(QEV_VERSION_MINOR) + "." +
                std::to_string(QEV_VERSION_PATCH),
            QEV_VERSION);
}

}  // namespace
}  // namespace qev::testing
