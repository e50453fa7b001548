// The completeness table in print and as SVG figures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "qev/completeness.h"
#include "textio/number_text.h"

namespace qev {

namespace {

std::string Printed(const char* format, double a, double b = 0.0, double c = 0.0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// A threshold in the shortest of one or two decimals.
std::string McText(float mc) {
  const std::string two = FixedText(mc, 2);
  return two.back() == '0' ? FixedText(mc, 1) : two;
}

// ---------------------------------------------------------------- SVG frame

constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                    "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

// A plot area with linear or logarithmic axes.
struct Frame {
  double x0, x1, y0, y1;
  bool log_x = false;
  bool log_y = false;
  static constexpr double kWidth = 760, kHeight = 480, kLeft = 80, kRight = 150, kTop = 46,
                          kBottom = 56;
  double Fx(double v) const { return log_x ? std::log10(v) : v; }
  double Fy(double v) const { return log_y ? std::log10(v) : v; }
  double X(double v) const {
    return kLeft + (Fx(v) - Fx(x0)) / (Fx(x1) - Fx(x0)) * (kWidth - kLeft - kRight);
  }
  double Y(double v) const {
    return kHeight - kBottom - (Fy(v) - Fy(y0)) / (Fy(y1) - Fy(y0)) * (kHeight - kTop - kBottom);
  }
};

std::string Num(double v) { return Printed("%.1f", v); }

// Ticks at 1, 2 or 5 times a power of ten (decades on a log axis).
std::vector<double> Ticks(double low, double high, bool log) {
  std::vector<double> ticks;
  if (log) {
    for (double d = std::floor(std::log10(low)); d <= std::ceil(std::log10(high)); d += 1.0) {
      const double v = std::pow(10.0, d);
      if (v >= low * 0.999 && v <= high * 1.001) ticks.push_back(v);
    }
    return ticks;
  }
  const double raw = (high - low) / 6.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double f : {1.0, 2.0, 5.0, 10.0}) {
    if (f * power >= raw) {
      step = f * power;
      break;
    }
  }
  for (double v = std::ceil(low / step - 1e-9) * step; v <= high + 1e-9 * step; v += step) {
    ticks.push_back(std::fabs(v) < 1e-12 ? 0.0 : v);
  }
  return ticks;
}

std::string TickLabel(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string Open(const Frame& f, const std::string& title, const std::string& x_label,
                 const std::string& y_label) {
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(Frame::kWidth) +
                  "\" height=\"" + Num(Frame::kHeight) +
                  "\" font-family=\"sans-serif\" font-size=\"13\">\n"
                  "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s += "<text x=\"" + Num(Frame::kWidth / 2) +
       "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">" + title + "</text>\n";
  const double left = f.X(f.x0), right = f.X(f.x1), top = f.Y(f.y1), bottom = f.Y(f.y0);
  s += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(right - left) +
       "\" height=\"" + Num(bottom - top) + "\" fill=\"none\" stroke=\"black\"/>\n";
  for (double t : Ticks(f.x0, f.x1, f.log_x)) {
    s += "<line x1=\"" + Num(f.X(t)) + "\" y1=\"" + Num(bottom) + "\" x2=\"" + Num(f.X(t)) +
         "\" y2=\"" + Num(bottom + 5) + "\" stroke=\"black\"/><text x=\"" + Num(f.X(t)) +
         "\" y=\"" + Num(bottom + 20) + "\" text-anchor=\"middle\">" + TickLabel(t) + "</text>\n";
  }
  for (double t : Ticks(f.y0, f.y1, f.log_y)) {
    s += "<line x1=\"" + Num(left - 5) + "\" y1=\"" + Num(f.Y(t)) + "\" x2=\"" + Num(left) +
         "\" y2=\"" + Num(f.Y(t)) + "\" stroke=\"black\"/><text x=\"" + Num(left - 8) + "\" y=\"" +
         Num(f.Y(t) + 4) + "\" text-anchor=\"end\">" + TickLabel(t) + "</text>\n";
  }
  s += "<text x=\"" + Num((left + right) / 2) + "\" y=\"" + Num(Frame::kHeight - 12) +
       "\" text-anchor=\"middle\">" + x_label + "</text>\n";
  s += "<text transform=\"translate(18," + Num((top + bottom) / 2) +
       ") rotate(-90)\" text-anchor=\"middle\">" + y_label + "</text>\n";
  return s;
}

std::string Polyline(const std::vector<std::pair<double, double>>& points, const char* colour,
                     const char* extra = "") {
  std::string s =
      "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" " + extra + " points=\"";
  for (const auto& [x, y] : points) s += Num(x) + "," + Num(y) + " ";
  return s + "\"/>\n";
}

std::string Legend(std::size_t row, const char* colour, const std::string& text,
                   bool dashed = false) {
  const double x = Frame::kWidth - Frame::kRight + 12;
  const double y = Frame::kTop + 14 + 20.0 * static_cast<double>(row);
  return "<line x1=\"" + Num(x) + "\" y1=\"" + Num(y - 4) + "\" x2=\"" + Num(x + 22) + "\" y2=\"" +
         Num(y - 4) + "\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
         (dashed ? " stroke-dasharray=\"5,3\"" : "") + "/><text x=\"" + Num(x + 28) + "\" y=\"" +
         Num(y) + "\">" + text + "</text>\n";
}

std::string ClassName(const SteppClass& c) {
  return std::isfinite(c.high) ? "M " + FixedText(c.low, 1) + "-" + FixedText(c.high, 1)
                               : "M \u2265 " + FixedText(c.low, 1);
}

bool InClass(double centre, const SteppClass& c, double bin) {
  return centre >= c.low - bin / 2.0 && centre < c.high - bin / 2.0;
}

void WriteBeside(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::path temporary = path;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw Error(path.string() + ": cannot write the figure");
    }
  }
  std::error_code failed;
  std::filesystem::rename(temporary, path, failed);
  if (failed) throw Error(path.string() + ": cannot write the figure (" + failed.message() + ")");
}

}  // namespace

