// One complete session whose whole output file is checked byte for byte.
//
// The catalog is one complete part of six magnitudes with a common SD, the
// threshold is typed (one refused answer first), the starting point comes
// from the keyboard, the procedure code 3 computes no Mmax estimate, a second
// run uses a new Mmax, and the hazard table goes to the file only.
//
// How the expected lines were made:
// - Texts, file names, dates, counts and magnitudes of the catalog summary,
//   the set-up lines, the prior line and the headings: written out by hand
//   from the report formats and the answers below.
// - Beta, Lambda, their standard deviations, the transmission coefficient
//   and every number of the hazard table: computed here by `Replica`, a
//   single-precision re-computation of the likelihood of one complete part,
//   the downhill simplex, the second differences and the score, and the two
//   distribution functions, written from the formulas of the method (the
//   engine of the program is not called). The numbers are then placed in
//   their fields by the field rules of field_text.h.
// - Lines whose wording is the program's own choice (literature, authors,
//   contacts) are checked for their place and their leading blanks only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "session/field_text.h"

namespace qev::testing {
namespace {

using field::E;
using field::F;
using field::I;

// ---------------------------------------------------------------------------
// The session.

constexpr const char* kPartFile =
    "1950 1 1\n"
    "1999 12 31\n"
    "4.0\n"
    "0.1\n"
    "4.0\n4.2\n4.5\n4.1\n5.0\n4.3\n";

constexpr const char* kAnswers =
    "\n\n"           // two pauses
    "whole.txt\n"    // output file
    "1\n"            // magnitude units
    "2\n"            // only complete parts
    "50 100 1000\n"  // hazard spans
    "2\n"            // layout: one common SD
    "1\n"            // one complete part
    "part.dat\n"
    "2\n"        // do not accept the suggested Mmin
    "4.0\n"      // equal to the lowest level: asked again
    "3.9\n"      // accepted
    "1\n"        // Xmax from the catalog
    "0.2\n"      // SIG(Xmax)
    "3\n"        // procedure code without estimator
    "1.0 0.1\n"  // prior b and its SD
    "2\n"        // starting point from the keyboard
    "0.15\n"     // Lambda for Mmin 3.9
    "6.0\n"      // first Mmax
    "5.5\n"      // Mmax of the second run
    "0\n"        // no further run
    "0\n";       // hazard table to the file only

constexpr float kMmin = 3.9f;
constexpr float kLastMmax = 5.5f;
constexpr float kSpans[3] = {50.0f, 100.0f, 1000.0f};

// ---------------------------------------------------------------------------
// Independent single-precision re-computation of the model for one complete
// part and no extreme part (data kind 2).

float DecimalYear(float year, float month, float day) {
  return static_cast<float>((static_cast<double>(month) - 1.0) / 12.0 +
                            (static_cast<double>(year) - 1.0) + static_cast<double>(day) / 365.25);
}

std::int32_t Scaled(float value, double factor) {
  return static_cast<std::int32_t>(static_cast<double>(value) * factor);
}

float Erf(float x) {
  const float s = x < 0.0f ? -1.0f : 1.0f;
  const float u = std::fabs(x);
  if (u > 5.0f) return s;
  const float t = 1.0f / (1.0f + 0.47047f * u);
  const float e = 1.0f - t * (0.3480242f + t * (-0.0958798f + t * 0.7478556f)) * std::exp(-(u * u));
  return s * e;
}

float E1(float& x) {
  if (x > 100.0f) x = 100.0f;
  if (x > 1.0f) {
    return ((x + 2.334733f) * x + 0.250621f) / ((x + 3.330657f) * x + 1.681534f) * std::exp(-x) / x;
  }
  return ((((0.00107857f * x - 0.00976004f) * x + 0.05519968f) * x - 0.24991055f) * x +
          0.99999193f) *
             x -
         std::log(x) - 0.57721566f;
}

struct Replica {
  // The part as the reader stores it.
  float start = DecimalYear(1950.0f, 1.0f, 1.0f);
  float end = DecimalYear(1999.0f, 12.0f, 31.0f);
  float threshold = 4.0f;
  float sd = 0.1f;
  std::vector<std::int32_t> mags;  // hundredths
  std::int32_t sdHundredths = Scaled(0.1f, 100.0);
  float eventCount = 6.0f;

