// The companion tools as programs: conventions of the command line, exit
// statuses, errors on standard error, and files written end to end.
#include <gtest/gtest.h>

#include <string>

#include "companion/process_runner.h"
#include "companion/report_fixture.h"

namespace qev::companion {
namespace {

using testing::Quoted;
using testing::ReadFile;
using testing::RunIn;
using testing::TempFolder;
using testing::WriteFile;

const std::string kSynth = Quoted(QEV_SYNTH_BINARY);
const std::string kReport = Quoted(QEV_REPORT_BINARY);

TEST(CompanionTools, HelpUsageAndVersionEndNormally) {
  TempFolder folder("qev-cli");
  for (const std::string& tool : {kSynth, kReport}) {
    const auto version = RunIn(folder.Path(), tool + " --version");
    EXPECT_EQ(version.Status, 0);
    EXPECT_NE(version.Out.find(" 2."), std::string::npos) << version.Out;
    const auto usage = RunIn(folder.Path(), tool + " -h");
    EXPECT_EQ(usage.Status, 0);
    EXPECT_EQ(usage.Out.rfind("Usage: ", 0), 0u) << usage.Out;
    const auto help = RunIn(folder.Path(), tool + " --help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("EXIT STATUS"), std::string::npos);
    EXPECT_EQ(help.Out.find("\\f"), std::string::npos);  // no font escapes left
  }
}

TEST(CompanionTools, ErrorsGoToStandardErrorWithStatusOne) {
  TempFolder folder("qev-cli");
  const auto badOption = RunIn(folder.Path(), kSynth + " --lambada 3");
  EXPECT_EQ(badOption.Status, 1);
  EXPECT_EQ(badOption.Err.rfind("ERROR: unknown option --lambada", 0), 0u) << badOption.Err;
  EXPECT_TRUE(badOption.Out.empty());

  const auto capacity = RunIn(folder.Path(), kSynth + " --extreme 1000:1999");
  EXPECT_EQ(capacity.Status, 1);
  EXPECT_NE(capacity.Err.find("(nex)"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "extreme.dat"));

  const auto missing = RunIn(folder.Path(), kReport + " no-such-report.out");
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err.rfind("ERROR: ", 0), 0u);

  WriteFile(folder.Path() / "stopped.out", "  \r\n  Date      : 05-Mar-24 \r\n");
  const auto stopped = RunIn(folder.Path(), kReport + " --svg f.svg stopped.out");
  EXPECT_EQ(stopped.Status, 1);
  EXPECT_NE(stopped.Err.find("RESULTS"), std::string::npos) << stopped.Err;
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "f.svg"));
}

TEST(CompanionTools, SynthWritesTheSameFilesForTheSameSeed) {
  TempFolder folder("qev-cli");
  std::filesystem::create_directories(folder.Path() / "a");
  std::filesystem::create_directories(folder.Path() / "b");
  const std::string options = " --b 1 --lambda 4 --seed 17 --extreme 1700:1899,window=2,threshold=4.5 "
                              "--complete 1900:1999,threshold=4.5,layout=3 --script s.txt";
  const auto first = RunIn(folder.Path(), kSynth + options + " --dir a");
  const auto second = RunIn(folder.Path(), kSynth + options + " --dir b");
  ASSERT_EQ(first.Status, 0) << first.Err;
  ASSERT_EQ(second.Status, 0) << second.Err;
  EXPECT_EQ(first.Out, second.Out);
  for (const char* name : {"extreme.dat", "complete1.dat", "s.txt"}) {
    const std::string a = ReadFile(folder.Path() / "a" / name);
    EXPECT_FALSE(a.empty()) << name;
    EXPECT_EQ(a, ReadFile(folder.Path() / "b" / name)) << name;
  }
  EXPECT_NE(first.Out.find("Lambda = 4.0000"), std::string::npos) << first.Out;
}

TEST(CompanionTools, ReportWritesCsvAndSvgAndStandardOutputByDefault) {
  TempFolder folder("qev-cli");
  WriteFile(folder.Path() / "r.out", testing::FixtureReport());
  const auto all = RunIn(folder.Path(), kReport + " --hazard-csv h.csv --results-csv r.csv --svg f.svg r.out");
  ASSERT_EQ(all.Status, 0) << all.Err;
  EXPECT_EQ(ReadFile(folder.Path() / "h.csv").rfind("magnitude,annual_rate,", 0), 0u);
  EXPECT_EQ(ReadFile(folder.Path() / "r.csv").rfind("quantity,value,sd\nBeta,2.07,0.10\n", 0), 0u);
  EXPECT_NE(ReadFile(folder.Path() / "f.svg").find("</svg>"), std::string::npos);
  const auto piped = RunIn(folder.Path(), kReport + " -", "r.out");
  EXPECT_EQ(piped.Status, 0);
  EXPECT_EQ(piped.Out, ReadFile(folder.Path() / "h.csv"));
}

}  // namespace
}  // namespace qev::companion
