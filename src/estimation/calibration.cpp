#include "qev/calibration.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <thread>

#include "qev/errors.h"

namespace qev {

namespace {

constexpr std::int32_t kFewestReplicates = 20;
constexpr double kBFromBeta = 0.4342944819032518;  // log10(e)
constexpr double kTwoPi = 6.283185307179586;
// Simulated magnitudes are written in hundredths; the engine truncates them,
// so each is lifted by a small fraction of a hundredth to keep its own.
constexpr double kHundredthLift = 0.0004;
// More failed or unsettled replicates than this share flag the result.
constexpr double kTroubledShare = 0.10;
// log of the rate taken for magnitudes at or above a law's Mmax.
constexpr double kFloorLogRate = -69.0;
// A corrected Mmax must lie this far above Mmin to be simulated from.
constexpr double kSmallestMmaxSpan = 0.05;
// The mean re-estimate must move by at least this share of the step between
// the fitted and the corrected law, or the bias is taken to change too fast
// with the law for the intervals to hold.
constexpr double kSteadyBias = 0.7;
// Mixed into the seed of the second stage.
constexpr std::uint64_t kStageTwoSeed = 0x5DEECE66Dull;

// xoshiro256** seeded through SplitMix64: independent streams per replicate.
class Stream {
 public:
  explicit Stream(std::uint64_t seed) {
    for (std::uint64_t& word : s_) word = SplitMix(seed);
  }
  std::uint64_t Next() {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  // Uniform on (0, 1).
  double Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) * 0x1.0p-53; }
  double Exponential(double mean) { return -mean * std::log(Uniform()); }
  double Normal() {
    if (spare_) {
      const double value = *spare_;
      spare_.reset();
      return value;
    }
    const double radius = std::sqrt(-2.0 * std::log(Uniform()));
    const double angle = kTwoPi * Uniform();
    spare_ = radius * std::sin(angle);
    return radius * std::cos(angle);
  }
  static std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t s_[4] = {};
  std::optional<double> spare_;
};

struct TrueEvent {
  double time = 0.0;
  double magnitude = 0.0;
};

// The SDs of a part's rows, drawn with the rows' frequencies as weights.
class SdPool {
 public:
  explicit SdPool(const CompletePart& part) {
    double total = 0.0;
    for (const MagnitudeRow& row : part.rows) {
      if (row.frequency <= 0) continue;
      total += row.frequency;
      sds_.push_back(row.sd);
      cumulative_.push_back(total);
    }
    if (sds_.empty()) {
      sds_.push_back(part.sd);
      cumulative_.push_back(1.0);
    }
  }
  double Draw(Stream& random) const {
    const double u = random.Uniform() * cumulative_.back();
    const auto at = std::upper_bound(cumulative_.begin(), cumulative_.end(), u);
    return sds_[std::min<std::size_t>(static_cast<std::size_t>(at - cumulative_.begin()),
                                      sds_.size() - 1)];
  }

