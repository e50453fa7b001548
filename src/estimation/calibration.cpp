#include "qev/calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <string_view>
#include <thread>

#include "estimation/random_stream.h"
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

// The engine's generator (random_stream.h) with the draws the simulation needs.
class Stream {
 public:
  explicit Stream(std::uint64_t seed) { detail::SeedXoshiro(s_, seed); }
  std::uint64_t Next() { return detail::NextXoshiro(s_); }
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

 private:
  std::uint64_t s_[4] = {};
  std::optional<double> spare_;
};

// An event of the history with the draws of its observation: the uniform
// that picks its SD from a part's pool and its standard normal error. Every
// candidate event takes the same number of draws, kept or not, so that the
// same seed gives laws near each other catalogs that differ only where the
// laws do (common random numbers).
struct TrueEvent {
  double time = 0.0;
  double magnitude = 0.0;
  double sd_pick = 0.0;
  double error = 0.0;
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
  double Draw(double pick) const {
    const double u = pick * cumulative_.back();
    const auto at = std::upper_bound(cumulative_.begin(), cumulative_.end(), u);
    return sds_[std::min<std::size_t>(static_cast<std::size_t>(at - cumulative_.begin()),
                                      sds_.size() - 1)];
  }

 private:
  std::vector<double> sds_;
  std::vector<double> cumulative_;
};

float Apparent(double magnitude, double sd, double error) {
  const double observed = magnitude + sd * error;
  return static_cast<float>(std::round(observed * 100.0) / 100.0 + kHundredthLift);
}

// The history drawn as a Poisson process of rate `envelope` (at least the
// law's Lambda) thinned to Lambda: each candidate is kept with probability
// Lambda / envelope, so that two laws drawn with one seed and one envelope
// share the events their rates have in common.
std::vector<TrueEvent> DrawHistory(const Catalog& design, const SimulationLaw& law, double envelope,
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
  const double kept = law.lambda / envelope;
  history.reserve(static_cast<std::size_t>(law.lambda * (last - first) * 1.1) + 16);
  for (double t = first + random.Exponential(1.0 / envelope); t < last;
       t += random.Exponential(1.0 / envelope)) {
    const double keep = random.Uniform();
    const double m = law.mmin - std::log(1.0 - random.Uniform() * spread) / law.beta;
    const double pick = random.Uniform();
    const double error = random.Normal();
    if (keep < kept) history.push_back({t, std::min(m, law.mmax), pick, error});
  }
  return history;
}

CompletePart SimulatePart(const CompletePart& design, const std::vector<TrueEvent>& history) {
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
    const double sd = pool.Draw(event->sd_pick);
    const float m = Apparent(event->magnitude, sd, event->error);
    if (m + 0.005f >= design.threshold) part.rows.push_back({m, static_cast<float>(sd), 1});
  }
  return part;
}

