#include "harness/session_scripts.h"

namespace qev::testing {

std::string SmallCompleteCatalog() {
  std::string text = "1950 1 1\n1999 12 31\n4.0\n0.1\n";
  // 20 events in [4.0, 4.5), 10 in [4.5, 5.0), 6 in [5.0, 5.5), 3 in [5.5, 6.0), one 6.3.
  const char* magnitudes[] = {"4.0", "4.1", "4.0", "4.2", "4.3", "4.1", "4.4", "4.0", "4.2", "4.3",
                              "4.1", "4.0", "4.4", "4.2", "4.1", "4.0", "4.3", "4.2", "4.1", "4.4",
                              "4.5", "4.7", "4.6", "4.9", "4.5", "4.8", "4.6", "4.5", "4.7", "4.9",
                              "5.0", "5.2", "5.1", "5.4", "5.0", "5.3", "5.6", "5.8", "5.5", "6.3"};
  for (const char* m : magnitudes) text += std::string(m) + "\n";
  return text;
}

std::string IntroAnswers(const std::string& outputName) { return "\n\n" + outputName + "\n"; }

std::string CompleteSessionScript::Text() const {
  return IntroAnswers(OutputName) +
         "1\n"  // magnitude units
         "2\n"  // only complete parts
         + Spans +
         "2\n"                         // layout: one common SD
         "1\n"                         // one complete part
         + CatalogName + "\n" + "1\n"  // accept the suggested Mmin
         + XmaxAnswers + SigXmax + Procedure +
         "1.0 0.1\n"          // prior b-value and its SD
         "1\n"                // starting point by program
         + LaterMmax + "0\n"  // no further run
         + Hazard;
}

}  // namespace qev::testing
