// The small catalog of the worked examples and seeded random numbers,
// shared by the estimation tests.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "estimation/decoded_catalog.h"
#include "estimation/likelihood.h"
#include "estimation/uncertainty.h"
#include "qev/catalog.h"

namespace qev::testing {

// One complete part (1900-2000, threshold 4.0, rows 4.5/0.1 x10 and
// 5.0/0.2 x3) and two extreme events (5.5/0.2 over 30 years, 6.0/0.3 over
// 45.5 years); Mmin 4, Mmax 7, prior b 1 (Beta 2.302585, SD 10 %); for the
// uncertainties Beta 2, Lambda 0.2, Xmax 6 (SD 0.2) over 200 years.
struct WorkedExample {
  Catalog catalog;
  DecodedCatalog decoded;
  UncertaintyPoint point;  // Mmin, Mmax and the prior; the rest for the uncertainties

  explicit WorkedExample(DataKind kind) {
    CompletePart part;
    part.start = 1900.0f;
    part.end = 2000.0f;
    part.threshold = 4.0f;
    part.sd = 0.15f;
    part.rows = {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}};
    catalog.complete.push_back(part);
    catalog.extreme = ExtremePart{1900.0f, 1975.5f, {{1930.0f, 5.5f, 0.2f}, {1975.5f, 6.0f, 0.3f}}};
    decoded = Decode(catalog, kind);
    point.Mmin = 4.0f;
    point.Mmax = 7.0f;
    point.PriorBeta = 2.302585f;
    point.PriorBetaSD = 0.2302585f;
    point.SpanT = 200.0f;
    point.Xmax = 6.0f;
    point.SigXmax = 0.2f;
    point.Beta = 2.0f;
    point.Lambda = 0.2f;
  }

  LikelihoodData Data() const {
    LikelihoodData data;
    data.catalog = &decoded;
    data.Mmin = point.Mmin;
    data.Mmax = point.Mmax;
    data.PriorBeta = point.PriorBeta;
    data.PriorBetaSD = point.PriorBetaSD;
    return data;
  }
};

// Uniform (0, 1) numbers from a seeded generator, written
// out so that every library gives the same sequence.
class Draws {
 public:
  explicit Draws(std::uint32_t seed) : engine_(seed) {}
  double Uniform() { return (static_cast<double>(engine_()) + 0.5) / 4294967296.0; }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Uniform() * n); }

 private:
  std::mt19937 engine_;
};

}  // namespace qev::testing
