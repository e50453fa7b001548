#include "companion/session_script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace qev::companion {

namespace {

std::string Real(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(value));
  return buffer;
}

}  // namespace

std::string BuildAnswerScript(const SessionAnswers& a) {
  std::ostringstream s;
  s << "\n\n";  // the two introductory pauses
  s << a.OutputFile << "\n" << a.Units << "\n" << a.DataKind << "\n";
  s << Real(a.Spans[0]) << " " << Real(a.Spans[1]) << " " << Real(a.Spans[2]) << "\n";
  if (a.DataKind == 1 || a.DataKind == 3) s << a.ExtremeLayout << "\n" << a.ExtremeFile << "\n";
  if (a.DataKind == 2 || a.DataKind == 3) {
    s << a.CompleteLayout << "\n" << a.CompleteFiles.size() << "\n";
    for (const std::string& name : a.CompleteFiles) s << name << "\n";
  }
  if (a.Mmin) {
    s << "2\n" << Real(*a.Mmin) << "\n";
  } else {
    s << "1\n";
  }
  s << "1\n";  // Xmax from the catalog
  s << Real(a.SigXmax) << "\n" << a.Procedure << "\n";
  s << Real(a.PriorB) << " " << Real(a.PriorBSd) << "\n";
  s << "1\n";  // starting point by program
  for (float mmax : a.MmaxAnswers) s << Real(mmax) << "\n";
  s << "0\n" << a.HazardAnswer << "\n";
  return s.str();
}

SessionAnswers AnswersForCatalog(const SynthPlan& plan, const GeneratedCatalog& catalog) {
  SessionAnswers a;
  const bool extreme = catalog.Extreme && catalog.Extreme->EventCount > 0;
  const bool complete = !catalog.Complete.empty();
  a.DataKind = extreme && complete ? 3 : (extreme ? 1 : 2);
  float lowest = 99.0f;
  float largest = -1.0f;
  float sdOfLargest = plan.Sd;
  if (extreme) {
    a.ExtremeLayout = catalog.Extreme->Layout;
    a.ExtremeFile = catalog.Extreme->FileName;
    lowest = catalog.Extreme->Smallest;
    largest = catalog.Extreme->Largest;
    sdOfLargest = catalog.Extreme->Sd;
  }
  if (complete) {
    a.CompleteLayout = catalog.Complete.front().Layout;
    for (const GeneratedPart& part : catalog.Complete) {
      a.CompleteFiles.push_back(part.FileName);
      lowest = std::min(lowest, part.Threshold);
      if (part.EventCount > 0 && part.Largest > largest) {
        largest = part.Largest;
        sdOfLargest = part.Sd;
      }
    }
  }
  // The threshold dialog takes only values below the lowest level.
  a.Mmin = plan.Mmin < lowest ? plan.Mmin : lowest - 0.01f;
  a.SigXmax = std::max(sdOfLargest, 0.01f);
  return a;
}

}  // namespace qev::companion
