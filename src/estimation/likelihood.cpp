#include "estimation/likelihood.h"

#include <array>
#include <bit>
#include <cmath>
#include <memory>

#include "estimation/engine_detail.h"
#include "qev/errors.h"

namespace qev {

namespace {

constexpr float kSqrtTwo = 1.4142f;
constexpr float kBelowThreshold = 0.02f;  // rows this far below the threshold are still used
constexpr float kInside = 0.01f;          // moves a magnitude just inside the law's range
constexpr float kCountFloor = 1.0e-35f;   // keeps the log of an expected count finite
constexpr float kStartOffset = 1.05f;
// Steps without a better best value after which the simplex search ends.
constexpr std::int32_t kStallSteps = 1000;

// The trial point must be positive; a comparison with NaN fails as well.
void GuardTrialPoint(float beta, float lambda) {
  if (beta > 0.0f && lambda > 0.0f) return;
  throw TrialPointNotPositive(beta, lambda);
}

// A part takes part in the objective while it is switched on and the
// integer part of its event count is not 0.
bool SwitchedOn(const DecodedPart& part) { return part.On && std::fabs(part.EventCount) >= 1.0f; }

// The extreme events the objective reads: none while the part is switched off.
std::size_t ExtremeEventsInUse(const DecodedExtreme& extreme) {
  return extreme.On ? extreme.Events.size() : 0;
}

float PriorPenalty(const LikelihoodData& data, float beta) {
  const float z = (beta - data.PriorBeta) / data.PriorBetaSD;
  return 0.5f * (z * z);
}

// Apparent factors (and exp(-Beta m)) of the distinct (magnitude, SD) pairs
// met during one evaluation. Catalogs give magnitudes and SDs in steps of 0.1
// and 0.05, so a few hundred pairs serve thousands of rows. The values are
// those of ApparentFactor and of exp(-(Beta m)) themselves, so caching
// changes no bit; a pair that finds no free place is simply computed again.
// The table (FactorTable) is kept from one evaluation to the next by the run
// that owns it: a slot belongs to this evaluation only when it bears its
// stamp, so that every evaluation starts with all slots free without clearing
// the table (which on a small catalog cost more than the sums).
class FactorCache {
 public:
  using Entry = FactorTable::Entry;

  FactorCache(const LawState& law, FactorTable& table) : law_(law), table_(table) {
    if (++table_.stamp == 0) {  // every stamp used: the slots cleared once
      table_.stamps.fill(0);
      table_.stamp = 1;
    }
  }

  Entry Get(float m, float sigma) {
    const std::uint64_t key =
        (static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(sigma)) << 32) |
        std::bit_cast<std::uint32_t>(m);
    if (key == lastKey_) return last_;
    std::uint32_t slot = static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
    for (int probe = 0; probe < kProbes; ++probe) {
      if (table_.stamps[slot] != table_.stamp) {  // free in this evaluation
        table_.stamps[slot] = table_.stamp;
        table_.keys[slot] = key;
        table_.values[slot] = Compute(m, sigma);
        return Remember(key, table_.values[slot]);
      }
      if (table_.keys[slot] == key) return Remember(key, table_.values[slot]);
      slot = (slot + 1) & (kSize - 1);
    }
    return Remember(key, Compute(m, sigma));
  }

 private:
  static constexpr int kBits = FactorTable::kBits;
  static constexpr std::uint32_t kSize = FactorTable::kSize;
  static constexpr int kProbes = 8;

  Entry Compute(float m, float sigma) const {
    return Entry{ApparentFactor(law_, m, sigma), std::exp(-(law_.Beta * m))};
  }
  Entry Remember(std::uint64_t key, Entry entry) {
    lastKey_ = key;
    last_ = entry;
    return entry;
  }

  const LawState& law_;
  FactorTable& table_;
  // The bits of two NaNs: never the key of a decoded magnitude and SD.
  std::uint64_t lastKey_ = ~0ull;
  Entry last_{};
};

}  // namespace

float ApparentFactor(const LawState& law, float m, float sigma) {
  if (sigma == 0.0f) {
    // Limit for sigma -> 0 of the expression below (it would divide by 0).
    if (m < law.Mmax) return 1.0f;
    if (m == law.Mmax) return 0.5f;
    return 0.0f;
  }
  const float a = law.Beta * sigma / kSqrtTwo;
  const float z = (law.Mmax - m) / (sigma * kSqrtTwo) + a;
  return std::exp(a * a) * (ErrorFunction(z) + 1.0f) / 2.0f;
}

