// Reading a qev report back: fields as printed, the RESULTS block, the hazard
// table, and what the CSV and SVG outputs make of them.
#include "companion/report_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "companion/report_fixture.h"
#include "companion/report_output.h"
#include "harness/harness.h"

namespace qev::companion {
namespace {

using testing::FixtureReport;
using testing::FixtureReportLines;
using testing::JoinReportLines;

const std::string kData = QEV_GOLDEN_DIR "/../companion/data/";

// Fields as the formats print them: no zero before the point, an exponent
// with or without its letter, asterisks of overflow and non-finite texts.
TEST(ReportField, PrintedFieldsAreReadAndTextThatIsNoFieldIsAnErrorNamingItsLine) {
  struct Case {
    const char* field;
    const char* text;
    double value;
  };
  for (const Case& c : {Case{" .500000", "0.500000", 0.5}, Case{" -.50", "-0.50", -0.5},
                        Case{"10.00", "10.00", 10.0}, Case{".123E+02", "0.123e+02", 12.3},
                        Case{" .000E+00", "0.000e+00", 0.0}, Case{"  7", "7", 7.0},
                        Case{".123-100", "0.123e-100", 1.23e-101}}) {
    const Field field = ParseField(c.field);
    ASSERT_TRUE(field.IsNumber()) << c.field;
    EXPECT_EQ(field.Text, c.text);
    EXPECT_NEAR(field.Value, c.value, std::fabs(c.value) * 1e-15) << c.field;  // a few roundings
  }
  EXPECT_EQ(ParseField("********").Kind, FieldKind::Overflow);
  EXPECT_EQ(ParseField("1#INF...").Kind, FieldKind::Infinite);
  EXPECT_EQ(ParseField("1#IND").Kind, FieldKind::Undefined);
  EXPECT_EQ(ParseField("1#QNAN..").Kind, FieldKind::Undefined);
  for (const char* text : {"   ", " abc", "1.5E", "1.5 2", "."})
    EXPECT_THROW(ParseField(text), ReportError) << text;
  // A damaged row of the hazard table names its line.
  auto lines = FixtureReportLines();
  lines[28] = "  5.0  .126E+01       .8 (     .7,      .9)   .716520 1.000000 1.000000 1.000000";
  try {
    ParseReport(JoinReportLines(lines));
    FAIL() << "a damaged row was accepted";
  } catch (const ReportError& error) {
    EXPECT_NE(std::string(error.what()).find("line 29"), std::string::npos) << error.what();
  }
}

// The CSV files show every field the reader took from the RESULTS block, the
// contributions and the hazard table (one header row, empty cells for
// overflow): data/fixture-hazard.csv and data/fixture-results.csv.
TEST(ReportCsv, ResultsAndHazardTableAreTheCheckedInFiles) {
  const ReportFile report = ParseReport(FixtureReport());
  EXPECT_EQ(report.Date, "05-Mar-24");
  EXPECT_EQ(report.FileName, "synth&co.out");
  EXPECT_EQ(HazardCsv(report), qev::testing::ReadBytes(kData + "fixture-hazard.csv"));
  EXPECT_EQ(ResultsCsv(report), qev::testing::ReadBytes(kData + "fixture-results.csv"));
}

// An SD(Lambda) above Lambda sends the band to the bottom, not to a NaN.
TEST(ReportSvg, FigureIsStandaloneWithBandCurvesLegendAndEscapedTitle) {
  auto lines = FixtureReportLines();
  lines[12] = "  Lambda =   10.05 +-   12.00  (for Mmin =  4.00)";
  for (const std::string& report : {FixtureReport(), JoinReportLines(lines)}) {
    const std::string svg = HazardSvg(ParseReport(report), {});
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("Seismic hazard from synth&amp;co.out"), std::string::npos);
    EXPECT_EQ(qev::testing::CountOf(svg, "<polygon"), 1);   // the SD(Lambda) band
    EXPECT_EQ(qev::testing::CountOf(svg, "<polyline"), 5);  // the rate and four probability curves
    EXPECT_NE(svg.find(">1000 years<"), std::string::npos);
    EXPECT_NE(svg.find(">report of 2024-03-05<"), std::string::npos);  // the date as ISO 8601
    // The legend of the probabilities lies right of the panel (x 730),
    // where no curve runs.
    const auto legend = svg.find(">within</text>");
    ASSERT_NE(legend, std::string::npos);
    const auto x = svg.rfind("<text x=\"", legend);
    EXPECT_GT(std::stod(svg.substr(x + 9)), 730.0);
    for (const char* absent : {"synth&co", "href", "nan", "inf"})
      EXPECT_EQ(svg.find(absent), std::string::npos) << absent;
  }
  EXPECT_NE(HazardSvg(ParseReport(FixtureReport()), {"Intensity", ""}).find(">Intensity<"),
            std::string::npos);
}

}  // namespace
}  // namespace qev::companion
