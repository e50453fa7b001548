// One job from a catalog file to the parts of a qev::Catalog: read, select,
// decluster, split, and optionally write the classic files. The job comes
// from options or a small TOML file (layout in docs/catalogs.md).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "qev/catalog_split.h"
#include "qev/declustering.h"
#include "qev/event_selection.h"
#include "qev/events.h"

namespace qev {

struct PrepareJob {
  std::string catalog;                // the catalog file
  std::optional<EventFormat> format;  // default: by GuessFormat
  ReadOptions read;
  Selection selection;
  std::string zone_file;  // where selection.zone came from (kept as an input)
  std::string job_file;   // the TOML job read, if any (an input no output may replace)
  std::optional<DeclusterOptions> decluster;  // none: no declustering
  SplitOptions split;
  // Mmin of the analysis and of the classic session; default the lowest
  // level less kDefaultMminStep.
  std::optional<float> mmin;
  // Where the classic files go (none: not written) and their prefix.
  std::optional<std::filesystem::path> classic_directory;
  std::string classic_prefix = "qev";
  ClassicSession session;  // the rest of the classic answers (mmin is filled in)
};

// Mmin one tenth below the lowest level of the catalog unless given.
inline constexpr float kDefaultMminStep = 0.1f;

// A TOML job. Paths in it are taken relative to `base`, the folder of the
// TOML file. Unknown tables or keys and values of the wrong type throw
// ReadingError naming the key.
PrepareJob ParsePrepareToml(std::string_view text, const std::string& source,
                            const std::filesystem::path& base);

// A completeness table written as YEAR:MC[,YEAR:MC...] (e.g. 1900:6,1964:5).
std::vector<CompletenessStep> ParseCompleteness(std::string_view text, const std::string& what);

// Window table by name: gk (gardner-knopoff), uhrhammer, gruenthal.
DeclusterWindow ParseWindowName(std::string_view name, const std::string& what);

struct PrepareReport {
  ReadSummary read;
  std::size_t events_read = 0;  // events the reader kept
  SelectionCounts selection;
  std::size_t mainshocks = 0;
  std::size_t removed_by_declustering = 0;
  std::size_t largest_cluster = 0;  // events removed by one mainshock, at most
  EventTable events;                // after selection and declustering
  SplitResult split;
  float mmin = 0.0f;
  std::optional<ClassicFiles> classic;
};

// The last day a catalog observes: `known_end` (the end of the table as read)
// or else the day of the table's latest event, no later than the day before
// `until`. None for an empty table without a known end.
std::optional<CivilDate> ObservedEnd(const EventTable& events,
                                     const std::optional<CivilDate>& known_end,
                                     const std::optional<CivilDate>& until);

PrepareReport RunPrepare(const PrepareJob& job);
// The same on a catalog already read (as ReadEventFile reads job.catalog), so
// that one reading serves several jobs on the same catalog.
PrepareReport RunPrepare(const PrepareJob& job, ReadResult read);

// The printed summary: events read, skipped by reason, left out by the
// selection, removed by declustering, each part with its events and span,
// the largest event, and the classic files written.
std::string FormatPrepareSummary(const PrepareReport& report);

}  // namespace qev
