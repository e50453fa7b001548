#include "events/reading.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "textio/reader.h"

namespace qev::events_detail {

static_assert(kLongestEventLine == qev::kLongestLine, "one cap on lines for every reader");

namespace {

class TextLineSource : public LineSource {
 public:
  explicit TextLineSource(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) override {
    if (position_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', position_);
    const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    line = text_.substr(position_, stop - position_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    position_ = end == std::string_view::npos ? text_.size() : end + 1;
    ++line_number_;
    return true;
  }
  std::size_t size_hint() const override { return text_.size() - position_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

// Lines from a file read in blocks of kBlock bytes; a line longer than the
// buffer grows it, up to kLongestEventLine characters.
class FileLineSource : public LineSource {
 public:
  static constexpr std::size_t kBlock = 1 << 20;

  explicit FileLineSource(const std::string& path)
      : path_(path), file_(OpenInput(path, "the catalog file")) {
    remaining_ = static_cast<std::size_t>(file_.size);
    buffer_.resize(kBlock);
  }
  ~FileLineSource() override { ::close(file_.descriptor); }
  FileLineSource(const FileLineSource&) = delete;
  FileLineSource& operator=(const FileLineSource&) = delete;

  bool Next(std::string_view& line) override {
    for (;;) {
      const char* begin = buffer_.data() + start_;
      const void* found = std::memchr(begin, '\n', filled_ - start_);
      if (found != nullptr) {
        const char* stop = static_cast<const char*>(found);
        line = std::string_view(begin, static_cast<std::size_t>(stop - begin));
        start_ = static_cast<std::size_t>(stop - buffer_.data()) + 1;
        break;
      }
      if (eof_) {
        if (start_ == filled_) return false;
        line = std::string_view(begin, filled_ - start_);
        start_ = filled_;
        break;
      }
      Refill();
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kLongestEventLine) ThrowLongLine(path_, line_number_ + 1);
    ++line_number_;
    return true;
  }
  std::size_t size_hint() const override { return remaining_; }

 private:
  void Refill() {
    // Keep the unfinished line at the front and read after it.
    std::memmove(buffer_.data(), buffer_.data() + start_, filled_ - start_);
    filled_ -= start_;
    start_ = 0;
    // A line end within kLongestEventLine characters (and its carriage return).
    if (filled_ > kLongestEventLine + 1) ThrowLongLine(path_, line_number_ + 1);
    if (filled_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    ssize_t got = 0;
    do {
      got = ::read(file_.descriptor, buffer_.data() + filled_, buffer_.size() - filled_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw StreamError(path_, line_number_ + 1, SystemReason(errno));
    if (got == 0) eof_ = true;
    const auto count = static_cast<std::size_t>(got);
    filled_ += count;
    remaining_ = remaining_ > count ? remaining_ - count : 0;
  }

  std::string path_;
  OpenedInput file_;
  std::vector<char> buffer_;
  std::size_t start_ = 0;
  std::size_t filled_ = 0;
  std::size_t remaining_ = 0;
  bool eof_ = false;
};

// The day before or after a full date: `days` is -1, 0 or 1 (a time zone
// offset moves a time by less than a day).
CivilDate StepDay(const CivilDate& date, int days) {
  if (days < 0) return PreviousDay(date);
  if (days == 0) return date;
  if (date.day < LastDayOf({date.year, date.month, 0}).day) {
    return {date.year, date.month, date.day + 1};
  }
  if (date.month < 12) return {date.year, date.month + 1, 1};
  return {date.year == -1 ? 1 : date.year + 1, 1, 1};
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, std::int32_t& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::unique_ptr<LineSource> TextLines(std::string_view text) {
  return std::make_unique<TextLineSource>(text);
}

std::unique_ptr<LineSource> FileLines(const std::string& path) {
  return std::make_unique<FileLineSource>(path);
}

std::string ReadWholeFile(const std::string& path, const std::string& what) {
  return ReadRegularFile(path, what);
}

OpenedInput OpenInput(const std::string& path, const std::string& what) {
  OpenedInput opened = OpenRegularInput(path);
  if (opened.descriptor < 0) {
    throw Error(path + ": cannot open " + what + " (" + opened.reason + ")");
  }
  return opened;
}

void ThrowLongLine(const std::string& source, long line) {
  throw ReadingError(source, line,
                     "a line of more than " + std::to_string(kLongestEventLine) + " characters",
                     "at most " + std::to_string(kLongestEventLine) + " characters on a line");
}

void CheckNesting(std::string_view text, const std::string& source, const char* opening,
                  const char* closing) {
  int depth = 0;
  long line = 1;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (quoted) {
      if (c == '\\') ++i;
      quoted = c != '"';
      continue;
    }
    if (c == '"') {
      quoted = true;
    } else if (std::strchr(opening, c) != nullptr && c != '\0') {
      if (++depth > kDeepestNesting) {
        throw ReadingError(
            source, line,
            "more than " + std::to_string(kDeepestNesting) + " nested arrays or objects",
            "at most " + std::to_string(kDeepestNesting) + " levels of nesting");
      }
    } else if (std::strchr(closing, c) != nullptr && c != '\0') {
      --depth;
    }
  }
}

void BadRows::Handle(const BadRow& bad) {
  if (!options_.skip_bad_rows) throw bad.error;
  Skip(bad.reason, bad.error.what());
}

void BadRows::Skip(const std::string& reason, const std::string& message) {
  for (ReadSummary::Skipped& s : summary_.skipped) {
    if (s.reason == reason) {
      ++s.count;
      return;
    }
  }
  summary_.skipped.push_back({reason, 1, message});
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<double> ParseDouble(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<float> ParseFloat(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  float value = 0.0f;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

namespace {

// The date of an ISO 8601 time: a year of four to six digits (a sign
// before it allowed), '-', two digits of month, '-', two of day. `at` ends
// after the day.
bool ParseIsoDate(std::string_view text, std::size_t& at, CivilDate& date) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
    ++at;
  }
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos || dash < 4 || dash > 6) return false;
  if (!Digits(text, 0, dash, date.year)) return false;
  if (negative) date.year = -date.year;
  if (text.size() < dash + 6 || text[dash + 3] != '-') return false;
  if (!Digits(text, dash + 1, 2, date.month) || !Digits(text, dash + 4, 2, date.day)) {
    return false;
  }
  at += dash + 6;
  return true;
}

// hh:mm, then :ss with any decimals, from `at`; `at` ends after them.
bool ParseClock(std::string_view text, std::size_t& at, DateTime& t) {
  if (!Digits(text, at, 2, t.hour) || at + 2 >= text.size() || text[at + 2] != ':' ||
      !Digits(text, at + 3, 2, t.minute)) {
    return false;
  }
  at += 5;
  if (at >= text.size() || text[at] != ':') return true;
  std::size_t stop = at + 1;
  while (stop < text.size() && ((text[stop] >= '0' && text[stop] <= '9') || text[stop] == '.')) {
    ++stop;
  }
  if (stop - at - 1 < 2) return false;
  const auto seconds = ParseDouble(text.substr(at + 1, stop - at - 1));
  if (!seconds) return false;
  t.second = static_cast<float>(*seconds);
  at = stop;
  return true;
}

// What follows the clock to the end of the text: nothing, 'Z', or an offset
// +hh, +hhmm or +hh:mm (or with '-') from UTC, in minutes.
bool ParseUtcOffset(std::string_view text, std::size_t at, int& offset_minutes) {
  if (at == text.size()) return true;
  if (text[at] == 'Z') return at + 1 == text.size();
  if (text[at] != '+' && text[at] != '-') return false;
  const int sign = text[at] == '-' ? -1 : 1;
  std::int32_t hh = 0;
  std::int32_t mm = 0;
  std::size_t p = at + 1;
  if (!Digits(text, p, 2, hh)) return false;
  p += 2;
  if (p < text.size() && text[p] == ':') ++p;
  if (p < text.size()) {
    if (!Digits(text, p, 2, mm)) return false;
    p += 2;
  }
  if (p != text.size() || hh > 23 || mm > 59) return false;
  offset_minutes = sign * (hh * 60 + mm);
  return true;
}

// The local time `t`, `offset_minutes` ahead of UTC, as UTC.
void ShiftToUtc(DateTime& t, int offset_minutes) {
  int minutes = t.hour * 60 + t.minute - offset_minutes;
  int days = 0;
  while (minutes < 0) {
    minutes += 1440;
    --days;
  }
  while (minutes >= 1440) {
    minutes -= 1440;
    ++days;
  }
  t.date = StepDay(t.date, days);
  t.hour = minutes / 60;
  t.minute = minutes % 60;
}

}  // namespace

std::optional<DateTime> ParseIsoTime(std::string_view text) {
  text = Trim(text);
  DateTime t;
  std::size_t at = 0;
  if (!ParseIsoDate(text, at, t.date)) return std::nullopt;
  int offset_minutes = 0;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != ' ') return std::nullopt;
    ++at;
    if (!ParseClock(text, at, t) || !ParseUtcOffset(text, at, offset_minutes)) {
      return std::nullopt;
    }
  }
  // A date or time that does not exist is left for the caller to name.
  const bool exists = IsValidDate(t.date) && t.hour <= 23 && t.minute <= 59 && t.second < 61.0f;
  if (offset_minutes != 0 && exists) {
    if (t.date.month == 0 || t.date.day == 0) return std::nullopt;
    ShiftToUtc(t, offset_minutes);
  }
  return t;
}

void ThrowBadRow(const FieldContext& at, std::string reason, std::string_view text,
                 const std::string& expected) {
  throw BadRow{std::move(reason), ReadingError(at.source, at.line, std::string(text), expected)};
}

namespace {

std::string InColumn(std::string_view column, const std::string& what) {
  return "in column '" + std::string(column) + "' " + what;
}

}  // namespace

[[noreturn]] void ThrowNotANumber(const FieldContext& at, std::string_view column,
                                  std::string_view text, const char* what) {
  const std::string_view trimmed = Trim(text);
  if (trimmed.find(',') != std::string_view::npos) {
    std::string dotted(trimmed);
    std::replace(dotted.begin(), dotted.end(), ',', '.');
    if (ParseDouble(dotted)) {
      ThrowBadRow(at, "decimal comma", text,
                  InColumn(column, std::string(what) +
                                       " with a decimal point (a decimal comma cannot stand in "
                                       "a comma-separated file)"));
    }
  }
  if (trimmed.empty()) ThrowBadRow(at, std::string("no ") + what, text, InColumn(column, what));
  ThrowBadRow(at, std::string("not a finite ") + what, text,
              InColumn(column, std::string("a finite ") + what));
}

double RequireNumber(const FieldContext& at, std::string_view column, std::string_view text,
                     const char* what) {
  if (const auto value = ParseDouble(text)) return *value;
  ThrowNotANumber(at, column, text, what);
}

float RequireFloat(const FieldContext& at, std::string_view column, std::string_view text,
                   const char* what) {
  if (const auto value = ParseFloat(text)) return *value;
  ThrowNotANumber(at, column, text, what);
}

void CheckLatitude(const FieldContext& at, std::string_view column, double latitude,
                   std::string_view text) {
  if (latitude < -90.0 || latitude > 90.0) {
    ThrowBadRow(at, "latitude outside -90..90", text,
                InColumn(column, "a latitude between -90 and 90 degrees"));
  }
}

void CheckLongitude(const FieldContext& at, std::string_view column, double longitude,
                    std::string_view text) {
  if (longitude < -180.0 || longitude > 360.0) {
    ThrowBadRow(at, "longitude outside -180..360", text,
                InColumn(column, "a longitude between -180 and 360 degrees"));
  }
}

void CheckDateTime(const FieldContext& at, std::string_view column, const DateTime& when,
                   std::string_view text) {
  if (!IsValidDate(when.date)) {
    ThrowBadRow(at, "impossible date", text,
                InColumn(column,
                         "a date that exists (month 1..12 or 0 for unknown, day within "
                         "its month or 0 for unknown)"));
  }
  if (when.hour < 0 || when.hour > 23 || when.minute < 0 || when.minute > 59 ||
      !(when.second >= 0.0f && when.second < 61.0f)) {
    ThrowBadRow(at, "impossible time of day", text,
                InColumn(column, "a time of day (hour 0..23, minute 0..59, second 0..60)"));
  }
}

float RequireMagnitude(const FieldContext& at, std::string_view column, std::string_view text) {
  const float magnitude = RequireFloat(at, column, text, "magnitude");
  if (magnitude > kLargestMagnitude) {
    ThrowBadRow(at, "magnitude above 10", text, InColumn(column, "a magnitude not above 10"));
  }
  return magnitude;
}

float SdOrDefault(const FieldContext& at, std::string_view column, std::string_view text,
                  const ReadOptions& options, ReadSummary& summary) {
  if (Trim(text).empty()) {
    if (!options.default_sd) {
      ThrowBadRow(at, "no magnitude SD", text,
                  InColumn(column, "the magnitude's SD, or a default SD given by option"));
    }
    ++summary.sd_defaulted;
    return *options.default_sd;
  }
  const float sd = RequireFloat(at, column, text, "magnitude SD");
  if (sd < 0.0f) {
    ThrowBadRow(at, "negative magnitude SD", text, InColumn(column, "an SD of 0 or more"));
  }
  return sd;
}

}  // namespace qev::events_detail
