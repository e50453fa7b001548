// Fuzzes the reader of the classic extreme file. The first byte chooses the
// layout ('1' per-event SD, '2' common SD, '3' no SD), the rest is the file.
//
// Every input ends in a part or a typed error. A reading error names the
// source, a line that was read and what was expected, and shows only
// printable text; a catalog error names the event. A part is what the engine
// accepts (it decodes without an error), and written back in the same layout
// it reads again as the very same floats: nothing is misread.
#include <sstream>

#include "estimation/decoded_catalog.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzz::Broken, fuzz::Real, fuzz::Same;
  if (size == 0) return 0;
  const auto layout = fuzz::LayoutOf<qev::ExtremeLayout>(data[0]);
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  qev::ExtremeFile file;
  try {
    file = qev::ReadExtremeFile(in, "fuzz.dat", layout);
  } catch (const qev::CatalogError& error) {
    if (error.source() != "fuzz.dat" || error.event() < 1) Broken("a date error names the event");
    fuzz::CheckPrintable(error.what());
    return 0;
  } catch (const qev::ReadingError& error) {
    fuzz::CheckFileError(error);
    return 0;
  }
  qev::Catalog catalog;
  catalog.extreme = file.part;
  try {
    qev::Decode(catalog, qev::DataKind::Extremes);
  } catch (const qev::CatalogError&) {
    Broken("a part the reader accepts must be one the engine accepts");
  }
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
