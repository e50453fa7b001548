// A report file as a qev session writes it (CR LF line ends), reduced to the
// lines the reader looks at, with overflowing fields and a three-digit
// exponent in the places where the formats produce them: data/fixture-report.txt.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace qev::companion::testing {

inline std::string JoinReportLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

inline std::vector<std::string> FixtureReportLines() {
  std::ifstream in(QEV_GOLDEN_DIR "/../companion/data/fixture-report.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::string FixtureReport() { return JoinReportLines(FixtureReportLines()); }

}  // namespace qev::companion::testing
