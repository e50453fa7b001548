// The companion tools as programs: conventions of the command line, exit
// statuses, errors on standard error, and files written end to end.
#include <gtest/gtest.h>

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
  const struct {
    std::string Command;
    std::string Error;  // the start of standard error
  } cases[] = {
      {kSynth + " --lambada 3", "ERROR: unknown option --lambada (see --help)\n"},
      {kSynth + " stray", "ERROR: unexpected operand 'stray' (see --help)\n"},
      {kSynth + " --lambda ''", "ERROR: --lambda: '' is not a number\n"},
      {kSynth + " --lambda nan", "ERROR: --lambda: 'nan' is not a number\n"},
      {kSynth + " --mmax 1e39", "ERROR: --mmax: '1e39' is not a number\n"},
      {kSynth + " --seed -1", "ERROR: --seed: '-1' is not a non-negative integer\n"},
      {kSynth + " --seed 18446744073709551616", "ERROR: --seed: '18446744073709551616' is not"},
      {kSynth + " --lambda", "ERROR: --lambda: "},
      {kSynth + " --extreme 1000:1999", "ERROR: the extreme part would have 1000 windows"},
      {kReport + " no-such-report.out", "ERROR: cannot open the report file 'no-such-report.out'"},
      {kReport + " --units feet r.out", "ERROR: --units must be magnitude or intensity\n"},
      {kReport + " r.out r.out", "ERROR: unexpected operand 'r.out' (see --help)\n"},
      {kReport + " --svg f.svg stopped.out", "ERROR: the report holds no RESULTS"},
      {kReport + " --hazard-csv ./r.out r.out",
       "ERROR: --hazard-csv names the report file itself\n"},
      {kReport + " --svg x --results-csv x r.out",
       "ERROR: --results-csv and --svg name the same file\n"},
  };
  for (const auto& c : cases) {
    const auto outcome = folder.RunCommand(c.Command);
    EXPECT_EQ(outcome.ExitStatus, 1) << c.Command;
    EXPECT_EQ(outcome.ErrorStream.substr(0, c.Error.size()), c.Error) << c.Command;
    EXPECT_TRUE(outcome.Console.empty()) << c.Command;
  }
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
  EXPECT_NE(folder.ReadFile("a/complete1.dat"), folder.ReadFile("c/complete1.dat"));
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

TEST(CompanionTools, ReportWritesCsvAndSvgAndStandardOutputByDefault) {
  Workspace folder;
  folder.WriteFile("r.out", testing::FixtureReport());
  const auto all =
      folder.RunCommand(kReport + " --hazard-csv h.csv --results-csv r.csv --svg f.svg r.out");
  ASSERT_EQ(all.ExitStatus, 0) << all.ErrorStream;
  EXPECT_EQ(folder.ReadFile("h.csv").rfind("magnitude,annual_rate,", 0), 0u);
  EXPECT_EQ(folder.ReadFile("r.csv").rfind("quantity,value,sd\nBeta,2.07,0.10\n", 0), 0u);
  EXPECT_NE(folder.ReadFile("f.svg").find("</svg>"), std::string::npos);
  const auto piped = folder.RunCommand(kReport + " -", folder.ReadFile("r.out"));
  EXPECT_EQ(piped.ExitStatus, 0);
  EXPECT_EQ(piped.Console, folder.ReadFile("h.csv"));
}

}  // namespace
}  // namespace qev::companion
