// Reading a qev report back: fields as printed, the RESULTS block, the hazard
// table, and what the CSV and SVG outputs make of them.
#include "companion/report_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "companion/report_fixture.h"
#include "companion/report_output.h"

namespace qev::companion {
namespace {

using testing::FixtureReport;
using testing::FixtureReportLines;
using testing::JoinReportLines;

// Fields as the formats print them: no zero before the point, an exponent
// with or without its letter, asterisks of overflow and non-finite texts.
TEST(ReportField, PrintedFieldsAreReadAndTextThatIsNoFieldIsAnError) {
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
}

TEST(ReportFileReader, ShortMmaxLineHasNoStandardDeviation) {
  auto lines = FixtureReportLines();
  lines[13] = "  M_max  =  7.05";
  const ReportFile report = ParseReport(JoinReportLines(lines));
  ASSERT_TRUE(report.Results.has_value());
  EXPECT_DOUBLE_EQ(report.Results->Mmax.Value, 7.05);
  EXPECT_FALSE(report.Results->SdMmax.has_value());
}

TEST(ReportFileReader, DamagedRowNamesItsLine) {
  auto lines = FixtureReportLines();
  lines[28] = "  5.0  .126E+01       .8 (     .7,      .9)   .716520 1.000000 1.000000 1.000000";
  try {
    ParseReport(JoinReportLines(lines));
    FAIL() << "a damaged row was accepted";
  } catch (const ReportError& error) {
    EXPECT_NE(std::string(error.what()).find("line 29"), std::string::npos) << error.what();
  }
}

TEST(ReportFileReader, SessionStoppedBeforeResultsHasNeither) {
  auto lines = FixtureReportLines();
  lines.resize(8);
  const ReportFile report = ParseReport(JoinReportLines(lines));
  EXPECT_FALSE(report.Results.has_value());
  EXPECT_FALSE(report.HasHazardTable);
  EXPECT_THROW(ResultsCsv(report), ReportError);
  EXPECT_THROW(HazardSvg(report, {}), ReportError);
}

TEST(ReportCsv, HazardTableHasOneHeaderRowAndEmptyCellsForOverflow) {
  const std::string csv = HazardCsv(ParseReport(FixtureReport()));
  EXPECT_EQ(
      csv,
      "magnitude,annual_rate,return_period,return_period_lower,return_period_upper,p_1yr,p_50yr,"
      "p_100yr,p_1000yr\n"
      "4.0,0.101e+02,0.1,0.1,0.1,1.000000,1.000000,1.000000,1.000000\n"
      "5.0,0.126e+01,0.8,0.7,0.9,0.716520,1.000000,1.000000,1.000000\n"
      "6.0,0.912e-01,11.0,10.2,11.9,0.087174,0.989500,0.999890,1.000000\n"
      "7.0,0.123e-100,,,,0.000000,0.000000,0.000000,0.000000\n");
}

// The CSV files show every field the reader took from the RESULTS block, the
// contributions and the hazard table.
TEST(ReportCsv, ResultsAndContributionsAreRows) {
  const ReportFile report = ParseReport(FixtureReport());
  EXPECT_EQ(report.Date, "05-Mar-24");
  EXPECT_EQ(report.FileName, "synth&co.out");
  EXPECT_EQ(ResultsCsv(report),
            "quantity,value,sd\n"
            "Beta,2.07,0.10\n"
            "b,0.90,0.04\n"
            "Lambda,10.05,0.80\n"
            "Mmin,4.00,\n"
            "Mmax,7.05,0.31\n"
            "SigXmax,0.30,\n"
            "TransmissionCoefficient,0.97,\n"
            "Beta % EXTREMES,45.3,\n"
            "Beta % COMPLETE #1,20.1,\n"
            "Beta % COMPLETE #2,34.6,\n"
            "Lambda % EXTREMES,,\n"
            "Lambda % COMPLETE #1,0.0,\n"
            "Lambda % COMPLETE #2,1.2,\n");
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ReportSvg, FigureIsStandaloneWithBandCurvesLegendAndEscapedTitle) {
  const std::string svg = HazardSvg(ParseReport(FixtureReport()), {});
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("Seismic hazard from synth&amp;co.out"), std::string::npos);
  EXPECT_EQ(svg.find("synth&co"), std::string::npos);
  EXPECT_EQ(Count(svg, "<polygon"), 1);   // the SD(Lambda) band
  EXPECT_EQ(Count(svg, "<polyline"), 5);  // the rate and four probability curves
  EXPECT_NE(svg.find("Return period (years)"), std::string::npos);
  EXPECT_NE(svg.find("Annual rate of exceedance"), std::string::npos);
  EXPECT_NE(svg.find(">1000 years<"), std::string::npos);
  EXPECT_EQ(svg.find("href"), std::string::npos);  // nothing external
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_EQ(Count(svg, "<text"), Count(svg, "</text>"));
}

TEST(ReportSvg, SdLambdaAboveLambdaSendsTheBandToTheBottom) {
  auto lines = FixtureReportLines();
  lines[12] = "  Lambda =   10.05 +-   12.00  (for Mmin =  4.00)";
  const std::string svg = HazardSvg(ParseReport(JoinReportLines(lines)), {"Intensity", ""});
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_NE(svg.find(">Intensity<"), std::string::npos);
}

}  // namespace
}  // namespace qev::companion