float TruncatedLogDensity(const LawState& law, float m, float mc) {
  const float e = std::exp(-(law.Beta * mc));
  float y = m;
  if (mc >= m) y = mc + kInside;
  if (law.Mmax <= m) y = law.Mmax - kInside;
  return std::log(law.Beta / (e - law.ExpMax)) - law.Beta * y;
}

float ExtremeLogDensity(const LawState& law, float x, float m0, float t, float sigma) {
  const float e0 = std::exp(-(law.Beta * m0));
  if (m0 - kBelowThreshold > x) return 0.0f;
  float y = x;
  if (m0 >= x) y = m0 + kInside;
  const float c = ApparentFactor(law, y, sigma);
  const float d = law.ExpMax - e0;
  const float r = d / (law.ExpMax - law.ExpMin);
  const float k = law.Lambda * t * r * c;
  const float e = std::exp(-(law.Beta * y));
  return std::log(law.Beta * e * k / (e0 - law.ExpMax)) - k * (e - law.ExpMax) / (e0 - law.ExpMax);
}

namespace {

// sc with the terms of one switched-on part added, row by row, then its
// expected count.
float AddPartTermsPlain(const LawState& law, const DecodedPart& part, float lambda, float sc) {
  const float span = part.End - part.Start;
  const float mc = part.Threshold;
  float mu = lambda * (1.0f - MagnitudeCdf(law, mc)) * span;
  float w = 0.0f;
  float q = 0.0f;
  for (const DecodedRow& row : part.Rows) {
    float m = row.Magnitude;
    const float sigma = row.Sd;
    const float freq = row.Frequency;
    if (mc - kBelowThreshold > m) continue;
    if (mc > m) m = mc + kInside;
    w = w + freq;
    q = q + freq * ApparentFactor(law, m, sigma);
    sc = sc + freq * TruncatedLogDensity(law, m, mc);
  }
  if (w == 0.0f) return sc;  // no row at or near the threshold: the part says nothing
  mu = (q / w) * mu;
  if (mu < kCountFloor) mu = kCountFloor;
  return sc + w * std::log(mu) - mu;
}

// The sum of the log densities of the extreme events in use.
float ExtremeTermsPlain(const LawState& law, const LikelihoodData& data) {
  const DecodedExtreme& extreme = data.catalog->Extreme;
  const std::size_t events = ExtremeEventsInUse(extreme);
  float se = 0.0f;
  for (std::size_t k = 0; k < events; ++k) {
    const DecodedEvent& event = extreme.Events[k];
    se = se + ExtremeLogDensity(law, event.Magnitude, data.Mmin, event.Interval, event.Sd);
  }
  return se;
}

// AddPartTermsPlain with the threshold terms computed once and the apparent
// factors taken from the cache.
float AddPartTerms(const LawState& law, const DecodedPart& part, float lambda, FactorCache& cache,
                   float sc) {
  const float span = part.End - part.Start;
  const float mc = part.Threshold;
  float mu = lambda * (1.0f - MagnitudeCdf(law, mc)) * span;
  const float lowest = mc - kBelowThreshold;
  const float inside = mc + kInside;
  const float top = law.Mmax - kInside;
  const float logNorm = std::log(law.Beta / (std::exp(-(law.Beta * mc)) - law.ExpMax));
  float w = 0.0f;
  float q = 0.0f;
  for (const DecodedRow& row : part.Rows) {
    float m = row.Magnitude;
    if (lowest > m) continue;
    if (mc > m) m = inside;
    const float freq = row.Frequency;
    w = w + freq;
    q = q + freq * cache.Get(m, row.Sd).Factor;
    float y = m;
    if (mc >= m) y = inside;
    if (law.Mmax <= m) y = top;
    sc = sc + freq * (logNorm - law.Beta * y);
  }
  if (w == 0.0f) return sc;
  mu = (q / w) * mu;
  if (mu < kCountFloor) mu = kCountFloor;
  return sc + w * std::log(mu) - mu;
}

// ExtremeTermsPlain with what depends only on Mmin computed once and the
// apparent factors taken from the cache.
float ExtremeTerms(const LawState& law, const LikelihoodData& data, FactorCache& cache) {
  const DecodedExtreme& extreme = data.catalog->Extreme;
  const std::size_t events = ExtremeEventsInUse(extreme);
  const float m0 = data.Mmin;
  const float e0 = std::exp(-(law.Beta * m0));
  const float lowest = m0 - kBelowThreshold;
  const float inside = m0 + kInside;
  const float r = (law.ExpMax - e0) / (law.ExpMax - law.ExpMin);
  const float denom = e0 - law.ExpMax;
  float se = 0.0f;
  for (std::size_t k = 0; k < events; ++k) {
    const DecodedEvent& event = extreme.Events[k];
    const float x = event.Magnitude;
    if (lowest > x) continue;
    const float y = m0 >= x ? inside : x;
    const FactorCache::Entry entry = cache.Get(y, event.Sd);
    const float count = law.Lambda * event.Interval * r * entry.Factor;
    const float e = entry.Expo;
    se = se + (std::log(law.Beta * e * count / denom) - count * (e - law.ExpMax) / denom);
  }
  return se;
}

}  // namespace

