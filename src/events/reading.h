// Shared machinery of the event readers: physical lines from a file read in
// blocks or from text in memory, number and field parsing, and the rule for
// bad rows (stop, or skip and count).
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qev/events.h"
#include "textio/files.h"

namespace qev::events_detail {

// Physical lines, each without its line end (a carriage return before the line
// feed is dropped). Lines are views valid until the next call.
class LineSource {
 public:
  virtual ~LineSource() = default;
  virtual bool Next(std::string_view& line) = 0;
  long line_number() const { return line_number_; }
  // Rough number of bytes still to come (for reserving the table).
  virtual std::size_t size_hint() const = 0;

 protected:
  long line_number_ = 0;
};

std::unique_ptr<LineSource> TextLines(std::string_view text);
// Throws Error when the file cannot be opened; read in blocks, so that a file
// much larger than the table never sits in memory whole.
std::unique_ptr<LineSource> FileLines(const std::string& path);

// The whole file as text (QuakeML, a zone): a regular file of at most
// kLargestWholeFile bytes; throws Error naming `what` when it cannot be read.
std::string ReadWholeFile(const std::string& path, const std::string& what);
// The file opened for reading, a regular file only; throws Error naming
// `what` and the reason ("it is a directory, not a file", ...).
OpenedInput OpenInput(const std::string& path, const std::string& what);
// The longest line (or CSV record) the readers take: the classic readers' cap.
inline constexpr std::size_t kLongestEventLine = std::size_t{1} << 22;
// A line beyond kLongestEventLine characters: a ReadingError naming the line.
[[noreturn]] void ThrowLongLine(const std::string& source, long line);
// Refuses a JSON text nested deeper than kDeepestNesting (arrays and objects
// counted outside strings), before a parser that recurses sees it.
void CheckNesting(std::string_view text, const std::string& source, const char* opening,
                  const char* closing);

// A row that cannot be read: why (the summary's reason) and the error.
struct BadRow {
  std::string reason;
  ReadingError error;
};

// Stops at a bad row or counts it, by the options.
class BadRows {
 public:
  BadRows(ReadSummary& summary, const ReadOptions& options)
      : summary_(summary), options_(options) {}
  void Handle(const BadRow& bad);
  // An event left out for what it is (not for a fault): always counted.
  void Skip(const std::string& reason, const std::string& message);

 private:
  ReadSummary& summary_;
  const ReadOptions& options_;
};

// Throws Cancelled when the read's cancellation flag is raised.
inline void CheckCancelled(const ReadOptions& options) {
  if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
    throw Cancelled();
  }
}

std::string_view Trim(std::string_view text);
std::string Lower(std::string_view text);

// A finite number; nullopt when the text is not one in full.
std::optional<double> ParseDouble(std::string_view text);
// The same in single precision, rounded once from the text (as strtof).
std::optional<float> ParseFloat(std::string_view text);

// Date and time of day as read from an ISO 8601 text.
struct DateTime {
  CivilDate date;
  std::int32_t hour = 0;
  std::int32_t minute = 0;
  float second = 0.0f;
};
// YYYY-MM-DD[(T| )hh:mm[:ss[.fff]]][Z|(+|-)hh[:]mm], converted to UTC;
// nullopt when the text is not such a time or names no existing date.
std::optional<DateTime> ParseIsoTime(std::string_view text);

// Checks of the fields every reader shares; each throws BadRow.
struct FieldContext {
  const std::string& source;
  long line;
};
double RequireNumber(const FieldContext& at, std::string_view column, std::string_view text,
                     const char* what);
float RequireFloat(const FieldContext& at, std::string_view column, std::string_view text,
                   const char* what);
void CheckLatitude(const FieldContext& at, std::string_view column, double latitude,
                   std::string_view text);
void CheckLongitude(const FieldContext& at, std::string_view column, double longitude,
                    std::string_view text);
void CheckDateTime(const FieldContext& at, std::string_view column, const DateTime& when,
                   std::string_view text);
// The largest magnitude an event may have, as in the classic catalog files.
inline constexpr float kLargestMagnitude = 10.0f;
// A magnitude read from the text, not above kLargestMagnitude.
float RequireMagnitude(const FieldContext& at, std::string_view column, std::string_view text);
// The SD of an event: the text's number, else the default (counted), else a
// bad row.
float SdOrDefault(const FieldContext& at, std::string_view column, std::string_view text,
                  const ReadOptions& options, ReadSummary& summary);

[[noreturn]] void ThrowBadRow(const FieldContext& at, std::string reason, std::string_view text,
                              const std::string& expected);

}  // namespace qev::events_detail
