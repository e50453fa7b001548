#include "companion/report_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "textio/number_text.h"
#include "textio/xml_text.h"

namespace qev::companion {

namespace {

std::string Cell(const Field& field) {
  switch (field.Kind) {
    case FieldKind::Number:
      return field.Text;
    case FieldKind::Overflow:
      return "";
    case FieldKind::Infinite:
      return "inf";
    case FieldKind::Undefined:
      return "nan";
  }
  return "";
}

// "50.0" -> "50", "12.5" -> "12.5"; an unreadable span gets its position.
std::string SpanName(const Field& span, int index) {
  if (!span.IsNumber()) return "T" + std::to_string(index + 1);
  std::string text = span.Text;
  if (text.find('.') != std::string::npos && text.find('e') == std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

std::string Escape(const std::string& text) { return XmlEscaped(text); }

std::string Shown(const Field& field, int decimals) {
  if (field.IsNumber()) return FixedText(field.Value, decimals);
  return field.Kind == FieldKind::Overflow ? "(too large)" : Cell(field);
}

std::string DecadeLabel(int exponent) {
  if (exponent >= 0 && exponent <= 6) return FixedText(std::pow(10.0, exponent), 0);
  if (exponent < 0 && exponent >= -4) return FixedText(std::pow(10.0, exponent), -exponent);
  return "1e" + std::to_string(exponent);
}

// The report's date (DD-Mon-YY, years 70 to 99 in the 1900s) as ISO 8601
// YYYY-MM-DD; any other text as it is.
std::string IsoDate(const std::string& date) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (date.size() != 9 || date[2] != '-' || date[6] != '-') return date;
  const std::string day = date.substr(0, 2), month = date.substr(3, 3), year = date.substr(7, 2);
  for (const std::string& d : {day, year}) {
    if (d.find_first_not_of(" 0123456789") != std::string::npos) return date;
  }
  for (int m = 0; m < 12; ++m) {
    if (month != kMonths[m]) continue;
    const int y = std::stoi(year);
    const int d = std::stoi(day);
    if (d < 1 || d > 31) return date;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y < 70 ? 2000 + y : 1900 + y, m + 1, d);
    return text;
  }
  return date;
}

struct Box {
  double Left, Top, Width, Height;
  double Right() const { return Left + Width; }
  double Bottom() const { return Top + Height; }
};

}  // namespace

std::string HazardCsv(const ReportFile& report) {
  std::ostringstream out;
  out << "magnitude,annual_rate,return_period,return_period_lower,return_period_upper,p_1yr";
  for (int i = 0; i < 3; ++i) out << ",p_" << SpanName(report.Spans[i], i) << "yr";
  out << "\n";
  for (const HazardRow& row : report.Hazard) {
    out << Cell(row.Magnitude) << ',' << Cell(row.Rate) << ',' << Cell(row.ReturnPeriod) << ','
        << Cell(row.ReturnPeriodLower) << ',' << Cell(row.ReturnPeriodUpper);
    for (const Field& p : row.Probability) out << ',' << Cell(p);
    out << "\n";
  }
  return out.str();
}

std::string ResultsCsv(const ReportFile& report) {
  if (!report.Results) throw ReportError("the report holds no RESULTS block");
  const ResultsBlock& r = *report.Results;
  std::ostringstream out;
  out << "quantity,value,sd\n";
  out << "Beta," << Cell(r.Beta) << ',' << Cell(r.SdBeta) << "\n";
  out << "b," << Cell(r.B) << ',' << Cell(r.SdB) << "\n";
  out << "Lambda," << Cell(r.Lambda) << ',' << Cell(r.SdLambda) << "\n";
  out << "Mmin," << Cell(r.Mmin) << ",\n";
  out << "Mmax," << Cell(r.Mmax) << ',' << (r.SdMmax ? Cell(*r.SdMmax) : "") << "\n";
  if (r.SigXmax) out << "SigXmax," << Cell(*r.SigXmax) << ",\n";
  out << "TransmissionCoefficient," << Cell(r.TransmissionCoefficient) << ",\n";
  for (const Contribution& c : r.Contributions)
    out << "Beta % " << c.Slot << ',' << Cell(c.BetaPercent) << ",\n";
  for (const Contribution& c : r.Contributions) {
    out << "Lambda % " << c.Slot << ',' << Cell(c.LambdaPercent) << ",\n";
  }
  return out.str();
}

namespace {

struct RatePoint {
  double X, Rate;
};

// The two panels of the hazard figure on their common magnitude axis: the
// rate of exceedance on a logarithmic axis of decades from `Bottom` to
// `Top` above, the probabilities of exceedance below.
struct HazardFigure {
  std::ostringstream& S;
  const PlotOptions& Options;
  double XMin, XMax, XStep;
  int Top, Bottom;
  Box Upper{110.0, 110.0, 620.0, 400.0};
  Box Lower{110.0, 610.0, 620.0, 280.0};
  static constexpr const char* kColours[4] = {"#222222", "#d95f02", "#7570b3", "#1b9e77"};
  static constexpr const char* kDashes[4] = {"", "8 4", "3 3", "12 4 3 4"};