float NegLogLikelihoodPlain(const LikelihoodData& data, float beta, float lambda) {
  GuardTrialPoint(beta, lambda);
  const LawState law = MakeLaw(beta, lambda, data.Mmin, data.Mmax);
  const DecodedCatalog& catalog = *data.catalog;
  float sc = 0.0f;
  float se = 0.0f;
  if (UsesParts(catalog.Kind)) {
    for (const DecodedPart& part : catalog.Parts) {
      if (SwitchedOn(part)) sc = AddPartTermsPlain(law, part, lambda, sc);
    }
  }
  if (UsesExtremes(catalog.Kind)) se = ExtremeTermsPlain(law, data);
  return PriorPenalty(data, beta) - sc - se;
}

// The same sums in the same order as NegLogLikelihoodPlain; what depends only
// on the part (the threshold terms) is computed once per part, and the
// apparent factor once per distinct (magnitude, SD) pair.
float NegLogLikelihood(const LikelihoodData& data, float beta, float lambda) {
  GuardTrialPoint(beta, lambda);
  const LawState law = MakeLaw(beta, lambda, data.Mmin, data.Mmax);
  const DecodedCatalog& catalog = *data.catalog;
  // A run's evaluations share its table; an evaluation alone has its own.
  std::unique_ptr<FactorTable> own;
  FactorTable* table = data.factors;
  if (table == nullptr) {
    own = FactorTable::Make();
    table = own.get();
  }
  FactorCache cache(law, *table);
  float sc = 0.0f;
  float se = 0.0f;
  if (UsesParts(catalog.Kind)) {
    for (const DecodedPart& part : catalog.Parts) {
      if (SwitchedOn(part)) sc = AddPartTerms(law, part, lambda, cache, sc);
    }
  }
  if (UsesExtremes(catalog.Kind)) se = ExtremeTerms(law, data, cache);
  return PriorPenalty(data, beta) - sc - se;
}

Simplex BuildStartingSimplex(const LikelihoodData& data, float beta0, float lambda0) {
  Simplex simplex;
  simplex.Vertex[0] = {beta0, lambda0};
  simplex.Vertex[1] = {kStartOffset * beta0, lambda0};
  simplex.Vertex[2] = {beta0, kStartOffset * lambda0};
  for (int i = 0; i < 3; ++i) {
    simplex.Value[i] = NegLogLikelihood(data, simplex.Vertex[i][0], simplex.Vertex[i][1]);
  }
  return simplex;
}

namespace {

using Point = std::array<float, 2>;

float Evaluate(const LikelihoodData& data, const Point& p) {
  return NegLogLikelihood(data, p[0], p[1]);
}

// Best (lo), worst (hi) and second worst (nh) vertex.
struct VertexRanks {
  int lo = 0;
  int hi = 1;
  int nh = 0;
};

VertexRanks RankVertices(const std::array<float, 3>& value) {
  VertexRanks rank;
  if (value[0] > value[1]) {
    rank.hi = 0;
    rank.nh = 1;
  }
  for (int i = 0; i < 3; ++i) {
    if (value[i] < value[rank.lo]) rank.lo = i;
    if (value[i] > value[rank.hi]) {
      rank.nh = rank.hi;
      rank.hi = i;
    } else if (value[i] > value[rank.nh] && i != rank.hi) {
      rank.nh = i;
    }
  }
  return rank;
}

// Converged when the Beta of every vertex lies within the tolerance of the
// Beta of vertex 0 (Lambda and the values play no part), or when the three
// vertices are one point.
bool SimplexConverged(const Simplex& simplex, float tolerance) {
  const auto& v = simplex.Vertex;
  float spread = std::fabs(v[0][0] - v[1][0]);
  const float spread3 = std::fabs(v[0][0] - v[2][0]);
  if (spread3 > spread) spread = spread3;
  return spread < tolerance || (v[0] == v[1] && v[0] == v[2]);
}

// Counts the steps that did not improve the best value: after kStallSteps of
// them the simplex circles at the resolution of single precision, where a
// tolerance of 0 or NaN would keep it going to the limit.
class StallWatch {
 public:
  bool Stalled(float lowest) {
    if (lowest < best_) {
      best_ = lowest;
      stalled_ = 0;
      return false;
    }
    return ++stalled_ > kStallSteps;
  }

