// The same inputs give byte-identical console streams and output files: run
// to run, in-process and as the real program, and between builds (the normal
// build and the sanitizer build).
//
// Each build writes a transcript of every session (console and output file,
// the date line masked) into determinism/ beside its qev binary, stamped with
// a fingerprint of the library sources. A build that finds transcripts of the
// same sources from another build folder beside its own (build, build-asan,
// ...) compares them byte for byte; CI builds the normal build first and the
// sanitizer build second, so the second compares.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev::testing {
namespace {

namespace fs = std::filesystem;

struct ExampleSession {
  std::string Name;
  std::string Answers;
  std::vector<std::pair<std::string, std::string>> Files;
};

// The bundled example sessions: every answer script in examples/ with all the
// example files beside it; and one session of our own that visits every kind of
// catalog and prompt, so that the test compares something even without them.
std::vector<ExampleSession> Sessions() {
  std::vector<ExampleSession> sessions;
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<fs::path> scripts;
  const fs::path examples = QEV_EXAMPLES_DIR;
  std::error_code error;
  if (fs::is_directory(examples, error)) {
    for (const auto& entry : fs::directory_iterator(examples)) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename().string();
      files.emplace_back(name, ReadBytes(entry.path()));
      const std::string ext = entry.path().extension().string();
      if (ext == ".ans" || ext == ".answers" || name.find("answers") != std::string::npos) {
        scripts.push_back(entry.path());
      }
    }
  }
  std::sort(scripts.begin(), scripts.end());
  // The sessions the examples' README describes, when its catalogs are there.
  auto has = [&files](const char* name) {
    return std::any_of(files.begin(), files.end(),
                       [name](const auto& f) { return f.first == name; });
  };
  const std::string setup = "1\n1\n0.2\n1\n1.0 0.1\n1\n7.5\n0\n1\n5.5\n6.5\n0\n";
  if (has("ext_l1.dat") && has("cp1900_l3.dat") && has("cp1960_l3.dat")) {
    sessions.push_back(
        {"examples-extreme-l1-complete-l3",
         "\n\nout.txt\n1\n3\n50 100 1000\n1\next_l1.dat\n3\n2\ncp1900_l3.dat\ncp1960_l3.dat\n" +
             setup,
         files});
  }
  if (has("ext_l2.dat")) {
    sessions.push_back(
        {"examples-extreme-l2", "\n\nout.txt\n2\n1\n50,100,1000\n2\next_l2.dat\n" + setup, files});
  }
  if (has("cp1900_l1.dat") && has("cp1960_l1.dat")) {
    sessions.push_back(
        {"examples-complete-l1",
         "\n\nout.txt\n1\n2\n50\n100\n1000\n1\n2\ncp1900_l1.dat\ncp1960_l1.dat\n" + setup, files});
  }
  for (const fs::path& script : scripts) {
    sessions.push_back({"example-" + script.filename().string(), ReadBytes(script), files});
  }
  ExampleSession own{
      "own-extreme-and-complete",
      "\n\nout.txt\n1\n3\n50 100 1000\n1\next.dat\n3\n2\ng1.dat\ng2.dat\n"
      "1\n1\n0.2\n2\n1.0 0.1\n1\n7.3\n0\n1\n6.0\n6.5\n0\n",
      {{"ext.dat",
        "1800 0 0\n1999 0 0\n1805 3 12 6.1 0.3\n1822 0 0 5.8 0.25\n1850 7 1 6.5 0.4\n"
        "1871 2 2 5.9 0.3\n1890 11 30 6.0 0.2\n1911 1 16 6.8 0.2\n1935 0 0 5.7 0.1\n"
        "1962 4 4 6.2 0.1\n1988 9 9 5.6 0.1\n"},
       {"g1.dat", "1900 1 1\n1949 12 31\n5.0\n0.2\n12 5.0\n5 5.5\n2 6.0\n"},
       {"g2.dat", "1950 1 1\n1999 12 31\n4.5\n0.1\n21 4.5\n9 4.8\n5 5.1\n2.7 5.4\n1 5.9\n"}}};
  sessions.push_back(std::move(own));
  return sessions;
}

