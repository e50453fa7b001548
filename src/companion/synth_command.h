// The command line of qev-synth turned into a plan.
#pragma once

#include <CLI/CLI.hpp>
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

// The options that describe a design (the law and the parts), shared by
// qev-synth and qev-calibrate: AddDesignOptions registers them on `app`,
// writing into `plan` and `design` (which must outlive the parse); FinishDesign, after the parse,
// turns --b and the part texts into the plan (UsageError, SynthError).
struct DesignOptions {
  SynthPlan* Plan = nullptr;
  CLI::Option* BetaOption = nullptr;
  CLI::Option* BOption = nullptr;
  float B = 0.0f;
  std::vector<std::string> Extreme;
  std::vector<std::string> Complete;
};
void AddDesignOptions(CLI::App& app, SynthPlan& plan, DesignOptions& design);
void FinishDesign(const DesignOptions& design);

// `args` without the program name. Throws UsageError (options) or
// SynthError (dates).
SynthCommand ParseSynthCommand(const std::vector<std::string>& args);

}  // namespace qev::companion
