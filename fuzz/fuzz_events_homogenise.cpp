// Fuzzes the table of magnitude relations as Python's qev.homogenise reads it
// (TOML text, the keys at the root or in a [homogenise] table): any text gives
// options or a ReadingError naming the source; accepted options convert a small
// table of events of several types and agencies to magnitudes and SDs that are
// numbers, every event counted once, or throw one of the library's errors.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "fuzz_common.h"
#include "qev/homogenise.h"

namespace {

qev::EventTable SmallTable() {
  qev::EventTable events;
  const char* const types[] = {"mb", "Ms", "Mw", "ML", "mww", ""};
  const char* const agencies[] = {"ISC", "NEIC", ""};
  int k = 0;
  for (const char* type : types) {
    for (float m = -1.0f; m < 10.0f; m += 0.85f) {
      qev::EventTable::Row row;
      row.date = {2000, 1, 1};
      row.magnitude = m;
      row.sd = 0.1f * static_cast<float>(k % 4);
      row.magnitude_type = type;
      row.agency = agencies[k % 3];
      events.Append(row);
      events.AppendOther(m + 0.4f, k % 2 ? std::nanf("") : 0.2f, types[(k + 1) % 6],
                         agencies[(k + 1) % 3]);
      ++k;
    }
  }
  return events;
}

void CheckConverted(const qev::EventTable& input, const qev::HomogeniseResult& result) {
  const qev::EventTable& out = result.events;
  if (out.size() != result.rows.size()) fuzz::Broken("one input row per converted event");
  if (result.counts.converted != out.size()) fuzz::Broken("the count of converted events");
  if (result.counts.converted + result.counts.left_out != input.size())
    fuzz::Broken("every event converted or left out, once");
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (result.rows[i] >= input.size() || (i > 0 && result.rows[i] <= result.rows[i - 1]))
      fuzz::Broken("converted rows in table order");
    if (!std::isfinite(out.magnitude[i]) || !(out.sd[i] >= 0.0f) || !std::isfinite(out.sd[i]))
      fuzz::Broken("a converted magnitude and SD are numbers, the SD not below 0");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qev::HomogeniseOptions options;
  try {
    options = qev::ParseHomogeniseToml(text, "fuzz.toml");
  } catch (const qev::ReadingError& error) {
    if (error.source() != "fuzz.toml") fuzz::Broken("a reading error names its source");
    if (error.expected().empty()) fuzz::Broken("a reading error says what was expected");
    fuzz::CheckNoControlCharacters(error.what());
    return 0;
  } catch (const qev::Error&) {
    return 0;
  }
  static const qev::EventTable events = SmallTable();
  try {
    CheckConverted(events, qev::Homogenise(events, options));
  } catch (const qev::Error&) {
  }
  return 0;
}