ExtremePart SimulateExtreme(const ExtremePart& design, const std::vector<TrueEvent>& history) {
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
      best = std::max(best, Apparent(next->magnitude, observed.sd, next->error));
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

// SimulateCatalog with the history thinned from a Poisson process of rate
// `envelope` (raised to the law's Lambda when below it).
Catalog SimulateCoupled(const Catalog& design, const SimulationLaw& law, std::uint64_t seed,
                        double envelope) {
  CheckLaw(law);
  Stream random(seed);
  const double rate = std::isfinite(envelope) ? std::max(envelope, law.lambda) : law.lambda;
  const std::vector<TrueEvent> history = DrawHistory(design, law, rate, random);
  Catalog catalog;
  if (design.extreme) catalog.extreme = SimulateExtreme(*design.extreme, history);
  for (const CompletePart& part : design.complete) {
    catalog.complete.push_back(SimulatePart(part, history));
  }
  return catalog;
}

using Replicate = BootstrapReplicate;

double LogRate(const SimulationLaw& law, double m) {
  if (m <= law.mmin) return std::log(law.lambda);
  if (m >= law.mmax) return kFloorLogRate;
  const double above = (std::exp(-law.beta * m) - std::exp(-law.beta * law.mmax)) /
                       (std::exp(-law.beta * law.mmin) - std::exp(-law.beta * law.mmax));
  return std::max(kFloorLogRate, std::log(law.lambda * above));
}

Replicate RunReplicate(const Catalog& catalog, const AnalysisOptions& options,
                       const SimulationLaw& law, double envelope,
                       const std::vector<float>& magnitudes, std::uint64_t seed) {
  Replicate replicate;
  try {
    AnalysisOptions simulated = options;
    simulated.xmax.reset();  // the simulated catalog's own largest event
    const AnalysisResult r = Analyze(SimulateCoupled(catalog, law, seed, envelope), simulated);
    replicate.ok = std::isfinite(r.beta) && std::isfinite(r.lambda) && std::isfinite(r.mmax);
    replicate.settled = options.procedure == MmaxProcedure::None || r.mmax_converged;
    replicate.b = kBFromBeta * r.beta;
    replicate.sd_b = kBFromBeta * r.uncertainties.sd_beta;
    replicate.lambda = r.lambda;
    replicate.sd_lambda = r.uncertainties.sd_lambda;
    replicate.mmax = r.mmax;
    replicate.sd_mmax = r.uncertainties.sd_mmax;
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

// The slopes of the inverted intervals are held within these bounds; beyond
// them the estimate hardly follows the truth (or overshoots it) and the
// result is flagged.
constexpr double kFlattestSlope = 0.25;
constexpr double kSteepestSlope = 2.0;
// Below this slope the estimate follows its truth by less than half (with
// little data the prior on b and the other quantities' errors carry it): the
// intervals are built, but the result is flagged.
constexpr double kFollowsTruth = 0.5;
// The growth of the spread with the law, times the farthest a bound's
// deviation or the middle lies from the corrected law, is held below this.
constexpr double kMostSpreadGrowth = 0.5;
// Standard errors by which stage 1's mean may miss the linear model's.
constexpr double kLinearCheck = 3.0;

// One quantity of the replicates: its value and reported SD.
struct Field {
  double Replicate::*value;
  double Replicate::*sd;
};

// The studentized errors t = (re-estimate - the law's value) / reported SD of
// the replicates of one stage; those without a finite positive SD are left
// out.
void AddStudentized(const std::vector<Replicate>& stage, double centre, Field field,
                    std::vector<double>& t) {
  for (const Replicate& r : stage) {
    const double sd = r.*field.sd;
    if (!r.ok || !(sd > 0.0) || !std::isfinite(sd)) continue;
    t.push_back((r.*field.value - centre) / sd);
  }
}

// Bootstrap-t bounds (Efron and Tibshirani 1993, ch. 12): the estimate
// less the upper and lower percentiles of t times the data's reported SD.
// False, leaving `v` as it was, when the data's SD is not finite and
// positive or too few replicates gave a t.
bool Studentize(double reported_sd, const std::vector<double>& t, CalibratedValue& v) {
  if (!(reported_sd > 0.0) || !std::isfinite(reported_sd) ||
      t.size() < static_cast<std::size_t>(kFewestReplicates)) {
    return false;
  }
  v.lower68 = v.estimate - Percentile(t, 0.8413) * reported_sd;
  v.upper68 = v.estimate - Percentile(t, 0.1587) * reported_sd;
  v.lower95 = v.estimate - Percentile(t, 0.975) * reported_sd;
  v.upper95 = v.estimate - Percentile(t, 0.025) * reported_sd;
  return true;
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

// `count` replicates from `law`, the i-th drawn with the i-th SplitMix64
// output of `seed` (so that the first n of a longer run are those of a
// shorter one) and candidate events at rate `envelope`.
// The SD of a field over the replicates that gave an estimate (NaN for
// fewer than two).
double SdOf(const std::vector<Replicate>& replicates, double Replicate::*field) {
  std::vector<double> values;
  for (const Replicate& r : replicates) {
    if (r.ok) values.push_back(r.*field);
  }
  return values.size() < 2 ? std::nan("") : std::sqrt(MomentsOf(values).variance);
}

std::vector<Replicate> RunReplicates(const Catalog& catalog, const AnalysisOptions& options,
                                     const SimulationLaw& law, double envelope,
                                     const BootstrapOptions& bootstrap, std::int32_t count,
                                     std::uint64_t seed) {
  std::vector<Replicate> replicates(static_cast<std::size_t>(count));
  std::uint64_t state = seed;
  std::vector<std::uint64_t> seeds;
  for (std::size_t i = 0; i < replicates.size(); ++i) seeds.push_back(detail::SplitMix64(state));
  const std::size_t threads =
      std::min<std::size_t>(static_cast<std::size_t>(bootstrap.threads), replicates.size());
  // A raised cancellation flag ends every thread at its next replicate.
  const auto cancelled = [&] { return options.cancel != nullptr && options.cancel->load(); };
  auto work = [&](std::size_t first) {
    for (std::size_t i = first; i < replicates.size() && !cancelled(); i += threads) {
      replicates[i] =
          RunReplicate(catalog, options, law, envelope, bootstrap.hazard_magnitudes, seeds[i]);
    }
  };
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& thread : pool) thread.join();
  if (cancelled()) throw Cancelled();
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
                  std::int32_t drawn, bool fast_bias, CalibratedIntervals& result) {
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
    if (!fast_bias) break;  // the inverted intervals follow the bias's change
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

// The quantities of a replicate and of a law, in the order b, Lambda, Mmax.
constexpr double Replicate::*kFields[3] = {&Replicate::b, &Replicate::lambda, &Replicate::mmax};
const char* const kNames[3] = {"b", "Lambda", "Mmax"};
using Vector = std::array<double, 3>;
using Matrix = std::array<Vector, 3>;

Vector LawValues(const SimulationLaw& law) { return {kBFromBeta * law.beta, law.lambda, law.mmax}; }

// The inverse of the leading n x n block of `m` (n = 2 or 3) by cofactors;
// false when it is singular.
bool Inverse(const Matrix& m, std::size_t n, Matrix& inverse) {
  inverse = {};
  if (n == 2) {
    const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    if (!(std::fabs(det) > 0.0) || !std::isfinite(det)) return false;
    inverse[0] = {m[1][1] / det, -m[0][1] / det, 0.0};
    inverse[1] = {-m[1][0] / det, m[0][0] / det, 0.0};
    return true;
  }
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!(std::fabs(det) > 0.0) || !std::isfinite(det)) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) {
      const std::size_t r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      inverse[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
    }
  }
  return true;
}

Vector Times(const Matrix& m, const Vector& v, std::size_t n) {
  Vector out = {0.0, 0.0, 0.0};
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) out[i] += m[i][j] * v[j];
  }
  return out;
}

