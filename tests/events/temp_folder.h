// The temporary folder of the catalog import and batch tests: the harness's
// workspace under the names these tests use, a shell command giving its exit
// status and its standard output followed by its standard error.
#pragma once

#include <string>

#include "harness/harness.h"

namespace qev::events_testing {

class TempFolder : public testing::Workspace {
 public:
  std::string Path(const std::string& name) const { return (Dir() / name).string(); }
  void Write(const std::string& name, const std::string& text) const { WriteFile(name, text); }
  std::string Read(const std::string& name) const { return ReadFile(name); }

  struct Outcome {
    int status = -1;
    std::string out;
  };
  // Runs a shell command in the folder (in a subshell, so that it may change
  // folder and redirect its own input).
  Outcome Run(const std::string& command) const {
    const testing::SessionOutcome run = RunCommand("(" + command + ")");
    return {run.ExitStatus, run.Console + run.ErrorStream};
  }
};

}  // namespace qev::events_testing
