// The figure of a calibration study (StudySvg).
#include <algorithm>
#include <cmath>
#include <sstream>

#include "companion/calibration_study.h"
#include "textio/number_text.h"

namespace qev::companion {

namespace {

constexpr double kWidth = 1020.0;
constexpr double kPanelWidth = 270.0;
constexpr double kPanelGap = 35.0;
constexpr double kLeft = 120.0;
constexpr double kStripTop = 70.0;
constexpr double kStripHeight = 26.0;
constexpr double kBarTop = 40.0;  // below the strips
constexpr double kBarHeight = 160.0;
const char* const kColours[4] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#9467bd"};
const char* const kNames[3] = {"b", "Lambda", "Mmax"};

std::string Text(double value) { return FixedText(value, 1); }

struct Series {
  std::string label;
  std::vector<double> values;
};

// The estimates of quantity q, one series per procedure (and its corrected
// estimates when the study bootstrapped).
std::vector<Series> SeriesOf(const StudyResult& result, int q) {
  std::vector<Series> series;
  auto find = [&](const std::string& label) -> Series& {
    for (Series& s : series) {
      if (s.label == label) return s;
    }
    series.push_back({label, {}});
    return series.back();
  };
  for (const StudyEstimate& e : result.Estimates) {
    if (!e.Ok || (e.Procedure == "fixed" && q == 2)) continue;
    const double values[3] = {e.B, e.Lambda, e.Mmax};
    find(e.Procedure).values.push_back(values[q]);
    if (e.Bootstrapped && !e.Boot.empty()) {
      const StudyBootstrap& b = e.Boot.front();
      const double corrected[3] = {b.Bc[0], b.Lc[0], b.Mc[0]};
      find(e.Procedure + " corrected").values.push_back(corrected[q]);
    }
  }
  return series;
}

double Quantile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

void StripPanel(std::ostringstream& svg, const StudyResult& result, int q, double x0,
                double truth) {
  const std::vector<Series> series = SeriesOf(result, q);
  double lo = truth;
  double hi = truth;
  for (const Series& s : series) {
    lo = std::min(lo, Quantile(s.values, 0.01));
    hi = std::max(hi, Quantile(s.values, 0.99));
  }
  const double pad = 0.05 * (hi - lo) + 1e-6;
  lo -= pad;
  hi += pad;
  auto x = [&](double v) { return x0 + kPanelWidth * (v - lo) / (hi - lo); };
  const double height = kStripHeight * static_cast<double>(std::max<std::size_t>(series.size(), 1));
  svg << "<text x='" << Text(x0 + kPanelWidth / 2) << "' y='" << Text(kStripTop - 10)
      << "' text-anchor='middle' font-weight='bold'>" << kNames[q] << " (truth "
      << FixedText(truth, 2) << ")</text>\n";
  svg << "<rect x='" << Text(x0) << "' y='" << Text(kStripTop) << "' width='" << Text(kPanelWidth)
      << "' height='" << Text(height) << "' fill='none' stroke='#888'/>\n";
  for (std::size_t k = 0; k < series.size(); ++k) {
    const double y = kStripTop + kStripHeight * static_cast<double>(k);
    if (q == 0) {
      svg << "<text x='" << Text(x0 - 6) << "' y='" << Text(y + 17)
          << "' text-anchor='end' font-size='11'>" << series[k].label << "</text>\n";
    }
    for (double v : series[k].values) {
      if (v < lo || v > hi) continue;
      svg << "<line x1='" << Text(x(v)) << "' x2='" << Text(x(v)) << "' y1='" << Text(y + 4)
          << "' y2='" << Text(y + kStripHeight - 4) << "' stroke='" << kColours[k % 4]
          << "' stroke-opacity='0.15'/>\n";
    }
    double mean = 0.0;
    for (double v : series[k].values) mean += v;
    mean /= std::max<double>(1.0, static_cast<double>(series[k].values.size()));
    svg << "<circle cx='" << Text(x(std::clamp(mean, lo, hi))) << "' cy='"
        << Text(y + kStripHeight / 2) << "' r='4' fill='black'/>\n";
  }
  svg << "<line x1='" << Text(x(truth)) << "' x2='" << Text(x(truth)) << "' y1='"
      << Text(kStripTop - 4) << "' y2='" << Text(kStripTop + height + 4)
      << "' stroke='red' stroke-width='2'/>\n";
  svg << "<text x='" << Text(x0) << "' y='" << Text(kStripTop + height + 16) << "' font-size='11'>"
      << FixedText(lo, 2) << "</text><text x='" << Text(x0 + kPanelWidth) << "' y='"
      << Text(kStripTop + height + 16) << "' font-size='11' text-anchor='end'>" << FixedText(hi, 2)
      << "</text>\n";
}

void CoverageBars(std::ostringstream& svg, const StudyResult& result, double top) {
  const double width = kWidth - kLeft - 30.0;
  const double slot = width / static_cast<double>(std::max<std::size_t>(result.Rows.size(), 1));
  auto y = [&](double share) { return top + kBarHeight * (1.0 - share); };
  svg << "<text x='" << Text(kLeft + width / 2) << "' y='" << Text(top - 12)
      << "' text-anchor='middle' font-weight='bold'>share of catalogs whose 1-SD / 68 % "
         "(light) and 2-SD / 95 % (dark) interval holds the truth</text>\n";
  for (double share : {0.0, 0.5, 0.68, 0.95}) {
    const bool nominal = share == 0.68 || share == 0.95;
    svg << "<line x1='" << Text(kLeft) << "' x2='" << Text(kLeft + width) << "' y1='"
        << Text(y(share)) << "' y2='" << Text(y(share)) << "' stroke='"
        << (nominal ? "red" : "#bbb") << "'" << (nominal ? " stroke-dasharray='5,3'" : "")
        << "/>\n<text x='" << Text(kLeft - 6) << "' y='" << Text(y(share) + 4)
        << "' text-anchor='end' font-size='11'>" << FixedText(100.0 * share, 0) << " %</text>\n";
  }
  for (std::size_t k = 0; k < result.Rows.size(); ++k) {
    const StudyRow& r = result.Rows[k];
    const double x0 = kLeft + slot * static_cast<double>(k);
    const double bar = slot * 0.35;
    svg << "<rect x='" << Text(x0 + slot * 0.12) << "' y='" << Text(y(r.Cover68)) << "' width='"
        << Text(bar) << "' height='" << Text(kBarHeight * r.Cover68)
        << "' fill='#9ecae1'/>\n<rect x='" << Text(x0 + slot * 0.12 + bar) << "' y='"
        << Text(y(r.Cover95)) << "' width='" << Text(bar) << "' height='"
        << Text(kBarHeight * r.Cover95) << "' fill='#3182bd'/>\n";
    const double cx = x0 + slot / 2;
    const double ty = top + kBarHeight + 14;
    svg << "<text font-size='10' text-anchor='end' transform='translate(" << Text(cx) << ','
        << Text(ty) << ") rotate(-35)'>" << r.Procedure << ' '
        << (r.Intervals == "reported" ? std::string() : r.Intervals.substr(0, 5) + ' ')
        << r.Quantity << "</text>\n";
  }
}

}  // namespace

std::string StudySvg(const StudyResult& result, const std::string& title) {
  std::size_t strips = 1;
  for (int q = 0; q < 3; ++q) strips = std::max(strips, SeriesOf(result, q).size());
  const double barTop = kStripTop + kStripHeight * static_cast<double>(strips) + kBarTop + 20;
  const double height = barTop + kBarHeight + 90;
  std::ostringstream svg;
  svg << "<svg xmlns='http://www.w3.org/2000/svg' width='" << Text(kWidth) << "' height='"
      << Text(height) << "' font-family='sans-serif' font-size='13'>\n"
      << "<rect width='100%' height='100%' fill='white'/>\n"
      << "<text x='" << Text(kWidth / 2) << "' y='22' text-anchor='middle' font-size='15'>" << title
      << "</text>\n";
  double truths[3] = {0.0, 0.0, 0.0};
  for (const StudyRow& r : result.Rows) {
    for (int q = 0; q < 3; ++q) {
      if (r.Quantity == std::string(q == 0 ? "b" : q == 1 ? "lambda" : "mmax")) truths[q] = r.Truth;
    }
  }
  for (int q = 0; q < 3; ++q) {
    StripPanel(svg, result, q, kLeft + (kPanelWidth + kPanelGap) * q, truths[q]);
  }
  svg << "<text x='" << Text(kLeft) << "' y='" << Text(barTop - 30)
      << "' font-size='11'>ticks: the estimates of each catalog; dot: their mean; red line: the "
         "truth</text>\n";
  CoverageBars(svg, result, barTop);
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace qev::companion