 private:
  std::vector<double> sds_;
  std::vector<double> cumulative_;
};

float Apparent(double magnitude, double sd, Stream& random) {
  const double observed = magnitude + sd * random.Normal();
  return static_cast<float>(std::round(observed * 100.0) / 100.0 + kHundredthLift);
}

std::vector<TrueEvent> DrawHistory(const Catalog& design, const SimulationLaw& law,
                                   Stream& random) {
  double first = 1e300;
  double last = -1e300;
  if (design.extreme) {
    first = std::min<double>(first, design.extreme->start);
    last = std::max<double>(last, design.extreme->end);
  }
  for (const CompletePart& part : design.complete) {
    first = std::min<double>(first, part.start);
    last = std::max<double>(last, part.end);
  }
  std::vector<TrueEvent> history;
  if (!(last > first)) return history;
  const double spread = 1.0 - std::exp(-law.beta * (law.mmax - law.mmin));
  history.reserve(static_cast<std::size_t>(law.lambda * (last - first) * 1.1) + 16);
  for (double t = first + random.Exponential(1.0 / law.lambda); t < last;
       t += random.Exponential(1.0 / law.lambda)) {
    const double m = law.mmin - std::log(1.0 - random.Uniform() * spread) / law.beta;
    history.push_back({t, std::min(m, law.mmax)});
  }
  return history;
}

CompletePart SimulatePart(const CompletePart& design, const std::vector<TrueEvent>& history,
                          Stream& random) {
  CompletePart part;
  part.start = design.start;
  part.end = design.end;
  part.threshold = design.threshold;
  part.sd = design.sd;
  const SdPool pool(design);
  const auto from =
      std::lower_bound(history.begin(), history.end(), static_cast<double>(design.start),
                       [](const TrueEvent& event, double time) { return event.time < time; });
  for (auto event = from; event != history.end() && event->time < design.end; ++event) {
    const double sd = pool.Draw(random);
    const float m = Apparent(event->magnitude, sd, random);
    if (m + 0.005f >= design.threshold) part.rows.push_back({m, static_cast<float>(sd), 1});
  }
  return part;
}

ExtremePart SimulateExtreme(const ExtremePart& design, const std::vector<TrueEvent>& history,
                            Stream& random) {
  ExtremePart part;
  part.start = design.start;
  part.end = design.end;
  if (design.events.empty()) return part;
  float level = design.events.front().magnitude;
  for (const ExtremeEvent& event : design.events) level = std::min(level, event.magnitude);
  auto next =
      std::lower_bound(history.begin(), history.end(), static_cast<double>(design.start),
                       [](const TrueEvent& event, double time) { return event.time < time; });
  for (std::size_t k = 0; k < design.events.size(); ++k) {
    const ExtremeEvent& observed = design.events[k];
    const bool last = k + 1 == design.events.size();
    const double windowEnd = last ? static_cast<double>(design.end) : observed.time;
    float best = -1e30f;
    for (; next != history.end() && next->time < windowEnd; ++next) {
      best = std::max(best, Apparent(next->magnitude, observed.sd, random));
    }
    if (best + 0.005f >= level) part.events.push_back({observed.time, best, observed.sd});
  }
  return part;
}

void CheckLaw(const SimulationLaw& law) {
  const bool finite = std::isfinite(law.beta) && std::isfinite(law.lambda) &&
                      std::isfinite(law.mmin) && std::isfinite(law.mmax);
  if (!finite || !(law.beta > 0.0) || !(law.lambda > 0.0) || !(law.mmax > law.mmin)) {
    throw InvalidOptions(
        "a catalog can be simulated only from a law with positive Beta and "
        "Lambda and Mmax above Mmin");
  }
}

// What one replicate gives.
struct Replicate {
  bool ok = false;
  bool settled = true;
  double b = 0.0;
  double lambda = 0.0;
  double mmax = 0.0;
  std::vector<double> log_rates;
};

double LogRate(const SimulationLaw& law, double m) {
  if (m <= law.mmin) return std::log(law.lambda);
  if (m >= law.mmax) return kFloorLogRate;
  const double above = (std::exp(-law.beta * m) - std::exp(-law.beta * law.mmax)) /
                       (std::exp(-law.beta * law.mmin) - std::exp(-law.beta * law.mmax));
  return std::max(kFloorLogRate, std::log(law.lambda * above));
}

Replicate RunReplicate(const Catalog& catalog, const AnalysisOptions& options,
                       const SimulationLaw& law, const std::vector<float>& magnitudes,
                       std::uint64_t seed) {
  Replicate replicate;
  try {
    AnalysisOptions simulated = options;
    simulated.xmax.reset();  // the simulated catalog's own largest event
    const AnalysisResult r = Analyze(SimulateCatalog(catalog, law, seed), simulated);
    replicate.ok = std::isfinite(r.beta) && std::isfinite(r.lambda) && std::isfinite(r.mmax);
    replicate.settled = options.procedure == MmaxProcedure::None || r.mmax_converged;
    replicate.b = kBFromBeta * r.beta;
    replicate.lambda = r.lambda;
    replicate.mmax = r.mmax;
    const SimulationLaw refit{r.beta, r.lambda, law.mmin, r.mmax};
    for (float m : magnitudes) replicate.log_rates.push_back(LogRate(refit, m));
  } catch (const Error&) {
    replicate.ok = false;
  }
  return replicate;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const double position = p * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double fraction = position - static_cast<double>(below);
  return values[below] + fraction * (values[above] - values[below]);
}

// Mean and variance of a sample.
struct Moments {
  double mean = 0.0;
  double variance = 0.0;
  double count = 0.0;
};
Moments MomentsOf(const std::vector<double>& values) {
  Moments m;
  m.count = static_cast<double>(values.size());
  if (values.empty()) return m;
  m.mean = std::accumulate(values.begin(), values.end(), 0.0) / m.count;
  for (double x : values) m.variance += (x - m.mean) * (x - m.mean);
  m.variance /= std::max(1.0, m.count - 1.0);
  return m;
}

// The estimate corrected by the bias the replicates show at the corrected
// law (drawn with the quantity at `centre`), and the basic intervals of their
// deviations from their mean.
CalibratedValue Summarise(double estimate, double centre, const std::vector<double>& draws) {
  const Moments second = MomentsOf(draws);
  CalibratedValue v;
  v.estimate = estimate;
  v.corrected = estimate - (second.mean - centre);
  v.bias = estimate - v.corrected;
  v.sd = std::sqrt(second.variance);
  std::vector<double> deviations;
  deviations.reserve(draws.size());
  for (double x : draws) deviations.push_back(x - second.mean);
  v.lower68 = v.corrected - Percentile(deviations, 0.8413);
  v.upper68 = v.corrected - Percentile(deviations, 0.1587);
  v.lower95 = v.corrected - Percentile(deviations, 0.975);
  v.upper95 = v.corrected - Percentile(deviations, 0.025);
  return v;
}

double Mean(const std::vector<Replicate>& replicates, double Replicate::*field) {
  double sum = 0.0;
  double n = 0.0;
  for (const Replicate& r : replicates) {
    if (!r.ok) continue;
    sum += r.*field;
    n += 1.0;
  }
  return n > 0.0 ? sum / n : std::nan("");
}

std::vector<Replicate> RunReplicates(const Catalog& catalog, const AnalysisOptions& options,
                                     const SimulationLaw& law, const BootstrapOptions& bootstrap,
                                     std::int32_t count, std::uint64_t seed) {
  std::vector<Replicate> replicates(static_cast<std::size_t>(count));
  std::uint64_t state = seed;
  std::vector<std::uint64_t> seeds;
  for (std::size_t i = 0; i < replicates.size(); ++i) seeds.push_back(Stream::SplitMix(state));
  const std::size_t threads =
      std::min<std::size_t>(static_cast<std::size_t>(bootstrap.threads), replicates.size());
  auto work = [&](std::size_t first) {
    for (std::size_t i = first; i < replicates.size(); i += threads) {
      replicates[i] = RunReplicate(catalog, options, law, bootstrap.hazard_magnitudes, seeds[i]);
    }
  };
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& thread : pool) thread.join();
  return replicates;
}

