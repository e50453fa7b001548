// Drives one dialog procedure in-process from an answer script and collects
// what it wrote to the console and to the output file.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

#include "model/session.h"
#include "textio/stop.h"
#include "textio/textio.h"

namespace qev::testing {

inline std::filesystem::path FreshTempDir() {
  static std::atomic<int> counter{0};
  const auto dir = std::filesystem::temp_directory_path() /
                   ("qev-setup-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

class DialogHarness {
 public:
  explicit DialogHarness(const std::string& answers)
      : dir_(FreshTempDir()),
        in_(answers),
        io_(in_, out_, {}, dir_, [] { return CalendarDate{4, 11, 2001}; }),
        session(io_) {
    io_.OpenOutputFile("out.txt");
  }
  ~DialogHarness() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Runs the procedure; the exit status of a stop, or nothing when it returned.
  std::optional<int> Run(const std::function<void(Session&)>& procedure) {
    try {
      procedure(session);
    } catch (const ProgramStop& stop) {
      return stop.ExitStatus;
    }
    return std::nullopt;
  }

  // The console bytes so far, with any pending line end written.
  std::string Console() {
    io_.Sink().EndConsoleLine();
    return out_.str();
  }

  // The output file's bytes (the file is closed first).
  std::string File() {
    io_.Sink().CloseOutputFile();
    std::ifstream file(dir_ / "out.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path dir_;
  std::istringstream in_;
  std::ostringstream out_;
  TextIo io_;

 public:
  Session session;
};

// Expected console or file text, line by line, each line ended by CR LF.
class Lines {
 public:
  Lines& Line(const std::string& text) {
    text_ += text + "\r\n";
    return *this;
  }
  Lines& Empty(int count = 1) {
    for (int i = 0; i < count; ++i) text_ += "\r\n";
    return *this;
  }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

inline std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace qev::testing