  float priorBeta = 1.0f * 2.302585f;
  float priorBetaSd = 0.1f * 2.302585f;
  float mmax = kLastMmax;

  // Model state of one evaluation.
  float beta = 0, lambda = 0, expMin = 0, expMax = 0;

  Replica() {
    for (float m : {4.0f, 4.2f, 4.5f, 4.1f, 5.0f, 4.3f}) mags.push_back(Scaled(m, 100.0));
  }

  void Install(float b, float l) {
    beta = b;
    lambda = l;
    expMin = std::exp(-(beta * kMmin));
    expMax = std::exp(-(mmax * beta));
  }
  float Cdf(float m) const {
    float f = (expMin - std::exp(-(beta * m))) / (expMin - expMax);
    if (f > 1.0f) f = 1.0f;
    if (m <= kMmin) f = 0.0f;
    return f;
  }
  float MaxCdf(float m, float t) const {
    const float s = (expMax - std::exp(-(beta * m))) / (expMax - expMin);
    float n = lambda * t;
    const float p = std::exp(-(n * s));
    if (n > 50.0f) n = 50.0f;
    const float e = std::exp(-n);
    float g = (p - e) / (1.0f - e);
    if (g > 1.0f) g = 1.0f;
    if (m <= kMmin) g = 0.0f;
    return g;
  }
  float ApparentFactor(float m, float sigma) const {
    const float a = beta * sigma / 1.4142f;
    const float z = (mmax - m) / (sigma * 1.4142f) + a;
    return std::exp(a * a) * (Erf(z) + 1.0f) / 2.0f;
  }
  float TruncatedLogDensity(float m, float mc) const {
    const float e = std::exp(-(beta * mc));
    float y = m;
    if (mc >= m) y = mc + 0.01f;
    if (mmax <= m) y = mmax - 0.01f;
    return std::log(beta / (e - expMax)) - beta * y;
  }
  // The objective; `withPart` switches the complete part in or out.
  float NegLogLikelihood(float b, float l, bool withPart = true) {
    Install(b, l);
    float sc = 0.0f;
    if (withPart) {
      const float t = end - start;
      float mu = lambda * (1.0f - Cdf(threshold)) * t;
      float w = 0.0f, q = 0.0f;
      for (std::int32_t hundredths : mags) {
        float m = static_cast<float>(hundredths) * 0.01f;
        const float sigma = static_cast<float>(sdHundredths) * 0.01f;
        if (threshold - 0.02f > m) continue;
        if (threshold > m) m = threshold + 0.01f;
        w = w + 1.0f;
        q = q + 1.0f * ApparentFactor(m, sigma);
        sc = sc + 1.0f * TruncatedLogDensity(m, threshold);
      }
      mu = (q / w) * mu;
      if (mu < 1e-35f) mu = 1e-35f;
      sc = sc + w * std::log(mu) - mu;
    }
    const float z = (beta - priorBeta) / priorBetaSd;
    const float p = 0.5f * z * z;
    return p - sc;
  }

