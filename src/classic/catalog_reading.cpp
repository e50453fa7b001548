#include "classic/catalog_reading.h"

namespace qev {

std::string Ruler(int stars) { return " " + std::string(static_cast<std::size_t>(stars), '*'); }

void WriteMessageBox(ReportSink& sink, std::string_view screenFeed, int stars,
                     const std::vector<Items>& lines, bool emptyLineFirst) {
  sink.Format(Dest::Console, screenFeed);
  if (emptyLineFirst) sink.ConsoleEmpty();
  sink.ConsoleLine(Ruler(stars));
  for (const Items& line : lines) sink.List(Dest::Console, line);
  sink.ConsoleLine(Ruler(stars));
}

}  // namespace qev
