// The b-value and the rate above Mmin by Weichert's (1980) maximum likelihood
// for magnitude bins observed over unequal periods: a second estimator beside
// the engine's, from the same complete parts (docs/method.md).
#pragma once

#include <cstddef>

#include "qev/catalog.h"

namespace qev {

struct WeichertOptions {
  float mmin = 0.0f;       // the rate is carried down (or up) to this magnitude
  float bin_width = 0.1f;  // magnitude bins from the lowest threshold up
};

struct WeichertResult {
  double beta = 0.0;  // per unit magnitude, natural log
  double sd_beta = 0.0;
  double b = 0.0;  // beta log10(e)
  double sd_b = 0.0;
  double rate = 0.0;  // events a year at or above Mmin
  double sd_rate = 0.0;
  double lowest_edge = 0.0;  // the lower edge of the lowest bin (the lowest threshold)
  std::size_t events = 0;    // events in the bins
  std::size_t bins = 0;      // bins from the lowest edge to the largest event
};

// Bins of width bin_width from the lowest threshold of the complete parts
// upwards; a bin counts in a part when its lower edge lies at or above the
// part's threshold (to half a hundredth), and then adds the part's period to
// the bin's observation time and the part's events in it to its count (the
// frequencies of grouped rows included). Beta maximises
//   sum_i n_i ln(t_i exp(-Beta m_i) / sum_j t_j exp(-Beta m_j))
// (m_i the bin centres), the root of its derivative found by bisection; its
// variance is sum(t e)^2 / (N (sum(t e) sum(t m^2 e) - sum(t m e)^2)) with
// e = exp(-Beta m). The rate at or above the lowest edge is
// N sum_i e_i / sum_i t_i e_i, with variance rate^2 / N; carried to Mmin by
// exp(Beta (edge - Mmin)), whose variance adds (rate (edge - Mmin))^2 var(Beta).
// Throws NoEstimate without complete parts, events or observation time, or
// when all events fall into one bin (no finite Beta), and InvalidOptions for a
// bin width that is not positive.
WeichertResult Weichert(const Catalog& catalog, const WeichertOptions& options);

}  // namespace qev
