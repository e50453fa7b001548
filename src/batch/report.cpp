// report.html: one self-contained page (inline SVG, no scripts, no fetched
// fonts) with the zones side by side, then per zone the magnitude-frequency
// figure, the hazard curves, the bootstrap distributions and the table of
// branches, then the job's settings and the warnings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <utility>
#include <vector>

#include "batch/outputs.h"
#include "batch/svg_plot.h"

namespace qev::batch_output {

namespace {

constexpr double kBandLow = 0.16;  // the band: 16th to 84th percentile
constexpr double kBandHigh = 0.84;
constexpr double kBinWidth = 0.1;  // magnitude bins of the observed counts
constexpr int kGridPoints = 80;    // magnitudes of the drawn laws

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Poisson limits of one standard deviation for n events (Gehrels 1986,
// ApJ 303, eq. 7 for the upper and eq. 12 for the lower limit with S = 1).
std::pair<double, double> PoissonLimits(double n) {
  const double upper = n + std::sqrt(n + 0.75) + 1.0;
  const double lower =
      n <= 0.0 ? 0.0 : n * std::pow(1.0 - 1.0 / (9.0 * n) - 1.0 / (3.0 * std::sqrt(n)), 3);
  return {lower, upper};
}

// The rate of the estimate's law (ToOpenQuake of it) at m: none at or above
// its Mmax.
double LawRate(const Estimate& e, const OpenQuakeMfd& law, double m) {
  if (m >= e.mmax) return 0.0;
  return OpenQuakeRate(law, std::max(m, law.min_mag));
}

double LawRate(const Estimate& e, double m) {
  if (m >= e.mmax) return 0.0;
  return LawRate(e, ToOpenQuake(e.beta, e.lambda, e.mmin, e.mmax), m);
}

std::vector<double> Grid(double low, double high) {
  std::vector<double> grid;
  grid.reserve(kGridPoints);
  for (int i = 0; i < kGridPoints; ++i) {
    grid.push_back(low + (high - low) * i / (kGridPoints - 1));
  }
  return grid;
}

// What the figures of one zone need.
struct ZoneView {
  std::size_t zone = 0;
  std::vector<std::size_t> cells;  // by branch
  std::size_t heaviest = 0;        // a cell; the first of the heaviest with an estimate
  bool any = false;                // some branch gave an estimate
  double low = 0.0, high = 1.0;    // the magnitude axis
};

ZoneView ViewOf(const BatchPlan& plan, const std::vector<CellOutcome>& cells, std::size_t z) {
  ZoneView v;
  v.zone = z;
  double best = -1.0;
  for (std::size_t b = 0; b < plan.branches.size(); ++b) {
    const std::size_t c = z * plan.branches.size() + b;
    v.cells.push_back(c);
    if (cells[c].catalog.ok && plan.branches[b].weight > best) {
      best = plan.branches[b].weight;
      v.heaviest = c;
      v.any = true;
    }
  }
  if (!v.any) v.heaviest = v.cells.front();
  const Estimate& e = cells[v.heaviest].catalog;
  double low = v.any ? e.mmin : 10.0;
  double top = v.any ? std::max(e.xmax, e.mmax) : 0.0;
  if (const auto& catalog = plan.cells[v.heaviest].catalog) {
    for (const CompletePart& p : catalog->complete) {
      low = std::min(low, static_cast<double>(p.threshold));
      for (const MagnitudeRow& r : p.rows) top = std::max(top, static_cast<double>(r.magnitude));
    }
    if (catalog->extreme) {
      for (const ExtremeEvent& x : catalog->extreme->events) {
        low = std::min(low, static_cast<double>(x.magnitude));
        top = std::max(top, static_cast<double>(x.magnitude));
      }
    }
  }
  if (top <= low) top = low + 1.0;
  v.low = low - 0.1;
  v.high = top + 0.3;
  return v;
}

const char* kPartColors[] = {"#000000", "#8c564b", "#555555", "#17becf", "#bcbd22"};

// The observed counts of a complete part in bins of 0.1 from its threshold
// (the rows the analysis uses: at most 0.02 below the threshold).
std::vector<double> BinCounts(const CompletePart& part) {
  std::vector<double> counts;
  for (const MagnitudeRow& r : part.rows) {
    if (r.magnitude < part.threshold - 0.02f) continue;
    const double k = std::max(0.0, std::round((r.magnitude - part.threshold) / kBinWidth));
    const auto bin = static_cast<std::size_t>(k);
    if (counts.size() <= bin) counts.resize(bin + 1, 0.0);
    counts[bin] += r.frequency;
  }
  return counts;
}

double PlotObserved(SvgPlot& plot, const Catalog& catalog) {
  double floor = 1e300;
  for (std::size_t i = 0; i < catalog.complete.size(); ++i) {
    const CompletePart& part = catalog.complete[i];
    const double span = part.end - part.start;
    if (!(span > 0.0)) continue;
    const std::string& color = kPartColors[i % 5];
    const std::vector<double> counts = BinCounts(part);
    double above = 0.0;
    for (std::size_t k = counts.size(); k-- > 0;) {
      above += counts[k];
      const double m = part.threshold + kBinWidth * static_cast<double>(k);
      for (const auto& [n, shape] : {std::pair{counts[k], 's'}, std::pair{above, 'o'}}) {
        if (n <= 0.0) continue;
        const auto [lo, hi] = PoissonLimits(n);
        plot.ErrorBar(m, lo / span, hi / span, color);
        plot.Marker(m, n / span, shape, color, shape == 's');
        floor = std::min(floor, std::max(lo, 0.5) / span);
      }
    }
    char text[160];
    std::snprintf(text, sizeof text, "part %zu (M >= %.2f, %.1f yr): count >= m / span", i + 1,
                  static_cast<double>(part.threshold), span);
    plot.Legend(text, {color, 1.0, ""}, 'o');
    plot.Legend("part " + std::to_string(i + 1) + ": count in the 0.1 bin / span", {color, 1.0, ""},
                's');
  }
  if (catalog.extreme && !catalog.extreme->events.empty()) {
    const ExtremePart& e = *catalog.extreme;
    const double span = e.end - e.start;
    std::vector<float> m;
    for (const ExtremeEvent& x : e.events) m.push_back(x.magnitude);
    std::sort(m.rbegin(), m.rend());
    for (std::size_t k = 0; k < m.size() && span > 0.0; ++k) {
      plot.Marker(m[k], static_cast<double>(k + 1) / span, '*', "#d62728", true);
      floor = std::min(floor, 1.0 / span);
    }
    plot.Legend("extreme events: rank / " + Format("%.0f", span) + " yr", {"#d62728", 1.0, ""},
                '*');
  }
  return floor;
}

// The top of the rate axis: Lambda of the heaviest branch, or the upper
// Poisson limit of a complete part's rate where that is higher.
double MfdTop(const Catalog* catalog, const ZoneView& v, const Estimate& best) {
  double top = v.any ? best.lambda : 1.0;
  if (catalog == nullptr) return top;
  for (const CompletePart& p : catalog->complete) {
    double n = 0.0;
    for (const MagnitudeRow& r : p.rows) n += r.frequency;
    if (p.end > p.start) top = std::max(top, PoissonLimits(n).second / (p.end - p.start));
  }
  return top;
}

// The band of the heaviest branch: the 16th to 84th percentile of its
// resamples' laws at each magnitude of the grid.
void MfdBand(SvgPlot& plot, const BatchPlan& plan, const std::vector<CellOutcome>& cells,
             const ZoneView& v, const std::vector<double>& grid) {
  const Estimate& best = cells[v.heaviest].catalog;
  // Each resample's law once, not once per magnitude of the grid.
  const std::vector<Estimate>& replicates = cells[v.heaviest].replicates;
  std::vector<OpenQuakeMfd> laws;
  laws.reserve(replicates.size());
  for (const Estimate& r : replicates)
    laws.push_back(ToOpenQuake(r.beta, r.lambda, r.mmin, r.mmax));
  std::vector<double> lo, hi;
  for (double m : grid) {
    std::vector<double> rates;
    if (m >= best.mmin - 1e-9) {
      rates.reserve(laws.size());
      for (std::size_t i = 0; i < laws.size(); ++i)
        rates.push_back(LawRate(replicates[i], laws[i], m));
    }
    const std::vector<double> band = Quantiles(std::move(rates), {kBandLow, kBandHigh});
    lo.push_back(band[0]);
    hi.push_back(band[1]);
  }
  const std::string& color = PaletteColor(plan.cells[v.heaviest].branch);
  plot.Band(grid, lo, hi, color, 0.22);
  plot.Legend("16-84 % band of the heaviest branch's resamples", {color, 1.0, ""}, 0, true);
}

// Each branch's law: the heaviest thick, the others dashed; beyond six
// branches only the heaviest is named in the legend.
void MfdLaws(SvgPlot& plot, const BatchPlan& plan, const std::vector<CellOutcome>& cells,
             const ZoneView& v, const std::vector<double>& grid) {
  std::size_t others = 0;
  for (std::size_t c : v.cells) {
    const Estimate& e = cells[c].catalog;
    if (!e.ok) continue;
    std::vector<std::pair<double, double>> line;
    for (double m : grid) {
      if (m >= e.mmin - 1e-9) line.emplace_back(m, LawRate(e, m));
    }
    const bool heaviest = c == v.heaviest;
    const Stroke stroke{PaletteColor(plan.cells[c].branch), heaviest ? 2.6 : 1.2,
                        heaviest ? "" : "5 3"};
    plot.Line(line, stroke);
    if (heaviest || plan.branches.size() <= 6) {
      plot.Legend(plan.branches[plan.cells[c].branch].name + ": b " + Format("%.2f", e.b) +
                      ", Mmax " + Format("%.2f", e.mmax),
                  stroke);
    } else {
      ++others;
    }
  }
  if (others > 0) plot.Legend(std::to_string(others) + " other branches", {"#888888", 1.2, "5 3"});
}

std::string MfdFigure(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                      const ZoneView& v, bool small) {
  const Estimate& best = cells[v.heaviest].catalog;
  const Catalog* catalog = plan.cells[v.heaviest].catalog.get();
  // The vertical range from the observations and the laws; the lowest
  // observed rate from a plot that is not drawn.
  const double top = MfdTop(catalog, v, best);
  double floor = 1e300;
  SvgPlot probe("probe", 1, 1, {v.low, v.high, false, ""}, {1e-300, 1e300, true, ""}, "");
  if (catalog != nullptr) floor = PlotObserved(probe, *catalog);
  if (floor > top) floor = top * 1e-4;
  const std::string id = "mfd" + std::to_string(v.zone) + (small ? "s" : "");
  SvgPlot plot(id, small ? 340 : 720, small ? 240 : 400, {v.low, v.high, false, "magnitude m"},
               {0.3 * floor, 3.0 * top, true, small ? "rate (1/yr)" : "annual rate (1/yr)"},
               small ? "" : "Magnitude-frequency: " + plan.job.zones[v.zone].name);
  const std::vector<double> grid = Grid(v.low, v.high);
  if (v.any) MfdBand(plot, plan, cells, v, grid);
  if (catalog != nullptr) PlotObserved(plot, *catalog);
  MfdLaws(plot, plan, cells, v, grid);
  if (v.any) {
    plot.VerticalMark(best.xmax, {"#555555", 1.0, "2 2"}, "Xmax " + Format("%.2f", best.xmax));
    plot.VerticalMark(best.mmax, {"#555555", 1.0, ""}, "Mmax " + Format("%.2f", best.mmax));
  }
  // The thumbnail without its legend: the card names the branch.
  if (small) plot.HideLegend();
  return plot.Svg();
}

// Probability of exceedance within each span: a panel per span, the heaviest
// branch with the band of its resamples, the other branches as thin lines.
std::string HazardFigures(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                          const ZoneView& v) {
  if (!v.any) return "";
  const Cell& cell = plan.cells[v.heaviest];
  const Estimate& best = cells[v.heaviest].catalog;
  std::vector<float> grid;
  for (double m : Grid(best.mmin, v.high)) grid.push_back(static_cast<float>(m));
  auto hazard = [&](const Estimate& e) {
    return Hazard({e.beta, e.lambda, e.sd_lambda, e.mmin, e.mmax}, grid, cell.hazard_spans);
  };
  std::vector<std::vector<HazardPoint>> drawn;
  for (const Estimate& r : cells[v.heaviest].replicates) drawn.push_back(hazard(r));
  std::string out;
  for (std::size_t s = 0; s < cell.hazard_spans.size(); ++s) {
    const std::string span = Format("%g", cell.hazard_spans[s]);
    SvgPlot plot("hz" + std::to_string(v.zone) + "_" + std::to_string(s), 340, 260,
                 {grid.front(), grid.back(), false, "magnitude m"},
                 {0.0, 1.0, false, "probability of exceedance"}, "within " + span + " years");
    std::vector<double> x(grid.begin(), grid.end()), lo, hi;
    for (std::size_t k = 0; k < grid.size(); ++k) {
      std::vector<double> p;
      p.reserve(drawn.size());
      for (const auto& h : drawn) p.push_back(h[k].probabilities[s]);
      const std::vector<double> band = Quantiles(std::move(p), {kBandLow, kBandHigh});
      lo.push_back(band[0]);
      hi.push_back(band[1]);
    }
    const std::string& color = PaletteColor(cell.branch);
    plot.Band(x, lo, hi, color, 0.22);
    for (std::size_t c : v.cells) {
      if (!cells[c].catalog.ok || c == v.heaviest) continue;
      std::vector<std::pair<double, double>> line;
      const auto h = hazard(cells[c].catalog);
      for (std::size_t k = 0; k < grid.size(); ++k)
        line.emplace_back(grid[k], h[k].probabilities[s]);
      plot.Line(line, {PaletteColor(plan.cells[c].branch), 1.0, "5 3"});
    }
    std::vector<std::pair<double, double>> line;
    const auto h = hazard(best);
    for (std::size_t k = 0; k < grid.size(); ++k) line.emplace_back(grid[k], h[k].probabilities[s]);
    plot.Line(line, {color, 2.4, ""});
    if (s == 0) {
      plot.Legend("heaviest branch", {color, 2.4, ""});
      plot.Legend("16-84 % of its resamples", {color, 1.0, ""}, 0, true);
    }
    out += plot.Svg();
  }
  return out;
}

std::string Histogram(const std::string& id, const std::string& label,
                      const std::vector<double>& values, double own) {
  // The range of the finite values and the catalog's own (a figure that is
  // no number has no bin).
  double low = std::isfinite(own) ? own : std::numeric_limits<double>::infinity();
  double high = std::isfinite(own) ? own : -std::numeric_limits<double>::infinity();
  for (double x : values) {
    if (!std::isfinite(x)) continue;
    low = std::min(low, x);
    high = std::max(high, x);
  }
  if (low > high || !std::isfinite(high - low)) low = high = std::isfinite(own) ? own : 0.0;
  if (!(high > low)) {
    low -= 0.5;
    high += 0.5;
  }
  constexpr int kBins = 20;
  const double width = (high - low) / kBins;
  std::vector<double> counts(kBins, 0.0);
  for (double x : values) {
    if (!std::isfinite(x)) continue;
    const double at = (x - low) / width;  // outside [low, high] when the range was reset
    counts[static_cast<std::size_t>(at > 0.0 ? std::min(at, kBins - 1.0) : 0.0)] += 1.0;
  }
  const double most = *std::max_element(counts.begin(), counts.end());
  SvgPlot plot(id, 240, 200, {low - width, high + width, false, label},
               {0.0, std::max(1.0, most * 1.15), false, "resamples"}, "");
  std::vector<double> x, zero, count;
  std::vector<std::pair<double, double>> outline;
  for (int k = 0; k < kBins; ++k) {
    for (double edge : {low + k * width, low + (k + 1) * width}) {
      x.push_back(edge);
      zero.push_back(0.0);
      count.push_back(counts[k]);
      outline.emplace_back(edge, counts[k]);
    }
  }
  plot.Band(x, zero, count, "#1f77b4", 0.45);
  plot.Line(outline, {"#1f77b4", 1.0, ""});
  const Stroke median{"#333333", 1.0, "5 3"}, band{"#333333", 1.0, "2 2"},
      catalog{"#d62728", 2.0, ""};
  const std::vector<double> q = Quantiles(values, {kBandLow, 0.5, kBandHigh});
  plot.VerticalMark(q[1], median, "");
  plot.VerticalMark(q[0], band, "");
  plot.VerticalMark(q[2], band, "");
  plot.VerticalMark(own, catalog, "");
  plot.Legend("catalog", catalog);
  plot.Legend("median", median);
  plot.Legend("16 and 84 %", band);
  return plot.Svg();
}

std::string BootstrapFigures(const std::vector<CellOutcome>& cells, const ZoneView& v) {
  const CellOutcome& cell = cells[v.heaviest];
  if (!v.any || cell.replicates.empty()) return "";
  std::vector<double> b, lambda, mmax;
  for (const Estimate& r : cell.replicates) {
    b.push_back(r.b);
    lambda.push_back(r.lambda);
    mmax.push_back(r.mmax);
  }
  const std::string z = std::to_string(v.zone);
  return Histogram("bb" + z, "b-value", b, cell.catalog.b) +
         Histogram("bl" + z, "Lambda (1/yr above Mmin)", lambda, cell.catalog.lambda) +
         Histogram("bm" + z, "Mmax", mmax, cell.catalog.mmax);
}

std::string Band(const std::vector<Estimate>& replicates, float Estimate::*field) {
  std::vector<double> values;
  values.reserve(replicates.size());
  for (const Estimate& r : replicates) values.push_back(r.*field);
  if (values.empty()) return "";
  const std::vector<double> q = Quantiles(std::move(values), {kBandLow, kBandHigh});
  return Format("%.3g", q[0]) + " to " + Format("%.3g", q[1]);
}

std::string BranchTable(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                        const ZoneView& v) {
  std::string out =
      "<table><tr><th>branch</th><th>weight</th><th>Mmin</th><th>Xmax</th><th>b &plusmn; SD</th>"
      "<th>Lambda &plusmn; SD (1/yr)</th><th>Mmax &plusmn; SD</th><th>Mmax</th>"
      "<th>resamples ok / failed</th><th>b 16-84 %</th><th>Lambda 16-84 %</th>"
      "<th>Mmax 16-84 %</th><th>OpenQuake</th></tr>\n";
  for (std::size_t c : v.cells) {
    const CellOutcome& o = cells[c];
    const Estimate& e = o.catalog;
    const Branch& branch = plan.branches[plan.cells[c].branch];
    out += std::string("<tr") + (c == v.heaviest && v.any ? " class=\"heaviest\"" : "") + "><td>" +
           Escaped(branch.name) + "</td><td>" + Format("%.4g", branch.weight) + "</td>";
    if (e.ok) {
      out += "<td>" + Format("%.2f", e.mmin) + "</td><td>" + Format("%.2f", e.xmax) + "</td><td>" +
             Format("%.3f", e.b) + " &plusmn; " + Format("%.3f", e.sd_b) + "</td><td>" +
             Format("%.4g", e.lambda) + " &plusmn; " + Format("%.2g", e.sd_lambda) + "</td><td>" +
             Format("%.2f", e.mmax) + " &plusmn; " + Format("%.2f", e.sd_mmax) + "</td><td>" +
             MmaxStatusName(e.mmax_status) + "</td>";
    } else {
      out += "<td colspan=\"6\" class=\"failed\">no estimate: " + Escaped(o.status) + "</td>";
    }
    out += "<td>" + std::to_string(o.replicates.size()) + " / " + std::to_string(o.failed) +
           "</td><td>" + Band(o.replicates, &Estimate::b) + "</td><td>" +
           Band(o.replicates, &Estimate::lambda) + "</td><td>" +
           Band(o.replicates, &Estimate::mmax) + "</td><td>" + (Usable(e) ? "usable" : "left out") +
           "</td></tr>\n";
  }
  return out + "</table>\n";
}

std::string Warnings(const std::vector<std::string>& warnings, const std::string& prefix) {
  std::string out;
  for (const std::string& w : warnings) {
    if (prefix.empty() || w.rfind(prefix, 0) == 0) out += "<li>" + Escaped(w) + "</li>\n";
  }
  return out.empty() ? "" : "<ul class=\"warnings\">\n" + out + "</ul>\n";
}

std::string JobText(const BatchPlan& plan) {
  std::ifstream in(plan.job.source, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:16px auto;max-width:1120px;color:#222}"
    "h1{font-size:22px}h2{font-size:18px;border-top:1px solid #ccc;padding-top:10px}"
    "h3{font-size:14px;margin:10px 0 4px}"
    ".cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(350px,1fr));gap:10px}"
    ".card{border:1px solid #ddd;padding:6px}.card p{margin:2px 0;font-size:13px}"
    ".figs{display:flex;flex-wrap:wrap;gap:8px;align-items:flex-start}"
    "table{border-collapse:collapse;font-size:12px}td,th{border:1px solid #ddd;padding:2px 5px;"
    "text-align:right}td:first-child,th:first-child{text-align:left}"
    "tr.heaviest{background:#eef4fb}.failed{color:#a00;text-align:left}"
    ".warnings{color:#8a4b00;font-size:13px}pre{background:#f6f6f6;padding:8px;font-size:12px;"
    "overflow-x:auto}svg{display:block}";

std::string Card(const BatchPlan& plan, const std::vector<CellOutcome>& cells, const ZoneView& v) {
  const std::string& name = plan.job.zones[v.zone].name;
  std::string out = "<div class=\"card\"><p><a href=\"#zone" + std::to_string(v.zone) + "\"><b>" +
                    Escaped(name) + "</b></a></p>\n";
  if (v.any) {
    const Estimate& e = cells[v.heaviest].catalog;
    out += "<p>" + Escaped(plan.branches[plan.cells[v.heaviest].branch].name) + ": b " +
           Format("%.3f", e.b) + " &plusmn; " + Format("%.3f", e.sd_b) + ", Lambda " +
           Format("%.4g", e.lambda) + "/yr above " + Format("%.2f", e.mmin) + ", Mmax " +
           Format("%.2f", e.mmax) + " (" + MmaxStatusName(e.mmax_status) + ")</p>\n";
  } else {
    out += "<p class=\"failed\">no branch gave an estimate</p>\n";
  }
  return out + MfdFigure(plan, cells, v, true) + "</div>\n";
}

}  // namespace

// Each order statistic is found by selection in what lies above the one
// before, not by sorting: the same values, and a band takes two at each of
// 80 magnitudes over every resample.
std::vector<double> Quantiles(std::vector<double> values, std::initializer_list<double> ps) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
               values.end());
  std::vector<double> out;
  if (values.empty()) return std::vector<double>(ps.size(), std::nan(""));
  auto from = values.begin();
  for (const double p : ps) {
    const double h = (static_cast<double>(values.size()) - 1.0) * p;
    const auto lo = static_cast<std::size_t>(std::floor(h));
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(lo);
    std::nth_element(from, at, values.end());
    const double below = *at;
    const double above = at + 1 == values.end() ? below : *std::min_element(at + 1, values.end());
    out.push_back(below + (h - static_cast<double>(lo)) * (above - below));
    from = at;
  }
  return out;
}

ZoneReport ReportZone(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                      std::size_t zone) {
  const ZoneView v = ViewOf(plan, cells, zone);
  ZoneReport report;
  report.card = Card(plan, cells, v);
  std::string& page = report.figures;
  page = "<div class=\"figs\">" + MfdFigure(plan, cells, v, false) + "</div>\n";
  const std::string hazard = HazardFigures(plan, cells, v);
  if (!hazard.empty()) {
    page +=
        "<h3>Hazard: probability of exceeding m (heaviest branch, other branches dashed)</h3>"
        "\n<div class=\"figs\">" +
        hazard + "</div>\n";
  }
  const std::string boot = BootstrapFigures(cells, v);
  if (!boot.empty()) {
    page += "<h3>Bootstrap of the heaviest branch: " +
            std::to_string(cells[v.heaviest].replicates.size()) +
            " resamples</h3>\n"
            "<div class=\"figs\">" +
            boot + "</div>\n";
  }
  page += "<h3>Branches</h3>\n" + BranchTable(plan, cells, v);
  return report;
}

std::string ReportHtml(const BatchPlan& plan, const std::vector<ZoneReport>& zones,
                       const std::vector<std::string>& warnings) {
  const std::string job = std::filesystem::path(plan.job.source).filename().string();
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>qev-batch: " +
      Escaped(job) + "</title>\n<style>" + kStyle +
      "</style></head><body>\n<h1>qev-batch: " + Escaped(job) + "</h1>\n<p>" +
      std::to_string(plan.job.zones.size()) + " zones, " + std::to_string(plan.branches.size()) +
      " branches, " + std::to_string(plan.job.replicates) +
      " bootstrap replicates each. Rates are annual rates of events with magnitude at or "
      "above m; error bars are Poisson limits of one standard deviation (Gehrels 1986); bands "
      "span the 16th to 84th percentile of the resamples of the heaviest branch.</p>\n"
      "<div class=\"cards\">\n";
  for (const ZoneReport& zone : zones) page += zone.card;
  page += "</div>\n";
  for (std::size_t z = 0; z < zones.size(); ++z) {
    const std::string& name = plan.job.zones[z].name;
    page += "<h2 id=\"zone" + std::to_string(z) + "\">Zone " + Escaped(name) + "</h2>\n";
    page += Warnings(warnings, "zone " + name + ":");
    page += zones[z].figures;
  }
  page += "<h2>Warnings</h2>\n" +
          (warnings.empty() ? std::string("<p>none</p>\n") : Warnings(warnings, ""));
  page += "<h2>The job: " + Escaped(job) + "</h2>\n<pre>" + Escaped(JobText(plan)) + "</pre>\n";
  return page + "</body></html>\n";
}

}  // namespace qev::batch_output
