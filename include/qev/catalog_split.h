// From an event table to the parts of a qev::Catalog: a completeness table
// gives the complete parts, the years before it (or a given span) the extreme
// part. Optionally the parts are written as classic catalog files with an
// answers file, so that `qev < answers` runs the classic session on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "qev/catalog.h"
#include "qev/classic_bounds.h"
#include "qev/errors.h"
#include "qev/events.h"

namespace qev {

// From 1 January of `year` on, the catalog is complete at and above
// `threshold` (until the next step's year).
struct CompletenessStep {
  std::int32_t year = 0;
  float threshold = 0.0f;
};

// What the split does with an extreme window that holds no event.
enum class EmptyWindows {
  Merge,   // joins the window of the next listed event (the last window, after it)
  Refuse,  // CatalogError with the count and the choices
};

struct SplitOptions {
  std::vector<CompletenessStep> completeness;  // years increasing; empty: no complete part
  // Last day of the youngest complete period; default the day of the last
  // event of the table (RunPrepare passes the end of the catalog as read).
  std::optional<CivilDate> end;
  // First day the catalog observes (a selection's `from`): no part begins
  // before it, and a completeness step that ends before it gives no part.
  std::optional<CivilDate> start;
  // The extreme part: the largest event of each window of this many years
  // (0: no extreme part), over the span from extreme_from to extreme_to
  // (both days included). Default span: 1 January of the first event's year
  // to the day before the first complete period.
  std::int32_t extreme_window_years = 0;
  std::optional<CivilDate> extreme_from;
  std::optional<CivilDate> extreme_to;
  EmptyWindows empty_windows = EmptyWindows::Merge;
};

// First and last day of a part.
struct PartPeriod {
  CivilDate first_day;
  CivilDate last_day;
};

// One window of the extreme part as built: its days, the row of its largest
// event and how many windows of the given length it joins (1: none was empty).
struct ExtremeWindow {
  CivilDate first_day;
  CivilDate last_day;
  std::size_t row = 0;
  std::int32_t windows = 1;
};

struct SplitResult {
  Catalog catalog;  // ready for Analyze
  std::optional<PartPeriod> extreme_period;
  std::vector<std::size_t> extreme_rows;       // rows of the table, in time order
  std::vector<CivilDate> extreme_dates;        // their completed dates (as in the classic file)
  std::vector<ExtremeWindow> extreme_windows;  // as built, one per listed event
  std::size_t extreme_window_count = 0;        // windows of the given length in the span
  std::size_t empty_windows = 0;               // of them, those that held no event
  std::vector<PartPeriod> complete_periods;
  std::vector<std::vector<std::size_t>> complete_rows;  // per part, in time order
  std::size_t below_threshold = 0;  // events of complete periods below their threshold
  std::size_t outside_parts = 0;    // events in no period at all
};

// Magnitudes are compared with the thresholds to within half a hundredth, the
// resolution the classic files store. Empty extreme windows are merged or
// refused as options.empty_windows says. Throws CatalogError for a completeness
// table out of order, a window of less than one year, a span that ends before
// it begins, and extreme events less than 0.001 year apart (the classic
// interval resolution).
SplitResult Split(const EventTable& events, const SplitOptions& options);

// Limits of the classic files (qev/classic_bounds.h).
inline constexpr std::size_t kClassicExtremeEvents = classic::kExtremeEvents;
inline constexpr std::size_t kClassicCompleteRows = classic::kCompleteRows;
inline constexpr std::size_t kClassicCompleteParts = classic::kCompleteParts;
inline constexpr std::size_t kClassicNameLength = classic::kNameLength;

// A part that the classic files cannot hold; the message names the part, the
// count, the limit and what to do.
class ClassicLimitError : public Error {
 public:
  using Error::Error;
};

// Answers of the classic session written beside the files.
struct ClassicSession {
  std::string report_name = "session.out";  // at most 15 characters
  float spans[3] = {50.0f, 100.0f, 1000.0f};
  float mmin = 0.0f;  // must lie below the lowest threshold and extreme magnitude
  float sig_xmax = 0.2f;
  int procedure = 1;  // 1 Cramer, 2 Bayes
  float prior_b = 1.0f;
  float prior_b_sd = 0.1f;
  // Mmax typed after each run (the first run starts from the program's
  // point); a 0 ending the runs follows them.
  std::vector<float> next_mmax;
};

struct ClassicFilesOptions {
  std::filesystem::path directory = ".";
  std::string prefix = "qev";  // file names: <prefix>_ext.dat, <prefix>_c1.dat, ...
  ClassicSession session;
  // Files that must never be replaced (the catalog read, the zone, ...).
  std::vector<std::filesystem::path> inputs;
};

struct ClassicFiles {
  std::vector<std::filesystem::path> written;  // the catalog files, then the answers
  std::filesystem::path answers;
};

// Writes the extreme file (layout 1: year month day magnitude SD per event),
// the complete files (layout 1: magnitude SD per event) and the answers file.
// Values are written in the shortest form that reads back as the same float.
// Throws ClassicLimitError before writing anything when a part exceeds the
// classic limits, and Error when an output would replace an input (same
// device and inode) or cannot be written.
ClassicFiles WriteClassicFiles(const SplitResult& split, const ClassicFilesOptions& options);

// The lowest level of the catalog: the smallest extreme magnitude and the
// complete thresholds (Mmin must lie below it). 0 for an empty catalog.
float LowestLevel(const Catalog& catalog);

}  // namespace qev