  // Downhill simplex from the keyboard start; returns (Beta, Lambda) of vertex 1.
  void Minimize(float beta0, float lambda0, float& outBeta, float& outLambda, int& iterations) {
    float vb[3] = {beta0, 1.05f * beta0, beta0};
    float vl[3] = {lambda0, lambda0, 1.05f * lambda0};
    float val[3];
    for (int i = 0; i < 3; ++i) val[i] = NegLogLikelihood(vb[i], vl[i]);
    iterations = 0;
    for (;;) {
      int lo = 0, hi, nh;
      if (val[0] > val[1]) {
        hi = 0;
        nh = 1;
      } else {
        hi = 1;
        nh = 0;
      }
      for (int i = 0; i < 3; ++i) {
        if (val[i] < val[lo]) lo = i;
        if (val[i] > val[hi]) {
          nh = hi;
          hi = i;
        } else if (val[i] > val[nh] && i != hi) {
          nh = i;
        }
      }
      const float spread = std::max(std::fabs(vb[0] - vb[1]), std::fabs(vb[0] - vb[2]));
      if (spread < 0.002f || iterations == 99) break;
      ++iterations;
      float cb = 0.0f, cl = 0.0f;
      for (int i = 0; i < 3; ++i) {
        if (i == hi) continue;
        cb += vb[i];
        cl += vl[i];
      }
      cb /= 2.0f;
      cl /= 2.0f;
      const float rb = 2.0f * cb - vb[hi], rl = 2.0f * cl - vl[hi];
      const float vr = NegLogLikelihood(rb, rl);
      if (vr <= val[lo]) {
        const float eb = 2.0f * rb - cb, el = 2.0f * rl - cl;
        const float ve = NegLogLikelihood(eb, el);
        if (ve < val[lo]) {
          vb[hi] = eb, vl[hi] = el, val[hi] = ve;
        } else {
          vb[hi] = rb, vl[hi] = rl, val[hi] = vr;
        }
      } else if (vr >= val[nh]) {
        if (vr < val[hi]) vb[hi] = rb, vl[hi] = rl, val[hi] = vr;
        const float kb = 0.5f * vb[hi] + 0.5f * cb, kl = 0.5f * vl[hi] + 0.5f * cl;
        const float vk = NegLogLikelihood(kb, kl);
        if (vk < val[hi]) {
          vb[hi] = kb, vl[hi] = kl, val[hi] = vk;
        } else {
          for (int i = 0; i < 3; ++i) {
            if (i == lo) continue;
            vb[i] = 0.5f * (vb[i] + vb[lo]);
            vl[i] = 0.5f * (vl[i] + vl[lo]);
            val[i] = NegLogLikelihood(vb[i], vl[i]);
          }
        }
      } else {
        vb[hi] = rb, vl[hi] = rl, val[hi] = vr;
      }
    }
    outBeta = (vb[0] + vb[1] + vb[2]) / 3.0f;
    outLambda = (vl[0] + vl[1] + vl[2]) / 3.0f;
  }

  // Five-point second difference of the objective in one parameter.
  float Information(float b, float l, bool inBeta, bool withPart) {
    const float value = inBeta ? b : l;
    const float d = 0.01f * value;
    const float x0 = value - 2.0f * d;
    float v[5];
    for (int i = 0; i < 5; ++i) {
      const float x = x0 + static_cast<float>(i) * d;
      v[i] = inBeta ? NegLogLikelihood(x, l, withPart) : NegLogLikelihood(b, x, withPart);
    }
    return (16.0f * (v[1] + v[3]) - v[0] - v[4] - 30.0f * v[2]) / (12.0f * d * d);
  }

