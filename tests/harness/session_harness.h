// A reusable test harness for whole sessions and single procedures.
//
// Each harness owns a fresh temporary folder that stands for the user's
// working directory: catalog files are written there, the session creates its
// output file there, and the folder is removed afterwards. A session runs
// in-process from an answer script (the console input) or as the real `qev`
// process with the script piped into its standard input; either way the
// console stream and the output file come back as bytes.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/session.h"
#include "textio/textio.h"

namespace qev::testing {

// The date every harness session sees unless told otherwise: "04-Nov-01".
inline constexpr CalendarDate kFixedDate{4, 11, 2001};

struct SessionOutcome {
  std::string Console;           // everything written to standard output
  int ExitStatus = -1;           // status returned by the session (or the process)
  std::string OutputFileName;    // the file the session created or rewrote; empty if none
  std::string OutputFile;        // its bytes
  std::string ErrorStream;       // standard error of the process (binary runs only)
};

class SessionHarness {
 public:
  SessionHarness();
  ~SessionHarness();
  SessionHarness(const SessionHarness&) = delete;
  SessionHarness& operator=(const SessionHarness&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }

  // Files of the working folder (catalogs, an output file to be rewritten).
  void WriteFile(const std::string& name, std::string_view contents) const;
  std::string ReadFile(const std::string& name) const;
  bool FileExists(const std::string& name) const;

  // Runs RunSession in-process. `answers` is the whole console input.
  SessionOutcome Run(std::string_view answers, std::vector<std::string> args = {},
                     CalendarDate date = kFixedDate) const;

  // Runs one procedure on a fresh session: `body` calls it (and may copy out
  // whatever state the test wants to look at). With a non-empty `outputName`
  // the output file is opened under that name first. A ProgramStop is caught
  // as the session driver catches it: its lines and the stop line are written
  // and its status returned; without a stop the status is -1.
  SessionOutcome RunProcedure(std::string_view answers, const std::function<void(Session&)>& body,
                              const std::string& outputName = "") const;

  // Runs the real program (QEV_BINARY) in the working folder with `answers`
  // piped into standard input.
  SessionOutcome RunBinary(std::string_view answers, std::vector<std::string> args = {}) const;

 private:
  std::vector<std::pair<std::string, std::string>> Snapshot() const;
  void CaptureOutputFile(const std::vector<std::pair<std::string, std::string>>& before,
                         SessionOutcome& outcome) const;

  std::filesystem::path dir_;
};

// Splits console or file bytes at "\r\n" line ends; a last piece without a line
// end is kept as a line of its own.
std::vector<std::string> SplitLines(std::string_view bytes);

// The `count` lines that start at the first line equal to `marker` (fewer at
// the end of the stream, none when no line is equal): finds one screen in the
// console stream.
std::vector<std::string> LinesFrom(const std::vector<std::string>& lines, std::string_view marker,
                                   std::size_t count);

}  // namespace qev::testing
