// Answer scripts and catalog files shared by the session tests.
#pragma once

#include <string>

namespace qev::testing {

// A complete catalog part in the layout with one common standard deviation:
// 1950-1999, threshold 4.0, SD 0.1, 40 magnitudes falling off roughly by the
// Gutenberg-Richter law with b near 1; the largest is 6.3, the second 5.8.
std::string SmallCompleteCatalog();

// The answers of the three introductory screens and the output-file prompt.
std::string IntroAnswers(const std::string& outputName);

// A whole session on one complete part: magnitude units, only complete data,
// the common-SD layout, the suggested threshold, prior b = 1.0 with SD 0.1 and
// the starting point by program. Every answer group is a text of whole lines.
struct CompleteSessionScript {
  std::string OutputName = "out.txt";
  std::string CatalogName = "comp1.dat";
  std::string Spans = "50 100 1000\n";
  std::string XmaxAnswers = "1\n";  // Xmax from the catalog
  std::string SigXmax = "0.2\n";
  std::string Procedure = "1\n";
  std::string LaterMmax;       // the Mmax of each further run
  std::string Hazard = "0\n";  // no hazard table on the console

  // The answers in order, ending with 0 at the first Mmax dialog not covered
  // by LaterMmax.
  std::string Text() const;
};

}  // namespace qev::testing
