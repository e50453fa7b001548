// Numbers as plain text, for messages, summaries and tables (not the
// report's formatted records: see formatter.h).
#pragma once

#include <cstdio>
#include <string>

namespace qev {

// At most seven significant digits: a value as the messages about it show it.
inline std::string ShownValue(double value) {
  char shown[64];
  std::snprintf(shown, sizeof shown, "%.7g", value);
  return shown;
}

// A fixed number of decimals.
inline std::string FixedText(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace qev
