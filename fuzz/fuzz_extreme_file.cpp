// Fuzzes the reader of the classic extreme file. The first byte chooses the
// layout ('1' per-event SD, '2' common SD, '3' no SD), the rest is the file.
//
// Every input ends in a part or a typed error. A reading error names the
// source, a line that was read and what was expected, and shows only
// printable text; a catalog error names the event. A part is what the engine
// accepts (it decodes without an error), and written back in the same layout
// it reads again as the very same floats: nothing is misread.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzz::Broken, fuzz::Real, fuzz::Same;
  qev::ExtremeLayout layout{};
  const auto read = fuzz::ReadClassicFile<qev::ExtremeFile>(
      data, size, layout, qev::ReadExtremeFile, [](const auto& e) { return e.event(); },
      [](qev::Catalog& c, const qev::ExtremeFile& f) { c.extreme = f.part; },
      qev::DataKind::Extremes);
  if (!read) return 0;
  const qev::ExtremeFile& file = *read;
  if (file.lines.size() != file.part.events.size()) Broken("one echo line per event");

  // Written back, completed, in the same layout.
  std::string again = fuzz::Date(file.header.start) + "\n" + fuzz::Date(file.header.end) + "\n";
  if (layout == qev::ExtremeLayout::CommonSd) again += Real(file.header.common_sd) + "\n";
  for (const qev::ExtremeLine& line : file.lines) {
    again += fuzz::Date(line.date) + " " + Real(line.magnitude);
    if (layout == qev::ExtremeLayout::PerEventSd) again += " " + Real(line.sd);
    again += "\n";
  }
  std::istringstream reread(again);
  const qev::ExtremePart part = qev::ReadExtremeFile(reread, "again", layout).part;
  if (!Same(part.start, file.part.start) || !Same(part.end, file.part.end) ||
      part.events.size() != file.part.events.size()) {
    Broken("the part read again differs");
  }
  for (std::size_t i = 0; i < part.events.size(); ++i) {
    const qev::ExtremeEvent& a = part.events[i];
    const qev::ExtremeEvent& b = file.part.events[i];
    if (!Same(a.time, b.time) || !Same(a.magnitude, b.magnitude) || !Same(a.sd, b.sd)) {
      Broken("an event read again differs");
    }
  }
  return 0;
}
