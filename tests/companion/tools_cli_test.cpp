// The companion tools as programs: conventions of the command line, exit
// statuses, errors on standard error, and the same files for the same seed.
// (The installed tools end to end: install_check.cmake.)
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "companion/report_fixture.h"
#include "harness/harness.h"

namespace qev::companion {
namespace {

using qev::testing::ShellQuote;
using qev::testing::Workspace;

const std::string kSynth = ShellQuote(QEV_SYNTH_BINARY);
const std::string kReport = ShellQuote(QEV_REPORT_BINARY);

// Each bad command line ends with one "ERROR: ..." line on standard error,
// exit status 1 and nothing on standard output. The numbers are those the
// option parser alone would take: an empty text as 0, "nan", a float overflow
// and a negative seed as the largest seed.
TEST(CompanionTools, BadCommandLinesEndWithAnErrorLineAndStatusOne) {
  Workspace folder;
  folder.WriteFile("r.out", testing::FixtureReport());
  folder.WriteFile("stopped.out", "  \r\n  Date      : 05-Mar-24 \r\n");
  int commands = 0;
  std::ifstream table(QEV_GOLDEN_DIR "/../companion/data/bad_commands.txt");
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t bar = line.find(" | "), last = line.rfind(" | ");
    const std::string command = (line.compare(0, bar, "synth") == 0 ? kSynth : kReport) + " " +
                                line.substr(bar + 3, last - bar - 3);
    std::string error = line.substr(last + 3);
    if (error.back() == '$') error.back() = '\n';
    const auto outcome = folder.RunCommand(command);
    EXPECT_EQ(outcome.ExitStatus, 1) << command;
    EXPECT_EQ(outcome.ErrorStream.substr(0, error.size()), error) << command;
    EXPECT_TRUE(outcome.Console.empty()) << command;
    ++commands;
  }
  EXPECT_EQ(commands, 19);
  for (const char* name : {"extreme.dat", "f.svg", "x"}) {
    EXPECT_FALSE(std::filesystem::exists(folder.Dir() / name)) << name;
  }
  EXPECT_EQ(folder.ReadFile("r.out"), testing::FixtureReport());
}

TEST(CompanionTools, SynthWritesTheSameFilesForTheSameSeedAndOthersForAnother) {
  Workspace folder;
  for (const char* dir : {"a", "b", "c"}) folder.MakeDir(dir);
  const std::string options =
      " --b 1 --lambda 4 --extreme 1700:1899,window=2,threshold=4.5 "
      "--complete 1900:1999,threshold=4.5,layout=3 --script s.txt";
  const auto first = folder.RunCommand(kSynth + options + " --seed 17 --dir a");
  const auto second = folder.RunCommand(kSynth + options + " --seed 17 --dir b");
  ASSERT_EQ(folder.RunCommand(kSynth + options + " --seed 18 --dir c").ExitStatus, 0);
  EXPECT_NE(folder.ReadFile("a/extreme.dat"), folder.ReadFile("c/extreme.dat"));
  ASSERT_EQ(first.ExitStatus, 0) << first.ErrorStream;
  ASSERT_EQ(second.ExitStatus, 0) << second.ErrorStream;
  EXPECT_EQ(first.Console, second.Console);
  for (const char* name : {"extreme.dat", "complete1.dat", "s.txt"}) {
    const std::string a = folder.ReadFile(std::string("a/") + name);
    EXPECT_FALSE(a.empty()) << name;
    EXPECT_EQ(a, folder.ReadFile(std::string("b/") + name)) << name;
  }
  EXPECT_NE(first.Console.find("Lambda = 4.0000"), std::string::npos) << first.Console;
}

}  // namespace
}  // namespace qev::companion