  float LambdaScore(float b, float l) {
    Install(b, l);
    return 6.0f / lambda -
           (1.0f - Cdf(threshold)) * std::exp(beta * beta * sd * sd / 2.0f) * (end - start);
  }
};

// ---------------------------------------------------------------------------
// The expected file.

struct Line {
  std::string text;
  int freeBlanks = -1;  // >= 0: wording of the program's choice with this many leading blanks
};
Line Free(int blanks) { return {"", blanks}; }
constexpr int kAnyBlanks = 1000;  // wording and indentation both of the program's choice
Line FreeAny() { return {"", kAnyBlanks}; }

std::vector<Line> HeaderBlock() {
  const std::string eq(60, '=');
  return {
      {"  "},
      {" " + eq},
      {"  "},
      {" SEISMIC HAZARD ASSESSMENT FROM INCOMPLETE & UNCERTAIN DATA"},
      {""},
      {" Version B: LAMBDA and BETA are calculated SIMULTANEOUSLY"},
      {" Magnitude errors are distributed NORMALLY"},
      {" Range of magnitude integration: < m_min, m_max >"},
      {" Procedure for Mmax evaluation accounts both, aleatory"},
      {" and epistemic errors. [SD(b)/b = 0.25]"},
      {""},
      {" Regional maximum magnitude can be estimated according to:"},
      {"  "},
      Free(2),
      Free(2),   // the two citations, checked below for their beginnings
      {"\x01"},  // a zero-length text: empty, with or without the list blank
      {" Theory of the HAZARD evaluation procedure is given in:"},
      {"\x01"},
      Free(4),
      Free(5),
      Free(5),
      Free(5),
      {"  "},
      {"  and"},
      {"\x01"},
      Free(4),
      Free(5),
      Free(5),
      Free(5),
      Free(5),
      {""},
      {" " + eq},
      {""},
      {" PROGRAM : QEV"},
      Free(1),
      Free(1),
      {" RELEASE : 2.08/04 NOV 2001"},
      {""},
      {"  NEW FEATURES OF QEV, RELEASE 2.08:"},
      {"   - a second procedure for Mmax assessment has been introduced"},
      {"   - new version accepts free format of input files"},
      {"   - reads a piori Gutenberg-Richter b-value and its SD"},
      {""},
      {" " + eq},
      {"  "},
      FreeAny(),
      FreeAny(),
      FreeAny(),
      {""},
      FreeAny(),
      FreeAny(),
      FreeAny(),
      {"  "},
      {" " + eq},
      {""},
  };
}

std::vector<Line> ExpectedFile() {
  std::vector<Line> lines = {
      // date and file name
      {"  "},
      {" " + std::string(60, '=')},
      {""},
      {"  Date      : 04-Nov-01 "},
      {"  File Name :           whole.txt      "},
  };
  for (const Line& line : HeaderBlock()) lines.push_back(line);

  const std::vector<Line> summary = {
      {""},
      {"                * * * SUMMARY OF INPUT DATA * * *"},
      {""},
      // complete part: dates completed and truncated, A10 of the 15-character name
      {""},
      {"  SUMMARY of COMPLETE part of catalog no. 1"},
      {" ==========================================="},
      {"  FILE name : part.dat  "},
      {"  Catalog STARTS at  1950/ 1/ 1"},
      {"  Catalog ENDS   at  1999/12/31"},
      {"  THRESHOLD magnitude    =  4.00"},
      {"  Number of earthquakes  =    6"},
      {"  Standard Deviation =   .10"},
      // Xmax from the catalog: the largest 5.0, the second 4.5 (read in the order
      // 4.0 4.2 4.5 4.1 5.0 4.3); procedure 3 writes no procedure line
      {""},
      {"         Maximum OBSERVED magnitude Xmax =  5.00"},
      {"  SECOND Maximum OBSERVED magnitude Xmax =  4.50"},
      // prior as typed, F4.2 and F7.3
      {"  PRIOR b-value & SD[of PRIOR b] = 1.00      .100"},
  };
  lines.insert(lines.end(), summary.begin(), summary.end());

  // The last run: Mmax 5.5, from the keyboard start (PriorBeta, 0.15).
  Replica model;
  float beta = 0, lambda = 0;
  int iterations = 0;
  model.Minimize(model.priorBeta, 0.15f, beta, lambda, iterations);

  // Uncertainties: slot 1 is the part, slot 2 the (empty) extreme slot.
  const float infoBeta =
      model.Information(beta, lambda, true, true) + model.Information(beta, lambda, true, false);
  const float infoLambda =
      model.Information(beta, lambda, false, true) + model.Information(beta, lambda, false, false);
  const float h = 0.01f;
  const float g1 = model.LambdaScore((1.0f - h) * beta, lambda);
  const float g2 = model.LambdaScore((1.0f + h) * beta, lambda);
  const float c = (g2 - g1) / (2.0f * h * beta);
  const float det = infoBeta * infoLambda - c * c;
  const float sdBeta = std::sqrt(std::fabs(infoLambda / det));
  const float sdLambda = std::sqrt(std::fabs(infoBeta / det));
  model.Install(beta, lambda);
  const float spanT = model.end - model.start;
  float z = lambda * model.expMax / (model.expMin - model.expMax) * spanT;
  const float e1 = E1(z);
  const float transmission = std::fabs(
      1.0f / (1.0f + (z * static_cast<float>(std::exp(static_cast<double>(z))) * e1 - 1.0f) *
                         (model.expMin - 2.0f * model.expMax) / (model.expMin - model.expMax)));

  const std::vector<Line> results = {
      {""},
      {"                      RESULTS"},
      {"                     ========="},
      {"  Beta   = " + F(5, 2, beta) + " +- " + F(5, 2, sdBeta) +
       "  (b = " + F(5, 2, beta * 0.43429f) + " +- " + F(5, 2, sdBeta * 0.43429f) + ")"},
      {"  Lambda = " + F(7, 2, lambda) + " +- " + F(7, 2, sdLambda) + "  (for Mmin =  3.90)"},
      // sqrt(0.5^2 + 0.2^2) = 0.539
      {"  M_max  =  5.50 +-   .54  (for SIG(Xmax) =   .20)"},
      {""},
      {"  Transmission coefficient = " + F(5, 2, transmission)},
      // one complete part alone: no contribution table
      {""},
      {"                           HAZARD EVALUATION "},
      {"                ==========================================="},
      {" INT/MAG  LAMBDA             RET PER      Pr(T = 1,    50.0,   100.0,  1000.0,"},
  };
  lines.insert(lines.end(), results.begin(), results.end());

  // Table rows: running single-precision sum of 0.1 from Mmin - 0.1.
  auto inv = [](float x) { return x > 1.0e-35f ? 1.0f / x : 1.0e35f; };
  const float step = 0.1f;
  float m = kMmin - step;
  for (;;) {
    m = step + m;
    float x;
    if (m == kMmin) {
      x = m + 0.004f;
    } else if (kLastMmax > m) {
      x = m;
    } else {
      break;
    }
    const float q = 1.0f - model.Cdf(x);
    const float p1 = 1.0f - model.MaxCdf(x, 1.0f);
    const float pt1 = 1.0f - model.MaxCdf(x, kSpans[0]);
    const float pt2 = 1.0f - model.MaxCdf(x, kSpans[1]);
    const float pt3 = 1.0f - model.MaxCdf(x, kSpans[2]);
    const float r = q * lambda;
    const float rLow = q * (lambda - sdLambda);
    const float rHigh = q * (lambda + sdLambda);
    lines.push_back({" " + F(4, 1, x) + "  " + E(8, 3, r) + " " + F(8, 1, inv(r)) + "(" +
                     F(8, 1, inv(rHigh)) + "," + F(8, 1, inv(rLow)) + ")" + " " + " " +
                     F(8, 6, p1) + " " + F(8, 6, pt1) + " " + F(8, 6, pt2) + " " + F(8, 6, pt3)});
  }
  return lines;
}

TEST(WholeReport, EveryLineOfTheOutputFileAsDerivedFromTheAnswers) {
  Workspace harness;
  harness.WriteFile("part.dat", kPartFile);
  const auto outcome = harness.Run(kAnswers);
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  ASSERT_EQ(outcome.OutputFileName, "whole.txt");

  const std::string& bytes = outcome.OutputFile;
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "the last line ends with CR LF too";
  // No bare line feed or carriage return inside the lines.
  const auto lines = SplitLines(bytes);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "[" << line << "]";
  }

