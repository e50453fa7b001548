// A session in a temporary folder for driving the catalog readers in-process:
// console answers from a script, catalog files written by the test, the
// output file opened as the session driver would, and the console and file
// lines taken apart at their carriage-return/line-feed ends.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "model/session.h"
#include "textio/stop.h"
#include "textio/textio.h"

namespace qev::testing {

// Lines ended by carriage return and line feed.
inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find("\r\n", from);
    if (at == std::string::npos) {
      if (from < text.size()) lines.push_back(text.substr(from));
      return lines;
    }
    lines.push_back(text.substr(from, at - from));
    from = at + 2;
  }
}

// `count` empty lines, e.g. the records of a screen feed.
inline std::vector<std::string> EmptyLines(int count) {
  return std::vector<std::string>(static_cast<std::size_t>(count));
}

inline void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

// Whether `part` occurs as consecutive lines of `whole`.
inline bool ContainsRun(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
  if (part.size() > whole.size()) return false;
  for (std::size_t i = 0; i + part.size() <= whole.size(); ++i) {
    bool same = true;
    for (std::size_t j = 0; j < part.size() && same; ++j) same = whole[i + j] == part[j];
    if (same) return true;
  }
  return false;
}

class CatalogSession {
 public:
  CatalogSession(const std::string& answers, std::int32_t dataKind)
      : dir_(MakeDir()), in_(answers), io_(in_, out_, {}, dir_, [] { return CalendarDate{1, 2, 2003}; }),
        session_(io_) {
    session_.settings.DataKind = dataKind;
    io_.OpenOutputFile("out.txt");
  }
  ~CatalogSession() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream file(dir_ / name, std::ios::binary);
    file << content;
  }

  // Runs a reader; the stop, if the reader ended the program, is returned.
  template <class Procedure>
  std::optional<ProgramStop> Run(Procedure procedure) {
    try {
      procedure(session_);
    } catch (const ProgramStop& stop) {
      return stop;
    }
    return std::nullopt;
  }

  // The console lines so far; the line end of the last record, which the
  // console writes only when the next record starts, is written first.
  std::vector<std::string> ConsoleLines() {
    io_.Sink().EndConsoleLine();
    return SplitCrLf(out_.str());
  }

  // Closes the output file and returns its lines.
  std::vector<std::string> FileLines() {
    io_.Sink().CloseOutputFile();
    std::ifstream file(dir_ / "out.txt", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return SplitCrLf(text.str());
  }

  Session& session() { return session_; }
  Catalog& catalog() { return session_.catalog; }

 private:
  static std::filesystem::path MakeDir() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("qev_catalog_") + (info ? info->name() : "test") + "_" +
                       std::to_string(::getpid()) + "_" + std::to_string(counter++);
    const auto dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path dir_;
  std::istringstream in_;
  std::ostringstream out_;
  TextIo io_;
  Session session_;
};

}  // namespace qev::testing
