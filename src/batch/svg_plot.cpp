#include "batch/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "textio/xml_text.h"

namespace qev::batch_output {

namespace {

std::string Fixed(double value, int decimals = 1) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A tick label: short, without trailing zeros.
std::string TickText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

// Steps of 1, 2 or 5 times a power of ten giving about `count` ticks.
double NiceStep(double span, int count) {
  const double raw = span / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10.0 * power;
}

}  // namespace

const std::string& PaletteColor(std::size_t i) {
  static const std::string colors[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                       "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
  return colors[i % 10];
}

std::string Escaped(const std::string& text) { return XmlEscaped(text); }

SvgPlot::SvgPlot(std::string id, double width, double height, Axis x, Axis y, std::string title)
    : id_(std::move(id)),
      width_(width),
      height_(height),
      x_(std::move(x)),
      y_(std::move(y)),
      title_(std::move(title)) {
  if (x_.log) x_.low = std::max(x_.low, 1e-300);
  if (y_.log) y_.low = std::max(y_.low, 1e-300);
  if (!(x_.high > x_.low)) x_.high = x_.low + 1.0;
  if (!(y_.high > y_.low)) y_.high = y_.log ? y_.low * 10.0 : y_.low + 1.0;
}

double SvgPlot::X(double value) const {
  const double f = x_.log ? std::log10(value / x_.low) / std::log10(x_.high / x_.low)
                          : (value - x_.low) / (x_.high - x_.low);
  return left_ + f * (width_ - left_ - right_);
}

double SvgPlot::Y(double value) const {
  const double f = y_.log ? std::log10(value / y_.low) / std::log10(y_.high / y_.low)
                          : (value - y_.low) / (y_.high - y_.low);
  return height_ - bottom_ - f * (height_ - top_ - bottom_);
}

bool SvgPlot::Inside(double x, double y) const {
  return std::isfinite(x) && std::isfinite(y) && (!x_.log || x > 0.0) && (!y_.log || y > 0.0);
}

void SvgPlot::Line(const std::vector<std::pair<double, double>>& points, const Stroke& stroke) {
  std::string path;
  bool open = false;
  for (const auto& [x, y] : points) {
    if (!Inside(x, y)) {
      open = false;
      continue;
    }
    path += (open ? "L" : "M") + Fixed(X(x)) + " " + Fixed(Y(y));
    open = true;
  }
  if (path.empty()) return;
  body_ += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + stroke.color +
           "\" stroke-width=\"" + Fixed(stroke.width) + "\"" +
           (stroke.dash.empty() ? "" : " stroke-dasharray=\"" + stroke.dash + "\"") + "/>\n";
}

void SvgPlot::Band(const std::vector<double>& x, const std::vector<double>& low,
                   const std::vector<double>& high, const std::string& color, double opacity) {
  // The band in runs of points where both edges can be drawn; a lower edge
  // below a log axis lies on the axis.
  std::size_t i = 0;
  while (i < x.size()) {
    std::vector<std::size_t> run;
    for (; i < x.size() && Inside(x[i], high[i]); ++i) run.push_back(i);
    ++i;
    if (run.size() < 2) continue;
    std::string path;
    for (std::size_t k : run)
      path += (path.empty() ? "M" : "L") + Fixed(X(x[k])) + " " + Fixed(Y(high[k]));
    for (auto k = run.rbegin(); k != run.rend(); ++k) {
      const double lo = Inside(x[*k], low[*k]) ? low[*k] : y_.low;
      path += "L" + Fixed(X(x[*k])) + " " + Fixed(Y(std::max(lo, y_.low)));
    }
    body_ += "<path d=\"" + path + "Z\" fill=\"" + color + "\" fill-opacity=\"" +
             Fixed(opacity, 2) + "\" stroke=\"none\"/>\n";
  }
}

std::string SvgPlot::MarkerShape(double px, double py, char shape, const std::string& color,
                                 bool filled) {
  const std::string fill = filled ? color : "white";
  const std::string at = "\" stroke=\"" + color + "\" fill=\"" + fill + "\"";
  switch (shape) {
    case 's':
      return "<rect x=\"" + Fixed(px - 3.5) + "\" y=\"" + Fixed(py - 3.5) +
             "\" width=\"7\" height=\"7" + at + "/>\n";
    case '*': {
      std::string points;
      for (int k = 0; k < 10; ++k) {
        const double r = k % 2 == 0 ? 6.5 : 2.8;
        const double a = M_PI / 2 + k * M_PI / 5;
        points += Fixed(px + r * std::cos(a)) + "," + Fixed(py - r * std::sin(a)) + " ";
      }
      return "<polygon points=\"" + points + at + "/>\n";
    }
    default:
      return "<circle cx=\"" + Fixed(px) + "\" cy=\"" + Fixed(py) + "\" r=\"3.5" + at + "/>\n";
  }
}

void SvgPlot::Marker(double x, double y, char shape, const std::string& color, bool filled) {
  if (!Inside(x, y)) return;
  body_ += MarkerShape(X(x), Y(y), shape, color, filled);
}

void SvgPlot::ErrorBar(double x, double low, double high, const std::string& color) {
  if (!Inside(x, high)) return;
  const double lo = Inside(x, low) ? std::max(low, y_.low) : y_.low;
  body_ += "<path d=\"M" + Fixed(X(x)) + " " + Fixed(Y(lo)) + "V" + Fixed(Y(high)) + "M" +
           Fixed(X(x) - 2.5) + " " + Fixed(Y(lo)) + "h5M" + Fixed(X(x) - 2.5) + " " +
           Fixed(Y(high)) + "h5\" stroke=\"" + color + "\" stroke-width=\"1\"/>\n";
}

void SvgPlot::VerticalMark(double x, const Stroke& stroke, const std::string& label) {
  if (!std::isfinite(x) || x < x_.low || x > x_.high) return;
  body_ += "<path d=\"M" + Fixed(X(x)) + " " + Fixed(top_) + "V" + Fixed(height_ - bottom_) +
           "\" stroke=\"" + stroke.color + "\" stroke-width=\"" + Fixed(stroke.width) + "\"" +
           (stroke.dash.empty() ? "" : " stroke-dasharray=\"" + stroke.dash + "\"") + "/>\n";
  if (label.empty()) return;
  body_ += "<text x=\"" + Fixed(X(x) - 3) + "\" y=\"" + Fixed(top_ + 4) +
           "\" font-size=\"10\" fill=\"#333\" text-anchor=\"end\" transform=\"rotate(-90 " +
           Fixed(X(x) - 3) + " " + Fixed(top_ + 4) + ")\">" + Escaped(label) + "</text>\n";
}

void SvgPlot::Legend(const std::string& text, const Stroke& stroke, char marker, bool band) {
  legend_.push_back({text, stroke, marker, band});
}

std::string SvgPlot::Ticks() const {
  std::string out;
  const double plot_bottom = height_ - bottom_;
  auto vertical = [&](double v, const std::string& text) {
    out += "<path d=\"M" + Fixed(X(v)) + " " + Fixed(top_) + "V" + Fixed(plot_bottom) +
           "\" stroke=\"#e4e4e4\"/>\n<text x=\"" + Fixed(X(v)) + "\" y=\"" +
           Fixed(plot_bottom + 14) + "\" font-size=\"10\" text-anchor=\"middle\">" + text +
           "</text>\n";
  };
  auto horizontal = [&](double v, const std::string& text) {
    out += "<path d=\"M" + Fixed(left_) + " " + Fixed(Y(v)) + "H" + Fixed(width_ - right_) +
           "\" stroke=\"#e4e4e4\"/>\n<text x=\"" + Fixed(left_ - 4) + "\" y=\"" + Fixed(Y(v) + 3) +
           "\" font-size=\"10\" text-anchor=\"end\">" + text + "</text>\n";
  };
  // An axis whose ends are no numbers, or too far out for its width to be
  // resolved in double precision, gets no ticks.
  auto each = [&](const Axis& a, auto&& draw) {
    if (a.log) {
      const double low = std::log10(a.low), high = std::log10(a.high);
      if (!std::isfinite(low) || !std::isfinite(high)) return;
      const int first = static_cast<int>(std::ceil(low - 1e-9));
      const int last = static_cast<int>(std::floor(high + 1e-9));
      const int step = std::max(1, (last - first) / 6 + 1);
      for (int e = first; e <= last; e += step) {
        char text[16];
        std::snprintf(text, sizeof text, "1e%d", e);
        draw(std::pow(10.0, e), e >= -2 && e <= 3 ? TickText(std::pow(10.0, e)) : text);
      }
      return;
    }
    const double step = NiceStep(a.high - a.low, 6);
    if (!std::isfinite(a.low) || !std::isfinite(a.high) || !(step > 0.0) || !std::isfinite(step)) {
      return;
    }
    const double first = std::ceil(a.low / step - 1e-9);
    const double last = std::floor(a.high / step + 1e-9);
    if (!(last - first < 100.0)) return;
    const int ticks = static_cast<int>(last - first);
    for (int k = 0; k <= ticks; ++k) {
      const double v = (first + k) * step;
      draw(v, TickText(std::fabs(v) < 1e-12 * step ? 0.0 : v));
    }
  };
  each(x_, vertical);
  each(y_, horizontal);
  return out;
}

std::string SvgPlot::Svg() const {
  // The legend lies below the panel, two entries to a row.
  const double row = 15.0;
  const std::size_t legend_rows = (legend_.size() + 1) / 2;
  const double legend_height = legend_.empty() ? 0.0 : 8.0 + row * static_cast<double>(legend_rows);
  const double total = height_ + legend_height;
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Fixed(width_, 0) +
                    "\" height=\"" + Fixed(total, 0) + "\" viewBox=\"0 0 " + Fixed(width_, 0) +
                    " " + Fixed(total, 0) +
                    "\" font-family=\"sans-serif\" role=\"img\">\n<rect width=\"100%\" "
                    "height=\"100%\" fill=\"white\"/>\n";
  out += "<text x=\"" + Fixed(width_ / 2) + "\" y=\"17\" font-size=\"13\" text-anchor=\"middle\">" +
         Escaped(title_) + "</text>\n";
  out += Ticks();
  out += "<clipPath id=\"" + id_ + "\"><rect x=\"" + Fixed(left_) + "\" y=\"" + Fixed(top_) +
         "\" width=\"" + Fixed(width_ - left_ - right_) + "\" height=\"" +
         Fixed(height_ - top_ - bottom_) + "\"/></clipPath>\n";
  out += "<g clip-path=\"url(#" + id_ + ")\">\n" + body_ + "</g>\n";
  out += "<rect x=\"" + Fixed(left_) + "\" y=\"" + Fixed(top_) + "\" width=\"" +
         Fixed(width_ - left_ - right_) + "\" height=\"" + Fixed(height_ - top_ - bottom_) +
         "\" fill=\"none\" stroke=\"#444\"/>\n";
  out += "<text x=\"" + Fixed((left_ + width_ - right_) / 2) + "\" y=\"" +
         Fixed(height_ - bottom_ + 32) + "\" font-size=\"11\" text-anchor=\"middle\">" +
         Escaped(x_.label) + "</text>\n";
  const double mid = (top_ + height_ - bottom_) / 2;
  out += "<text x=\"14\" y=\"" + Fixed(mid) +
         "\" font-size=\"11\" text-anchor=\"middle\" transform=\"rotate(-90 14 " + Fixed(mid) +
         ")\">" + Escaped(y_.label) + "</text>\n";
  for (std::size_t i = 0; i < legend_.size(); ++i) {
    const Entry& e = legend_[i];
    const double x = i % 2 == 0 ? 12.0 : width_ / 2 + 6.0;
    const std::size_t legend_row = i / 2;
    const double y = height_ + 4.0 + row * static_cast<double>(legend_row) + row / 2;
    if (e.band) {
      out += "<rect x=\"" + Fixed(x) + "\" y=\"" + Fixed(y - 5) +
             "\" width=\"22\" height=\"10\" fill=\"" + e.stroke.color +
             "\" fill-opacity=\"0.25\"/>\n";
    } else if (e.marker != 0) {
      out += MarkerShape(x + 11, y, e.marker, e.stroke.color, e.marker != 'o');
    } else {
      out += "<path d=\"M" + Fixed(x) + " " + Fixed(y) + "h22\" stroke=\"" + e.stroke.color +
             "\" stroke-width=\"" + Fixed(e.stroke.width) + "\"" +
             (e.stroke.dash.empty() ? "" : " stroke-dasharray=\"" + e.stroke.dash + "\"") + "/>\n";
    }
    out += "<text x=\"" + Fixed(x + 28) + "\" y=\"" + Fixed(y + 3.5) + "\" font-size=\"10\">" +
           Escaped(e.text) + "</text>\n";
  }
  return out + "</svg>\n";
}

}  // namespace qev::batch_output