// The inversion works on b, the logarithm of Lambda and Mmax: Lambda's
// re-estimates spread in proportion to it (the rate above Mmin is carried
// down from the larger events by b), so that a mean moving linearly with the
// law and a spread that does not change hold better on that scale.
double Scaled(std::size_t q, double x) { return q == 1 ? std::log(x) : x; }
double Unscaled(std::size_t q, double y) { return q == 1 ? std::exp(y) : y; }

// The slope of the mean re-estimate of quantity p against the law's quantity
// q (on the scales above): the mean paired change from stage 2 to the stage
// with q moved, over the move. NaN without pairs.
double SlopeOf(const BootstrapSample& sample, std::size_t p, std::size_t q) {
  const std::vector<Replicate>& shifted = sample.shifted[q];
  const double law = LawValues(sample.corrected)[q];
  const double step = Scaled(q, law + sample.shifts[q]) - Scaled(q, law);
  double sum = 0.0;
  double n = 0.0;
  for (std::size_t i = 0; i < shifted.size() && i < sample.stage2.size(); ++i) {
    if (!shifted[i].ok || !sample.stage2[i].ok) continue;
    const double change =
        Scaled(p, shifted[i].*kFields[p]) - Scaled(p, sample.stage2[i].*kFields[p]);
    if (!std::isfinite(change)) continue;
    sum += change;
    n += 1.0;
  }
  return n > 0.0 ? sum / n / step : std::nan("");
}

