// Answer scripts and catalog files shared by the session tests.
#pragma once

#include <string>

namespace qev::testing {

// A complete catalog part in the layout with one common standard deviation:
// 1950-1999, threshold 4.0, SD 0.1, 40 magnitudes falling off roughly by the
// Gutenberg-Richter law with b near 1.
std::string SmallCompleteCatalog();

// The answers of the three introductory screens and the output-file prompt.
std::string IntroAnswers(const std::string& outputName);

// A whole session on SmallCompleteCatalog() saved as `catalogName`:
// magnitude units, only complete data, the spans answered by `spansAnswer`
// (one or more lines, each ended by a line feed), the suggested threshold,
// Xmax from the catalog with error 0.2, procedure 1, prior b = 1.0 with
// SD 0.1, the starting point by program, then one run per entry of
// `laterMmax` (each answered in turn at the end of a run), a final 0 to stop,
// and no hazard table on the console.
std::string CompleteSession(const std::string& outputName, const std::string& catalogName,
                            const std::string& spansAnswer, const std::string& laterMmax = "");

}  // namespace qev::testing
