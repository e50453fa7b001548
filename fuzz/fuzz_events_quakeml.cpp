// Fuzzes the reader of QuakeML documents: nothing may crash or hang; what is kept must
// be sound and every row counted once.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::ReadEvents(data, size, [](std::string_view text, const qev::ReadOptions& options) {
    return qev::ReadQuakeMlText(text, "fuzz", options);
  });
}