// How the spread of the re-estimates of quantity q grows with the law's q
// (on the scales above): the SD of stage 3's re-estimates with q moved over
// the SD of the same seeds' re-estimates in stage 2, less one, per unit of
// the move. Zero without enough pairs or where the spreads are not finite.
double SpreadGrowth(const BootstrapSample& sample, std::size_t q) {
  const std::vector<Replicate>& shifted = sample.shifted[q];
  const double law = LawValues(sample.corrected)[q];
  const double step = Scaled(q, law + sample.shifts[q]) - Scaled(q, law);
  std::vector<double> moved;
  std::vector<double> kept;
  for (std::size_t i = 0; i < shifted.size() && i < sample.stage2.size(); ++i) {
    if (!shifted[i].ok || !sample.stage2[i].ok) continue;
    const double a = Scaled(q, shifted[i].*kFields[q]);
    const double b = Scaled(q, sample.stage2[i].*kFields[q]);
    if (!std::isfinite(a) || !std::isfinite(b)) continue;
    moved.push_back(a);
    kept.push_back(b);
  }
  if (moved.size() < 3 || !(step > 0.0)) return 0.0;
  auto sd = [](const std::vector<double>& x) {
    double mean = 0.0;
    for (double v : x) mean += v / static_cast<double>(x.size());
    double squares = 0.0;
    for (double v : x) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(x.size() - 1));
  };
  const double below = sd(kept);
  const double growth = (sd(moved) / below - 1.0) / step;
  return below > 0.0 && std::isfinite(growth) ? growth : 0.0;
}

// The slopes of the mean re-estimates against the law (column q: the law's
// quantity q moved), flagged and replaced by the clamped diagonal where an
// estimate hardly follows its own truth, overshoots it, or the matrix cannot
// be inverted.
void FlagSlope(CalibratedIntervals& result, std::size_t q, double own) {
  Flag(result, std::string("the estimate of ") + kNames[q] +
                   (std::isfinite(own)
                        ? " moves by " + std::to_string(own).substr(0, 5) + " per unit of the truth"
                        : " could not be followed as the law moved") +
                   ": its intervals are not calibrated");
}

// The diagonal of `slopes` held within the bounds, the rest zero.
Matrix ClampedDiagonal(const Matrix& slopes, std::size_t n) {
  Matrix out = {};
  for (std::size_t q = 0; q < n; ++q) {
    const double own = std::isfinite(slopes[q][q]) ? slopes[q][q] : 1.0;
    out[q][q] = std::clamp(own, kFlattestSlope, kSteepestSlope);
  }
  return out;
}

Matrix Slopes(const BootstrapSample& sample, std::size_t n, CalibratedIntervals& result) {
  Matrix slopes = {};
  bool diagonal = false;
  for (std::size_t q = 0; q < n; ++q) {
    for (std::size_t p = 0; p < n; ++p) {
      slopes[p][q] = SlopeOf(sample, p, q);
    }
    if (!(slopes[q][q] >= kFlattestSlope && slopes[q][q] <= kSteepestSlope)) {
      FlagSlope(result, q, slopes[q][q]);
      diagonal = true;
    } else if (slopes[q][q] < kFollowsTruth) {
      FlagSlope(result, q, slopes[q][q]);
    }
  }
  Matrix check;
  if (!diagonal && !Inverse(slopes, n, check)) {
    Flag(result, "the estimates do not follow the law apart: the intervals are not calibrated");
    diagonal = true;
  }
  return diagonal ? ClampedDiagonal(slopes, n) : slopes;
}

// The replicates' (b, log Lambda, Mmax) where all three are finite.
std::vector<Vector> ScaledDraws(const std::vector<Replicate>& replicates) {
  std::vector<Vector> draws;
  for (const Replicate& r : replicates) {
    if (!r.ok) continue;
    Vector x;
    for (std::size_t p = 0; p < 3; ++p) x[p] = Scaled(p, r.*kFields[p]);
    if (std::isfinite(x[0] + x[1] + x[2])) draws.push_back(x);
  }
  return draws;
}

