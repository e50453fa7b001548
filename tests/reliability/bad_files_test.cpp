// The bad-file half of the reliability matrix: broken catalog files, files
// that cannot be opened or written, and file names at the limits of their
// length. Each case checks the console report, the exit status and the output
// file left behind (whole lines, nothing after the stop).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "textio/reader.h"

namespace qev::testing {
namespace {

// Every line of an output file ended by carriage return and line feed.
bool WholeLines(const std::string& bytes) { return bytes.empty() || bytes.ends_with("\r\n"); }

const std::string kIntro = "\n\nout.txt\n";
// Magnitude units, only complete parts, the spans, layout 2, one part.
const std::string kCompleteDialog = "1\n2\n50 100 1000\n2\n1\ncomp.dat\n";
// Suggested threshold, Xmax from the catalog, its error, procedure 1, prior,
// starting point by program, one run, no hazard table on the console.
const std::string kRest = "1\n1\n0.2\n1\n1.0 0.1\n1\n0\n0\n";
const std::string kHeader = "1950 1 1\n1999 12 31\n4.0\n0.1\n";
const std::string kSummaryTitle = "                * * * SUMMARY OF INPUT DATA * * *\r\n\r\n";

std::string Magnitudes() {
  std::string text;
  for (const char* m :
       {"4.0", "4.1", "4.0", "4.2", "4.5", "4.3", "4.7", "4.1", "5.0", "4.4", "5.5", "6.1"}) {
    text += std::string(m) + "\n";
  }
  return text;
}

class BadFiles : public ::testing::Test {
 protected:
  // A complete-only session on `catalog` saved as comp.dat.
  SessionOutcome RunComplete(const std::string& catalog) {
    work_.WriteFile("comp.dat", catalog);
    return work_.Run(kIntro + kCompleteDialog + kRest);
  }

  // The catalog was refused: exit status 1, `report` on the console, and the
  // output file ends with the summary title (no summary of the part).
  void ExpectRefused(const SessionOutcome& outcome, const std::string& report) {
    EXPECT_EQ(outcome.ExitStatus, 1);
    EXPECT_NE(outcome.Console.find(report), std::string::npos) << LastLines(outcome.Console, 10);
    EXPECT_TRUE(outcome.Console.ends_with("Stop - Program terminated.\r\n"));
    ASSERT_TRUE(!outcome.OutputFileName.empty());
    EXPECT_TRUE(outcome.OutputFile.ends_with(kSummaryTitle))
        << outcome.OutputFile.substr(outcome.OutputFile.size() - 200);
  }

