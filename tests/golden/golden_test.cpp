// Golden transcripts: every session folder of tests/golden (README.md there)
// is run through the real program, and in-process, in a fresh copy of the
// folder; the console, every file the session writes (report date masked),
// standard error and the exit status must equal the recorded bytes, and no
// other file of the folder may change. Since every build (the normal and the
// sanitizer build) and every run compare with the same bytes, this is also
// the check that the results are deterministic.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev::testing {
namespace {

namespace fs = std::filesystem;

// Fewer folders than this means the sessions were not found, not that they pass.
constexpr std::size_t kCheckedInSessions = 30;
// Files of the harness itself in the working folder (Workspace::RunBinary).
const std::vector<std::string> kHarnessFiles = {".stdin", ".stdout", ".stderr"};

const fs::path kGoldenDir = QEV_GOLDEN_DIR;

std::vector<std::string> SessionNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(kGoldenDir, error)) {
    if (fs::exists(entry.path() / "answers.txt")) names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Regular files of a folder by name, with their bytes.
std::map<std::string, std::string> FilesIn(const fs::path& dir) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename();
    if (entry.is_regular_file() &&
        std::find(kHarnessFiles.begin(), kHarnessFiles.end(), name) == kHarnessFiles.end())
      files[name] = ReadBytes(entry.path());
  }
  return files;
}

// The report's date line keeps its form but not the day it was written.
std::string MaskDate(const std::string& bytes) {
  static const std::regex date("(^|\n)(  Date      : )\\d\\d-[A-Z][a-z][a-z]-\\d\\d( |\r|$)");
  return std::regex_replace(bytes, date, "$1$2dd-Mmm-yy$3");
}

// Empty when equal; otherwise the number of the first line that differs and
// that line of both texts.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  const auto at = static_cast<std::size_t>(
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
      expected.begin());
  const std::size_t start = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
  const auto line = [start](const std::string& text) {
    return "[" + text.substr(start, text.find('\n', start) - start) + "]";
  };
  return "first difference in line " +
         std::to_string(std::count(expected.begin(),
                                   expected.begin() + static_cast<std::ptrdiff_t>(at), '\n') +
                        1) +
         ":\n  expected " + line(expected) + "\n  actual   " + line(actual);
}

// Runs the session of `folder` in a fresh copy of it, as the program or
// in-process, and compares everything with the transcript.
void ExpectTranscript(const std::string& session, bool asProgram) {
  const fs::path folder = kGoldenDir / session;
  const fs::path expected = folder / "expected";
  Workspace work;
  const std::map<std::string, std::string> inputs = FilesIn(folder);
  for (const auto& [name, bytes] : inputs) work.WriteFile(name, bytes);
  std::vector<std::string> args;
  std::ifstream argsFile(folder / "args");
  for (std::string arg; std::getline(argsFile, arg);) args.push_back(arg);
  const std::string& answers = inputs.at("answers.txt");
  const SessionOutcome outcome =
      asProgram ? work.RunBinary(answers, args) : work.Run(answers, args);

  const auto same = [&](const std::string& recorded, const std::string& actual,
                        const std::string& what) {
    const std::string difference = FirstDifference(recorded, actual);
    EXPECT_TRUE(difference.empty()) << what << " of " << session << ": " << difference;
  };
  same(ReadBytes(expected / "status"), std::to_string(outcome.ExitStatus) + "\n", "exit status");
  same(ReadBytes(expected / "console.txt"), outcome.Console, "console");
  same(ReadBytes(expected / "stderr.txt"), outcome.ErrorStream, "standard error");

  std::map<std::string, std::string> written;
  for (const auto& [name, bytes] : FilesIn(work.Dir())) {
    const auto input = inputs.find(name);
    if (input == inputs.end() || input->second != bytes) written[name] = MaskDate(bytes);
  }
  const std::map<std::string, std::string> recorded = FilesIn(expected / "files");
  for (const auto& [name, bytes] : recorded) {
    const auto actual = written.find(name);
    ASSERT_NE(actual, written.end()) << session << " did not write " << name;
    same(bytes, actual->second, name);
  }
  for (const auto& [name, bytes] : written) {
    EXPECT_TRUE(recorded.count(name))
        << session << (inputs.count(name) ? " changed its input file " : " wrote ") << name;
  }
}

class GoldenSession : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenSession, TheProgramReproducesTheTranscript) { ExpectTranscript(GetParam(), true); }

// The session driven in-process, as the other tests drive it, gives the same
// bytes as the program.
TEST_P(GoldenSession, TheSessionInProcessReproducesTheTranscript) {
  ExpectTranscript(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(Transcripts, GoldenSession, ::testing::ValuesIn(SessionNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(GoldenSessions, AreFoundWhereTheyAreCheckedIn) {
  EXPECT_GE(SessionNames().size(), kCheckedInSessions) << kGoldenDir;
}

// The README's session is pinned on copies of the bundled example: a change of
// examples/ must be recorded there too.
TEST(GoldenSessions, TheReadmeWalkthroughIsTheBundledExample) {
  const fs::path folder = kGoldenDir / "readme-walkthrough";
  for (const auto& [name, bytes] : FilesIn(folder))
    EXPECT_EQ(bytes, ReadBytes(fs::path(QEV_EXAMPLES_DIR) / name))
        << name << " differs from examples/";
}

}  // namespace
}  // namespace qev::testing
