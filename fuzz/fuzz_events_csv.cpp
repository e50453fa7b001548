// Fuzzes the reader of CSV catalogs: the first byte picks skipping of bad rows,
// a default SD and (CSV) a column mapping; the rest is the file. Nothing may
// crash or hang; what is kept must be sound and every row counted once.
#include <cstdint>
#include <string>
#include <string_view>

#include "events_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  qev::ReadOptions options;
  options.skip_bad_rows = (data[0] & 1) != 0;
  if ((data[0] & 2) != 0) options.default_sd = 0.1f;
  if ((data[0] & 4) != 0) options.columns["magnitude"] = "Mw";
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    events_fuzz::CheckTable(qev::ReadCsvText(text, "fuzz", options));
  } catch (const qev::Error&) {
  }
  return 0;
}
