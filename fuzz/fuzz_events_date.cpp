// Fuzzes the date text Python's selections and splits take (start, end,
// completeness steps): any text gives a date that exists and was written as
// YYYY, YYYY-MM or YYYY-MM-DD (a leading minus before the common era), with
// the numbers written, or a ReadingError that names what was read and what
// was expected.
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_common.h"
#include "qev/events.h"

namespace {

// The digits of one field, between `least` and `most` of them from `at`, as a
// number; none for another count of digits.
std::optional<std::int32_t> Digits(std::string_view text, std::size_t& at, std::size_t least,
                                   std::size_t most) {
  const std::size_t start = at;
  std::int32_t value = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0) {
    if (at - start < most) value = value * 10 + (text[at] - '0');
    ++at;
  }
  if (at - start < least || at - start > most) return std::nullopt;
  return value;
}

// The date in the form the reader documents, read character by character;
// none for any other text. Month and day 0 where they are not written.
std::optional<qev::CivilDate> WrittenDate(std::string_view text) {
  std::size_t at = text.starts_with('-') ? 1 : 0;
  const std::optional<std::int32_t> year = Digits(text, at, 1, 6);
  if (!year) return std::nullopt;
  qev::CivilDate date{text.starts_with('-') ? -*year : *year, 0, 0};
  std::int32_t* fields[] = {&date.month, &date.day};
  for (std::int32_t* field : fields) {
    if (at == text.size()) break;
    if (text[at++] != '-') return std::nullopt;
    const std::optional<std::int32_t> value = Digits(text, at, 2, 2);
    if (!value) return std::nullopt;
    *field = *value;
  }
  if (at != text.size()) return std::nullopt;
  return date;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qev::CivilDate date;
  try {
    date = qev::ParseDate(text, "fuzz date");
  } catch (const qev::ReadingError& error) {
    if (error.source() != "fuzz date" || error.expected().empty())
      fuzz::Broken("a date error names what was read and what was expected");
    fuzz::CheckNoControlCharacters(error.what());
    return 0;
  }
  const std::optional<qev::CivilDate> written = WrittenDate(text);
  if (!written) fuzz::Broken("a date accepted in another form", std::string(text));
  if (!(date == *written))
    fuzz::Broken("a date read as other numbers than written", std::string(text));
  if (date.month < 0 || date.month > 12 || date.day < 0 || date.day > 31 ||
      (date.month == 0 && date.day != 0))
    fuzz::Broken("a month and day within the calendar", std::string(text));
  return 0;
}
