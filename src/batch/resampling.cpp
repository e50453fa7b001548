// The logic tree, the random stream of each task and the bootstrap.
#include <algorithm>
#include <cmath>
#include <string>

#include "estimation/random_stream.h"
#include "qev/batch.h"

namespace qev {

std::vector<Branch> CrossBranches(const std::vector<BranchSet>& sets) {
  std::vector<Branch> branches(1);
  branches[0].name = "base";
  for (std::size_t s = 0; s < sets.size(); ++s) {
    std::vector<Branch> crossed;
    for (const Branch& stem : branches) {
      for (std::size_t a = 0; a < sets[s].alternatives.size(); ++a) {
        const Alternative& alternative = sets[s].alternatives[a];
        Branch branch;
        branch.name =
            (s == 0 ? std::string() : stem.name + ";") + sets[s].name + "=" + alternative.name;
        branch.weight = stem.weight * alternative.weight;
        branch.choice = stem.choice;
        branch.choice.push_back(a);
        crossed.push_back(std::move(branch));
      }
    }
    branches = std::move(crossed);
  }
  return branches;
}

namespace {

constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

void Hash(std::uint64_t& h, unsigned char byte) {
  h ^= byte;
  h *= kFnvPrime;
}
void HashWord(std::uint64_t& h, std::uint64_t word) {
  for (int i = 0; i < 8; ++i) Hash(h, static_cast<unsigned char>(word >> (8 * i)));
}
void HashText(std::uint64_t& h, std::string_view text) {
  for (char c : text) Hash(h, static_cast<unsigned char>(c));
  Hash(h, 0);
}

// Magnitude in hundredths as the engine takes it (truncated toward zero).
double Hundredths(float value) { return std::trunc(static_cast<double>(value) * 100.0); }

CompletePart ResampleComplete(const CompletePart& part, RandomStream& random) {
  // Rows in use and the running total of their events.
  std::vector<std::size_t> used;
  std::vector<std::uint64_t> cumulative;
  std::uint64_t total = 0;
  bool common_sd = true;
  for (std::size_t r = 0; r < part.rows.size(); ++r) {
    const MagnitudeRow& row = part.rows[r];
    if (row.frequency <= 0 || Hundredths(row.magnitude) < Hundredths(part.threshold) - 2.0) {
      continue;
    }
    if (row.sd != part.sd) common_sd = false;
    total += static_cast<std::uint64_t>(row.frequency);
    used.push_back(r);
    cumulative.push_back(total);
  }
  CompletePart out = part;
  out.rows.clear();
  if (total == 0) return out;
  std::vector<std::int64_t> drawn(used.size(), 0);
  for (std::uint64_t k = 0; k < total; ++k) {
    const std::uint64_t u = random.Below(total);
    const auto at = std::upper_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin();
    ++drawn[static_cast<std::size_t>(at)];
  }
  for (std::size_t i = 0; i < used.size(); ++i) {
    if (drawn[i] == 0) continue;
    MagnitudeRow row = part.rows[used[i]];
    row.frequency = static_cast<std::int32_t>(drawn[i]);
    out.rows.push_back(row);
  }
  if (!common_sd) out.sd = MeanSd(out.rows);
  return out;
}

ExtremePart ResampleExtreme(const ExtremePart& part, RandomStream& random) {
  const std::size_t n = part.events.size();
  if (n == 0) return part;
  std::vector<double> interval(n);
  double before = part.start;
  for (std::size_t i = 0; i < n; ++i) {
    interval[i] = static_cast<double>(part.events[i].time) - before;
    before = part.events[i].time;
  }
  std::vector<std::size_t> pick(n);
  double drawn_span = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    pick[j] = static_cast<std::size_t>(random.Below(n));
    drawn_span += interval[pick[j]];
  }
  const double span = static_cast<double>(part.events.back().time) - part.start;
  const double scale = drawn_span > 0.0 ? span / drawn_span : 0.0;
  ExtremePart out = part;
  double elapsed = 0.0;
  float previous = part.start;
  for (std::size_t j = 0; j < n; ++j) {
    elapsed += interval[pick[j]];
    ExtremeEvent event = part.events[pick[j]];
    event.time =
        j + 1 == n ? part.events.back().time : static_cast<float>(part.start + scale * elapsed);
    // The engine keeps intervals in whole thousandths of a year.
    if (std::trunc((static_cast<double>(event.time) - previous) * 1000.0) < 1.0) {
      throw CatalogError("the resampled extreme events " + std::to_string(j) + " and " +
                         std::to_string(j + 1) +
                         " are less than 0.001 year apart once the drawn intervals are scaled "
                         "to the span of the events");
    }
    previous = event.time;
    out.events[j] = event;
  }
  return out;
}

}  // namespace

std::uint64_t TaskSeed(std::uint64_t master, std::string_view zone, std::string_view branch,
                       std::int64_t replicate) {
  std::uint64_t h = kFnvOffset;
  HashWord(h, master);
  HashText(h, zone);
  HashText(h, branch);
  HashWord(h, static_cast<std::uint64_t>(replicate));
  return detail::SplitMix64(h);
}

RandomStream::RandomStream(std::uint64_t seed) { detail::SeedXoshiro(s_, seed); }

std::uint64_t RandomStream::Next() { return detail::NextXoshiro(s_); }

std::uint64_t RandomStream::Below(std::uint64_t n) {
  const std::uint64_t reject_below = (0 - n) % n;  // (2^64 - n) mod n
  for (;;) {
    const std::uint64_t x = Next();
    if (x >= reject_below) return x % n;
  }
}

Catalog Bootstrap(const Catalog& catalog, RandomStream& random) {
  Catalog out;
  if (catalog.extreme) out.extreme = ResampleExtreme(*catalog.extreme, random);
  for (const CompletePart& part : catalog.complete) {
    out.complete.push_back(ResampleComplete(part, random));
  }
  return out;
}

}  // namespace qev
