// Synthetic event catalogs with a known completeness history: the true
// events of the plan (Gutenberg-Richter magnitudes above Mmin, Poisson in
// time, each catalogued with a normal error of the plan's SD and rounded to
// its step), each kept with the probability that the network of its time
// detects it. Detection follows a cumulative normal around each step:
//   q(m) = Phi((m - (Mc - 2 edge)) / edge),
// so that a step's Mc is the magnitude detected with probability 97.7 %.
// The catalog is a CSV event table as qev-prepare reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/synth.h"

namespace qev::companion {

struct HistoryStep {
  int Year = 0;  // from 1 January of this year on
  float Mc = 0.0f;
};

struct HistoryPlan {
  std::vector<HistoryStep> Steps;  // years increasing
  int EndYear = 0;                 // the catalog ends on 31 December of this year
  float Edge = 0.1f;               // SD of the detection edge
  std::string FileName = "history.csv";
};

// "YEAR:MC,YEAR:MC,..." in time order; throws UsageError.
std::vector<HistoryStep> ParseHistorySteps(const std::string& text);

struct HistoryCatalog {
  std::string Text;  // the CSV
  std::size_t Simulated = 0;
  std::size_t Kept = 0;
};

// Checks the plan (steps in time order, an end after the first step, an edge
// above 0, Mmin at least three edges below every detection midpoint) and
// draws the catalog; throws SynthError.
HistoryCatalog GenerateHistory(const SynthPlan& plan, const HistoryPlan& history);

// Writes the CSV beside `path`, then renames it over; throws SynthError.
void WriteHistoryFile(const HistoryCatalog& catalog, const std::string& path);

// The truth and the counts, for the console.
std::string HistorySummary(const SynthPlan& plan, const HistoryPlan& history,
                           const HistoryCatalog& catalog);

}  // namespace qev::companion