  double XAt(const Box& box, double m) const {
    return box.Left + (m - XMin) / (XMax - XMin) * box.Width;
  }
  double YRate(double rate) const {
    const double l = rate > 0.0 ? std::log10(rate) : Bottom - 10.0;
    return Upper.Top + (Top - l) / (Top - Bottom) * Upper.Height;
  }
  double YProbability(double p) const { return Lower.Bottom() - p * Lower.Height; }
  static std::string F1(double v) { return FixedText(v, 1); }

  void Frame(const Box& box) {
    S << "<rect x=\"" << box.Left << "\" y=\"" << box.Top << "\" width=\"" << box.Width
      << "\" height=\"" << box.Height
      << "\" fill=\"none\" stroke=\"#222\" stroke-width=\"1.2\"/>\n";
  }
  void XAxis(const Box& box) {
    for (double m = XMin; m <= XMax + 1e-9; m += XStep) {
      const double x = XAt(box, m);
      S << "<line x1=\"" << x << "\" y1=\"" << box.Top << "\" x2=\"" << x << "\" y2=\""
        << box.Bottom() << "\" stroke=\"#ddd\"/>\n";
      S << "<line x1=\"" << x << "\" y1=\"" << box.Bottom() << "\" x2=\"" << x << "\" y2=\""
        << box.Bottom() + 6 << "\" stroke=\"#222\"/>\n";
      S << "<text x=\"" << x << "\" y=\"" << box.Bottom() + 22
        << "\" text-anchor=\"middle\" font-size=\"13\">" << FixedText(m, XStep == 0.25 ? 2 : 1)
        << "</text>\n";
    }
    S << "<text x=\"" << box.Left + box.Width / 2 << "\" y=\"" << box.Bottom() + 46
      << "\" text-anchor=\"middle\" font-size=\"15\">" << Escape(Options.Units) << "</text>\n";
  }
  void YLabel(double x, double y, const std::string& text) {
    S << "<text x=\"" << x << "\" y=\"" << y
      << "\" text-anchor=\"middle\" font-size=\"15\" transform=\"rotate(-90 " << x << ' ' << y
      << ")\">" << Escape(text) << "</text>\n";
  }