std::string FormatCompletenessOption(const std::vector<CompletenessStep>& table) {
  std::string s;
  for (const CompletenessStep& step : table) {
    s += (s.empty() ? "" : ",") + std::to_string(step.year) + ":" + McText(step.threshold);
  }
  return s;
}

std::string FormatCompletenessToml(const std::vector<CompletenessStep>& table) {
  std::string s = "[";
  for (const CompletenessStep& step : table) {
    s += (s.size() > 1 ? ", [" : "[") + std::to_string(step.year) + ", " + McText(step.threshold) +
         "]";
  }
  return s + "]";
}

std::string FormatCompletenessReport(const CompletenessEstimate& e) {
  const CompletenessOptions& o = e.options;
  std::string s = "completeness from the data, " + Printed("%.2f to %.2f", e.start, e.end) + "\n";
  s += "  Mc in windows of " + Printed("%g", o.window_years) + " years (at least " +
       std::to_string(o.window_min_events) + " events), method " +
       std::string(McMethodName(o.mc.method));
  if (o.mc.method == McMethod::MaxCurvature) s += Printed(" %+.2f", o.mc.maxc_correction);
  s += ", bins of " + Printed("%g", o.mc.bin) + ", SD from " + std::to_string(o.mc.bootstrap) +
       " bootstrap samples\n";
  s += "    window              events     Mc     SD      b   SD(b)\n";
  for (const McWindow& w : e.windows) {
    const McEstimate& m = w.estimate;
    s += Printed("    %7.2f to %7.2f", w.start, w.end) +
         Printed(" %9.0f", static_cast<double>(m.events)) + Printed(" %6.2f %6.2f", m.mc, m.mc_sd) +
         Printed(" %6.2f %6.2f", m.b.b, m.b.sd) + (m.fallback ? "  (maximum curvature)" : "") +
         "\n";
  }
  s += "  Stepp classes (spans growing by " + Printed("%g", o.stepp_interval_years) +
       " years back from the end, significance " + Printed("%g", o.stepp_significance) + ")\n";
  s += "    class            events  complete from   span  events/year\n";
  for (const SteppClass& c : e.stepp) {
    std::string name = ClassName(c);
    if (name.size() > 16) name = "M >= " + FixedText(c.low, 1);
    name.resize(16, ' ');
    s += "    " + name + Printed(" %6.0f", c.events.empty() ? 0.0 : c.events.back()) +
         Printed(" %14.2f %6.1f", c.complete_from, c.complete_span) + Printed(" %12.3f", c.rate) +
         "\n";
  }
  s += "  table by Mc in windows: " + FormatCompletenessOption(e.windows_table) + "\n";
  s += "  table by Stepp:         " + FormatCompletenessOption(e.stepp_table) + "\n";
  s += "  used (" + std::string(CompletenessTableMethodName(o.table)) + "): --completeness " +
       FormatCompletenessOption(e.table) + "\n";
  s += "    [split] completeness = " + FormatCompletenessToml(e.table) + "\n";
  return s;
}

