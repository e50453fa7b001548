// The message boxes of the two catalog dialogs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/sink.h"

namespace qev {

// A ruler of a message box: a blank followed by `stars` asterisks.
std::string Ruler(int stars);

// A message box on the console: the screen feed, an empty line when asked
// for, a ruler of `stars` asterisks, the lines (one list record each), and the
// ruler again.
void WriteMessageBox(ReportSink& sink, std::string_view screenFeed, int stars,
                     const std::vector<Items>& lines, bool emptyLineFirst = false);

}  // namespace qev
