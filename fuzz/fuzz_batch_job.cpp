// The batch job reader on arbitrary text: a job or a ReadingError naming the
// line, never a crash, a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qev/batch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const qev::BatchJob job = qev::ParseBatchJob(text, "fuzz.toml", "/nonexistent");
    (void)qev::CrossBranches(job.branch_sets);
  } catch (const qev::ReadingError&) {
  }
  return 0;
}
