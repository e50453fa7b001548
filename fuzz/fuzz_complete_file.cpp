// Fuzzes the reader of the classic complete file. The first byte chooses the
// layout ('1' per-event SD, '2' common SD, '3' grouped), the rest is the file.
//
// Every input ends in a part or a typed error naming the source, a line that
// was read, the text and what was expected (a period that ends before it
// starts, the line). A part is what the engine accepts, and written back in
// the same layout it reads again as the very same floats and counts, with the
// same rows flagged below the threshold: nothing is misread.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzz::Broken, fuzz::Real, fuzz::Same;
  qev::CompleteLayout layout{};
  const auto read = fuzz::ReadClassicFile<qev::CompleteFile>(
      data, size, layout, qev::ReadCompleteFile, [](const auto& e) { return e.line(); },
      [](qev::Catalog& c, const qev::CompleteFile& f) { c.complete.push_back(f.part); },
      qev::DataKind::Complete);
  if (!read) return 0;
  const qev::CompleteFile& file = *read;

  // Written back, completed, in the same layout.
  std::string again = fuzz::Date(file.header.start) + "\n" + fuzz::Date(file.header.end) + "\n" +
                      Real(file.header.threshold) + "\n";
  if (layout != qev::CompleteLayout::PerEventSd) again += Real(file.header.sd) + "\n";
  for (const qev::MagnitudeRow& row : file.part.rows) {
    if (layout == qev::CompleteLayout::Grouped) again += std::to_string(row.frequency) + " ";
    again += Real(row.magnitude);
    if (layout == qev::CompleteLayout::PerEventSd) again += " " + Real(row.sd);
    again += "\n";
  }
  std::istringstream reread(again);
  const qev::CompleteFile second = qev::ReadCompleteFile(reread, "again", layout);
  const qev::CompletePart& part = second.part;
  if (!Same(part.start, file.part.start) || !Same(part.end, file.part.end) ||
      !Same(part.threshold, file.part.threshold) || !Same(part.sd, file.part.sd) ||
      part.rows.size() != file.part.rows.size() || second.below_threshold != file.below_threshold) {
    Broken("the part read again differs");
  }
  for (std::size_t i = 0; i < part.rows.size(); ++i) {
    const qev::MagnitudeRow& a = part.rows[i];
    const qev::MagnitudeRow& b = file.part.rows[i];
    if (!Same(a.magnitude, b.magnitude) || !Same(a.sd, b.sd) || a.frequency != b.frequency) {
      Broken("a row read again differs");
    }
  }
  return 0;
}
