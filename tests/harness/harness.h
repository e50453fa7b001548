// The one test harness: a temporary working folder, a procedure run on a fresh
// session in it, a whole session in-process, the real program as a process,
// and the helpers that take console and file bytes apart at their line ends.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "classic/session.h"
#include "console/stop.h"
#include "console/textio.h"
#include "qev/catalog.h"

namespace qev::testing {

// The date every session of the tests sees unless told otherwise: "04-Nov-01".
inline constexpr CalendarDate kFixedDate{4, 11, 2001};

struct SessionOutcome {
  std::string Console;         // everything written to standard output
  int ExitStatus = -1;         // status returned by the session (or the process)
  std::string OutputFileName;  // the file the session created or rewrote; empty if none
  std::string OutputFile;      // its bytes
  std::string ErrorStream;     // standard error (processes only)
};

// A fresh temporary folder standing for the user's working directory; removed
// at the end. Sessions run in it in-process or as the real program.
class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  void WriteFile(const std::string& name, std::string_view contents) const;
  std::string ReadFile(const std::string& name) const;
  void MakeDir(const std::string& name) const;
  // A whole session in-process; `answers` is the whole console input. The
  // output file is the one file new or rewritten after the run.
  SessionOutcome Run(std::string_view answers, std::vector<std::string> args = {},
                     CalendarDate date = kFixedDate) const;
  // The real program (QEV_BINARY) with `answers` on its standard input.
  SessionOutcome RunBinary(std::string_view answers,
                           const std::vector<std::string>& args = {}) const;
  // Any shell command run in the folder, `input` on its standard input.
  SessionOutcome RunCommand(const std::string& command, std::string_view input = "") const;

 private:
  std::vector<std::pair<std::string, std::string>> Snapshot() const;
  void CaptureOutputFile(const std::vector<std::pair<std::string, std::string>>& before,
                         SessionOutcome& outcome) const;
  std::filesystem::path dir_;
};

// One or more procedures on a fresh session in a workspace, with the output
// file "out.txt" opened as the session driver opens it.
class ProcedureRun {
 public:
  explicit ProcedureRun(const std::string& answers, std::int32_t dataKind = 0);

  // Runs a procedure; the stop, when it ended the program, is returned.
  std::optional<ProgramStop> Run(const std::function<void(Session&)>& procedure);
  // The console bytes so far, the pending line end written first.
  std::string Console();
  // The output file's bytes, closed first.
  std::string File();

  Workspace ws;

 private:
  std::istringstream in_;
  std::ostringstream out_;
  TextIo io_;

 public:
  Session session;
};

std::string ReadBytes(const std::filesystem::path& path);
std::string ShellQuote(const std::string& text);
// The last `count` lines of console bytes, for messages of failed checks.
std::string LastLines(const std::string& bytes, std::size_t count);

// Splits bytes at "\r\n"; a last piece without a line end is a line of its own.
std::vector<std::string> SplitLines(std::string_view bytes);
std::size_t CountOf(std::string_view text, std::string_view what);
// The rows of a checked-in table (tab-separated fields, '#' lines comments) as
// fields, only those whose first field is `kind` unless it is empty.
std::vector<std::vector<std::string>> TableRows(const std::string& path,
                                                const std::string& kind = "");
// A field of such a table with its \n \r \t \\ and \xHH escapes undone.
std::string Unescape(const std::string& text);
inline void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}
}  // namespace qev::testing
