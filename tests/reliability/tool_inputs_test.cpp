// The tools' half of the hostile inputs: qev-prepare and qev-batch (and qev
// under a shell) on files that are pipes, folders, devices, links to their
// own outputs, lines and documents beyond the readers' caps, and runs stopped
// by a signal or a file size limit. Each row of data/hostile_tool_inputs.tsv
// checks the exit status, the messages, that every file of the folder is
// there as it was, and that nothing but the named outputs is left (no
// temporary file).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"

#if defined(QEV_PREPARE_BINARY) && defined(QEV_BATCH_BINARY)

namespace qev::testing {
namespace {

namespace fs = std::filesystem;

std::string Repeated(const std::string& piece, std::size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

std::string BatchJob(int replicates) {
  return "seed = 7\nreplicates = " + std::to_string(replicates) +
         "\noutput = \"out\"\n[defaults]\nmmin = 3.4\n[[zone]]\nname = \"z\"\n"
         "extreme = \"" QEV_GOLDEN_DIR
         "/../../examples/ext_l1.dat\"\n"
         "complete = [\"" QEV_GOLDEN_DIR "/../../examples/cp1900_l1.dat\"]\n";
}

// A field of the table, its escapes undone and its placeholders filled in.
std::string Expand(const std::string& field) {
  const std::pair<std::string, std::string> placeholders[] = {
      {"$PREPARE", QEV_PREPARE_BINARY},
      {"$BATCH", QEV_BATCH_BINARY},
      {"$QEV", QEV_BINARY},
      {"$EXAMPLES", QEV_GOLDEN_DIR "/../../examples"},
      {"$CSV", "time,latitude,longitude,mag,magError\n"},
      {"$SLOW_JOB", BatchJob(4000)},
      {"$LARGE_JOB", BatchJob(500)},
      {"$JOB", BatchJob(3)},
      {"$EARLIER",
       "out/results.csv=earlier results\n|out/results.jsonl={}\n|out/hazard.csv=earlier\n|"
       "out/summary.csv=earlier\n|out/openquake/source_model_logic_tree.xml=<earlier/>\n"},
      {"$LONG_LINE", std::string((std::size_t{1} << 22) + 1, 'x')},
      {"$DEEP_XML",
       "<quakeml>" + Repeated("<a>", 100000) + Repeated("</a>", 100000) + "</quakeml>"},
      {"$DEEP_JSON", std::string(100000, '[') + std::string(100000, ']')},
      {"$QUOTE_LINES", Repeated("\na,b", 400000)}};
  std::string text = Unescape(field);
  for (const auto& [name, value] : placeholders) {
    for (auto at = text.find(name); at != std::string::npos;
         at = text.find(name, at + value.size()))
      text.replace(at, name.size(), value);
  }
  return text;
}

std::vector<std::string> Items(const std::string& field) {
  std::vector<std::string> items;
  std::istringstream list(Expand(field));
  for (std::string item; std::getline(list, item, '|');) items.push_back(item);
  return items;
}

// The regular files under the folder, by their relative names.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && !entry.is_symlink())
      files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path());
  }
  return files;
}

// The entries of a table field made in the workspace, folders above them
// included: links (NAME->TARGET), named pipes (NAME<>), folders (NAME/) and
// files (NAME=BYTES), whose bytes go to the map returned.
std::map<std::string, std::string> MakeEntries(Workspace& work, const std::string& field) {
  std::map<std::string, std::string> before;
  for (const std::string& entry : Items(field)) {
    const std::size_t link = entry.find("->"), pipe = entry.find("<>"), equals = entry.find('=');
    const std::string name = entry.substr(0, std::min({link, pipe, equals}));
    fs::create_directories((work.Dir() / name).parent_path());
    if (link < equals) {
      fs::create_symlink(entry.substr(link + 2), work.Dir() / name);
    } else if (pipe < equals) {
      EXPECT_EQ(mkfifo((work.Dir() / name).c_str(), 0600), 0) << name;
    } else if (entry.ends_with('/')) {
      work.MakeDir(name);
    } else {
      before[name] = entry.substr(equals + 1);
      work.WriteFile(name, before[name]);
    }
  }
  return before;
}

// Takes from `left` the files a name of the table stands for (itself or,
// ending in '*', every file so beginning); returns how many.
std::size_t TakeWritten(std::map<std::string, std::string>& left, const std::string& name) {
  const bool prefix = name.ends_with('*');
  const std::string stem = prefix ? name.substr(0, name.size() - 1) : name;
  std::size_t found = 0;
  for (auto it = left.begin(); it != left.end();) {
    const bool match = prefix ? it->first.starts_with(stem) : it->first == stem;
    it = match ? (++found, left.erase(it)) : std::next(it);
  }
  return found;
}

TEST(HostileToolInputs, StopWithTheirMessageAndLeaveEveryFileAsItWas) {
  for (auto row : TableRows(QEV_GOLDEN_DIR "/../reliability/data/hostile_tool_inputs.tsv")) {
    row.resize(6);
    SCOPED_TRACE(row[0]);
    Workspace work;
    const std::map<std::string, std::string> before = MakeEntries(work, row[1]);
    const SessionOutcome outcome = work.RunCommand(Expand(row[2]));
    EXPECT_EQ(outcome.ExitStatus, std::stoi(row[3])) << outcome.Console << outcome.ErrorStream;
    std::map<std::string, std::string> left = FilesUnder(work.Dir());
    for (const char* harness : {".stdin", ".stdout", ".stderr"}) left.erase(harness);
    std::string shown = outcome.Console + outcome.ErrorStream;
    for (const auto& [name, bytes] : left) {
      if (!before.count(name)) shown += bytes;
    }
    for (const std::string& message : Items(row[4])) {
      EXPECT_NE(shown.find(message), std::string::npos) << message << "\n" << LastLines(shown, 5);
    }
    for (const auto& [name, bytes] : before) {
      EXPECT_EQ(left[name], bytes) << name;
      left.erase(name);
    }
    for (const std::string& name : Items(row[5])) {
      EXPECT_GT(TakeWritten(left, name), 0u) << "not written: " << name;
    }
    for (const auto& [name, bytes] : left) ADD_FAILURE() << "left behind: " << name;
  }
}

}  // namespace
}  // namespace qev::testing

#endif
