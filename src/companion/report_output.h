// What qev-report makes of a report file: CSV tables and an SVG figure.
#pragma once

#include <string>

#include "companion/report_file.h"

namespace qev::companion {

// The HAZARD EVALUATION table, one header row and one row per magnitude:
// magnitude,annual_rate,return_period,return_period_lower,return_period_upper,
// p_1yr and one p_<T>yr column per span. Overflowed fields (asterisks, among
// them every return period of 1.0E35) are empty cells; 1#INF is "inf" and the
// undefined values are "nan".
std::string HazardCsv(const ReportFile& report);

// The RESULTS block as quantity,value,sd rows, the data contributions as
// "Beta % <slot>" and "Lambda % <slot>" rows.
std::string ResultsCsv(const ReportFile& report);

struct PlotOptions {
  std::string Units = "Magnitude";  // axis label of earthquake size
  std::string Title;                // default: from the report's file name
};

// A standalone SVG figure: the annual rate of exceedance on a log scale with
// the band of one SD of Lambda and a return-period axis (upper panel), and the
// probabilities of exceedance within 1 year and the three spans (lower panel).
// Needs the RESULTS block and a table of at least one row (ReportError).
std::string HazardSvg(const ReportFile& report, const PlotOptions& options);

}  // namespace qev::companion