Vector MeanOf(const std::vector<Vector>& draws) {
  Vector mean = {0.0, 0.0, 0.0};
  for (const Vector& x : draws) {
    for (std::size_t p = 0; p < 3; ++p) mean[p] += x[p] / static_cast<double>(draws.size());
  }
  return mean;
}

// A check of the linear model on stage 1, drawn from the fitted law: its mean
// re-estimate must lie where stage 2's mean plus the slopes times the step
// from the corrected to the fitted law puts it, within three standard errors
// of the difference of two independent means. Where it does not, the
// re-estimates do not move linearly with the law over the range the
// intervals span, and the result is flagged.
void CheckLinear(const BootstrapSample& sample, const Matrix& slopes, std::size_t n,
                 const std::vector<Vector>& second, CalibratedIntervals& result) {
  const std::vector<Vector> first = ScaledDraws(sample.stage1);
  if (first.size() < 2 || second.size() < 2) return;
  const Vector m1 = MeanOf(first);
  const Vector m2 = MeanOf(second);
  const Vector fitted = LawValues(sample.fitted);
  const Vector corrected = LawValues(sample.corrected);
  Vector step = {0.0, 0.0, 0.0};
  for (std::size_t q = 0; q < n; ++q) step[q] = Scaled(q, fitted[q]) - Scaled(q, corrected[q]);
  const Vector moved = Times(slopes, step, n);
  for (std::size_t p = 0; p < n; ++p) {
    double squares = 0.0;
    for (const Vector& x : second) squares += (x[p] - m2[p]) * (x[p] - m2[p]);
    const double variance = squares / static_cast<double>(second.size() - 1);
    const double se = std::sqrt(variance / static_cast<double>(first.size()) +
                                variance / static_cast<double>(second.size()));
    if (std::fabs(m1[p] - (m2[p] + moved[p])) > kLinearCheck * se) {
      Flag(result, std::string("the estimate of ") + kNames[p] +
                       " does not move with the law as its slope says: its intervals are not "
                       "calibrated");
    }
  }
}

// The inverted intervals (test inversion, Carpenter 1999, with the mean
// re-estimates taken as linear in the law near the corrected one, on the
// scales of Scaled): the law under which the estimate lies at a percentile
// of the re-estimates is the corrected law plus slopes^-1 (estimate - mean -
// deviation). Each stage 2
// replicate's deviation from the mean is carried back to the law's scale by
// slopes^-1, and the bounds of a quantity are the linear inversion of the
// estimate less the percentiles of those. With Mmax given (no procedure) only
// b and Lambda are inverted.
// Returns the laws of the test inversion, one per stage 2 replicate: the
// corrected law plus slopes^-1 (estimate - mean - deviation), whose spread
// gives the hazard band.
std::vector<SimulationLaw> InvertAll(const BootstrapSample& sample, bool mmax_estimated,
                                     const Vector& estimate, CalibratedIntervals& result) {
  const std::size_t n = mmax_estimated ? 3 : 2;
  const std::string flagged = result.warning;
  const Matrix slopes = Slopes(sample, n, result);
  Matrix inverse;
  Inverse(slopes, n, inverse);
  const std::vector<Vector> draws = ScaledDraws(sample.stage2);
  const Vector mean = MeanOf(draws);
  if (result.warning == flagged) CheckLinear(sample, slopes, n, draws, result);
  const Vector law = LawValues(sample.corrected);
  Vector offset = {0.0, 0.0, 0.0};
  for (std::size_t p = 0; p < n; ++p) offset[p] = Scaled(p, estimate[p]) - mean[p];
  const Vector centre = Times(inverse, offset, n);
  std::array<std::vector<double>, 3> carried;
  std::vector<SimulationLaw> laws;
  for (const Vector& x : draws) {
    Vector deviation = {0.0, 0.0, 0.0};
    for (std::size_t p = 0; p < n; ++p) deviation[p] = x[p] - mean[p];
    const Vector back = Times(inverse, deviation, n);
    for (std::size_t p = 0; p < n; ++p) carried[p].push_back(back[p]);
    SimulationLaw moved = sample.corrected;
    moved.beta = (kBFromBeta * moved.beta + centre[0] - back[0]) / kBFromBeta;
    moved.lambda = Unscaled(1, Scaled(1, moved.lambda) + centre[1] - back[1]);
    moved.mmax += centre[2] - back[2];
    laws.push_back(moved);
  }
  CalibratedValue* values[3] = {&result.b, &result.lambda, &result.mmax};
  for (std::size_t p = 0; p < n; ++p) {
    CalibratedValue& v = *values[p];
    const double at = Scaled(p, law[p]);
    const double middle = at + centre[p];
    // The law L at which the estimate lies at the percentile: the deviation
    // c there is stage 2's scaled by 1 + g (L - at), so that
    // L = middle - c (1 + g (middle - at)) / (1 + g c). With |g| at most
    // half the inverse of the largest |c| and of |middle - at| the bounds
    // keep their order and the scale stays within 1/3-3.
    double reach = std::fabs(middle - at);
    for (double q : {0.025, 0.975}) reach = std::max(reach, std::fabs(Percentile(carried[p], q)));
    const double most = reach > 0.0 ? kMostSpreadGrowth / reach : 0.0;
    const double g = std::clamp(SpreadGrowth(sample, p), -most, most);
    auto bound = [&](double percentile) {
      const double c = Percentile(carried[p], percentile);
      return Unscaled(p, middle - c * (1.0 + g * (middle - at)) / (1.0 + g * c));
    };
    v.lower68 = bound(0.8413);
    v.upper68 = bound(0.1587);
    v.lower95 = bound(0.975);
    v.upper95 = bound(0.025);
    v.sd = (v.upper68 - v.lower68) / 2.0;
  }
  return laws;
}

