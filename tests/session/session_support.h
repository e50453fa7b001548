// Helpers of the whole-session tests: reading numbers back out of report
// lines and finding blocks of lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev::testing {

// The whitespace-separated numbers of each line of `text` from line `skip` on.
inline std::vector<std::vector<float>> NumberRows(const std::string& text, std::size_t skip) {
  std::vector<std::vector<float>> rows;
  std::istringstream lines(text);
  std::string line;
  for (std::size_t n = 0; std::getline(lines, line); ++n) {
    if (n < skip) continue;
    std::istringstream values(line);
    std::vector<float> row;
    for (float v; values >> v;) row.push_back(v);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

inline std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

// The RESULTS numbers as printed (file or console form: leading blanks are skipped).
struct PrintedResults {
  float beta = -1, sdBeta = -1, b = -1, sdB = -1, lambda = -1, sdLambda = -1, mmin = -1;
};

inline PrintedResults ParseResults(const std::string& betaLine, const std::string& lambdaLine) {
  PrintedResults r;
  EXPECT_EQ(std::sscanf(betaLine.c_str(), " Beta = %f +- %f (b = %f +- %f)", &r.beta, &r.sdBeta, &r.b, &r.sdB), 4)
      << betaLine;
  EXPECT_EQ(std::sscanf(lambdaLine.c_str(), " Lambda = %f +- %f (for Mmin = %f)", &r.lambda, &r.sdLambda, &r.mmin),
            3)
      << lambdaLine;
  return r;
}

// Number of hazard-table rows for Mmin and Mmax: the running single-precision
// sum of 0.1 from Mmin - 0.1, a row while the sum is below Mmax (or equal to Mmin).
inline int HazardRowCount(float mmin, float mmax) {
  const float step = 0.1f;
  float m = mmin - step;
  int rows = 0;
  for (;;) {
    m = step + m;
    if (m != mmin && !(mmax > m)) return rows;
    ++rows;
  }
}

// The lines of one run summary on the console, found by its run number.
inline std::vector<std::string> RunSummary(const std::vector<std::string>& console, int run) {
  char head[32];
  std::snprintf(head, sizeof head, "                RUN # %2d", run);
  return LinesFrom(console, head, 8);
}

}  // namespace qev::testing