  // Rate of exceedance and return period, with the band of Lambda +- SD.
  void UpperPanel(const std::vector<RatePoint>& rates, double highFactor, double lowFactor) {
    for (int e = Bottom; e <= Top; ++e) {
      const double y = YRate(std::pow(10.0, e));
      S << "<line x1=\"" << Upper.Left << "\" y1=\"" << y << "\" x2=\"" << Upper.Right()
        << "\" y2=\"" << y << "\" stroke=\"#ddd\"/>\n";
      S << "<line x1=\"" << Upper.Left - 6 << "\" y1=\"" << y << "\" x2=\"" << Upper.Left
        << "\" y2=\"" << y << "\" stroke=\"#222\"/>\n";
      S << "<line x1=\"" << Upper.Right() << "\" y1=\"" << y << "\" x2=\"" << Upper.Right() + 6
        << "\" y2=\"" << y << "\" stroke=\"#222\"/>\n";
      S << "<text x=\"" << Upper.Left - 10 << "\" y=\"" << y + 4
        << "\" text-anchor=\"end\" font-size=\"13\">" << DecadeLabel(e) << "</text>\n";
      S << "<text x=\"" << Upper.Right() + 10 << "\" y=\"" << y + 4 << "\" font-size=\"13\">"
        << DecadeLabel(-e) << "</text>\n";
    }
    XAxis(Upper);
    YLabel(34, Upper.Top + Upper.Height / 2, "Annual rate of exceedance (events per year)");
    YLabel(Upper.Right() + 100, Upper.Top + Upper.Height / 2, "Return period (years)");

    S << "<g clip-path=\"url(#upper)\">\n<polygon fill=\"#8db8f0\" fill-opacity=\"0.6\" "
         "stroke=\"#5b8fd6\" stroke-width=\"0.8\" points=\"";
    for (const RatePoint& p : rates)
      S << F1(XAt(Upper, p.X)) << ',' << F1(YRate(p.Rate * highFactor)) << ' ';
    for (auto it = rates.rbegin(); it != rates.rend(); ++it) {
      const double low = lowFactor > 0.0 ? it->Rate * lowFactor : 0.0;
      S << F1(XAt(Upper, it->X)) << ',' << F1(std::min(YRate(low), Upper.Bottom() + 5)) << ' ';
    }
    S << "\"/>\n<polyline fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"2.5\" points=\"";
    for (const RatePoint& p : rates)
      S << F1(XAt(Upper, p.X)) << ',' << F1(std::min(YRate(p.Rate), Upper.Bottom() + 5)) << ' ';
    S << "\"/>\n</g>\n";
    Frame(Upper);
    // Legend of the upper panel.
    const double lx = Upper.Right() - 250;
    const double ly = Upper.Top + 16;
    S << "<rect x=\"" << lx - 10 << "\" y=\"" << ly - 6
      << "\" width=\"250\" height=\"52\" fill=\"white\" "
      << "stroke=\"#999\"/>\n";
    S << "<line x1=\"" << lx << "\" y1=\"" << ly + 8 << "\" x2=\"" << lx + 30 << "\" y2=\""
      << ly + 8 << "\" stroke=\"#1f4e9c\" stroke-width=\"2.5\"/>\n";
    S << "<text x=\"" << lx + 40 << "\" y=\"" << ly + 13
      << "\" font-size=\"13\">mean annual rate</text>\n";
    S << "<rect x=\"" << lx << "\" y=\"" << ly + 22
      << "\" width=\"30\" height=\"14\" fill=\"#8db8f0\" "
      << "fill-opacity=\"0.6\" stroke=\"#5b8fd6\" stroke-width=\"0.8\"/>\n";
    S << "<text x=\"" << lx + 40 << "\" y=\"" << ly + 34
      << "\" font-size=\"13\">\u03BB \u00B1 1 SD(\u03BB)</text>\n";
  }

