#include "companion/synth_command.h"

#include <algorithm>
#include <map>

#include "companion/command_line.h"
#include "qev/classic_bounds.h"

namespace qev::companion {

namespace {

// ln 10: the factor by which qev turns a b-value into Beta.
constexpr float kBFromBeta = 2.302585f;

// The value of --extreme or --complete: "START:END,key=value,key=value".
struct PartText {
  DateSpec Start;
  DateSpec End;
  std::map<std::string, std::string> Pairs;
};

PartText ParsePart(const std::string& text, const std::vector<std::string>& keys,
                   const std::string& what) {
  PartText part;
  const std::size_t comma = std::min(text.find(','), text.size());
  const std::string period = text.substr(0, comma);
  const std::size_t colon = period.find(':');
  if (colon == std::string::npos || period.find('=') != std::string::npos) {
    throw UsageError(what + ": the period must come first, as START:END (e.g. 1600:1899)");
  }
  part.Start = ParseDate(period.substr(0, colon), false);
  part.End = ParseDate(period.substr(colon + 1), true);
  for (std::size_t position = comma + 1; position <= text.size() && comma < text.size();) {
    const std::size_t next = std::min(text.find(',', position), text.size());
    const std::string piece = text.substr(position, next - position);
    const std::size_t equals = piece.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw UsageError(what + ": '" + piece + "' is not of the form key=value");
    }
    const std::string key = piece.substr(0, equals);
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      throw UsageError(what + ": unknown key '" + key + "'");
    }
    if (!part.Pairs.emplace(key, piece.substr(equals + 1)).second) {
      throw UsageError(what + ": key '" + key + "' given twice");
    }
    position = next + 1;
  }
  return part;
}

ExtremePlan ParseExtreme(const std::string& text) {
  const PartText part =
      ParsePart(text, {"window", "threshold", "sd", "layout", "file", "dates"}, "--extreme");
  ExtremePlan e;
  e.Start = part.Start;
  e.End = part.End;
  for (const auto& [key, value] : part.Pairs) {
    if (key == "window") e.Window = ParseReal(value, "--extreme window");
    if (key == "threshold") e.Threshold = ParseReal(value, "--extreme threshold");
    if (key == "sd") e.Sd = ParseReal(value, "--extreme sd");
    if (key == "layout") e.Layout = ParseInteger(value, "--extreme layout");
    if (key == "file") e.FileName = value;
    if (key == "dates") {
      if (value != "window" && value != "event") {
        throw UsageError("--extreme dates must be window or event");
      }
      e.DateAtOccurrence = value == "event";
    }
  }
  return e;
}

CompletePlan ParseComplete(const std::string& text) {
  const PartText part = ParsePart(text, {"threshold", "sd", "layout", "file"}, "--complete");
  CompletePlan c;
  c.Start = part.Start;
  c.End = part.End;
  for (const auto& [key, value] : part.Pairs) {
    if (key == "threshold") c.Threshold = ParseReal(value, "--complete threshold");
    if (key == "sd") c.Sd = ParseReal(value, "--complete sd");
    if (key == "layout") c.Layout = ParseInteger(value, "--complete layout");
    if (key == "file") c.FileName = value;
  }
  return c;
}

}  // namespace

void AddDesignOptions(CLI::App& app, SynthPlan& plan, DesignOptions& design) {
  design.Plan = &plan;
  design.BetaOption = app.add_option("--beta", plan.Beta)->check(RealText());
  design.BOption = app.add_option("--b", design.B)->check(RealText());
  app.add_option("--lambda", plan.Lambda)->check(RealText());
  app.add_option("--mmin", plan.Mmin)->check(RealText());
  app.add_option("--mmax", plan.Mmax)->check(RealText());
  app.add_option("--sd", plan.Sd)->check(RealText());
  app.add_option("--step", plan.Step)->check(RealText());
  app.add_option("--extreme", design.Extreme)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--complete", design.Complete)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void FinishDesign(const DesignOptions& design) {
  SynthPlan& plan = *design.Plan;
  if (design.BetaOption->count() + design.BOption->count() > 1) {
    throw UsageError("give Beta only once, as --beta or as --b");
  }
  if (design.BOption->count() > 0) plan.Beta = design.B * kBFromBeta;
  if (design.Extreme.size() > 1) {
    throw UsageError("--extreme given twice: a catalog has one extreme part");
  }
  if (design.Complete.size() > static_cast<std::size_t>(classic::kCompleteParts)) {
    throw UsageError("at most " + std::to_string(classic::kCompleteParts) +
                     " complete parts (ncpx) can be read by qev");
  }
  if (!design.Extreme.empty()) plan.Extreme = ParseExtreme(design.Extreme.front());
  for (const std::string& text : design.Complete) plan.Complete.push_back(ParseComplete(text));
}

SynthCommand ParseSynthCommand(const std::vector<std::string>& args) {
  SynthCommand command;
  SynthPlan& plan = command.Plan;
  HelpFlags flags;
  CLI::App app("qev-synth");
  SetUpApp(app, flags);
  DesignOptions design;
  AddDesignOptions(app, plan, design);
  app.add_option("--seed", plan.Seed)->check(SeedText());
  app.add_option("--dir", command.Directory);
  app.add_option("--script", command.ScriptFile);
  app.add_option("--report-name", command.ReportName);
  std::string history;
  HistoryPlan historyPlan;
  app.add_option("--history", history);
  auto* historyEnd = app.add_option("--history-end", historyPlan.EndYear);
  app.add_option("--edge", historyPlan.Edge)->check(RealText());
  app.add_option("--csv", historyPlan.FileName);
  ParseArguments(app, args);

  command.ShortHelp = flags.ShortHelp;
  command.Help = flags.Help;
  command.Version = flags.Version;
  FinishDesign(design);
  if (!history.empty()) {
    if (!design.Extreme.empty() || !design.Complete.empty()) {
      throw UsageError(
          "--history writes an event catalog: give it without --extreme or --complete");
    }
    if (historyEnd->count() == 0) throw UsageError("--history needs --history-end YEAR");
    historyPlan.Steps = ParseHistorySteps(history);
    command.History = historyPlan;
  }
  return command;
}

}  // namespace qev::companion
