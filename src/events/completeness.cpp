// The magnitude of completeness and the completeness table (see
// qev/completeness.h; methods and sources in docs/method.md).
#include "qev/completeness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

#include "events/reading.h"
#include "qev/event_settings.h"
#include "textio/number_text.h"

namespace qev {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A magnitude exactly halfway between two bin centres goes up; the margin
// absorbs the single-precision rounding of values such as 5.05.
constexpr double kHalfMargin = 1e-4;
// log10(e): Aki's b = log10(e) / (mean - lower bound).
constexpr double kLog10E = 0.43429448190325182;
// Half a hundredth: the resolution of the thresholds as stored.
constexpr double kSameLevel = 0.005;

struct Names {
  McMethod method;
  const char* name;
};
constexpr Names kMcNames[] = {{McMethod::MaxCurvature, "maxc"},
                              {McMethod::GoodnessOfFit90, "gft90"},
                              {McMethod::GoodnessOfFit95, "gft95"},
                              {McMethod::BValueStability, "mbs"}};
struct TableNames {
  CompletenessTableMethod method;
  const char* name;
};
constexpr TableNames kTableNames[] = {{CompletenessTableMethod::McWindows, "windows"},
                                      {CompletenessTableMethod::Stepp, "stepp"}};

[[noreturn]] void Invalid(const std::string& option, const std::string& value,
                          const std::string& expected) {
  throw InvalidOptions(option + " is " + value + ", expected " + expected);
}

std::string Shown(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Suffix sums of a histogram: events, and the first and second moments of
// the bin centres about the first centre, from each bin on.
struct Suffix {
  std::vector<double> n, m1, m2;
  explicit Suffix(const MagnitudeHistogram& h)
      : n(h.counts.size() + 1), m1(h.counts.size() + 1), m2(h.counts.size() + 1) {
    for (std::size_t k = h.counts.size(); k-- > 0;) {
      const double x = static_cast<double>(k) * h.bin;
      n[k] = n[k + 1] + h.counts[k];
      m1[k] = m1[k + 1] + h.counts[k] * x;
      m2[k] = m2[k + 1] + h.counts[k] * x * x;
    }
  }
  BValue B(const MagnitudeHistogram& h, std::size_t from) const {
    BValue r;
    r.events = n[from];
    if (r.events < 2.0) return {kNaN, kNaN, r.events};
    const double mean = m1[from] / r.events;  // about the first centre
    const double lower = static_cast<double>(from) * h.bin - h.bin / 2.0;
    r.b = kLog10E / (mean - lower);
    const double squares = std::max(0.0, m2[from] - r.events * mean * mean);
    r.sd = 2.30 * r.b * r.b * std::sqrt(squares / (r.events * (r.events - 1.0)));
    return r;
  }
};

std::size_t MostEventsBin(const MagnitudeHistogram& h) {
  return static_cast<std::size_t>(std::max_element(h.counts.begin(), h.counts.end()) -
                                  h.counts.begin());
}

double MaxCurvature(const MagnitudeHistogram& h, const McOptions& o) {
  return h.centre(MostEventsBin(h)) + o.maxc_correction;
}

// Wiemer & Wyss (2000): R = 100 - 100 sum |B_i - S_i| / sum B_i over the bins
// from Mc on, B_i the observed and S_i the fitted cumulative numbers.
std::optional<std::size_t> GoodnessOfFit(const MagnitudeHistogram& h, const Suffix& s,
                                         const McOptions& o, double level) {
  std::size_t last = h.counts.size();
  while (last > 0 && h.counts[last - 1] == 0.0) --last;
  for (std::size_t k = 0; k < last; ++k) {
    if (s.n[k] < static_cast<double>(o.min_events)) break;
    const BValue b = s.B(h, k);
    if (!std::isfinite(b.b)) continue;
    double misfit = 0.0;
    double observed = 0.0;
    for (std::size_t i = k; i < last; ++i) {
      const double fitted = s.n[k] * std::pow(10.0, -b.b * static_cast<double>(i - k) * h.bin);
      misfit += std::fabs(s.n[i] - fitted);
      observed += s.n[i];
    }
    if (100.0 - 100.0 * misfit / observed >= level) return k;
  }
  return std::nullopt;
}

// Cao & Gao (2002) as Woessner & Wiemer (2005) refined it: the first Mc whose
// b differs from the mean b of the bins of mbs_span from Mc on by at most the
// Shi & Bolt SD of b.
std::optional<std::size_t> BValueStability(const MagnitudeHistogram& h, const Suffix& s,
                                           const McOptions& o) {
  const auto span = static_cast<std::size_t>(std::lround(o.mbs_span / h.bin));
  const std::size_t count = std::max<std::size_t>(span, 1);
  for (std::size_t k = 0; k + count <= h.counts.size(); ++k) {
    if (s.n[k + count - 1] < static_cast<double>(o.min_events)) break;
    const BValue at = s.B(h, k);
    double sum = 0.0;
    for (std::size_t j = k; j < k + count; ++j) sum += s.B(h, j).b;
    if (std::fabs(sum / static_cast<double>(count) - at.b) <= at.sd) return k;
  }
  return std::nullopt;
}

// One multinomial draw of `total` events over the histogram's bins (each bin
// a binomial draw on the events left).
void Resample(const MagnitudeHistogram& from, MagnitudeHistogram& to, std::mt19937_64& random) {
  const double total = from.total();
  auto left = static_cast<long long>(std::llround(total));
  double share_left = 1.0;
  for (std::size_t k = 0; k < from.counts.size(); ++k) {
    const double share = from.counts[k] / total;
    long long drawn = 0;
    if (left > 0 && share > 0.0) {
      const double p = std::min(1.0, share / share_left);
      drawn = p >= 1.0 ? left : std::binomial_distribution<long long>(left, p)(random);
    }
    to.counts[k] = static_cast<double>(drawn);
    left -= drawn;
    share_left -= share;
  }
}

double RoundToBin(double value, double bin) { return std::round(value / bin) * bin; }

float StepMc(double mc, double bin) { return static_cast<float>(RoundToBin(mc, bin)); }

// The calendar's decimal year of a (completed) date and time of day: the
// year plus the share of its days gone.
double CalendarYear(const CivilDate& date, double seconds_of_day = 0.0) {
  const CivilDate c = CompletedDate(date);
  const double first = DayNumber({c.year, 1, 1});
  const double next = DayNumber({c.year + 1, 1, 1});
  return c.year + (DayNumber(c, seconds_of_day) - first) / (next - first);
}

double EventYear(const EventTable& events, std::size_t i) {
  return CalendarYear(events.date(i), events.seconds_of_day(i));
}

// Splits windows [low, high) where the two sides' mean Mc differ most (the
// largest fall of the sum of squares) while they differ by the tolerance
// or more, and recursively each side (binary segmentation): a slow drift of
// the estimate does not chain windows into one step.
void SplitSegments(const std::vector<double>& mc, std::size_t low, std::size_t high,
                   double tolerance, std::vector<std::size_t>& cuts) {
  if (high - low < 2) return;
  double total = 0.0;
  for (std::size_t k = low; k < high; ++k) total += mc[k];
  double left = 0.0;
  double best_gain = -1.0;
  double best_difference = 0.0;
  std::size_t best = low;
  for (std::size_t k = low + 1; k < high; ++k) {
    left += mc[k - 1];
    const double n_left = static_cast<double>(k - low);
    const double n_right = static_cast<double>(high - k);
    const double difference = left / n_left - (total - left) / n_right;
    const double gain = n_left * n_right / (n_left + n_right) * difference * difference;
    if (gain > best_gain) {
      best_gain = gain;
      best_difference = difference;
      best = k;
    }
  }
  if (std::fabs(best_difference) < tolerance - kSameLevel) return;
  cuts.push_back(best);
  SplitSegments(mc, low, best, tolerance, cuts);
  SplitSegments(mc, best, high, tolerance, cuts);
}

// The windows' Mc as slices of steps: one per segment, of its mean Mc from
// the first whole year within its first window; a lone window between a
// higher older and a lower younger segment (a change within the window)
// joins the older one.
std::vector<CompletenessStep> WindowSlices(const std::vector<McWindow>& windows, double tolerance,
                                           double bin) {
  std::vector<double> mc;
  std::vector<double> start;
  for (const McWindow& w : windows) {
    if (!std::isfinite(w.estimate.mc)) continue;
    mc.push_back(w.estimate.mc);
    start.push_back(w.start);
  }
  std::vector<std::size_t> cuts{0, mc.size()};
  SplitSegments(mc, 0, mc.size(), tolerance, cuts);
  std::sort(cuts.begin(), cuts.end());
  struct Segment {
    double start;
    double mean;
    std::size_t count;
  };
  std::vector<Segment> segments;
  for (std::size_t j = 0; j + 1 < cuts.size(); ++j) {
    const double sum = std::accumulate(mc.begin() + static_cast<std::ptrdiff_t>(cuts[j]),
                                       mc.begin() + static_cast<std::ptrdiff_t>(cuts[j + 1]), 0.0);
    const std::size_t count = cuts[j + 1] - cuts[j];
    segments.push_back({start[cuts[j]], sum / static_cast<double>(count), count});
  }
  std::vector<CompletenessStep> slices;
  for (std::size_t j = 0; j < segments.size(); ++j) {
    const Segment& s = segments[j];
    if (s.count == 1 && j > 0 && j + 1 < segments.size() && s.mean < segments[j - 1].mean &&
        s.mean > segments[j + 1].mean) {
      continue;  // the younger segment starts after it
    }
    // A step holds from the first whole year within its first window (the
    // first step from the year of the first event).
    const double year = j == 0 ? std::floor(s.start) : std::ceil(s.start - 1e-6);
    slices.push_back({static_cast<std::int32_t>(year), StepMc(s.mean, bin)});
  }
  return slices;
}

// P(X <= n) for X Poisson with mean mu (1 when n is not below the mean).
double PoissonLowerTail(double n, double mu) {
  if (mu <= 0.0 || n >= mu) return 1.0;
  constexpr double kNormalFrom = 200.0;  // the normal approximation is close enough beyond
  if (mu > kNormalFrom) return 0.5 * std::erfc(-(n + 0.5 - mu) / std::sqrt(2.0 * mu));
  double term = std::exp(-mu);
  double sum = term;
  for (double x = 1.0; x <= n; x += 1.0) {
    term *= mu / x;
    sum += term;
  }
  return std::min(1.0, sum);
}

// Windows of window_years from the start; a window with too few events joins
// the next, and a last one with too few the one before.
std::vector<std::pair<double, double>> WindowBounds(const std::vector<double>& years, double start,
                                                    double end, const CompletenessOptions& o) {
  std::vector<std::pair<double, double>> raw;
  for (double from = start; from < end - 1e-9;) {
    const double to = std::min(end, from + o.window_years);
    raw.emplace_back(from, to);
    from = to;
  }
  std::vector<double> counts(raw.size(), 0.0);
  for (double t : years) {
    const auto k = static_cast<std::size_t>(
        std::clamp((t - start) / o.window_years, 0.0, static_cast<double>(raw.size() - 1)));
    counts[k] += 1.0;
  }
  std::vector<std::pair<double, double>> joined;
  double held = 0.0;
  for (std::size_t k = 0; k < raw.size(); ++k) {
    if (held == 0.0) joined.emplace_back(raw[k]);
    joined.back().second = raw[k].second;
    held += counts[k];
    if (held >= static_cast<double>(o.window_min_events)) held = 0.0;
  }
  if (held > 0.0 && joined.size() > 1) {
    const double to = joined.back().second;
    joined.pop_back();
    joined.back().second = to;
  }
  return joined;
}

std::vector<McWindow> McInWindows(const EventTable& events, const std::vector<double>& years,
                                  double start, double end, const CompletenessOptions& o) {
  const auto bounds = WindowBounds(years, start, end, o);
  std::vector<std::vector<float>> magnitudes(bounds.size());
  for (std::size_t i = 0; i < years.size(); ++i) {
    const auto k = static_cast<std::size_t>(
        std::upper_bound(bounds.begin(), bounds.end(), years[i],
                         [](double t, const auto& b) { return t < b.second; }) -
        bounds.begin());
    magnitudes[std::min(k, bounds.size() - 1)].push_back(events.magnitude[i]);
  }
  std::vector<McWindow> windows;
  for (std::size_t k = 0; k < bounds.size(); ++k) {
    if (magnitudes[k].empty()) continue;
    McOptions mc = o.mc;
    mc.seed = o.mc.seed + k;  // each window its own stream, whatever the others hold
    windows.push_back({bounds[k].first, bounds[k].second, EstimateMc(magnitudes[k], mc)});
  }
  return windows;
}

// The span of a class's rate: growing back from the end, the first interval
// whose events fall short of the rate so far (Poisson lower tail below the
// significance), when the interval before it falls short of that rate too
// (or it is the oldest), ends it: one quiet interval does not.
void SteppSpan(SteppClass& c, const CompletenessOptions& o) {
  const std::size_t k_max = c.spans.size();
  auto short_of = [&](double rate, std::size_t k) {
    const double added = c.events[k] - c.events[k - 1];
    return PoissonLowerTail(added, rate * (c.spans[k] - c.spans[k - 1])) < o.stepp_significance;
  };
  c.complete_span = c.spans.back();
  for (std::size_t k = 1; k < k_max; ++k) {
    const double rate = c.events[k - 1] / c.spans[k - 1];
    if (short_of(rate, k) && (k + 1 == k_max || short_of(rate, k + 1))) {
      c.complete_span = c.spans[k - 1];
      break;
    }
  }
  const auto at = static_cast<std::size_t>(
      std::find(c.spans.begin(), c.spans.end(), c.complete_span) - c.spans.begin());
  c.rate = c.events[at] / c.complete_span;
}

std::vector<SteppClass> Stepp(const EventTable& events, const std::vector<double>& years,
                              double start, double end, double lowest,
                              const CompletenessOptions& o) {
  const double bin = o.mc.bin;
  std::vector<double> centres(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    centres[i] = RoundToBin(events.magnitude[i], bin);
  }
  std::vector<double> sorted = centres;
  std::sort(sorted.begin(), sorted.end());
  auto at_or_above = [&](double m) {
    return static_cast<std::size_t>(sorted.end() -
                                    std::lower_bound(sorted.begin(), sorted.end(), m - bin / 2.0));
  };
  std::vector<SteppClass> classes;
  for (double low = lowest; at_or_above(low) >= std::max<std::size_t>(o.stepp_min_events, 1);
       low += o.stepp_class_width) {
    classes.push_back({low, std::numeric_limits<double>::infinity(), {}, {}, {}, 0, 0, 0});
    if (classes.size() > 1) classes[classes.size() - 2].high = low;
  }
  const double total = end - start;
  const auto intervals = static_cast<std::size_t>(std::ceil(total / o.stepp_interval_years - 1e-9));
  for (SteppClass& c : classes) {
    c.events.assign(intervals, 0.0);
    for (std::size_t k = 0; k < intervals; ++k) {
      c.spans.push_back(std::min(total, static_cast<double>(k + 1) * o.stepp_interval_years));
    }
  }
  for (std::size_t i = 0; i < events.size(); ++i) {
    for (SteppClass& c : classes) {
      if (centres[i] < c.low - bin / 2.0 || centres[i] >= c.high - bin / 2.0) continue;
      const auto k = static_cast<std::size_t>(std::clamp((end - years[i]) / o.stepp_interval_years,
                                                         0.0, static_cast<double>(intervals - 1)));
      c.events[k] += 1.0;
    }
  }
  for (SteppClass& c : classes) {
    std::partial_sum(c.events.begin(), c.events.end(), c.events.begin());
    for (std::size_t k = 0; k < intervals; ++k) {
      c.rate_sd.push_back(std::sqrt(c.events[k] / c.spans[k]) / std::sqrt(c.spans[k]));
    }
    SteppSpan(c, o);
    c.complete_from = end - c.complete_span;
  }
  // A larger class is complete at least as long as a smaller one.
  for (std::size_t j = 1; j < classes.size(); ++j) {
    classes[j].complete_from = std::min(classes[j].complete_from, classes[j - 1].complete_from);
  }
  return classes;
}

std::vector<CompletenessStep> SteppTable(const std::vector<SteppClass>& classes, double bin) {
  std::vector<CompletenessStep> table;
  for (std::size_t j = classes.size(); j-- > 0;) {
    const auto year = static_cast<std::int32_t>(std::lround(classes[j].complete_from));
    const float mc = StepMc(classes[j].low, bin);
    if (!table.empty() && table.back().year >= year) {
      table.back().threshold = mc;
    } else {
      table.push_back({year, mc});
    }
  }
  return table;
}

// A value as written: a number when the whole text is one, else the text.
SettingValue TextValue(std::string_view text) {
  const std::string_view trimmed = events_detail::Trim(text);
  if (const auto number = events_detail::ParseDouble(trimmed)) return *number;
  return std::string(trimmed);
}

}  // namespace

void SetCompletenessOption(CompletenessOptions& options, std::string_view key,
                           std::string_view value, const std::string& what) {
  const OptionsRow<CompletenessOptions>* row = FindOption(CompletenessSettings(), key);
  if (row == nullptr) {
    std::string known;
    for (const std::string& k : CompletenessOptionKeys()) known += (known.empty() ? "" : ", ") + k;
    Invalid(what, "'" + std::string(key) + "'", "one of the keys " + known);
  }
  try {
    SetOption(options, *row, TextValue(value));
  } catch (const InvalidSetting& e) {
    Invalid(what + " " + std::string(key), "'" + std::string(value) + "'", e.expected());
  }
}

std::vector<std::string> CompletenessOptionKeys() {
  std::vector<std::string> keys;
  for (const OptionsRow<CompletenessOptions>& row : CompletenessSettings()) {
    keys.emplace_back(row.key);
  }
  return keys;
}

std::string_view McMethodName(McMethod method) {
  for (const Names& n : kMcNames) {
    if (n.method == method) return n.name;
  }
  return "maxc";
}

McMethod ParseMcMethod(std::string_view name, const std::string& what) {
  const std::string lower = events_detail::Lower(events_detail::Trim(name));
  for (const Names& n : kMcNames) {
    if (lower == n.name) return n.method;
  }
  Invalid(what, "'" + std::string(name) + "'", "maxc, gft90, gft95 or mbs");
}

std::string_view CompletenessTableMethodName(CompletenessTableMethod method) {
  return method == CompletenessTableMethod::Stepp ? "stepp" : "windows";
}

CompletenessTableMethod ParseCompletenessTableMethod(std::string_view name,
                                                     const std::string& what) {
  const std::string lower = events_detail::Lower(events_detail::Trim(name));
  for (const TableNames& n : kTableNames) {
    if (lower == n.name) return n.method;
  }
  Invalid(what, "'" + std::string(name) + "'", "windows or stepp");
}

void McOptions::Validate() const {
  if (!(bin >= 0.001 && bin <= 1.0)) Invalid("the magnitude bin", Shown(bin), "0.001 to 1");
  if (!(std::fabs(maxc_correction) <= 1.0)) {
    Invalid("the maximum-curvature correction", Shown(maxc_correction), "-1 to 1");
  }
  if (min_events < 2)
    Invalid("the least events of a trial Mc", std::to_string(min_events), "2 or more");
  if (!(mbs_span >= bin && mbs_span <= 2.0)) {
    Invalid("the b-value-stability span", Shown(mbs_span), "one bin to 2 magnitude units");
  }
  if (bootstrap > 100000) {
    Invalid("the bootstrap samples", std::to_string(bootstrap), "0 to 100000");
  }
}

void CompletenessOptions::Validate() const {
  // The ranges of the rows, then what two of them must be together.
  ValidateRows(*this, CompletenessSettings());
  mc.Validate();
  if (!(window_years >= 0.01 && window_years <= 1000.0)) {
    Invalid("the window", Shown(window_years) + " years", "0.01 to 1000 years");
  }
  if (window_min_events < 1) Invalid("the least events of a window", "0", "1 or more");
  if (!(merge_tolerance >= 0.0 && merge_tolerance <= 2.0)) {
    Invalid("the merge tolerance", Shown(merge_tolerance), "0 to 2");
  }
  if (!(stepp_class_width >= mc.bin && stepp_class_width <= 3.0)) {
    Invalid("the Stepp class width", Shown(stepp_class_width), "one bin to 3");
  }
  if (!(stepp_interval_years >= 0.01 && stepp_interval_years <= 1000.0)) {
    Invalid("the Stepp interval", Shown(stepp_interval_years) + " years", "0.01 to 1000 years");
  }
  if (!(stepp_significance > 0.0 && stepp_significance < 0.5)) {
    Invalid("the Stepp significance", Shown(stepp_significance), "above 0 and below 0.5");
  }
}

double MagnitudeHistogram::total() const {
  return std::accumulate(counts.begin(), counts.end(), 0.0);
}

MagnitudeHistogram BinMagnitudes(std::span<const float> magnitudes, double bin) {
  MagnitudeHistogram h;
  h.bin = bin;
  if (magnitudes.empty()) return h;
  std::vector<std::int64_t> index(magnitudes.size());
  for (std::size_t i = 0; i < magnitudes.size(); ++i) {
    const double m = magnitudes[i];
    if (!std::isfinite(m)) throw InvalidOptions("a magnitude is not a finite number");
    index[i] = static_cast<std::int64_t>(std::floor(m / bin + 0.5 + kHalfMargin));
  }
  const auto [low, high] = std::minmax_element(index.begin(), index.end());
  // A magnitude far from the others (a typing error) would make bins without
  // end; 10 magnitude units hold every real catalog.
  constexpr double kMostUnits = 10.0;
  if (static_cast<double>(*high - *low) * bin > kMostUnits) {
    throw InvalidOptions("the magnitudes span " + Shown(static_cast<double>(*low) * bin) + " to " +
                         Shown(static_cast<double>(*high) * bin) +
                         ", expected at most 10 magnitude units for a completeness estimate");
  }
  h.first = *low;
  h.counts.assign(static_cast<std::size_t>(*high - *low + 1), 0.0);
  for (std::int64_t k : index) h.counts[static_cast<std::size_t>(k - h.first)] += 1.0;
  return h;
}

BValue MaximumLikelihoodB(const MagnitudeHistogram& histogram, std::size_t from) {
  if (from >= histogram.counts.size()) return {kNaN, kNaN, 0.0};
  return Suffix(histogram).B(histogram, from);
}

double McOfHistogram(const MagnitudeHistogram& h, const McOptions& o, bool* fallback) {
  if (fallback != nullptr) *fallback = false;
  if (h.counts.empty() || h.total() <= 0.0) return kNaN;
  if (o.method == McMethod::MaxCurvature) return MaxCurvature(h, o);
  const Suffix s(h);
  std::optional<std::size_t> k;
  if (o.method == McMethod::BValueStability) {
    k = BValueStability(h, s, o);
  } else {
    k = GoodnessOfFit(h, s, o, o.method == McMethod::GoodnessOfFit90 ? 90.0 : 95.0);
  }
  if (k) return h.centre(*k);
  if (fallback != nullptr) *fallback = true;
  return MaxCurvature(h, o);
}

McEstimate EstimateMc(std::span<const float> magnitudes, const McOptions& options) {
  options.Validate();
  return EstimateMc(BinMagnitudes(magnitudes, options.bin), options);
}

McEstimate EstimateMc(const MagnitudeHistogram& histogram, const McOptions& options) {
  options.Validate();
  McEstimate e;
  e.method = options.method;
  e.events = static_cast<std::size_t>(std::llround(histogram.total()));
  e.mc = McOfHistogram(histogram, options, &e.fallback);
  e.mc_mean = e.mc;
  e.b = {kNaN, kNaN, 0.0};
  if (!std::isfinite(e.mc)) return e;
  const double from = std::round(e.mc / histogram.bin) - static_cast<double>(histogram.first);
  if (from >= 0.0) e.b = MaximumLikelihoodB(histogram, static_cast<std::size_t>(from));
  if (options.bootstrap == 0) return e;
  std::mt19937_64 random(options.seed);
  MagnitudeHistogram sample = histogram;
  // Welford's running mean and sum of squares.
  double mean = 0.0;
  double squares = 0.0;
  double n = 0.0;
  for (std::size_t s = 0; s < options.bootstrap; ++s) {
    Resample(histogram, sample, random);
    const double mc = McOfHistogram(sample, options);
    if (!std::isfinite(mc)) continue;
    n += 1.0;
    const double delta = mc - mean;
    mean += delta / n;
    squares += delta * (mc - mean);
  }
  if (n > 0.0) e.mc_mean = mean;
  e.mc_sd = n > 1.0 ? std::sqrt(squares / (n - 1.0)) : 0.0;
  return e;
}

std::vector<double> EventYears(const EventTable& events) {
  std::vector<double> years(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) years[i] = EventYear(events, i);
  return years;
}

std::vector<CompletenessStep> MergeSteps(const std::vector<CompletenessStep>& slices,
                                         double tolerance) {
  std::vector<CompletenessStep> falling = slices;
  for (std::size_t k = falling.size(); k-- > 1;) {
    falling[k - 1].threshold = std::max(falling[k - 1].threshold, falling[k].threshold);
  }
  std::vector<CompletenessStep> table;
  for (const CompletenessStep& s : falling) {
    // Half a hundredth: the resolution of the thresholds as stored.
    constexpr double kSame = 0.005;
    if (!table.empty() &&
        (table.back().threshold - s.threshold < tolerance - kSame || s.year <= table.back().year)) {
      continue;
    }
    table.push_back(s);
  }
  return table;
}

CompletenessEstimate EstimateCompleteness(const EventTable& events,
                                          const CompletenessOptions& options,
                                          const std::optional<CivilDate>& end) {
  options.Validate();
  if (events.empty()) throw NoEstimate("no completeness table: the catalog holds no events");
  CompletenessEstimate r;
  r.options = options;
  const std::vector<double> years = EventYears(events);
  const std::int32_t first_year = *std::min_element(events.year.begin(), events.year.end());
  const double last = *std::max_element(years.begin(), years.end());
  r.start = first_year;
  // The end of the last day observed.
  r.end = end ? CalendarYear(*end, 86400.0) : last;
  if (r.end <= r.start) throw NoEstimate("no completeness table: the catalog spans no time");

  r.windows = McInWindows(events, years, r.start, r.end, options);
  r.windows_table = MergeSteps(WindowSlices(r.windows, options.merge_tolerance, options.mc.bin),
                               options.merge_tolerance);

  const double lowest =
      r.windows_table.empty()
          ? RoundToBin(*std::min_element(events.magnitude.begin(), events.magnitude.end()),
                       options.mc.bin)
          : r.windows_table.back().threshold;
  r.stepp = Stepp(events, years, r.start, r.end, lowest, options);
  r.stepp_table = SteppTable(r.stepp, options.mc.bin);
  r.table = options.table == CompletenessTableMethod::Stepp ? r.stepp_table : r.windows_table;
  return r;
}

}  // namespace qev
