// Drives the results report and the hazard evaluation in-process: answers come
// from a string, the console goes to a string, the output file to a fresh
// temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "model/session.h"
#include "textio/stop.h"
#include "textio/textio.h"

namespace qev::report_testing {

inline std::filesystem::path FreshFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("qev-report-" + std::string(info->test_suite_name()) + "-" +
                               info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Splits text at carriage return + line feed. A text ending in a line end
// gives a last empty element.
inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

class Harness {
 public:
  explicit Harness(const std::string& answers)
      : folder_(FreshFolder()),
        in_(answers),
        io_(in_, out_, {}, folder_, [] { return CalendarDate{5, 3, 2024}; }),
        session(io_) {
    io_.OpenOutputFile(kFileName);
  }

  // Runs a procedure; a stop of the program is a test failure.
  void Run(const std::function<void(Session&)>& procedure) {
    try {
      procedure(session);
    } catch (const ProgramStop& stop) {
      ADD_FAILURE() << "the program stopped with status " << stop.ExitStatus
                    << "; console so far:\n" << out_.str();
    }
  }

  std::string Console() const { return out_.str(); }
  std::vector<std::string> ConsoleLines() const { return SplitCrLf(out_.str()); }

  // The whole output file; closes it first so that everything is on disk.
  std::string File() {
    if (io_.Sink().OutputFileOpen()) io_.Sink().CloseOutputFile();
    std::ifstream file(folder_ / kFileName, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  // The lines of the output file, each of which must end in CR LF.
  std::vector<std::string> FileLines() {
    const std::string text = File();
    std::vector<std::string> lines = SplitCrLf(text);
    EXPECT_TRUE(lines.back().empty()) << "the last record lacks its line end";
    lines.pop_back();
    return lines;
  }

 private:
  static constexpr const char* kFileName = "report.out";
  std::filesystem::path folder_;
  std::istringstream in_;
  std::ostringstream out_;
  TextIo io_;

 public:
  Session session;
};

// Joins lines with CR LF, as the console and the output file end their lines.
inline std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

// n copies of the empty line.
inline std::vector<std::string> Empty(std::size_t n) { return std::vector<std::string>(n); }

inline void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
  to.insert(to.end(), lines.begin(), lines.end());
}

}  // namespace qev::report_testing
