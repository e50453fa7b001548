// Fuzzes the qev-prepare job file (TOML): any text either gives a job or
// throws one of the library's errors.
#include <cstdint>
#include <string_view>

#include "qev/prepare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    (void)qev::ParsePrepareToml(text, "fuzz.toml", "/nonexistent-fuzz-base");
  } catch (const qev::Error&) {
  }
  return 0;
}