  // Probabilities of exceedance within 1 year and within each span.
  void LowerPanel(const ReportFile& report) {
    for (int k = 0; k <= 5; ++k) {
      const double p = k / 5.0;
      const double y = YProbability(p);
      S << "<line x1=\"" << Lower.Left << "\" y1=\"" << y << "\" x2=\"" << Lower.Right()
        << "\" y2=\"" << y << "\" stroke=\"#ddd\"/>\n";
      S << "<line x1=\"" << Lower.Left - 6 << "\" y1=\"" << y << "\" x2=\"" << Lower.Left
        << "\" y2=\"" << y << "\" stroke=\"#222\"/>\n";
      S << "<text x=\"" << Lower.Left - 10 << "\" y=\"" << y + 4
        << "\" text-anchor=\"end\" font-size=\"13\">" << FixedText(p, 1) << "</text>\n";
    }
    XAxis(Lower);
    YLabel(44, Lower.Top + Lower.Height / 2, "Probability of exceedance");
    std::string names[4] = {"1 year", "", "", ""};
    for (int i = 0; i < 3; ++i) names[i + 1] = SpanName(report.Spans[i], i) + " years";
    S << "<g clip-path=\"url(#lower)\">\n";
    for (int i = 0; i < 4; ++i) {
      S << "<polyline fill=\"none\" stroke=\"" << kColours[i] << "\" stroke-width=\"2.2\"";
      if (kDashes[i][0] != '\0') S << " stroke-dasharray=\"" << kDashes[i] << "\"";
      S << " points=\"";
      for (const HazardRow& row : report.Hazard) {
        if (row.Magnitude.IsNumber() && row.Probability[i].IsNumber()) {
          S << F1(XAt(Lower, row.Magnitude.Value)) << ','
            << F1(YProbability(row.Probability[i].Value)) << ' ';
        }
      }
      S << "\"/>\n";
    }
    S << "</g>\n";
    Frame(Lower);
    // Right of the panel, outside it: a curve may run anywhere inside (the
    // 1-year curve of a small rate along the bottom).
    const double px = Lower.Right() + 30;
    const double py = Lower.Top + 20;
    S << "<rect x=\"" << px - 10 << "\" y=\"" << py - 6
      << "\" width=\"190\" height=\"92\" fill=\"white\" "
      << "stroke=\"#999\"/>\n";
    S << "<text x=\"" << px << "\" y=\"" << py + 9
      << "\" font-size=\"13\" font-weight=\"bold\">within</text>\n";
    for (int i = 0; i < 4; ++i) {
      const double y = py + 26 + i * 18;
      S << "<line x1=\"" << px << "\" y1=\"" << y - 4 << "\" x2=\"" << px + 34 << "\" y2=\""
        << y - 4 << "\" stroke=\"" << kColours[i] << "\" stroke-width=\"2.2\"";
      if (kDashes[i][0] != '\0') S << " stroke-dasharray=\"" << kDashes[i] << "\"";
      S << "/>\n<text x=\"" << px + 44 << "\" y=\"" << y << "\" font-size=\"13\">"
        << Escape(names[i]) << "</text>\n";
    }
  }
};

}  // namespace

std::string HazardSvg(const ReportFile& report, const PlotOptions& options) {
  if (!report.Results) throw ReportError("the report holds no RESULTS block to plot");
  const ResultsBlock& r = *report.Results;
  if (!r.Lambda.IsNumber() || !(r.Lambda.Value > 0.0))
    throw ReportError("the report's Lambda cannot be plotted");
  std::vector<RatePoint> rates;
  for (const HazardRow& row : report.Hazard) {
    if (row.Magnitude.IsNumber() && row.Rate.IsNumber() && row.Rate.Value > 0.0) {
      rates.push_back({row.Magnitude.Value, row.Rate.Value});
    }
  }
  if (rates.empty()) throw ReportError("the HAZARD EVALUATION table has no row to plot");

  const double lambda = r.Lambda.Value;
  const double sdLambda = r.SdLambda.IsNumber() ? r.SdLambda.Value : 0.0;
  const double highFactor = (lambda + sdLambda) / lambda;
  const double lowFactor =
      (lambda - sdLambda) / lambda;  // may be 0 or less: the band reaches the bottom

  double xMin = rates.front().X;
  double xMax = rates.back().X;
  if (r.Mmin.IsNumber()) xMin = std::min(xMin, r.Mmin.Value);
  if (r.Mmax.IsNumber()) xMax = std::max(xMax, r.Mmax.Value);
  const double xStep = xMax - xMin > 3.0 ? 0.5 : (xMax - xMin > 1.2 ? 0.25 : 0.1);
  xMin = std::floor(xMin / xStep + 1e-9) * xStep;
  xMax = std::ceil(xMax / xStep - 1e-9) * xStep;
  if (xMax <= xMin) xMax = xMin + xStep;

  double maxRate = 0.0;
  double minRate = 1e300;
  for (const RatePoint& p : rates) {
    maxRate = std::max(maxRate, p.Rate * highFactor);
    minRate = std::min(minRate, p.Rate * (lowFactor > 0.0 ? lowFactor : 1.0));
  }
  const int top = static_cast<int>(std::ceil(std::log10(maxRate) - 1e-9));
  int bottom = static_cast<int>(std::floor(std::log10(minRate) + 1e-9));
  bottom = std::max(bottom, top - 7);  // rates close to Mmax fall towards zero
  if (bottom >= top) bottom = top - 1;

  const double width = 960.0;
  const double height = 980.0;
  std::ostringstream s;
  HazardFigure figure{s, options, xMin, xMax, xStep, top, bottom};
  const Box& upper = figure.Upper;
  const Box& lower = figure.Lower;
  s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
    << "\" viewBox=\"0 0 " << width << ' ' << height
    << "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n";
  s << "<title>" << Escape(options.Title.empty() ? "Seismic hazard" : options.Title)
    << "</title>\n";
  s << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s << "<defs>\n<clipPath id=\"upper\"><rect x=\"" << upper.Left << "\" y=\"" << upper.Top
    << "\" width=\"" << upper.Width << "\" height=\"" << upper.Height << "\"/></clipPath>\n"
    << "<clipPath id=\"lower\"><rect x=\"" << lower.Left << "\" y=\"" << lower.Top - 1
    << "\" width=\"" << lower.Width << "\" height=\"" << lower.Height + 2
    << "\"/></clipPath>\n</defs>\n";

  // Title and the estimates behind the figure.
  const std::string title =
      options.Title.empty()
          ? "Seismic hazard" + (report.FileName.empty() ? "" : " from " + report.FileName)
          : options.Title;
  s << "<text x=\"" << width / 2
    << "\" y=\"38\" text-anchor=\"middle\" font-size=\"22\" font-weight=\"bold\">" << Escape(title)
    << "</text>\n";
  std::string estimates = "\u03B2 = " + Shown(r.Beta, 2) + " \u00B1 " + Shown(r.SdBeta, 2) +
                          " (b = " + Shown(r.B, 2) + " \u00B1 " + Shown(r.SdB, 2) +
                          ")   \u03BB = " + Shown(r.Lambda, 2) + " \u00B1 " + Shown(r.SdLambda, 2) +
                          " per year above Mmin = " + Shown(r.Mmin, 2) +
                          "   Mmax = " + Shown(r.Mmax, 2);
  if (r.SdMmax) estimates += " \u00B1 " + Shown(*r.SdMmax, 2);
  s << "<text x=\"" << width / 2 << "\" y=\"66\" text-anchor=\"middle\" font-size=\"14\">"
    << Escape(estimates) << "</text>\n";
  if (!report.Date.empty()) {
    s << "<text x=\"" << width - 20 << "\" y=\"" << height - 14
      << "\" text-anchor=\"end\" font-size=\"11\" fill=\"#555\">report of "
      << Escape(IsoDate(report.Date)) << "</text>\n";
  }

  figure.UpperPanel(rates, highFactor, lowFactor);
  figure.LowerPanel(report);
  s << "<text x=\"" << lower.Left << "\" y=\"" << lower.Top - 14
    << "\" font-size=\"15\" font-weight=\"bold\">Probability of exceedance within a time "
       "span</text>\n";
  s << "<text x=\"" << upper.Left << "\" y=\"" << upper.Top - 14
    << "\" font-size=\"15\" font-weight=\"bold\">Rate of exceedance and return period</text>\n";
  s << "</svg>\n";
  return s.str();
}

}  // namespace qev::companion
