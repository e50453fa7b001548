// Fuzzes the qev-prepare job file (TOML): any text either gives a job or
// throws one of the library's errors; a job's magnitude relations convert a
// small table of events or throw one of them too.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "qev/homogenise.h"
#include "qev/prepare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const qev::PrepareJob job = qev::ParsePrepareToml(text, "fuzz.toml", "/nonexistent-fuzz-base");
    if (job.homogenise) {
      qev::EventTable events;
      for (const char* type : {"mb", "Ms", "Mw", "ML"}) {
        for (float m = 2.0f; m < 9.0f; m += 0.75f) {
          qev::EventTable::Row row;
          row.date = {2000, 1, 1};
          row.magnitude = m;
          row.sd = 0.1f;
          row.magnitude_type = type;
          events.Append(row);
          events.AppendOther(m + 0.5f, std::nanf(""), "Ms", "ISC");
        }
      }
      (void)qev::Homogenise(events, *job.homogenise);
    }
  } catch (const qev::Error&) {
  }
  return 0;
}
