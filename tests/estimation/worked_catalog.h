// The small catalog of the worked examples and a seeded simulator of
// catalogs, shared by the estimation tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

#include "catalog/catalog.h"
#include "estimation/likelihood.h"
#include "model/records.h"

namespace qev::testing {

// One complete part (1900-2000, threshold 4.0, rows 4.5/0.1 x10 and
// 5.0/0.2 x3) and two extreme events (5.5/0.2 over 30 years, 6.0/0.3 over
// 45.5 years); Mmin 4, Mmax 7, prior b 1 (Beta 2.302585, SD 10 %).
struct WorkedExample {
  std::unique_ptr<Catalog> catalog = std::make_unique<Catalog>();
  SessionSettings settings;
  ModelParameters model;

  explicit WorkedExample(std::int32_t dataKind) {
    CompletePart& part = catalog->Parts[0];
    part.Start = 1900.0f;
    part.End = 2000.0f;
    part.Threshold = 4.0f;
    part.RowCount = 2.0f;
    part.EventCount = 13.0f;
    part.Sd = 0.15f;
    part.Rows[0] = {450, 10, 10};
    part.Rows[1] = {500, 20, 3};
    catalog->PartCount = 1;
    ExtremeCatalog& extreme = catalog->Extreme;
    extreme.EventCount = 2.0f;
    extreme.SmallestMagnitude = 5.5f;
    extreme.Events[0] = {550, 20, 30000};
    extreme.Events[1] = {600, 30, 45500};
    settings.DataKind = dataKind;
    settings.Mmin = 4.0f;
    settings.PriorBeta = 2.302585f;
    settings.PriorBetaSD = 0.2302585f;
    model.Mmax = 7.0f;
  }

  LikelihoodData Data() const { return MakeLikelihoodData(*catalog, settings, model); }
};

// Uniform (0, 1) and standard normal numbers from a seeded generator, written
// out so that every library gives the same sequence.
class Draws {
 public:
  explicit Draws(std::uint32_t seed) : engine_(seed) {}
  double Uniform() { return (static_cast<double>(engine_()) + 0.5) / 4294967296.0; }
  double Normal() {
    const double u = Uniform();
    const double v = Uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }
  // True magnitude of the doubly truncated exponential law.
  double Magnitude(double beta, double mmin, double mmax) {
    const double u = Uniform();
    return mmin - std::log(1.0 - u * (1.0 - std::exp(-beta * (mmax - mmin)))) / beta;
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Uniform() * n); }

 private:
  std::mt19937 engine_;
};

}  // namespace qev::testing