std::string CumulativeCountSvg(const EventTable& events, const CompletenessEstimate& e) {
  Frame f{e.start, e.end, 0.0, 1.0};
  std::string s = Open(f, "Cumulative number against time per magnitude class", "year",
                       "cumulative number / events of the class");
  const double bin = e.options.mc.bin;
  const std::vector<double> years = EventYears(events);
  std::vector<std::size_t> order(events.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return years[a] < years[b]; });
  for (std::size_t j = 0; j < e.stepp.size(); ++j) {
    const SteppClass& c = e.stepp[j];
    const char* colour = kColours[j % std::size(kColours)];
    std::vector<double> times;
    for (std::size_t i : order) {
      if (InClass(std::round(events.magnitude[i] / bin) * bin, c, bin)) times.push_back(years[i]);
    }
    if (times.empty()) continue;
    // At most 400 vertices a class: the curve is drawn from its quantiles.
    std::vector<std::pair<double, double>> points{{f.X(e.start), f.Y(0.0)}};
    const std::size_t stride = std::max<std::size_t>(1, times.size() / 400);
    for (std::size_t k = 0; k < times.size(); k += stride) {
      points.emplace_back(f.X(times[k]),
                          f.Y(static_cast<double>(k + 1) / static_cast<double>(times.size())));
    }
    points.emplace_back(f.X(times.back()), f.Y(1.0));
    points.emplace_back(f.X(e.end), f.Y(1.0));
    s += Polyline(points, colour, "stroke-width=\"1.8\"");
    s += "<line x1=\"" + Num(f.X(c.complete_from)) + "\" y1=\"" + Num(f.Y(0.0)) + "\" x2=\"" +
         Num(f.X(c.complete_from)) + "\" y2=\"" + Num(f.Y(1.0)) + "\" stroke=\"" + colour +
         "\" stroke-dasharray=\"5,3\"/>\n";
    s += Legend(j, colour, ClassName(c));
  }
  s += Legend(e.stepp.size(), "#555", "complete from", true);
  return s + "</svg>\n";
}

std::string SteppSvg(const CompletenessEstimate& e) {
  double low = std::numeric_limits<double>::infinity(), high = 0.0, span = 0.0;
  for (const SteppClass& c : e.stepp) {
    for (std::size_t k = 0; k < c.spans.size(); ++k) {
      if (c.rate_sd[k] > 0.0) {
        low = std::min(low, c.rate_sd[k]);
        high = std::max(high, c.rate_sd[k]);
      }
      span = std::max(span, c.spans[k]);
    }
  }
  if (!(high > 0.0)) low = 0.01, high = 1.0;
  const double first_span =
      e.stepp.empty() || e.stepp[0].spans.empty() ? span / 10 : e.stepp[0].spans[0];
  Frame f{std::pow(10.0, std::floor(std::log10(first_span))),
          std::pow(10.0, std::ceil(std::log10(span))), std::pow(10.0, std::floor(std::log10(low))),
          std::pow(10.0, std::ceil(std::log10(high)))};
  f.log_x = f.log_y = true;
  std::string s = Open(f, "Stepp (1971): SD of the rate against the observation span",
                       "span T (years back from the end)", "SD of the rate, sqrt(\u03bb/T)");
  for (std::size_t j = 0; j < e.stepp.size(); ++j) {
    const SteppClass& c = e.stepp[j];
    const char* colour = kColours[j % std::size(kColours)];
    std::vector<std::pair<double, double>> points;
    for (std::size_t k = 0; k < c.spans.size(); ++k) {
      if (!(c.rate_sd[k] > 0.0)) continue;
      const double x = f.X(c.spans[k]), y = f.Y(c.rate_sd[k]);
      points.emplace_back(x, y);
      s +=
          "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(y) + "\" r=\"3\" fill=\"" + colour + "\"/>\n";
    }
    s += Polyline(points, colour);
    if (c.rate > 0.0) {
      // The 1/sqrt(T) line of the rate over the complete span.
      const double a = std::sqrt(c.rate);
      s += Polyline({{f.X(f.x0), f.Y(std::clamp(a / std::sqrt(f.x0), f.y0, f.y1))},
                     {f.X(f.x1), f.Y(std::clamp(a / std::sqrt(f.x1), f.y0, f.y1))}},
                    colour, "stroke-dasharray=\"5,3\"");
      s += "<line x1=\"" + Num(f.X(c.complete_span)) + "\" y1=\"" +
           Num(f.Y(a / std::sqrt(c.complete_span)) - 9) + "\" x2=\"" + Num(f.X(c.complete_span)) +
           "\" y2=\"" + Num(f.Y(a / std::sqrt(c.complete_span)) + 9) + "\" stroke=\"" + colour +
           "\" stroke-width=\"3\"/>\n";
    }
    s += Legend(j, colour, ClassName(c));
  }
  s += Legend(e.stepp.size(), "#555", "1/\u221aT line", true);
  return s + "</svg>\n";
}

