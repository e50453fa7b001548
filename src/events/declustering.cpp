// The declustering methods by name, their parameters, the dispatch, and what
// the methods share: the grid of cells, the distance and the result.
#include "qev/declustering.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

#include "events/declustering_detail.h"
#include "qev/event_settings.h"

namespace qev {

using namespace declustering_detail;

namespace {

// The one table of methods: a new method is a row here, an enum value and its
// function (docs/api.md, "Adding a method").
constexpr std::array<DeclusterMethodInfo, 4> kMethods{{
    {DeclusterMethod::GardnerKnopoff1974, "gk", "gardner-knopoff",
     "window table of Gardner and Knopoff (1974)", WindowDecluster, WindowDeclusterAllPairs},
    {DeclusterMethod::Uhrhammer1986, "uhrhammer", "", "window table of Uhrhammer (1986)",
     WindowDecluster, WindowDeclusterAllPairs},
    {DeclusterMethod::Gruenthal, "gruenthal", "", "window table of Gruenthal", WindowDecluster,
     WindowDeclusterAllPairs},
    {DeclusterMethod::Reasenberg1985, "reasenberg", "",
     "cluster linking of Reasenberg (1985): interaction zones and Omori look-ahead times",
     ReasenbergDecluster, ReasenbergDeclusterAllPairs},
}};

constexpr std::array<DeclusterParameterInfo, 8> kParameters{{
    {"foreshock_fraction", "gk, uhrhammer, gruenthal",
     "the foreshock window as a fraction of the aftershock window (default 0)", 0.0, 1.0,
     [](DeclusterOptions& o, double v) { o.foreshock_fraction = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.foreshock_fraction; }},
    {"tau_min", "reasenberg", "shortest look-ahead time in days (default 1)", 1e-6, 36500.0,
     [](DeclusterOptions& o, double v) { o.reasenberg.tau_min_days = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.reasenberg.tau_min_days; }},
    {"tau_max", "reasenberg", "longest look-ahead time in days (default 10)", 1e-6, 36500.0,
     [](DeclusterOptions& o, double v) { o.reasenberg.tau_max_days = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.reasenberg.tau_max_days; }},
    {"p1", "reasenberg",
     "probability of seeing the cluster's next event within the look-ahead time (default 0.99)",
     1e-6, 1.0 - 1e-6, [](DeclusterOptions& o, double v) { o.reasenberg.p1 = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.reasenberg.p1; }},
    {"xk", "reasenberg",
     "share of the cluster's largest magnitude added to the cut-off within a cluster "
     "(default 0.5)",
     0.0, 0.99, [](DeclusterOptions& o, double v) { o.reasenberg.xk = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.reasenberg.xk; }},
    {"xmeff", "reasenberg",
     "effective magnitude cut-off (default the completeness magnitude, else the lowest magnitude)",
     -10.0, 100.0, [](DeclusterOptions& o, double v) { o.reasenberg.xmeff = v; },
     [](const DeclusterOptions& o) { return o.reasenberg.xmeff; }},
    {"rfact", "reasenberg", "interaction zone in source radii (default 10)", 1e-3, 1e4,
     [](DeclusterOptions& o, double v) { o.reasenberg.rfact = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.reasenberg.rfact; }},
    {"crust_km", "reasenberg", "longest interaction distance in km (default 30)", 1e-3, 1e5,
     [](DeclusterOptions& o, double v) { o.reasenberg.crust_km = v; },
     [](const DeclusterOptions& o) -> std::optional<double> { return o.reasenberg.crust_km; }},
}};

std::string Lowered(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool HasAlias(std::string_view aliases, std::string_view name) {
  while (!aliases.empty()) {
    const std::size_t blank = std::min(aliases.find(' '), aliases.size());
    if (aliases.substr(0, blank) == name) return true;
    aliases.remove_prefix(std::min(blank + 1, aliases.size()));
  }
  return false;
}

std::string Shown(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

void Check(bool good, const std::string& what, double value) {
  if (!good) throw Error("declustering: " + what + ", not " + Shown(value));
}

}  // namespace

std::span<const DeclusterMethodInfo> DeclusterMethods() { return kMethods; }

const DeclusterMethodInfo& DeclusterMethodOf(DeclusterMethod method) {
  for (const DeclusterMethodInfo& m : kMethods) {
    if (m.method == method) return m;
  }
  throw Error("declustering: unknown method " + std::to_string(static_cast<int>(method)));
}

std::optional<DeclusterMethod> FindDeclusterMethod(std::string_view name) {
  const std::string n = Lowered(name);
  for (const DeclusterMethodInfo& m : kMethods) {
    if (m.name == n || HasAlias(m.aliases, n)) return m.method;
  }
  return std::nullopt;
}

DeclusterMethod ParseDeclusterMethod(std::string_view name, const std::string& what) {
  if (const auto method = FindDeclusterMethod(name)) return *method;
  throw ReadingError(what, 0, std::string(name),
                     "a declustering method: " + DeclusterMethodNames());
}

std::string DeclusterMethodNames(std::string_view last) {
  std::string names;
  for (std::size_t i = 0; i < kMethods.size(); ++i) {
    if (i > 0) names += i + 1 == kMethods.size() ? std::string(last) : (last == "|" ? "|" : ", ");
    names += kMethods[i].name;
  }
  return names;
}

std::span<const DeclusterParameterInfo> DeclusterParameters() { return kParameters; }

void SetDeclusterParameter(DeclusterOptions& options, std::string_view key, double value,
                           const std::string& what) {
  // The parameters' rows of the settings table (the method's row is no parameter).
  const OptionsRow<DeclusterOptions>* row = FindOption(DeclusterSettings(), key);
  if (row == nullptr || row->type != SettingType::Number) {
    std::string keys;
    for (const DeclusterParameterInfo& p : kParameters) {
      keys += (keys.empty() ? "" : ", ") + std::string(p.key);
    }
    throw ReadingError(what, 0, std::string(key), "a declustering parameter: one of " + keys);
  }
  try {
    SetOption(options, *row, value);
  } catch (const InvalidSetting& e) {
    throw ReadingError(what, 0, Shown(value),
                       "for '" + std::string(key) + "' " + e.expected() + " (" +
                           std::string(row->description) + ")");
  }
}

void Validate(const DeclusterOptions& options) {
  // The ranges of the rows (those the job files and options take), then what
  // the parameters must be together.
  ValidateRows(options, DeclusterSettings());
  if (!(options.foreshock_fraction >= 0.0 && options.foreshock_fraction <= 1.0)) {
    throw Error("the foreshock window must be a fraction 0..1 of the aftershock window, not " +
                std::to_string(options.foreshock_fraction));
  }
  const ReasenbergParameters& r = options.reasenberg;
  Check(r.tau_min_days > 0.0 && std::isfinite(r.tau_min_days),
        "the shortest look-ahead time must be above 0 days", r.tau_min_days);
  Check(r.tau_max_days >= r.tau_min_days && std::isfinite(r.tau_max_days),
        "the longest look-ahead time must be at least the shortest", r.tau_max_days);
  Check(r.p1 > 0.0 && r.p1 < 1.0, "p1 must be a probability between 0 and 1", r.p1);
  Check(r.xk >= 0.0 && r.xk < 1.0, "xk must be a share from 0 to below 1", r.xk);
  Check(!r.xmeff || std::isfinite(*r.xmeff), "xmeff must be a magnitude", r.xmeff.value_or(0.0));
  Check(r.rfact > 0.0 && std::isfinite(r.rfact), "rfact must be above 0", r.rfact);
  Check(r.crust_km > 0.0, "the longest interaction distance must be above 0 km", r.crust_km);
}

DeclusterResult Decluster(const EventTable& events, const DeclusterOptions& options) {
  return DeclusterMethodOf(options.method).run(events, options);
}

DeclusterResult DeclusterAllPairs(const EventTable& events, const DeclusterOptions& options) {
  return DeclusterMethodOf(options.method).all_pairs(events, options);
}

std::size_t DeclusterResult::removed_total() const {
  std::size_t total = 0;
  for (std::size_t r : removed) total += r;
  return total;
}

double DistanceKm(double longitude1, double latitude1, double longitude2, double latitude2) {
  const double phi1 = latitude1 * kDegree;
  const double phi2 = latitude2 * kDegree;
  const double s_phi = std::sin((phi2 - phi1) / 2.0);
  const double s_lambda = std::sin((longitude2 - longitude1) * kDegree / 2.0);
  const double a = s_phi * s_phi + std::cos(phi1) * std::cos(phi2) * s_lambda * s_lambda;
  return 2.0 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(a)));
}

namespace declustering_detail {

namespace {
// Cell size of the grid, in degrees: about the largest distance window, but
// at least kSmallestCell so that the grid stays small.
constexpr double kSmallestCell = 0.25;
constexpr double kLargestCell = 30.0;
}  // namespace

std::vector<double> DaysOf(const EventTable& events) {
  std::vector<double> days(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) days[i] = events.days(i);
  return days;
}

DeclusterResult Finish(const std::vector<double>& days, std::vector<std::size_t>&& mainshock_of) {
  DeclusterResult result;
  const std::size_t n = mainshock_of.size();
  std::vector<std::size_t> claimed(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    if (mainshock_of[i] == i) {
      result.mainshocks.push_back(i);
    } else {
      ++claimed[mainshock_of[i]];
    }
  }
  std::stable_sort(result.mainshocks.begin(), result.mainshocks.end(),
                   [&](std::size_t a, std::size_t b) { return days[a] < days[b]; });
  for (std::size_t m : result.mainshocks) result.removed.push_back(claimed[m]);
  result.mainshock_of = std::move(mainshock_of);
  return result;
}

Grid::Grid(const EventTable& events, const std::vector<double>& days, double largest_km) {
  cell_ = std::clamp(largest_km / kKmPerDegree, kSmallestCell, kLargestCell);
  rows_ = static_cast<std::size_t>(std::ceil(180.0 / cell_));
  columns_ = static_cast<std::size_t>(std::ceil(360.0 / cell_));
  const std::size_t n = events.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return days[a] < days[b]; });
  std::vector<std::uint32_t> cell_of(n);
  start_.assign(rows_ * columns_ + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    cell_of[i] = static_cast<std::uint32_t>(Row(events.latitude[i]) * columns_ +
                                            Column(events.longitude[i]));
    ++start_[cell_of[i] + 1];
  }
  std::partial_sum(start_.begin(), start_.end(), start_.begin());
  std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
  members_.resize(n);
  member_days_.resize(n);
  for (std::size_t i : order) {
    const std::size_t slot = next[cell_of[i]]++;
    members_[slot] = i;
    member_days_[slot] = days[i];
  }
}

std::size_t Grid::Row(double latitude) const {
  const auto r = static_cast<std::ptrdiff_t>(std::floor((latitude + 90.0) / cell_));
  return static_cast<std::size_t>(
      std::clamp<std::ptrdiff_t>(r, 0, static_cast<std::ptrdiff_t>(rows_) - 1));
}

std::size_t Grid::Column(double longitude) const {
  double x = std::fmod(longitude + 180.0, 360.0);
  if (x < 0.0) x += 360.0;
  const auto c = static_cast<std::size_t>(std::floor(x / cell_));
  return std::min(c, columns_ - 1);
}

}  // namespace declustering_detail

}  // namespace qev
