#include "companion/synth_command.h"

#include "classic/capacities.h"
#include "companion/cli.h"

namespace qev::companion {

namespace {

// ln 10: the factor by which qev turns a b-value into Beta.
constexpr float kBFromBeta = 2.302585f;

void ParsePeriod(const std::string& head, const std::string& what, DateSpec& start, DateSpec& end) {
  const std::size_t colon = head.find(':');
  if (head.empty() || colon == std::string::npos) {
    throw UsageError(what + ": the period must come first, as START:END (e.g. 1600:1899)");
  }
  start = ParseDate(head.substr(0, colon), false);
  end = ParseDate(head.substr(colon + 1), true);
}

}  // namespace

SynthCommand ParseSynthCommand(const std::vector<std::string>& args) {
  const auto arguments =
      SplitArguments(args,
                     {"beta", "b", "lambda", "mmin", "mmax", "sd", "step", "seed", "extreme",
                      "complete", "dir", "script", "report-name"},
                     {"help", "version"});
  SynthCommand command;
  SynthPlan& plan = command.Plan;
  bool betaGiven = false;
  for (const Argument& a : arguments) {
    if (a.Name == "h") {
      command.ShortHelp = true;
    } else if (a.Name == "help") {
      command.Help = true;
    } else if (a.Name == "version") {
      command.Version = true;
    } else if (a.Name == "beta" || a.Name == "b") {
      if (betaGiven) throw UsageError("give Beta only once, as --beta or as --b");
      betaGiven = true;
      const float value = ParseReal(a.Value, "--" + a.Name);
      plan.Beta = a.Name == "b" ? value * kBFromBeta : value;
    } else if (a.Name == "lambda") {
      plan.Lambda = ParseReal(a.Value, "--lambda");
    } else if (a.Name == "mmin") {
      plan.Mmin = ParseReal(a.Value, "--mmin");
    } else if (a.Name == "mmax") {
      plan.Mmax = ParseReal(a.Value, "--mmax");
    } else if (a.Name == "sd") {
      plan.Sd = ParseReal(a.Value, "--sd");
    } else if (a.Name == "step") {
      plan.Step = ParseReal(a.Value, "--step");
    } else if (a.Name == "seed") {
      plan.Seed = ParseSeed(a.Value);
    } else if (a.Name == "dir") {
      command.Directory = a.Value;
    } else if (a.Name == "script") {
      command.ScriptFile = a.Value;
    } else if (a.Name == "report-name") {
      command.ReportName = a.Value;
    } else if (a.Name == "extreme") {
      if (plan.Extreme) throw UsageError("--extreme given twice: a catalog has one extreme part");
      const auto list = ParseKeyValues(
          a.Value, {"window", "threshold", "sd", "layout", "file", "dates"}, "--extreme");
      ExtremePlan e;
      ParsePeriod(list.Head, "--extreme", e.Start, e.End);
      for (const auto& [key, value] : list.Pairs) {
        if (key == "window") e.Window = ParseReal(value, "--extreme window");
        if (key == "threshold") e.Threshold = ParseReal(value, "--extreme threshold");
        if (key == "sd") e.Sd = ParseReal(value, "--extreme sd");
        if (key == "layout") e.Layout = ParseInteger(value, "--extreme layout");
        if (key == "file") e.FileName = value;
        if (key == "dates") {
          if (value != "window" && value != "event")
            throw UsageError("--extreme dates must be window or event");
          e.DateAtOccurrence = value == "event";
        }
      }
      plan.Extreme = e;
    } else if (a.Name == "complete") {
      if (plan.Complete.size() >= static_cast<std::size_t>(ncpx)) {
        throw UsageError("at most " + std::to_string(ncpx) +
                         " complete parts (ncpx) can be read by qev");
      }
      const auto list =
          ParseKeyValues(a.Value, {"threshold", "sd", "layout", "file"}, "--complete");
      CompletePlan c;
      ParsePeriod(list.Head, "--complete", c.Start, c.End);
      for (const auto& [key, value] : list.Pairs) {
        if (key == "threshold") c.Threshold = ParseReal(value, "--complete threshold");
        if (key == "sd") c.Sd = ParseReal(value, "--complete sd");
        if (key == "layout") c.Layout = ParseInteger(value, "--complete layout");
        if (key == "file") c.FileName = value;
      }
      plan.Complete.push_back(c);
    } else {
      throw UsageError("unexpected operand '" + a.Value + "' (see --help)");
    }
  }
  return command;
}

}  // namespace qev::companion