// The band of the logarithm of the annual rate above m over the laws of the
// test inversion: their percentiles, and the rate of their median law as the
// corrected value (laws that give no finite rate are left out).
CalibratedValue BandOfLaws(double estimate, const std::vector<SimulationLaw>& laws, double m) {
  std::vector<double> log_rates;
  log_rates.reserve(laws.size());
  for (const SimulationLaw& law : laws) {
    const double r = LogRate(law, m);
    if (std::isfinite(r)) log_rates.push_back(r);
  }
  CalibratedValue v;
  v.estimate = estimate;
  if (log_rates.empty()) {
    v.corrected = v.lower68 = v.upper68 = v.lower95 = v.upper95 = std::nan("");
    return v;
  }
  v.corrected = Percentile(log_rates, 0.5);
  v.bias = estimate - v.corrected;
  v.lower68 = Percentile(log_rates, 0.1587);
  v.upper68 = Percentile(log_rates, 0.8413);
  v.lower95 = Percentile(log_rates, 0.025);
  v.upper95 = Percentile(log_rates, 0.975);
  return v;
}

}  // namespace

Catalog SimulateCatalog(const Catalog& design, const SimulationLaw& law, std::uint64_t seed,
                        double envelope) {
  return SimulateCoupled(design, law, seed, envelope);
}

const char* BootstrapMethodName(BootstrapMethod method) {
  switch (method) {
    case BootstrapMethod::Inverted:
      return "inverted";
    case BootstrapMethod::Studentized:
      return "studentized";
    case BootstrapMethod::Basic:
      break;
  }
  return "basic";
}

std::optional<BootstrapMethod> BootstrapMethodFromName(std::string_view name) {
  if (name == "inverted") return BootstrapMethod::Inverted;
  if (name == "studentized") return BootstrapMethod::Studentized;
  if (name == "basic") return BootstrapMethod::Basic;
  return std::nullopt;
}

