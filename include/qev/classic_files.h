// Readers of the classic catalog files, from any std::istream, without a
// console. Values are read in free format (docs/formats.md): separated by
// blanks, tabs, commas or line ends; two commas keep the value of the line
// before; r*v repeats a value; a slash ends the record. Each record starts on
// a new line; a line holds at most 4194304 (2^22) characters.
//
// Extreme file: the start date (year month day) and the end date of the
// extreme period, then (CommonSd) one SD, then one event per line: year month
// day magnitude [SD]. A zero month or day of the start is read as 1, of the
// end as 12 and 31; a zero in an event date takes the value of the event
// before (in the first event it stays 0). A per-event SD below 0.01 is raised
// to 0.01. The events end with the file; a last line without line end reads
// like any other.
//
// Complete file: the start and end dates of the part, its threshold, then
// (CommonSd, Grouped) one SD, then per line: magnitude SD (PerEventSd),
// magnitude (CommonSd), or frequency magnitude (Grouped).
//
// Errors: ReadingError (EndOfInput in the header) naming the source, line, the
// text read and what was expected: a malformed value, a negative SD or
// frequency, an SD above 2.5 (classic::kLargestSd), a fractional frequency,
// a magnitude (or threshold) above the largest the caller allows, a value
// whose hundredths (or whole number) do not fit 32 bits, the end of the file
// inside a record (some of its values read, the rest missing), a complete part
// without data lines that ends before it starts, a longer line; StreamError
// when the stream itself fails. CatalogError for an event less than 0.001 year
// after the one before it (or the start), an end of the extreme period before
// its last event (both name the event), and a complete part with data lines
// that ends before it starts (found at its first data line). The readers have
// no capacity limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "qev/catalog.h"

namespace qev {

// No upper limit on magnitudes: the readers' default.
inline constexpr float kAnyMagnitude = std::numeric_limits<float>::infinity();

enum class ExtremeLayout {
  PerEventSd = 1,  // magnitude and SD of each event
  CommonSd = 2,    // magnitude; one SD after the header dates
  NoSd = 3,        // magnitude; no SD anywhere (every SD is 0)
};

enum class CompleteLayout {
  PerEventSd = 1,  // magnitude and SD of each event; the part's SD is their mean
  CommonSd = 2,    // magnitude; one SD after the threshold
  Grouped = 3,     // frequency and magnitude; one SD after the threshold
};

// A date as completed, with the whole numbers the classic summaries show
// (each truncated toward zero) and the line that ended its record.
struct ClassicDate {
  float year = 0.0f;
  float month = 0.0f;
  float day = 0.0f;
  std::int32_t shown_year = 0;
  std::int32_t shown_month = 0;
  std::int32_t shown_day = 0;
  long line = 0;
};

struct ExtremeHeader {
  ClassicDate start;
  ClassicDate end;
  float common_sd = 0.0f;  // the SD line of CommonSd; 0 otherwise
};

// One event line: its completed date, the magnitude as read and the SD the
// event carries.
struct ExtremeLine {
  ClassicDate date;
  float magnitude = 0.0f;
  float sd = 0.0f;
};

// Reads an extreme file event by event, as the classic dialog echoes it:
// ReadLine takes the values of the next line, AcceptLine completes, checks and
// adds them as the next event, Finish closes the period.
class ExtremeFileReader {
 public:
  // Reads the header; `source` names the input in errors; a magnitude above
  // `largestMagnitude` is a reading error.
  ExtremeFileReader(std::istream& in, std::string source, ExtremeLayout layout,
                    float largestMagnitude = kAnyMagnitude);
  ~ExtremeFileReader();
  ExtremeFileReader(const ExtremeFileReader&) = delete;
  ExtremeFileReader& operator=(const ExtremeFileReader&) = delete;

  const ExtremeHeader& header() const;
  // Reads the values of the next event line; false at the end of the file.
  bool ReadLine();
  // Completes and checks the values just read and adds them as the next event.
  const ExtremeLine& AcceptLine();
  std::size_t event_count() const;
  // The part: every accepted event; the end of the period must not precede
  // the last event.
  ExtremePart Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct ExtremeFile {
  ExtremePart part;
  ExtremeHeader header;
  std::vector<ExtremeLine> lines;  // one per event
};
ExtremeFile ReadExtremeFile(std::istream& in, const std::string& source, ExtremeLayout layout,
                            float largestMagnitude = kAnyMagnitude);

struct CompleteHeader {
  ClassicDate start;
  ClassicDate end;
  float threshold = 0.0f;
  float sd = 0.0f;  // the SD line of CommonSd and Grouped; 0 otherwise
};

// One data line as read. Rows more than 0.01 below the threshold are kept
// and flagged (the classic dialog warns about them; the estimation ignores
// rows more than 0.02 below).
struct CompleteLine {
  float magnitude = 0.0f;
  float sd = 0.0f;         // per-event SD, or the header's
  float frequency = 1.0f;  // as read (Grouped); 1 otherwise
  bool below_threshold = false;
  long line = 0;
};

class CompleteFileReader {
 public:
  // As the extreme reader; the threshold too must not exceed `largestMagnitude`.
  CompleteFileReader(std::istream& in, std::string source, CompleteLayout layout,
                     float largestMagnitude = kAnyMagnitude);
  ~CompleteFileReader();
  CompleteFileReader(const CompleteFileReader&) = delete;
  CompleteFileReader& operator=(const CompleteFileReader&) = delete;

  const CompleteHeader& header() const;
  // Reads the next data line (SD and frequency must not be negative, the
  // frequency is whole); false at the end of the file.
  bool ReadLine();
  const CompleteLine& line() const;
  // Checks the line just read and adds it as the next row.
  const MagnitudeRow& AcceptLine();
  std::size_t row_count() const;
  CompletePart Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct CompleteFile {
  CompletePart part;
  CompleteHeader header;
  std::vector<std::size_t> below_threshold;  // indices of the rows flagged
};
CompleteFile ReadCompleteFile(std::istream& in, const std::string& source, CompleteLayout layout,
                              float largestMagnitude = kAnyMagnitude);

}  // namespace qev
