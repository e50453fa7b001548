#include "companion/report_file.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

namespace qev::companion {

namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Walks along one report line, checking literals and taking fields of fixed width.
class Cursor {
 public:
  Cursor(const std::string& line, std::size_t lineNumber, std::size_t position = 0)
      : line_(line), lineNumber_(lineNumber), position_(position) {}

  void Literal(const std::string& text) {
    if (line_.compare(position_, text.size(), text) != 0) Fail("expected '" + text + "'");
    position_ += text.size();
  }
  Field Take(std::size_t width) {
    if (position_ + width > line_.size()) Fail("the line ends too early");
    const std::string text = line_.substr(position_, width);
    position_ += width;
    try {
      return ParseField(text);
    } catch (const ReportError& error) {
      Fail(error.what());
    }
  }
  std::string TakeText(std::size_t width) {
    if (position_ + width > line_.size()) Fail("the line ends too early");
    std::string text = line_.substr(position_, width);
    position_ += width;
    return text;
  }
  [[noreturn]] void Fail(const std::string& why) const {
    throw ReportError("line " + std::to_string(lineNumber_) + " of the report: " + why +
                      " at column " + std::to_string(position_ + 1));
  }

 private:
  const std::string& line_;
  std::size_t lineNumber_;
  std::size_t position_;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A field qev could not print as a number: asterisks (too large for its
// columns), 1#INF and the other 1# forms of an undefined value.
std::optional<Field> UnprintedField(const std::string& text) {
  Field field;
  if (text.find_first_not_of('*') == std::string::npos) {
    field.Kind = FieldKind::Overflow;
    field.Value = std::numeric_limits<double>::infinity();
    return field;
  }
  if (!StartsWith(text, "1#")) return std::nullopt;
  if (StartsWith(text, "1#INF")) {
    field.Kind = FieldKind::Infinite;
    field.Value = std::numeric_limits<double>::infinity();
    field.Text = "inf";
  } else {
    field.Kind = FieldKind::Undefined;
    field.Value = std::numeric_limits<double>::quiet_NaN();
    field.Text = "nan";
  }
  return field;
}

std::string DigitsFrom(const std::string& text, std::size_t& i) {
  std::string digits;
  while (i < text.size() && IsDigit(text[i])) digits += text[i++];
  return digits;
}

// The exponent from `i` to the end of the field as C writes it ("e+05"):
// "E+05", or a sign and three digits without the letter.
std::string ExponentFrom(const std::string& text, std::size_t i) {
  if (i >= text.size()) return "";
  if (text[i] == 'E' || text[i] == 'e') ++i;
  if (i >= text.size() || (text[i] != '+' && text[i] != '-')) {
    throw ReportError("'" + text + "' is not a number");
  }
  std::string exponent = std::string("e") + text[i++];
  const std::string digits = DigitsFrom(text, i);
  if (digits.empty() || i != text.size()) throw ReportError("'" + text + "' is not a number");
  return exponent + digits;
}

}  // namespace

Field ParseField(const std::string& raw) {
  const std::string text = Trim(raw);
  if (text.empty()) throw ReportError("an empty field");
  if (std::optional<Field> unprinted = UnprintedField(text)) return *unprinted;
  std::size_t i = 0;
  std::string sign;
  if (text[i] == '-' || text[i] == '+') {
    if (text[i] == '-') sign = "-";
    ++i;
  }
  const std::string whole = DigitsFrom(text, i);
  std::string fraction;
  const bool point = i < text.size() && text[i] == '.';
  if (point) fraction = DigitsFrom(text, ++i);
  if (whole.empty() && fraction.empty()) throw ReportError("'" + text + "' is not a number");
  const std::string exponent = ExponentFrom(text, i);
  // With a zero before the point; no "-0".
  const std::string unsigned_text =
      (whole.empty() ? "0" : whole) + (point ? "." + fraction : "") + exponent;
  Field field;
  field.Text = sign + unsigned_text;
  field.Value = std::strtod(field.Text.c_str(), nullptr);
  if (field.Value == 0.0) {
    field.Text = unsigned_text;
    field.Value = 0.0;
  }
  return field;
}

namespace {

std::vector<std::string> ReportLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A row of the DATA contribution table.
Contribution ContributionRow(const std::string& line, std::size_t lineNumber) {
  Cursor c(line, lineNumber);
  Contribution row;
  if (line[1] == 'E') {
    c.Literal(" EXTREMES    :         ");
    row.Slot = "EXTREMES";
  } else {
    c.Literal(" COMPLETE #");
    row.Slot = "COMPLETE #" + c.TakeText(1);
    c.Literal(" :         ");
  }
  row.BetaPercent = c.Take(4);
  c.Literal("         ");
  row.LambdaPercent = c.Take(4);
  return row;
}

// One line of the RESULTS block, read into `r` where it is one of its
// lines; the others (headings, blank lines) say nothing.
void ReadResultsLine(const std::string& line, std::size_t lineNumber, ResultsBlock& r) {
  Cursor c(line, lineNumber);
  if (StartsWith(line, "  Beta   = ")) {
    c.Literal("  Beta   = ");
    r.Beta = c.Take(5);
    c.Literal(" +- ");
    r.SdBeta = c.Take(5);
    c.Literal("  (b = ");
    r.B = c.Take(5);
    c.Literal(" +- ");
    r.SdB = c.Take(5);
  } else if (StartsWith(line, "  Lambda = ")) {
    c.Literal("  Lambda = ");
    r.Lambda = c.Take(7);
    c.Literal(" +- ");
    r.SdLambda = c.Take(7);
    c.Literal("  (for Mmin = ");
    r.Mmin = c.Take(5);
  } else if (StartsWith(line, "  M_max  = ")) {
    c.Literal("  M_max  = ");
    r.Mmax = c.Take(5);
    if (Trim(line.substr(16)).empty()) return;  // the short line: M_max without its SD
    c.Literal(" +- ");
    r.SdMmax = c.Take(5);
    c.Literal("  (for SIG(Xmax) = ");
    r.SigXmax = c.Take(5);
  } else if (StartsWith(line, "  Transmission coefficient = ")) {
    c.Literal("  Transmission coefficient = ");
    r.TransmissionCoefficient = c.Take(5);
  } else if (StartsWith(line, " EXTREMES    :") || StartsWith(line, " COMPLETE #")) {
    r.Contributions.push_back(ContributionRow(line, lineNumber));
  }
}

// The heading of the hazard table gives the three spans; false for the
// underline before it.
bool ReadSpans(const std::string& line, std::size_t lineNumber, ReportFile& report) {
  const std::size_t at = line.find("Pr(T = 1,");
  if (at == std::string::npos) return false;
  Cursor c(line, lineNumber, at + 9);
  for (Field& span : report.Spans) {
    c.Literal(" ");
    span = c.Take(7);
    c.Literal(",");
  }
  return true;
}

HazardRow ReadHazardRow(const std::string& line, std::size_t lineNumber) {
  Cursor c(line, lineNumber);
  HazardRow row;
  c.Literal(" ");
  row.Magnitude = c.Take(4);
  c.Literal("  ");
  row.Rate = c.Take(8);
  c.Literal(" ");
  row.ReturnPeriod = c.Take(8);
  c.Literal("(");
  row.ReturnPeriodLower = c.Take(8);
  c.Literal(",");
  row.ReturnPeriodUpper = c.Take(8);
  c.Literal(") ");
  for (Field& p : row.Probability) {
    c.Literal(" ");
    p = c.Take(8);
  }
  return row;
}

void CheckWhole(const ReportFile& report, bool inHazardHeading) {
  if (report.Results) {
    const ResultsBlock& r = *report.Results;
    if (r.Beta.Text.empty() && r.Beta.IsNumber())
      throw ReportError("the RESULTS block has no Beta line");
    if (r.Lambda.Text.empty() && r.Lambda.IsNumber())
      throw ReportError("the RESULTS block has no Lambda line");
    if (r.Mmax.Text.empty() && r.Mmax.IsNumber())
      throw ReportError("the RESULTS block has no M_max line");
  }
  if (inHazardHeading) throw ReportError("the HAZARD EVALUATION table has no column heading");
}

enum class Section { Top, Results, Hazard, Rows, Done };

// A line before the hazard table: the header's date and file name, the
// headings that open the RESULTS block and the table, the block's lines.
Section ReadOpeningLine(const std::string& line, std::size_t lineNumber, Section section,
                        ReportFile& report) {
  const std::string trimmed = Trim(line);
  if (section == Section::Top && StartsWith(line, "  Date      : ")) {
    report.Date = Trim(line.substr(14));
  } else if (section == Section::Top && StartsWith(line, "  File Name : ")) {
    report.FileName = Trim(line.substr(14));
  } else if (trimmed == "RESULTS") {
    report.Results.emplace();
    return Section::Results;
  } else if (trimmed == "HAZARD EVALUATION") {
    report.HasHazardTable = true;
    return Section::Hazard;
  } else if (section == Section::Results) {
    ReadResultsLine(line, lineNumber, *report.Results);
  }
  return section;
}

}  // namespace

ReportFile ParseReport(const std::string& text) {
  const std::vector<std::string> lines = ReportLines(text);
  ReportFile report;
  Section section = Section::Top;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::size_t lineNumber = n + 1;
    switch (section) {
      case Section::Top:
      case Section::Results:
        section = ReadOpeningLine(line, lineNumber, section, report);
        break;
      case Section::Hazard:
        if (ReadSpans(line, lineNumber, report)) section = Section::Rows;
        break;
      case Section::Rows:
        if (Trim(line).empty()) {
          section = Section::Done;
        } else {
          report.Hazard.push_back(ReadHazardRow(line, lineNumber));
        }
        break;
      case Section::Done:
        if (!Trim(line).empty()) {
          throw ReportError("line " + std::to_string(lineNumber) +
                            " of the report: unexpected text after the "
                            "HAZARD EVALUATION table");
        }
        break;
    }
  }
  CheckWhole(report, section == Section::Hazard);
  return report;
}

}  // namespace qev::companion
