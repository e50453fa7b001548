#include "companion/report_file.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

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

}  // namespace

Field ParseField(const std::string& raw) {
  const std::string text = Trim(raw);
  Field field;
  if (text.empty()) throw ReportError("an empty field");
  if (text.find_first_not_of('*') == std::string::npos) {
    field.Kind = FieldKind::Overflow;
    field.Value = std::numeric_limits<double>::infinity();
    return field;
  }
  if (StartsWith(text, "1#")) {
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
  std::size_t i = 0;
  std::string sign;
  if (text[i] == '-' || text[i] == '+') {
    if (text[i] == '-') sign = "-";
    ++i;
  }
  std::string whole;
  while (i < text.size() && IsDigit(text[i])) whole += text[i++];
  std::string fraction;
  bool point = false;
  if (i < text.size() && text[i] == '.') {
    point = true;
    ++i;
    while (i < text.size() && IsDigit(text[i])) fraction += text[i++];
  }
  if (whole.empty() && fraction.empty()) throw ReportError("'" + text + "' is not a number");
  std::string exponent;
  if (i < text.size()) {
    // Exponent: "E+05", or a sign and three digits without the letter.
    if (text[i] == 'E' || text[i] == 'e') ++i;
    if (i >= text.size() || (text[i] != '+' && text[i] != '-'))
      throw ReportError("'" + text + "' is not a number");
    exponent = std::string("e") + text[i++];
    const std::size_t digitsStart = i;
    while (i < text.size() && IsDigit(text[i])) exponent += text[i++];
    if (i == digitsStart || i != text.size()) throw ReportError("'" + text + "' is not a number");
  }
  field.Text = sign + (whole.empty() ? "0" : whole) + (point ? "." + fraction : "") + exponent;
  field.Value = std::strtod(field.Text.c_str(), nullptr);
  if (field.Value == 0.0) {
    field.Text =
        (whole.empty() ? "0" : whole) + (point ? "." + fraction : "") + exponent;  // no "-0"
    field.Value = 0.0;
  }
  return field;
}

ReportFile ParseReport(const std::string& text) {
  std::vector<std::string> lines;
  {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  ReportFile report;
  enum class Section { Top, Results, Hazard, Rows, Done } section = Section::Top;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::size_t lineNumber = n + 1;
    const std::string trimmed = Trim(line);
    if (section == Section::Top || section == Section::Results) {
      if (section == Section::Top && StartsWith(line, "  Date      : ")) {
        report.Date = Trim(line.substr(14));
      } else if (section == Section::Top && StartsWith(line, "  File Name : ")) {
        report.FileName = Trim(line.substr(14));
      } else if (trimmed == "RESULTS") {
        section = Section::Results;
        report.Results.emplace();
      } else if (trimmed == "HAZARD EVALUATION") {
        section = Section::Hazard;
        report.HasHazardTable = true;
      } else if (section == Section::Results) {
        ResultsBlock& r = *report.Results;
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
          if (Trim(line.substr(16)).empty()) continue;  // the short line: M_max without its SD
          c.Literal(" +- ");
          r.SdMmax = c.Take(5);
          c.Literal("  (for SIG(Xmax) = ");
          r.SigXmax = c.Take(5);
        } else if (StartsWith(line, "  Transmission coefficient = ")) {
          c.Literal("  Transmission coefficient = ");
          r.TransmissionCoefficient = c.Take(5);
        } else if (StartsWith(line, " EXTREMES    :") || StartsWith(line, " COMPLETE #")) {
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
          r.Contributions.push_back(row);
        }
      }
    } else if (section == Section::Hazard) {
      const std::size_t at = line.find("Pr(T = 1,");
      if (at == std::string::npos) continue;  // the underline
      Cursor c(line, lineNumber, at + 9);
      for (Field& span : report.Spans) {
        c.Literal(" ");
        span = c.Take(7);
        c.Literal(",");
      }
      section = Section::Rows;
    } else if (section == Section::Rows) {
      if (trimmed.empty()) {
        section = Section::Done;
        continue;
      }
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
      report.Hazard.push_back(row);
    } else if (!trimmed.empty()) {
      throw ReportError("line " + std::to_string(lineNumber) +
                        " of the report: unexpected text after the "
                        "HAZARD EVALUATION table");
    }
  }
  if (report.Results) {
    const ResultsBlock& r = *report.Results;
    if (r.Beta.Text.empty() && r.Beta.IsNumber())
      throw ReportError("the RESULTS block has no Beta line");
    if (r.Lambda.Text.empty() && r.Lambda.IsNumber())
      throw ReportError("the RESULTS block has no Lambda line");
    if (r.Mmax.Text.empty() && r.Mmax.IsNumber())
      throw ReportError("the RESULTS block has no M_max line");
  }
  if (section == Section::Hazard)
    throw ReportError("the HAZARD EVALUATION table has no column heading");
  return report;
}

}  // namespace qev::companion
