// The command line of qev-synth turned into a plan.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "companion/synth.h"
#include "companion/synth_history.h"

namespace qev::companion {

struct SynthCommand {
  SynthPlan Plan;
  std::string Directory = ".";
  std::optional<std::string> ScriptFile;  // an answer script for qev on these files
  std::string ReportName = "synth.out";   // output-file name the script answers
  // --history: an event catalog with a completeness history instead of parts.
  std::optional<HistoryPlan> History;
  bool ShortHelp = false;
  bool Help = false;
  bool Version = false;
};

// `args` without the program name. Throws UsageError (options) or
// SynthError (dates).
SynthCommand ParseSynthCommand(const std::vector<std::string>& args);

}  // namespace qev::companion