BootstrapSample DrawBootstrapSample(const Catalog& catalog, const AnalysisOptions& options,
                                    const AnalysisResult& fit, const BootstrapOptions& bootstrap) {
  if (bootstrap.replicates < kFewestReplicates) {
    throw InvalidOptions("the bootstrap needs at least " + std::to_string(kFewestReplicates) +
                         " replicates, " + std::to_string(bootstrap.replicates) + " were asked");
  }
  if (bootstrap.threads < 1) throw InvalidOptions("the bootstrap needs at least one thread");
  BootstrapSample sample;
  sample.extreme_alone = catalog.extreme.has_value() && catalog.complete.empty();
  sample.fitted = {fit.beta, fit.lambda, fit.settings.mmin, fit.mmax};
  CheckLaw(sample.fitted);
  // Stage 1: the bias at the fitted law gives a first corrected law.
  const std::int32_t first = std::max(kFewestReplicates, bootstrap.replicates / 2);
  sample.stage1 = RunReplicates(catalog, options, sample.fitted, sample.fitted.lambda, bootstrap,
                                first, bootstrap.seed);
  SimulationLaw& law = sample.corrected;
  law = sample.fitted;
  const std::vector<Replicate>& stage1 = sample.stage1;
  if (std::any_of(stage1.begin(), stage1.end(), [](const Replicate& r) { return r.ok; })) {
    const double b1 = 2.0 * kBFromBeta * fit.beta - Mean(stage1, &Replicate::b);
    const double lambda1 = 2.0 * fit.lambda - Mean(stage1, &Replicate::lambda);
    const double mmax1 = 2.0 * fit.mmax - Mean(stage1, &Replicate::mmax);
    // A corrected value outside the law's range keeps the fitted one.
    if (b1 > 0.0) law.beta = b1 / kBFromBeta;
    if (lambda1 > 0.0) law.lambda = lambda1;
    if (mmax1 > law.mmin + kSmallestMmaxSpan) law.mmax = mmax1;
  }
  // Stage 2: the errors of the estimates at the corrected law; stage 3 (for
  // the inverted intervals): its first replicates again, from the same seeds
  // and candidate events, with one quantity at a time moved up by its SD in
  // stage 1.
  const bool slopes = bootstrap.method == BootstrapMethod::Inverted;
  const std::array<double, 3> shifts = {SdOf(stage1, &Replicate::b),
                                        SdOf(stage1, &Replicate::lambda),
                                        SdOf(stage1, &Replicate::mmax)};
  // One candidate rate whatever the construction, so that the three share
  // stages 1 and 2 and differ only in the intervals.
  sample.envelope = law.lambda + (shifts[1] > 0.0 ? shifts[1] : 0.0);
  const std::uint64_t seed2 = bootstrap.seed ^ kStageTwoSeed;
  sample.stage2 =
      RunReplicates(catalog, options, law, sample.envelope, bootstrap, bootstrap.replicates, seed2);
  if (!slopes) return sample;
  const std::int32_t third = std::max(kFewestReplicates, bootstrap.replicates / 4);
  const std::size_t estimated = options.procedure == MmaxProcedure::None ? 2 : 3;
  for (std::size_t q = 0; q < estimated; ++q) {
    const double h = shifts[q];
    sample.shifts[q] = h;
    if (!(h > 0.0) || !std::isfinite(h)) continue;
    SimulationLaw moved = law;
    if (q == 0) moved.beta = (kBFromBeta * law.beta + h) / kBFromBeta;
    if (q == 1) moved.lambda = law.lambda + h;
    if (q == 2) moved.mmax = law.mmax + h;
    sample.shifted[q] =
        RunReplicates(catalog, options, moved, sample.envelope, bootstrap, third, seed2);
  }
  return sample;
}