std::string McTimeSvg(const CompletenessEstimate& e) {
  double low = std::numeric_limits<double>::infinity(), high = -low;
  for (const McWindow& w : e.windows) {
    if (!std::isfinite(w.estimate.mc)) continue;
    low = std::min(low, w.estimate.mc - w.estimate.mc_sd);
    high = std::max(high, w.estimate.mc + w.estimate.mc_sd);
  }
  for (const CompletenessStep& t : e.table) {
    low = std::min<double>(low, t.threshold);
    high = std::max<double>(high, t.threshold);
  }
  if (!(high >= low)) low = 0.0, high = 1.0;
  Frame f{e.start, e.end, std::floor(low * 2.0 - 0.5) / 2.0, std::ceil(high * 2.0 + 0.5) / 2.0};
  std::string s = Open(f,
                       "Mc against time (" + std::string(McMethodName(e.options.mc.method)) +
                           ", bootstrap SD) and the table",
                       "year", "Mc");
  for (const McWindow& w : e.windows) {
    const McEstimate& m = w.estimate;
    if (!std::isfinite(m.mc)) continue;
    const double x = f.X((w.start + w.end) / 2.0);
    s += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(f.Y(m.mc - m.mc_sd)) + "\" x2=\"" + Num(x) +
         "\" y2=\"" + Num(f.Y(m.mc + m.mc_sd)) + "\" stroke=\"" + kColours[0] + "\"/>\n";
    s += "<line x1=\"" + Num(f.X(w.start)) + "\" y1=\"" + Num(f.Y(m.mc)) + "\" x2=\"" +
         Num(f.X(w.end)) + "\" y2=\"" + Num(f.Y(m.mc)) + "\" stroke=\"" + kColours[0] +
         "\" stroke-opacity=\"0.35\"/>\n";
    s += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(f.Y(m.mc)) + "\" r=\"3.5\" fill=\"" +
         (m.fallback ? "white" : kColours[0]) + "\" stroke=\"" + kColours[0] + "\"/>\n";
  }
  std::vector<std::pair<double, double>> steps;
  for (std::size_t k = 0; k < e.table.size(); ++k) {
    const double from = std::max<double>(e.start, e.table[k].year);
    const double to = k + 1 < e.table.size() ? e.table[k + 1].year : e.end;
    steps.emplace_back(f.X(from), f.Y(e.table[k].threshold));
    steps.emplace_back(f.X(to), f.Y(e.table[k].threshold));
  }
  s += Polyline(steps, kColours[1], "stroke-width=\"2.5\"");
  s += Legend(0, kColours[0], "Mc \u00b1 SD");
  s += Legend(1, kColours[1],
              "table (" + std::string(CompletenessTableMethodName(e.options.table)) + ")");
  return s + "</svg>\n";
}

std::vector<std::string> WriteCompletenessFigures(const EventTable& events,
                                                  const CompletenessEstimate& estimate,
                                                  const std::string& directory) {
  std::error_code failed;
  std::filesystem::create_directories(directory, failed);
  if (failed) throw Error(directory + ": cannot make the folder (" + failed.message() + ")");
  const std::filesystem::path folder(directory);
  const std::pair<const char*, std::string> figures[] = {
      {"completeness_cumulative.svg", CumulativeCountSvg(events, estimate)},
      {"completeness_stepp.svg", SteppSvg(estimate)},
      {"completeness_mc.svg", McTimeSvg(estimate)}};
  std::vector<std::string> written;
  for (const auto& [name, text] : figures) {
    WriteBeside(folder / name, text);
    written.push_back((folder / name).string());
  }
  return written;
}

}  // namespace qev
