// Small console helpers of the session driver: the screen feed, the pause for
// a key, and the date text of the report.
#pragma once

#include <cstddef>
#include <string>

#include "console/sink.h"
#include "console/textio.h"
#include "qev/classic_bounds.h"

namespace qev {

// The output file name keeps at most this many characters of the answer.
inline constexpr std::size_t kOutputFileNameLength = classic::kNameLength;

// One blank and 58 asterisks: the ruler of the first introductory screen.
inline constexpr const char* kAsteriskRuler =
    " **********************************************************";
// 60 equals signs: the ruler of the report's top and header.
inline constexpr const char* kEqualsRuler =
    "============================================================";

// One write of 26 records (a blank, then 25 empty ones) that scrolls the
// previous screen away.
void ClearScreen(ReportSink& sink);

// Reads one console line into a 1-character text and ignores it: the user
// continues by pressing Enter.
void PauseForKey(TextIo& io);

// "dd-Mon-yy" followed by 15 blanks (24 characters); the year modulo 100.
std::string DateText(const CalendarDate& date);

}  // namespace qev