  Workspace work_;
};

// Complete files refused while they are read: the console names the file, the
// line and the text, and the report ends before the summary of the part.
TEST_F(BadFiles, BrokenCompleteFilesAreRefusedNamingTheLineAndText) {
  const std::string endReached = " READING ERROR: end of catalog file 'comp.dat' reached";
  const std::string line = " READING ERROR in catalog file 'comp.dat', line ";
  const std::string read = "\r\n read     : \"";
  const struct {
    std::string catalog, message;
  } cases[] = {
      {"", endReached},
      {"\n\n   \n\r\n", endReached},
      {"1950 1 1\n1999 12 31\n", endReached},  // no threshold
      {"1950 1 1\n1999 12\n", endReached},     // end date cut short
      {"1950 1 1\n1999 12 31\nfour\n0.1\n4.5\n", line + "3" + read + "four\""},
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0\xff\xfe\n",
                   13),
       line + "1" + read + "?ELF?"},
      {kHeader + "4.5\n4,7\n5.x\n", line + "7" + read + "5.x\""},
      // A megabyte-long number: beyond single precision, shown cut to 40 characters.
      {kHeader + "4" + std::string(1 << 20, '0') + "\n",
       read + "4" + std::string(39, '0') + "...\""},
      {kHeader + "4.5\n1e39\n", read + "1e39\""},
      {kHeader + "4.5\n-1e39\n", read + "-1e39\""},
      {"1950 1 1\n1999 12 31\n4.0\n1D39\n4.5\n", read + "1D39\""},
      // 3e37 is a single-precision value, but 3e39 hundredths fit no 32-bit integer.
      {kHeader + "4.5\n3e37\n", line + "6"},
      {"1950 1 1\n1999 12 31\n4.0\n-2.2e7\n4.5\n", line + "4"},
      {"1950 1 1\n1999 12 31\n4.0\n-0.1\n" + Magnitudes(),
       " expected : a standard deviation not below 0\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ExpectRefused(RunComplete(c.catalog), c.message);
  }
}

// A megabyte of blanks after a value is the ignored rest of its line; years
// before the common era are dates like any other.
TEST_F(BadFiles, AMegabyteOfBlanksAndNegativeYearsAreRead) {
  const SessionOutcome wide =
      RunComplete(kHeader + "4.5" + std::string(1 << 20, ' ') + "9\n" + Magnitudes());
  EXPECT_EQ(wide.ExitStatus, 0) << LastLines(wide.Console, 10);
  EXPECT_NE(wide.OutputFile.find("  Number of earthquakes  =   13\r\n"), std::string::npos);
  const SessionOutcome years = RunComplete("-500 1 1\n-451 12 31\n4.0\n0.1\n" + Magnitudes());
  EXPECT_EQ(years.ExitStatus, 0) << LastLines(years.Console, 10);
  EXPECT_NE(years.OutputFile.find("  Catalog STARTS at  -500/ 1/ 1\r\n"), std::string::npos);
}

// Negative frequencies are refused; in layout 1 of the extreme file a
// per-event SD below 0.01 is raised to 0.01.
TEST_F(BadFiles, NegativeFrequenciesAreRefusedAndSmallExtremeSdsRaised) {
  work_.WriteFile("comp.dat", "1950 1 1\n1999 12 31\n4.0\n0.1\n-3 4.5\n10 4.0\n5 4.6\n2 5.2\n");
  const SessionOutcome frequency =
      work_.Run(kIntro + "1\n2\n50 100 1000\n3\n1\ncomp.dat\n" + kRest);
  EXPECT_EQ(frequency.ExitStatus, 1);
  EXPECT_NE(frequency.Console.find(" expected : a frequency not below 0\r\n"), std::string::npos);
  work_.WriteFile(
      "ext.dat", "1700 1 1\n1949 12 31\n1703 5 5 6.6 0.2\n1751 0 0 6.0 -0.3\n1799 12 31 6.9 0.2\n");
  const SessionOutcome extreme = work_.Run(kIntro + "1\n1\n50 100 1000\n1\next.dat\n" + kRest);
  EXPECT_TRUE(extreme.Console.ends_with("Stop - Program terminated.\r\n"));
  EXPECT_NE(extreme.OutputFile.find(" 1751  5  5  6.00   .01\r\n"), std::string::npos)
      << extreme.OutputFile;
}

TEST_F(BadFiles, AnOutputFileThatCannotBeWrittenStopsBeforeAnyQuestionOfUnits) {
  work_.MakeDir("sub");
  for (const std::string name : {"sub", "nodir/out.txt"}) {
    const SessionOutcome outcome = work_.Run("\n\n" + name + "\n1\n");
    EXPECT_EQ(outcome.ExitStatus, 1) << name;
    EXPECT_NE(
        outcome.Console.find(" ERROR: cannot create or rewrite the output file '" + name + "'"),
        std::string::npos)
        << name << "\n"
        << LastLines(outcome.Console, 6);
    EXPECT_EQ(outcome.Console.find("UNITS of INPUT"), std::string::npos) << name;
  }
}

// A blank answer asks again and takes up to 260 characters: no file system
// takes a name that long, so the file cannot be created. (Names cut to 15
// characters are pinned by the transcripts.)
TEST_F(BadFiles, AVeryLongOutputFileNameCannotBeCreated) {
  const std::string longName(260, 'n');
  const SessionOutcome tooLong = work_.Run("\n\n\n" + longName + "\n1\n");
  EXPECT_EQ(tooLong.ExitStatus, 1);
  EXPECT_NE(tooLong.Console.find("File name missing or blank - please enter file name\r\nUNIT 9? "),
            std::string::npos)
      << LastLines(tooLong.Console, 8);
  EXPECT_NE(
      tooLong.Console.find(" ERROR: cannot create or rewrite the output file '" + longName + "'"),
      std::string::npos);
}

// Inputs that once destroyed a file, lost a record, blocked for ever or
// stopped without the system's reason. Each row is a session (in-process, or
// the program itself when it needs its standard input or a shell): its exit
// status, the message lines in order, the files it leaves beside its inputs
// (whole lines each), and every file that was there before, byte for byte.
TEST_F(BadFiles, HostileInputsStopWithTheirMessageAndLeaveEveryFileAsItWas) {
  struct Entry {
    std::string name;
    std::string bytes;  // the contents; for a link its target; "|" a named pipe
    bool link = false;
  };
  const std::string complete = kHeader + Magnitudes();
  const std::string grouped = "1\n2\n50 100 1000\n3\n1\ncomp.dat\n" + kRest;
  const std::string extreme = "1\n1\n50 100 1000\n1\next.dat\n" + kRest;
  const std::string catalogRefused = " ERROR: cannot open catalog file '";
  const std::string isOutput =
      " it is the output file of this session, which its report would replace";
  const std::string kept = "' is left as it was; the report so far is in '";
  const std::string read = " read     : ";
  const struct {
    const char* what;
    std::vector<Entry> entries;
    std::string answers;
    std::vector<std::string> messages;      // in this order; every row ends with exit status 1
    std::vector<std::string> created = {};  // besides out.txt, which any row may write
    const char* shell = "";  // empty: in-process; else the command line of the program
  } cases[] = {
      {"the catalog named as output file",
       {{"comp.dat", complete}},
       "\n\ncomp.dat\n" + kCompleteDialog + kRest,
       {catalogRefused + "comp.dat'", isOutput, " The file 'comp.dat" + kept + "comp.dat.partial'"},
       {"comp.dat.partial"}},
      {"the catalog named as ./ output file",
       {{"comp.dat", complete}},
       "\n\n./comp.dat\n" + kCompleteDialog + kRest,
       {isOutput, " The file './comp.dat" + kept + "./comp.dat.partial'"},
       {"comp.dat.partial"}},
      {"a link to the catalog named as output file",
       {{"comp.dat", complete}, {"link", "comp.dat", true}},
       "\n\nlink\n" + kCompleteDialog + kRest,
       {isOutput, "comp.dat.partial'"},
       {"comp.dat.partial"}},
      {"an output name cut to the catalog's",
       {{"complete-period", complete}},
       "\n\ncomplete-periodX\n1\n2\n50 100 1000\n2\n1\ncomplete-period\n" + kRest,
       {isOutput},
       {"complete-period.partial"}},
      {"the answer file named as output file",
       {{".stdin", "\n\n.stdin\n1\n"}},
       "\n\n.stdin\n1\n",
       {" ERROR: cannot create or rewrite the output file '.stdin'",
        " it is the program's standard input (the answers)"},
       {},
       QEV_BINARY},
      {"an error stop with an earlier report of the name",
       {{"out.txt", "an earlier report\r\n"}, {"comp.dat", kHeader + "4.5\n5.x\n"}},
       kIntro + kCompleteDialog + kRest,
       {" READING ERROR in catalog file 'comp.dat', line 6",
        " The file 'out.txt" + kept + "out.txt.partial'"},
       {"out.txt.partial"}},
      {"a named pipe as catalog",
       {{"comp.dat", "|"}},
       kIntro + kCompleteDialog + kRest,
       {catalogRefused + "comp.dat'",
        " it is not a regular file but a device, a pipe or a socket"}},
      {"a folder as catalog",
       {},
       kIntro + "1\n2\n50 100 1000\n2\n1\n/\n" + kRest,
       {catalogRefused + "/'", " it is a directory, not a file"}},
      {"an endless device as catalog",
       {},
       kIntro + "1\n2\n50 100 1000\n2\n1\n/dev/zero\n" + kRest,
       {catalogRefused + "/dev/zero'",
        " it is not a regular file but a device, a pipe or a socket"}},
      {"a catalog line beyond 4 MiB",
       {{"comp.dat", kHeader + std::string(kLongestLine + 1, '4') + "\n"}},
       kIntro + kCompleteDialog + kRest,
       {" READING ERROR in catalog file 'comp.dat', line 5",
        read + "a line of more than 4194304 characters"}},
      {"a console line beyond 4 MiB",
       {},
       kIntro + std::string(kLongestLine + 1, ' ') + "\n",
       {" READING ERROR in console input, line 4",
        read + "a line of more than 4194304 characters"}},
      {"a catalog that cannot be read (an error of the input)",
       {},
       kIntro + "1\n2\n50 100 1000\n2\n1\n/proc/self/mem\n" + kRest,
       {" READING ERROR in catalog file '/proc/self/mem', line 1",
        read + "a failure of the input: Input/output error"}},
      {"the last event cut short",
       {{"ext.dat", "1700 1 1\n1949 12 31\n1703 5 5 6.6 0.2\n1940 5 5 7.5\n"}},
       kIntro + extreme,
       {" READING ERROR in catalog file 'ext.dat', line 4",
        read + "the end of the file after 4 of 5 values"}},
      {"a magnitude of 100",
       {{"comp.dat", kHeader + "4.5\n100\n"}},
       kIntro + kCompleteDialog + kRest,
       {" READING ERROR in catalog file 'comp.dat', line 6", read + "magnitude 100",
        " expected : a magnitude not above 10"}},
      {"a part ending before it starts, without data lines",
       {{"comp.dat", "1950 0 0\n1949 0 0\n4.0\n0.1\n"}},
       kIntro + kCompleteDialog + kRest,
       {" READING ERROR in catalog file 'comp.dat', line 2", read + "end 1949/12/31"}},
      {"a fractional frequency",
       {{"comp.dat", kHeader + "3 4.5\n2.9 4.7\n"}},
       kIntro + grouped,
       {" READING ERROR in catalog file 'comp.dat', line 6", read + "frequency 2.9",
        " expected : a whole number of earthquakes"}},
      {"magnitudes all below 0",
       {{"comp.dat", "1950 1 1\n1999 12 31\n-2.0\n0.1\n-1.5\n-0.5\n-1.0\n"}},
       kIntro + kCompleteDialog + "1\n",
       {"  Maximum OBSERVED magnitude Xmax is  -.50......(1)"}},
      {"control characters in a catalog name",
       {},
       kIntro + "1\n2\n50 100 1000\n2\n1\nn\x01\x1b[2J\n" + kRest,
       {catalogRefused + "n??[2J'"}},
      {"a full disk under the output file",
       {},
       "\n\n/dev/full\n1\n",
       {" ERROR: cannot write to the output file '/dev/full'",
        " the system reports: No space left on device"}},
      // The limit (4 KiB) on the program alone, its screens through a pipe.
      {"a file size limit under the output file",
       {{"comp.dat", complete}},
       kIntro + kCompleteDialog + kRest,
       {" ERROR: cannot write to the output file 'out.txt'", " the system reports: File too large"},
       {},
       "bash -c \"set -o pipefail; (ulimit -f 4; trap '' XFSZ; exec " QEV_BINARY ") | cat\""},
  };
  namespace fs = std::filesystem;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Workspace work;
    for (const Entry& entry : c.entries) {
      if (entry.link) {
        fs::create_symlink(entry.bytes, work.Dir() / entry.name);
      } else if (entry.bytes == "|") {
        ASSERT_EQ(mkfifo((work.Dir() / entry.name).c_str(), 0600), 0);
      } else {
        work.WriteFile(entry.name, entry.bytes);
      }
    }
    const SessionOutcome outcome =
        *c.shell == '\0' ? work.Run(c.answers) : work.RunCommand(c.shell, c.answers);
    EXPECT_EQ(outcome.ExitStatus, 1) << LastLines(outcome.Console, 10);
    std::size_t at = 0;
    for (const std::string& message : c.messages) {
      at = outcome.Console.find(message, at);
      EXPECT_NE(at, std::string::npos) << message << "\n" << LastLines(outcome.Console, 10);
    }
    EXPECT_TRUE(outcome.Console.ends_with("Stop - Program terminated.\r\n"));
    std::map<std::string, std::string> left;
    for (const auto& file : fs::directory_iterator(work.Dir())) {
      if (file.is_regular_file()) left[file.path().filename()] = ReadBytes(file.path());
    }
    for (const Entry& entry : c.entries) {
      if (!entry.link && entry.bytes != "|") {
        EXPECT_EQ(left[entry.name], entry.bytes) << entry.name;
      }
      left.erase(entry.name);
    }
    for (const std::string& name : c.created) {
      EXPECT_TRUE(left.count(name)) << name;
      EXPECT_TRUE(left[name].starts_with("  \r\n =====") && WholeLines(left[name])) << name;
      left.erase(name);
    }
    left.erase(".stdin");
    for (const std::string harness : {".stdout", ".stderr", "out.txt"}) {
      EXPECT_TRUE(WholeLines(left[harness])) << harness;
      left.erase(harness);
    }
    for (const auto& [name, bytes] : left) ADD_FAILURE() << "left behind: " << name;
  }
}

}  // namespace
}  // namespace qev::testing
