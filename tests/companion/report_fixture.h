// A report file as a qev session writes it (CR LF line ends), reduced to the
// lines the reader looks at, with overflowing fields and a three-digit
// exponent in the places where the formats produce them.
#pragma once

#include <string>
#include <vector>

namespace qev::companion::testing {

inline std::string JoinReportLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

inline std::vector<std::string> FixtureReportLines() {
  return {
      "  ",
      " ============================================================",
      "",
      "  Date      : 05-Mar-24 ",
      "  File Name :           synth&co.out   ",
      "",
      "                * * * SUMMARY OF INPUT DATA * * *",
      "",
      "",
      "                      RESULTS",
      "                     =========",
      "  Beta   =  2.07 +-   .10  (b =   .90 +-   .04)",
      "  Lambda =   10.05 +-     .80  (for Mmin =  4.00)",
      "  M_max  =  7.05 +-   .31  (for SIG(Xmax) =   .30)",
      "",
      "  Transmission coefficient =   .97",
      "",
      "              DATA contribution to the parameters :",
      "             =======================================",
      "                     Beta (%)     Lambda (%)",
      " EXTREMES    :         45.3         ****",
      " COMPLETE #1 :         20.1           .0",
      " COMPLETE #2 :         34.6          1.2",
      "",
      "                           HAZARD EVALUATION ",
      "                ===========================================",
      " INT/MAG  LAMBDA             RET PER      Pr(T = 1,    50.0,   100.0,  1000.0,",
      "  4.0  .101E+02       .1(      .1,      .1)  1.000000 1.000000 1.000000 1.000000",
      "  5.0  .126E+01       .8(      .7,      .9)   .716520 1.000000 1.000000 1.000000",
      "  6.0  .912E-01     11.0(    10.2,    11.9)   .087174  .989500  .999890 1.000000",
      "  7.0  .123-100 ********(********,********)   .000000  .000000  .000000  .000000",
  };
}

inline std::string FixtureReport() { return JoinReportLines(FixtureReportLines()); }

}  // namespace qev::companion::testing
