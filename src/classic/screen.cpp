#include "classic/screen.h"

#include <array>
#include <cstdio>

namespace qev {

void ClearScreen(ReportSink& sink) {
  sink.Format(Dest::Console, "(' ',/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)");
}

void PauseForKey(TextIo& io) {
  std::string key;
  io.ReadConsoleLine(key, 1);
}

std::string DateText(const CalendarDate& date) {
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // A calendar out of range (never from the clock) is shown clamped rather than
  // indexing outside the month names.
  const int month = date.Month < 1 ? 1 : (date.Month > 12 ? 12 : date.Month);
  const int day = date.Day < 0 ? 0 : (date.Day > 99 ? 99 : date.Day);
  int year = date.Year % 100;
  if (year < 0) year += 100;
  char text[16];
  std::snprintf(text, sizeof text, "%02d-%s-%02d", day, kMonths[month - 1], year);
  return std::string(text) + std::string(15, ' ');
}

}  // namespace qev
