// Reading back the report file that a qev session writes: its date and
// file-name lines, the RESULTS block with the data-contribution table, and the
// HAZARD EVALUATION table. Every field is read from its fixed columns, so
// fields that overflowed (asterisks) are recognised as such.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qev::companion {

class ReportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class FieldKind {
  Number,    // a value; Text holds it as a plain decimal number
  Overflow,  // the field was filled with asterisks (too wide, or 1.0E35)
  Infinite,  // printed as 1#INF
  Undefined  // printed as 1#IND, 1#QNAN or 1#SNAN
};

struct Field {
  FieldKind Kind = FieldKind::Number;
  double Value = 0.0;  // the number (infinity or NaN for the other kinds)
  std::string Text;    // the number in plain notation: "0.500000", "0.123e+01"

  bool IsNumber() const { return Kind == FieldKind::Number; }
};

// Reads one F, E or I field as it stands in the report (right-justified,
// no zero before the point, an exponent of three digits without the E).
// A text that is none of these is a ReportError.
Field ParseField(const std::string& text);

struct Contribution {
  std::string Slot;  // "EXTREMES", "COMPLETE #1", ...
  Field BetaPercent;
  Field LambdaPercent;
};

struct ResultsBlock {
  Field Beta, SdBeta, B, SdB;
  Field Lambda, SdLambda, Mmin;
  Field Mmax;
  std::optional<Field> SdMmax, SigXmax;  // absent in the short M_max line
  Field TransmissionCoefficient;
  std::vector<Contribution> Contributions;
};

struct HazardRow {
  Field Magnitude, Rate, ReturnPeriod, ReturnPeriodLower, ReturnPeriodUpper;
  std::array<Field, 4> Probability;  // 1 year and the three spans
};

struct ReportFile {
  std::string Date;      // as printed after "Date      :"
  std::string FileName;  // as printed after "File Name :"
  std::optional<ResultsBlock> Results;
  std::array<Field, 3> Spans;  // years, from the table heading
  bool HasHazardTable = false;
  std::vector<HazardRow> Hazard;
};

// Reads a report; line ends may be CR LF or LF. A report without RESULTS or
// without a HAZARD EVALUATION table is read as far as it goes (a session
// stopped by an error writes neither); a damaged line is a ReportError naming
// its line number.
ReportFile ParseReport(const std::string& text);

}  // namespace qev::companion
