// The bad-file half of the reliability matrix: broken catalog files, files
// that cannot be opened or written, and file names at the limits of their
// length. Each case checks the console report, the exit status and the output
// file left behind (whole lines, nothing after the stop).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
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

const std::string kMagnitudes = "4.0\n4.1\n4.0\n4.2\n4.5\n4.3\n4.7\n4.1\n5.0\n4.4\n5.5\n6.1\n";

// A megabyte of blanks after a value is the ignored rest of its line; years
// before the common era are dates like any other.
TEST(BadFiles, AMegabyteOfBlanksAndNegativeYearsAreRead) {
  for (const auto& [header, data, shown] :
       {std::tuple{kHeader, "4.5" + std::string(1 << 20, ' ') + "9\n",
                   "  Number of earthquakes  =   13\r\n"},
        std::tuple{std::string("-500 1 1\n-451 12 31\n4.0\n0.1\n"), std::string(),
                   "  Catalog STARTS at  -500/ 1/ 1\r\n"}}) {
    Workspace work;
    work.WriteFile("comp.dat", header + data + kMagnitudes);
    const SessionOutcome outcome = work.Run(kIntro + kCompleteDialog + kRest);
    EXPECT_EQ(outcome.ExitStatus, 0) << LastLines(outcome.Console, 10);
    EXPECT_NE(outcome.OutputFile.find(shown), std::string::npos) << shown;
  }
}

// A field of data/hostile_inputs.tsv, its escapes undone and its
// placeholders filled in; a list field split at its bars first.
std::string Expand(const std::string& field) {
  const std::pair<std::string, std::string> placeholders[] = {
      {"$INTRO", kIntro},
      {"$DIALOG", kCompleteDialog},
      {"$REST", kRest},
      {"$HEADER", kHeader},
      {"$COMPLETE", kHeader + kMagnitudes},
      {"$QEV", QEV_BINARY},
      {"$LONG_NAME", std::string(260, 'n')},
      {"$LONG_LINE", std::string(kLongestLine + 1, ' ')}};
  std::string text = Unescape(field);
  for (const auto& [name, value] : placeholders) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at))
      text.replace(at, name.size(), value);
  }
  return text;
}
std::vector<std::string> Items(const std::string& field) {
  std::vector<std::string> items;
  std::istringstream list(field);
  for (std::string item; std::getline(list, item, '|');) items.push_back(Expand(item));
  return items;
}

// The entries of a table field made in the workspace: links (NAME->TARGET),
// named pipes (NAME<>), folders (NAME/) and files (NAME=BYTES). Returns the
// names; the files' bytes go to `before`.
std::vector<std::string> MakeEntries(Workspace& work, const std::string& field,
                                     std::map<std::string, std::string>& before) {
  namespace fs = std::filesystem;
  std::vector<std::string> entries;
  for (const std::string& entry : Items(field)) {
    const std::size_t link = entry.find("->"), pipe = entry.find("<>"), equals = entry.find('=');
    entries.push_back(entry.substr(0, std::min({link, pipe, equals})));
    if (link < equals) {
      fs::create_symlink(entry.substr(link + 2), work.Dir() / entries.back());
    } else if (pipe < equals) {
      EXPECT_EQ(mkfifo((work.Dir() / entries.back()).c_str(), 0600), 0) << entries.back();
    } else if (entry.ends_with('/')) {
      work.MakeDir(entries.back());
    } else {
      before[entries.back()] = entry.substr(equals + 1);
      work.WriteFile(entries.back(), before[entries.back()]);
    }
  }
  return entries;
}

// The regular files of the folder and their bytes.
std::map<std::string, std::string> RegularFiles(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.is_regular_file()) files[file.path().filename()] = ReadBytes(file.path());
  }
  return files;
}

// The file a name of the table stands for: itself or, ending in '*' (a
// temporary name), the first file so beginning.
std::string WrittenName(const std::map<std::string, std::string>& left, const std::string& name) {
  if (!name.ends_with('*')) return name;
  const std::string stem = name.substr(0, name.size() - 1);
  const auto found = left.lower_bound(stem);
  return found != left.end() && found->first.starts_with(stem) ? found->first : name;
}

// Each row of data/hostile_inputs.tsv is a session (in-process, or the program
// itself when it needs its standard input or a shell): exit status 1, the
// message lines in order, the files it leaves beside its inputs (whole lines
// each), and every file that was there before, byte for byte.
TEST(BadFiles, HostileInputsStopWithTheirMessageAndLeaveEveryFileAsItWas) {
  for (auto row : TableRows(QEV_GOLDEN_DIR "/../reliability/data/hostile_inputs.tsv")) {
    row.resize(7);  // the empty fields at the end of a line
    SCOPED_TRACE(row[0]);
    Workspace work;
    std::map<std::string, std::string> before;  // the regular files and their bytes
    const std::vector<std::string> entries = MakeEntries(work, row[1], before);
    const std::string answers = Expand(row[2]), command = Expand(row[5]);
    const SessionOutcome outcome =
        command.empty() ? work.Run(answers) : work.RunCommand(command, answers);
    EXPECT_EQ(outcome.ExitStatus, 1) << LastLines(outcome.Console, 10);
    std::size_t at = 0;
    for (const std::string& message : Items(row[3])) {
      at = outcome.Console.find(message, at);
      EXPECT_NE(at, std::string::npos) << message << "\n" << LastLines(outcome.Console, 10);
    }
    EXPECT_TRUE(outcome.Console.ends_with("Stop - Program terminated.\r\n"));
    EXPECT_TRUE(row[6].empty() || outcome.Console.find(Expand(row[6])) == std::string::npos);
    std::map<std::string, std::string> left = RegularFiles(work.Dir());
    for (const std::string& name : entries) {
      EXPECT_TRUE(!before.count(name) || left[name] == before[name]) << name;
      left.erase(name);
    }
    for (const std::string& item : Items(row[4])) {
      const std::string name = WrittenName(left, item);
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
