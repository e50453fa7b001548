// A small seeded random source for synthetic catalogs.
//
// The generator is PCG32 (XSH-RR output, 64-bit state, O'Neill 2014) seeded
// through SplitMix64, and every distribution is written out here from uniform
// draws, so that one seed gives the same catalog with any standard library.
#pragma once

#include <cstdint>

namespace qev::companion {

class Pcg32 {
 public:
  explicit Pcg32(std::uint64_t seed);
  // The reference seeding of PCG32: initial state and stream selector.
  Pcg32(std::uint64_t initState, std::uint64_t stream);

  std::uint32_t NextWord();
  // Uniform on the open interval (0, 1), 53 random bits.
  double Uniform();
  // Standard normal deviate (Box-Muller; the second value of a pair is kept).
  double Normal();
  // Exponential deviate with the given mean.
  double Exponential(double mean);

 private:
  std::uint64_t state_;
  std::uint64_t increment_;
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

}  // namespace qev::companion
