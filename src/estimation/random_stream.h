// The pseudo-random generator shared by the simulations of the engine and the
// resampling of the batch: xoshiro256** (Blackman and Vigna 2018), its four
// state words filled by SplitMix64 from one seed. Both callers depend on the
// exact sequence (a batch's outputs are reproduced from its seed byte for
// byte), so the two functions below are the only definition of it.
#pragma once

#include <cstdint>

namespace qev::detail {

// One step of SplitMix64: advances `state` and returns the next output.
inline std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

inline std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// The state of xoshiro256** seeded by four SplitMix64 outputs of the seed.
inline void SeedXoshiro(std::uint64_t (&state)[4], std::uint64_t seed) {
  for (std::uint64_t& word : state) word = SplitMix64(seed);
}

// The next output of xoshiro256**.
inline std::uint64_t NextXoshiro(std::uint64_t (&s)[4]) {
  const std::uint64_t result = RotateLeft(s[1] * 5, 7) * 9;
  const std::uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = RotateLeft(s[3], 45);
  return result;
}

}  // namespace qev::detail