void Flag(CalibratedIntervals& result, const std::string& why) {
  result.calibrated = false;
  if (!result.warning.empty()) result.warning += "; ";
  result.warning += why;
}

// Says where the intervals cannot be trusted (see CalibratedIntervals).
void FlagTroubles(const AnalysisOptions& options, const AnalysisResult& fit,
                  const SimulationLaw& law, const std::vector<Replicate>& stage1,
                  std::int32_t drawn, CalibratedIntervals& result) {
  const auto stage1Count = static_cast<double>(stage1.size());
  const double largest = fit.settings.xmax;
  if (options.procedure != MmaxProcedure::None && fit.mmax - largest > kMmaxFarAboveLargest) {
    Flag(result,
         "Mmax lies more than 1 above the largest observed magnitude: the catalog hardly "
         "bounds it and its interval is not calibrated");
  }
  // Where the bias changes fast with the law, the corrected estimate scatters
  // more than the re-estimates do and the intervals come out too narrow.
  const struct {
    const char* name;
    double estimate, centre, first, second, sd;
  } moved[] = {{"b", kBFromBeta * fit.beta, kBFromBeta * law.beta, Mean(stage1, &Replicate::b),
                result.b.corrected, result.b.sd},
               {"Lambda", fit.lambda, law.lambda, Mean(stage1, &Replicate::lambda),
                result.lambda.corrected, result.lambda.sd},
               {"Mmax", fit.mmax, law.mmax, Mean(stage1, &Replicate::mmax), result.mmax.corrected,
                result.mmax.sd}};
  const double noise = std::sqrt(1.0 / stage1Count + 1.0 / static_cast<double>(result.replicates));
  for (const auto& q : moved) {
    const double step = q.centre - q.estimate;
    if (std::fabs(step) <= 2.0 * noise * q.sd) continue;  // too small a step to measure
    const double change =
        (q.centre + (q.estimate - q.second)) - q.first;  // stage 2 mean - stage 1 mean
    if (change / step < kSteadyBias) {
      Flag(result, std::string("the bias of ") + q.name +
                       " changes fast with the law: its intervals are narrower than the scatter "
                       "of the corrected estimate");
    }
  }
  if (result.unsettled_share > kTroubledShare) {
    Flag(result, "the Mmax procedure did not settle in " +
                     std::to_string(static_cast<int>(std::lround(100.0 * result.unsettled_share))) +
                     " % of the simulated catalogs");
  }
  if (static_cast<double>(result.failed) > kTroubledShare * static_cast<double>(drawn)) {
    Flag(result, std::to_string(result.failed) + " of " + std::to_string(drawn) +
                     " simulated catalogs gave no estimate");
  }
}

}  // namespace

