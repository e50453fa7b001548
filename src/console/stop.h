// The program's single stop path.
//
// Every end of the program (the normal end of a session, a message box of a
// catalog dialog, a file that cannot be opened or written) is raised as a
// ProgramStop and caught once by the session driver, which writes any
// message lines to the console, then the stop line "Stop - Program
// terminated." and returns the exit status. The library's errors (a reading
// error, a trial point that is not positive) are typed exceptions that the
// driver turns into a ProgramStop with their report.
#pragma once

#include <string>
#include <vector>

namespace qev {

// Exit statuses: 0 for the normal end of a session, 1 for every stop caused
// by an error (a failure is never reported as success).
inline constexpr int kExitNormal = 0;
inline constexpr int kExitError = 1;

struct ProgramStop {
  int ExitStatus = kExitNormal;
  // Lines the catcher writes to the console before the stop line, each as a
  // list record of one text (so it shows exactly as given). Code that has its
  // own console access writes its message box itself and leaves this empty.
  std::vector<std::string> ConsoleLines;
};

// Ends the program with an error after the caller has written its message box.
[[noreturn]] inline void StopWithError() { throw ProgramStop{kExitError, {}}; }

// Ends the program with an error and message lines for the catcher to write.
[[noreturn]] inline void StopWithMessage(std::vector<std::string> lines) {
  throw ProgramStop{kExitError, std::move(lines)};
}

}  // namespace qev