std::string MaskDate(const std::string& output) {
  std::string masked;
  for (const std::string& line : SplitLines(output)) {
    masked += (line.rfind("  Date      : ", 0) == 0 ? std::string("  Date      : <date>") : line) +
              "\r\n";
  }
  return masked;
}

std::string Transcript(const SessionOutcome& outcome) {
  return "exit status " + std::to_string(outcome.ExitStatus) + "\n--- console\n" + outcome.Console +
         "\n--- output file\n" + MaskDate(outcome.OutputFile);
}

// The session in a fresh folder with its files, in-process or as the program.
SessionOutcome RunExample(const ExampleSession& session, bool asProgram) {
  Workspace work;
  for (const auto& [name, bytes] : session.Files) work.WriteFile(name, bytes);
  return asProgram ? work.RunBinary(session.Answers) : work.Run(session.Answers);
}

// FNV-1a over the names and contents of the library sources.
std::string SourceFingerprint() {
  const fs::path src = fs::path(QEV_EXAMPLES_DIR).parent_path() / "src";
  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (entry.is_regular_file()) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](const std::string& bytes) {
    for (const unsigned char c : bytes) {
      hash ^= c;
      hash *= 1099511628211ull;
    }
  };
  for (const fs::path& path : paths) {
    mix(fs::relative(path, src).string());
    mix(ReadBytes(path));
  }
  std::ostringstream text;
  text << std::hex << hash;
  return text.str();
}

TEST(Determinism, ExampleSessionsGiveTheSameBytesEveryRunInProcessAndAsTheProgram) {
  for (const ExampleSession& session : Sessions()) {
    const SessionOutcome first = RunExample(session, false);
    const SessionOutcome second = RunExample(session, false);
    EXPECT_EQ(first.Console, second.Console) << session.Name;
    EXPECT_EQ(first.OutputFile, second.OutputFile) << session.Name;
    EXPECT_TRUE(!first.OutputFileName.empty()) << session.Name;
    const SessionOutcome program = RunExample(session, true);
    EXPECT_EQ(program.ExitStatus, first.ExitStatus) << session.Name;
    EXPECT_EQ(program.Console, first.Console) << session.Name;
    EXPECT_EQ(MaskDate(program.OutputFile), MaskDate(first.OutputFile)) << session.Name;
  }
}

TEST(Determinism, TheNormalAndTheSanitizerBuildsGiveTheSameBytes) {
  const fs::path ownBuild = fs::path(QEV_BINARY).parent_path();
  const fs::path ownDir = ownBuild / "determinism";
  fs::create_directories(ownDir);
  const std::string stamp = "sources " + SourceFingerprint() + "\n";
  std::vector<std::string> names;
  for (const ExampleSession& session : Sessions()) {
    std::ofstream(ownDir / (session.Name + ".txt"), std::ios::binary)
        << stamp << Transcript(RunExample(session, false));
    names.push_back(session.Name);
  }
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(ownBuild.parent_path())) {
    const fs::path other = entry.path() / "determinism";
    if (!entry.is_directory() || fs::equivalent(entry.path(), ownBuild) || !fs::is_directory(other))
      continue;
    for (const std::string& name : names) {
      const fs::path theirs = other / (name + ".txt");
      if (!fs::exists(theirs)) continue;
      const std::string bytes = ReadBytes(theirs);
      if (bytes.rfind(stamp, 0) != 0) continue;  // built from other sources
      EXPECT_EQ(bytes, ReadBytes(ownDir / (name + ".txt")))
          << name << ": " << entry.path() << " differs";
      ++compared;
    }
  }
  if (compared == 0) GTEST_SKIP() << "no transcripts of another build of the same sources yet";
}

}  // namespace
}  // namespace qev::testing