 private:
  float best_ = INFINITY;
  std::int32_t stalled_ = 0;
};

void Replace(Simplex& simplex, int i, const Point& p, float value) {
  simplex.Vertex[i] = p;
  simplex.Value[i] = value;
}

// The reflection was no better than the second worst vertex: contract the
// worst vertex toward the centroid c, or else shrink the simplex toward the
// best vertex.
void ContractOrShrink(Simplex& simplex, const LikelihoodData& data, const VertexRanks& rank,
                      const Point& c) {
  auto& v = simplex.Vertex;
  Point k{};
  for (int d = 0; d < 2; ++d) k[d] = 0.5f * v[rank.hi][d] + 0.5f * c[d];
  const float vk = Evaluate(data, k);
  if (vk < simplex.Value[rank.hi]) {
    Replace(simplex, rank.hi, k, vk);
    return;
  }
  for (int i = 0; i < 3; ++i) {
    if (i == rank.lo) continue;
    for (int d = 0; d < 2; ++d) v[i][d] = 0.5f * (v[i][d] + v[rank.lo][d]);
    simplex.Value[i] = Evaluate(data, v[i]);
  }
}

// One step: the worst vertex reflected through the centroid of the other
// two, then expanded, contracted or the simplex shrunk.
void SimplexStep(Simplex& simplex, const LikelihoodData& data, const VertexRanks& rank) {
  const auto& v = simplex.Vertex;
  const auto& value = simplex.Value;
  Point c{};
  const int a = rank.hi == 0 ? 1 : 0;
  const int b = rank.hi == 2 ? 1 : 2;
  for (int d = 0; d < 2; ++d) c[d] = (v[a][d] + v[b][d]) / 2.0f;
  Point r{};
  for (int d = 0; d < 2; ++d) r[d] = 2.0f * c[d] - v[rank.hi][d];
  const float vr = Evaluate(data, r);
  if (vr <= value[rank.lo]) {
    Point e{};
    for (int d = 0; d < 2; ++d) e[d] = 2.0f * r[d] - c[d];
    const float ve = Evaluate(data, e);
    if (ve < value[rank.lo]) {
      Replace(simplex, rank.hi, e, ve);
    } else {
      Replace(simplex, rank.hi, r, vr);
    }
  } else if (vr >= value[rank.nh]) {
    if (vr < value[rank.hi]) Replace(simplex, rank.hi, r, vr);
    ContractOrShrink(simplex, data, rank, c);
  } else {
    Replace(simplex, rank.hi, r, vr);
  }
}

}  // namespace

SimplexOutcome SimplexMinimize(Simplex& simplex, const LikelihoodData& data, float tolerance,
                               std::int32_t limit, const std::atomic<bool>* cancel) {
  SimplexOutcome outcome;
  StallWatch stall;
  for (;;) {
    const VertexRanks rank = RankVertices(simplex.Value);
    if (SimplexConverged(simplex, tolerance)) {
      outcome.Converged = true;
      break;
    }
    if (outcome.Iterations >= limit) break;
    if (stall.Stalled(simplex.Value[rank.lo])) break;
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) throw Cancelled();
    outcome.Iterations = outcome.Iterations + 1;
    SimplexStep(simplex, data, rank);
  }
  // Both ways out end with the centroid of the last simplex in vertex 0.
  auto& v = simplex.Vertex;
  for (int d = 0; d < 2; ++d) v[0][d] = (v[0][d] + v[1][d] + v[2][d]) / 3.0f;
  return outcome;
}

}  // namespace qev
