// Fuzzes the edit-descriptor formatter: arbitrary format texts with arbitrary
// items, single I, F and E fields of any width, list records, and the console
// and file destinations that take the records.
//
// A format text that cannot be parsed, or an item whose type does not fit its
// descriptor, is a programming error: FormatText reports it as
// std::logic_error, an expected outcome here. Anything else that escapes, a
// crash or a sanitizer report is a fault. Single fields must always have
// exactly their width.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "console/formatter.h"
#include "console/sink.h"
#include "console/stop.h"
#include "fuzz_common.h"

namespace {

using fuzz::Broken;

float AnyFloat(FuzzedDataProvider& provider) {
  // Every bit pattern: denormals, infinities, quiet and signalling NaNs.
  return std::bit_cast<float>(provider.ConsumeIntegral<std::uint32_t>());
}

qev::Item AnyItem(FuzzedDataProvider& provider) {
  switch (provider.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      return provider.ConsumeIntegral<std::int32_t>();
    case 1:
      return AnyFloat(provider);
    default:
      return provider.ConsumeRandomLengthString(120);
  }
}

void CheckFields(FuzzedDataProvider& provider) {
  const int width = provider.ConsumeIntegralInRange<int>(1, 40);
  const int decimals = provider.ConsumeIntegralInRange<int>(0, 30);
  const float value = AnyFloat(provider);
  const std::int32_t integer = provider.ConsumeIntegral<std::int32_t>();
  const std::string fixed = qev::FormatFixed(value, width, decimals);
  const std::string exponent = qev::FormatExponent(value, width, decimals);
  const std::string whole = qev::FormatInteger(integer, width);
  for (const std::string* field : {&fixed, &exponent, &whole}) {
    if (static_cast<int>(field->size()) != width) Broken("a field must have its width:", *field);
  }
  // A field that shows a number shows the right sign.
  if (std::isfinite(value) && value > 0.0f && fixed.find('-') != std::string::npos) {
    Broken("a positive value shown negative:", fixed);
  }
  if (integer >= 0 && whole.find('-') != std::string::npos)
    Broken("a non-negative integer shown negative:", whole);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  CheckFields(provider);

  const int itemCount = provider.ConsumeIntegralInRange<int>(0, 12);
  qev::Items items;
  for (int i = 0; i < itemCount; ++i) items.push_back(AnyItem(provider));
  const std::string format = provider.ConsumeRemainingBytesAsString();

  std::ostringstream console;
  qev::ReportSink sink(console);
  try {
    const std::vector<std::string> records = qev::FormatText(format, items);
    if (records.empty()) Broken("a formatted write makes at least one record");
    sink.Format(qev::Dest::Console, format, items);
    sink.Format(qev::Dest::File, format, items);  // no file open: nothing written
  } catch (const std::logic_error&) {
    // A format text the formatter cannot run: the programming-error path.
  } catch (const qev::ProgramStop&) {
    Broken("a formatted write to the console must not stop the program");
  }
  sink.List(qev::Dest::Console, items);
  sink.WriteStopLine();
  const std::string shown = console.str();
  const std::string stopLine = "Stop - Program terminated.\r\n";
  if (shown.size() < stopLine.size() ||
      shown.compare(shown.size() - stopLine.size(), stopLine.size(), stopLine) != 0) {
    Broken("the console must end with the stop line");
  }
  return 0;
}