  const auto expected = ExpectedFile();
  for (std::size_t i = 0; i < std::min(lines.size(), expected.size()); ++i) {
    const Line& want = expected[i];
    const std::string& got = lines[i];
    if (want.freeBlanks == kAnyBlanks) {
      EXPECT_NE(got.find_first_not_of(' '), std::string::npos)
          << "file line " << i + 1 << " is blank";
    } else if (want.freeBlanks >= 0) {
      EXPECT_EQ(got.find_first_not_of(' '), static_cast<std::size_t>(want.freeBlanks))
          << "file line " << i + 1 << ": [" << got << "]";
    } else if (want.text == "\x01") {
      EXPECT_TRUE(got.empty() || got == " ") << "file line " << i + 1 << ": [" << got << "]";
    } else {
      EXPECT_EQ(got, want.text) << "file line " << i + 1;
    }
  }
  EXPECT_EQ(lines.size(), expected.size());

  // The two citation lines of the header name the two procedures.
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(lines[5 + 13].rfind("  (1) Tolve-Brandholm, (", 0), 0u) << lines[18];
  EXPECT_EQ(lines[5 + 14].rfind("  (2) Tolve-Brandholm-Bayes, (", 0), 0u) << lines[19];
  EXPECT_EQ(lines[5 + 34].rfind(" WRITTEN : ", 0), 0u) << lines[39];
  EXPECT_EQ(lines[5 + 35].rfind(" REVISED : ", 0), 0u) << lines[40];
}

// The console shows the last run's summary with the same estimates.
TEST(WholeReport, RunSummaryOfTheLastRunAgreesWithTheReport) {
  Workspace harness;
  harness.WriteFile("part.dat", kPartFile);
  const auto outcome = harness.Run(kAnswers);
  ASSERT_EQ(outcome.ExitStatus, 0);
  Replica model;
  float beta = 0, lambda = 0;
  int iterations = 0;
  model.Minimize(model.priorBeta, 0.15f, beta, lambda, iterations);
  const auto lines = SplitLines(outcome.Console);
  const auto run = LinesFrom(lines, "                RUN #  2", 8);
  ASSERT_EQ(run.size(), 8u);
  EXPECT_EQ(run[3], " NR of iterations = " + I(3, iterations));
  EXPECT_EQ(run[4], " Beta   = " + F(6, 3, beta) + "  (b = " + F(6, 3, beta * 0.43429f) + ")");
  EXPECT_EQ(run[5], " Lambda = " + F(7, 2, lambda) + "  (for Mmin =  3.90)");
  EXPECT_EQ(run[6], " Mmax   =  5.50");
  // The refused threshold 4.0 asked once more, without a message.
  const std::string ask = "\r\n ENTER: Threshold magnitude Mmin (LESS than 4.00)\r\n\r\n";
  std::size_t count = 0;
  for (auto at = outcome.Console.find(ask); at != std::string::npos;
       at = outcome.Console.find(ask, at + 1))
    ++count;
  EXPECT_EQ(count, 2u);
}

TEST(WholeReport, FieldRulesOfTheExpectedLines) {
  // The helper's own examples from the formatting rules.
  EXPECT_EQ(F(6, 3, 0.9f), "  .900");
  EXPECT_EQ(F(5, 2, 0.0f), "  .00");
  EXPECT_EQ(F(5, 2, -0.5f), " -.50");
  EXPECT_EQ(F(5, 2, 9.996f), "10.00");
  EXPECT_EQ(F(7, 2, 12345.678f), "*******");
  EXPECT_EQ(F(5, 2, 99.999f), "*****");
  EXPECT_EQ(F(5, 2, -0.004f), "  .00");
  EXPECT_EQ(F(8, 6, 0.5f), " .500000");
  EXPECT_EQ(F(8, 1, 1.0e35f), "********");
  EXPECT_EQ(E(10, 4, 12345.0f), " .1235E+05");
  EXPECT_EQ(E(8, 3, 0.00123f), ".123E-02");
  EXPECT_EQ(E(8, 3, 0.0f), ".000E+00");
  EXPECT_EQ(E(8, 3, 0.9996f), ".100E+01");
  EXPECT_EQ(I(2, 100), "**");
}

}  // namespace
}  // namespace qev::testing
