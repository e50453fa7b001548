// A small workspace for the bad-input matrix: a temporary working folder with
// catalog files, a whole session run in-process from an answer script, and
// the console, exit status and output file it leaves behind.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qev::reliability {

struct Outcome {
  std::string Console;
  int ExitStatus = -1;
  bool OutputExists = false;
  std::string Output;  // the bytes of the output file, when it exists
};

class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  void Write(const std::string& name, std::string_view bytes) const;
  void MakeDir(const std::string& name) const;

  // Runs a whole session; `outputName` is the output file to look for.
  Outcome Run(std::string_view answers, const std::string& outputName = "out.txt") const;

 private:
  std::filesystem::path dir_;
};

// Console or file bytes split at "\r\n"; a last piece without a line end is a
// line of its own.
std::vector<std::string> Lines(std::string_view bytes);

// The console lines of the message shown just before the stop line (from the
// last ruler of asterisks up), without the stop line.
std::string ConsoleTail(const std::string& console, std::size_t lines);

// Whether every line of the output file is ended by carriage return and line
// feed (nothing is left half written).
bool WholeLines(const std::string& bytes);

}  // namespace qev::reliability
