// Helpers shared by the two catalog readers: the screen feeds, the rulers of
// the message boxes, and the checked conversion of values read from a catalog
// file into the 32-bit integers the catalog stores.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "textio/reader.h"
#include "textio/sink.h"

namespace qev {

// A ruler of a message box: a blank followed by `stars` asterisks.
std::string Ruler(int stars);

// A message box on the console: the screen feed, an empty line when asked
// for, a ruler of `stars` asterisks, the lines (one list record each), and the
// ruler again.
void WriteMessageBox(ReportSink& sink, std::string_view screenFeed, int stars,
                     const std::vector<Items>& lines, bool emptyLineFirst = false);

// Truncation of value × factor (formed in double precision) for storing in the
// catalog. A value whose scaled integer would not fit a 32-bit integer is a
// reading error of the line just read from `file`: the program stops with a
// report naming the file, the line and the value (`what` names the value).
std::int32_t CheckedScaled(const LineSource& file, float value, double factor,
                           std::string_view what);

// The same for a quantity already formed in double precision (an interval in
// thousandths of a year, a running count): truncated toward zero; when it does
// not fit a 32-bit integer, the program stops with a report naming the file
// and `line`.
std::int32_t CheckedWhole(const LineSource& file, long line, double value, std::string_view what);

// A standard deviation or a frequency below 0 has no meaning: a reading error
// of the line just read from `file`, reported like the others.
void CheckNotNegative(const LineSource& file, float value, std::string_view what);

}  // namespace qev
