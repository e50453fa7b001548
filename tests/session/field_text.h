// Field texts for expected report lines, written from the field rules of the
// report formats: Iw, Fw.d and Ew.d right-justified in w columns, asterisks
// when the value does not fit, no zero before the decimal point, and reals
// rounded half up on their decimal digits to at most 7 significant digits.
// Used to build expected lines whose numbers are computed in the tests
// themselves; the formatter of the program is not used.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qev::testing::field {

inline std::string RightJustify(const std::string& text, int width) {
  if (static_cast<int>(text.size()) > width)
    return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

inline std::string I(int width, long long value) {
  return RightJustify(std::to_string(value), width);
}

// The decimal digits of |value| to 17 significant digits: value = 0.digits x 10^exponent.
struct Digits {
  std::string digits;
  int exponent = 0;
  bool negative = false;
  bool zero = false;
};

inline Digits Expand(float value) {
  Digits d;
  d.negative = std::signbit(value);
  if (value == 0.0f) {
    d.zero = true;
    d.digits = std::string(17, '0');
    return d;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.16e", std::fabs(static_cast<double>(value)));
  const std::string text = buffer;  // d.dddddddddddddddde+XX
  d.digits = text.substr(0, 1) + text.substr(2, 16);
  d.exponent = std::atoi(text.c_str() + 19) + 1;
  return d;
}

// Keeps `keep` leading digits, rounding half up on the first dropped digit;
// a carry out of the first digit raises the exponent. keep may be 0 or less.
inline void RoundTo(Digits& d, int keep) {
  if (keep <= 0) {
    const bool up = keep == 0 && d.digits[0] >= '5';
    d.digits = up ? "1" : "0";
    if (up) {
      d.exponent += 1;
    } else {
      d.zero = true;
    }
    return;
  }
  const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
  std::string kept = d.digits.substr(0, static_cast<std::size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9')
      kept[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      kept = "1" + kept.substr(0, kept.size() - 1);
      d.exponent += 1;
    } else {
      ++kept[static_cast<std::size_t>(i)];
    }
  }
  d.digits = kept;
  if (kept.find_first_not_of('0') == std::string::npos) d.zero = true;
}

// Fw.d
inline std::string F(int width, int decimals, float value) {
  Digits d = Expand(value);
  std::string integer;
  std::string fraction(static_cast<std::size_t>(decimals), '0');
  if (!d.zero) {
    RoundTo(d, std::min(d.exponent + decimals, 7));
    if (!d.zero) {
      // Place the kept digits at their decimal positions; the rest are zeros.
      for (std::size_t i = 0; i < d.digits.size(); ++i) {
        const int position = d.exponent - 1 - static_cast<int>(i);  // power of ten of this digit
        if (position >= 0) {
          if (integer.empty()) integer = std::string(static_cast<std::size_t>(position) + 1, '0');
          integer[integer.size() - 1 - static_cast<std::size_t>(position)] = d.digits[i];
        } else if (-position <= decimals) {
          fraction[static_cast<std::size_t>(-position - 1)] = d.digits[i];
        }
      }
    }
  }
  const std::string text = (d.negative && !d.zero ? "-" : "") + integer + "." + fraction;
  return RightJustify(text, width);
}

// Ew.d
inline std::string E(int width, int decimals, float value) {
  Digits d = Expand(value);
  std::string mantissa(static_cast<std::size_t>(decimals), '0');
  int exponent = 0;
  if (!d.zero) {
    RoundTo(d, decimals);
    mantissa = d.digits;
    exponent = d.exponent;
  }
  char tail[24];
  std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  const std::string text = (d.negative && !d.zero ? "-" : "") + std::string(".") + mantissa + tail;
  return RightJustify(text, width);
}

}  // namespace qev::testing::field