Catalog SimulateCatalog(const Catalog& design, const SimulationLaw& law, std::uint64_t seed) {
  CheckLaw(law);
  Stream random(seed);
  const std::vector<TrueEvent> history = DrawHistory(design, law, random);
  Catalog catalog;
  if (design.extreme) catalog.extreme = SimulateExtreme(*design.extreme, history, random);
  for (const CompletePart& part : design.complete) {
    catalog.complete.push_back(SimulatePart(part, history, random));
  }
  return catalog;
}

CalibratedIntervals BootstrapIntervals(const Catalog& catalog, const AnalysisOptions& options,
                                       const AnalysisResult& fit,
                                       const BootstrapOptions& bootstrap) {
  if (bootstrap.replicates < kFewestReplicates) {
    throw InvalidOptions("the bootstrap needs at least " + std::to_string(kFewestReplicates) +
                         " replicates, " + std::to_string(bootstrap.replicates) + " were asked");
  }
  if (bootstrap.threads < 1) throw InvalidOptions("the bootstrap needs at least one thread");
  const SimulationLaw fitted{fit.beta, fit.lambda, fit.settings.mmin, fit.mmax};
  CheckLaw(fitted);
  // Stage 1: the bias at the fitted law gives a first corrected law.
  const std::int32_t first = std::max(kFewestReplicates, bootstrap.replicates / 2);
  const std::vector<Replicate> stage1 =
      RunReplicates(catalog, options, fitted, bootstrap, first, bootstrap.seed);
  SimulationLaw law = fitted;
  if (std::any_of(stage1.begin(), stage1.end(), [](const Replicate& r) { return r.ok; })) {
    const double b1 = 2.0 * kBFromBeta * fit.beta - Mean(stage1, &Replicate::b);
    const double lambda1 = 2.0 * fit.lambda - Mean(stage1, &Replicate::lambda);
    const double mmax1 = 2.0 * fit.mmax - Mean(stage1, &Replicate::mmax);
    // A corrected value outside the law's range keeps the fitted one.
    if (b1 > 0.0) law.beta = b1 / kBFromBeta;
    if (lambda1 > 0.0) law.lambda = lambda1;
    if (mmax1 > law.mmin + kSmallestMmaxSpan) law.mmax = mmax1;
  }
  // Stage 2: the errors of the estimates at the corrected law.
  const std::vector<Replicate> replicates = RunReplicates(
      catalog, options, law, bootstrap, bootstrap.replicates, bootstrap.seed ^ kStageTwoSeed);

  CalibratedIntervals result;
  std::vector<double> b;
  std::vector<double> lambda;
  std::vector<double> mmax;
  std::vector<std::vector<double>> rates(bootstrap.hazard_magnitudes.size());
  std::int32_t unsettled = 0;
  for (const Replicate& r : replicates) {
    if (!r.ok) {
      ++result.failed;
      continue;
    }
    unsettled += r.settled ? 0 : 1;
    b.push_back(r.b);
    lambda.push_back(r.lambda);
    mmax.push_back(r.mmax);
    for (std::size_t j = 0; j < rates.size(); ++j) rates[j].push_back(r.log_rates[j]);
  }
  result.replicates = static_cast<std::int32_t>(b.size());
  if (b.size() < static_cast<std::size_t>(kFewestReplicates)) {
    throw NoEstimate("only " + std::to_string(b.size()) + " of " +
                     std::to_string(replicates.size()) +
                     " simulated catalogs could be analysed: no bootstrap intervals");
  }
  result.unsettled_share = static_cast<double>(unsettled) / static_cast<double>(b.size());
  result.b = Summarise(kBFromBeta * fit.beta, kBFromBeta * law.beta, b);
  result.lambda = Summarise(fit.lambda, law.lambda, lambda);
  result.mmax = Summarise(fit.mmax, law.mmax, mmax);
  for (std::size_t j = 0; j < rates.size(); ++j) {
    const double m = bootstrap.hazard_magnitudes[j];
    const CalibratedValue v = Summarise(LogRate(fitted, m), LogRate(law, m), rates[j]);
    result.hazard.push_back({m, std::exp(v.estimate), std::exp(v.corrected), std::exp(v.lower68),
                             std::exp(v.upper68), std::exp(v.lower95), std::exp(v.upper95)});
  }
  FlagTroubles(options, fit, law, stage1, static_cast<std::int32_t>(replicates.size()), result);
  return result;
}

}  // namespace qev
