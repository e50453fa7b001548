#include "companion/random.h"

#include <cmath>

namespace qev::companion {

namespace {

std::uint64_t SplitMix64(std::uint64_t& x) {
  x += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = x;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

constexpr double kTwoPi = 6.283185307179586476925286766559;

}  // namespace

Pcg32::Pcg32(std::uint64_t initState, std::uint64_t stream)
    : state_(0), increment_((stream << 1u) | 1u) {  // the increment must be odd
  NextWord();
  state_ += initState;
  NextWord();
}

Pcg32::Pcg32(std::uint64_t seed) : Pcg32(0, 0) {
  std::uint64_t mix = seed;
  const std::uint64_t initState = SplitMix64(mix);
  const std::uint64_t stream = SplitMix64(mix);
  *this = Pcg32(initState, stream);
}

std::uint32_t Pcg32::NextWord() {
  const std::uint64_t old = state_;
  state_ = old * 6364136223846793005ULL + increment_;
  const auto xorShifted = static_cast<std::uint32_t>(((old >> 18u) ^ old) >> 27u);
  const auto rotation = static_cast<std::uint32_t>(old >> 59u);
  return (xorShifted >> rotation) | (xorShifted << ((32u - rotation) & 31u));
}

double Pcg32::Uniform() {
  for (;;) {
    const std::uint64_t high = NextWord();
    const std::uint64_t low = NextWord();
    const std::uint64_t bits = ((high << 32u) | low) >> 11u;  // 53 bits
    if (bits != 0) return static_cast<double>(bits) * 0x1.0p-53;
  }
}

double Pcg32::Normal() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  const double u1 = Uniform();
  const double u2 = Uniform();
  const double radius = std::sqrt(-2.0 * std::log(u1));
  spare_ = radius * std::sin(kTwoPi * u2);
  haveSpare_ = true;
  return radius * std::cos(kTwoPi * u2);
}

double Pcg32::Exponential(double mean) { return -mean * std::log(Uniform()); }

}  // namespace qev::companion
