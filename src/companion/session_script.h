// Answer scripts for a qev session.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "companion/synth.h"

namespace qev::companion {

struct SessionAnswers {
  std::string OutputFile = "synth.out";
  int Units = 1;     // 1 magnitude, 2 intensity
  int DataKind = 3;  // 1 extremes, 2 complete parts, 3 both
  std::array<float, 3> Spans{50.0f, 100.0f, 1000.0f};
  int ExtremeLayout = 1;
  std::string ExtremeFile;
  int CompleteLayout = 2;
  std::vector<std::string> CompleteFiles;
  std::optional<float> Mmin;  // typed threshold; none accepts the suggestion
  float SigXmax = 0.2f;       // Xmax is taken from the catalog
  int Procedure = 1;          // 1 Cramer approximation, 2 Bayes
  float PriorB = 1.0f;
  float PriorBSd = 0.25f;          // weak prior: the data decide
  std::vector<float> MmaxAnswers;  // later runs; a final 0 ends the runs
  int HazardAnswer = 0;            // 0: the table goes to the output file only
};

// One answer per line, in the order the session asks.
std::string BuildAnswerScript(const SessionAnswers& answers);

// Answers for a synthetic catalog: every part it holds, Mmin typed as the
// true Mmin when the dialog accepts it (just below the lowest catalog level
// otherwise), SIG(Xmax) the SD of the part that holds the largest magnitude,
// one run. Complete parts are read with the layout of the first.
SessionAnswers AnswersForCatalog(const SynthPlan& plan, const GeneratedCatalog& catalog);

}  // namespace qev::companion