CalibratedIntervals IntervalsFromSample(const BootstrapSample& sample,
                                        const AnalysisOptions& options, const AnalysisResult& fit,
                                        const BootstrapOptions& bootstrap) {
  const SimulationLaw& law = sample.corrected;
  CalibratedIntervals result;
  result.method = bootstrap.method;
  std::vector<double> b;
  std::vector<double> lambda;
  std::vector<double> mmax;
  std::vector<std::vector<double>> rates(bootstrap.hazard_magnitudes.size());
  std::int32_t unsettled = 0;
  for (const Replicate& r : sample.stage2) {
    if (!r.ok) {
      ++result.failed;
      continue;
    }
    unsettled += r.settled ? 0 : 1;
    b.push_back(r.b);
    lambda.push_back(r.lambda);
    mmax.push_back(r.mmax);
    for (std::size_t j = 0; j < rates.size() && j < r.log_rates.size(); ++j) {
      rates[j].push_back(r.log_rates[j]);
    }
  }
  result.replicates = static_cast<std::int32_t>(b.size());
  if (b.size() < static_cast<std::size_t>(kFewestReplicates)) {
    throw NoEstimate("only " + std::to_string(b.size()) + " of " +
                     std::to_string(sample.stage2.size()) +
                     " simulated catalogs could be analysed: no bootstrap intervals");
  }
  result.unsettled_share = static_cast<double>(unsettled) / static_cast<double>(b.size());
  result.b = Summarise(kBFromBeta * fit.beta, kBFromBeta * law.beta, b);
  result.lambda = Summarise(fit.lambda, law.lambda, lambda);
  result.mmax = Summarise(fit.mmax, law.mmax, mmax);
  std::vector<SimulationLaw> inverted;
  if (bootstrap.method == BootstrapMethod::Inverted) {
    inverted = InvertAll(sample, options.procedure != MmaxProcedure::None,
                         {kBFromBeta * fit.beta, fit.lambda, fit.mmax}, result);
  } else if (bootstrap.method == BootstrapMethod::Studentized) {
    const Uncertainties& u = fit.uncertainties;
    const struct {
      const char* name;
      CalibratedValue& value;
      double fitted, corrected, reported_sd;
      Field field;
    } quantities[] = {
        {"b",
         result.b,
         kBFromBeta * sample.fitted.beta,
         kBFromBeta * law.beta,
         kBFromBeta * u.sd_beta,
         {&Replicate::b, &Replicate::sd_b}},
        {"Lambda",
         result.lambda,
         sample.fitted.lambda,
         law.lambda,
         u.sd_lambda,
         {&Replicate::lambda, &Replicate::sd_lambda}},
        {"Mmax",
         result.mmax,
         sample.fitted.mmax,
         law.mmax,
         u.sd_mmax,
         {&Replicate::mmax, &Replicate::sd_mmax}},
    };
    for (const auto& q : quantities) {
      std::vector<double> t;
      AddStudentized(sample.stage1, q.fitted, q.field, t);
      AddStudentized(sample.stage2, q.corrected, q.field, t);
      if (!Studentize(q.reported_sd, t, q.value)) {
        Flag(result, std::string("the reported SD of ") + q.name +
                         " is missing in the data or in most simulated catalogs: its "
                         "intervals are the basic ones");
      }
    }
  }
  for (std::size_t j = 0; j < rates.size(); ++j) {
    const double m = bootstrap.hazard_magnitudes[j];
    const CalibratedValue v = inverted.empty()
                                  ? Summarise(LogRate(sample.fitted, m), LogRate(law, m), rates[j])
                                  : BandOfLaws(LogRate(sample.fitted, m), inverted, m);
    result.hazard.push_back({m, std::exp(v.estimate), std::exp(v.corrected), std::exp(v.lower68),
                             std::exp(v.upper68), std::exp(v.lower95), std::exp(v.upper95)});
  }
  FlagTroubles(options, fit, law, sample.stage1, static_cast<std::int32_t>(sample.stage2.size()),
               bootstrap.method != BootstrapMethod::Inverted, result);
  if (sample.extreme_alone) {
    Flag(result,
         "the data are an extreme part alone: on such catalogs the intervals of b and Lambda hold "
         "the truth less often than they claim (the estimate of b follows the prior more than "
         "the data); add a complete part");
  }
  return result;
}

CalibratedIntervals BootstrapIntervals(const Catalog& catalog, const AnalysisOptions& options,
                                       const AnalysisResult& fit,
                                       const BootstrapOptions& bootstrap) {
  return IntervalsFromSample(DrawBootstrapSample(catalog, options, fit, bootstrap), options, fit,
                             bootstrap);
}

}  // namespace qev
