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
#include "qev/completeness.h"
#include "qev/declustering.h"
#include "qev/event_selection.h"
#include "qev/events.h"
#include "qev/homogenise.h"
#include "qev/input_checks.h"
#include "qev/settings.h"
#include "qev/weichert.h"

namespace qev {

struct PrepareJob {
  std::string catalog;                // the catalog file
  std::optional<EventFormat> format;  // default: by GuessFormat
  ReadOptions read;
  // The conversion to one magnitude scale, before the selection (none: the
  // magnitudes as read). Its default SD is the reader's unless given.
  std::optional<HomogeniseOptions> homogenise;
  Selection selection;
  std::string zone_file;  // where selection.zone came from (kept as an input)
  std::string job_file;   // the TOML job read, if any (an input no output may replace)
  std::optional<DeclusterOptions> decluster;  // none: no declustering
  SplitOptions split;
  // completeness = "auto": the table is estimated from the events after the
  // selection and the declustering (and replaces split.completeness), with
  // these options ([completeness] in the job file); the SVG figures go to
  // completeness_figures when it is not empty.
  bool completeness_auto = false;
  CompletenessOptions completeness;
  std::string completeness_figures;
  // The analysis settings of [analysis] (and qev-prepare's options): Mmin of
  // the analysis and of the classic session (default the lowest level less
  // kDefaultMminStep), SIG(Xmax), the procedure, the prior, the fixed Mmax
  // (mmax_values, every run at it) or the cap (see AnalysisOptions::mmax_cap).
  AnalysisLayer analysis;
  // Warnings of the input checks stop the job (InputWarningsError) before any
  // file is written; `strict = true` of the TOML job.
  bool strict = false;
  // Where the classic files go (none: not written) and their prefix.
  std::optional<std::filesystem::path> classic_directory;
  std::string classic_prefix = "qev";
  // The rest of the classic answers (report name and spans); Mmin, SIG(Xmax),
  // the procedure and the prior are filled in from `analysis`.
  ClassicSession session;
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

// A declustering method by name: the same as ParseDeclusterMethod (the name
// kept from when every method was a window table).
DeclusterWindow ParseWindowName(std::string_view name, const std::string& what);

struct PrepareReport {
  ReadSummary read;
  std::size_t events_read = 0;  // events the reader kept
  std::optional<HomogeniseCounts> homogenised;
  SelectionCounts selection;
  std::size_t mainshocks = 0;
  std::size_t removed_by_declustering = 0;
  std::size_t largest_cluster = 0;                   // events removed by one mainshock, at most
  EventTable events;                                 // after selection and declustering
  std::optional<CompletenessEstimate> completeness;  // with completeness_auto
  std::vector<std::string> completeness_figures;     // the figures written
  SplitResult split;
  float mmin = 0.0f;
  // Weichert's b-value and rate above Mmin from the complete parts (none
  // without complete parts, events in two bins or more; weichert_note says why).
  std::optional<WeichertResult> weichert;
  std::string weichert_note;
  std::vector<InputWarning> warnings;  // CheckPrepared without the analysis
  std::optional<ClassicFiles> classic;
};

// The last day a catalog observes: `known_end` (the end of the table as read)
// or else the day of the table's latest event, no later than the day before
// `until`. None for an empty table without a known end.
std::optional<CivilDate> ObservedEnd(const EventTable& events,
                                     const std::optional<CivilDate>& known_end,
                                     const std::optional<CivilDate>& until);

// The pipeline. Throws CatalogError naming the filter that left no events
// (with the count after each filter), InvalidOptions for an Mmin above the
// lowest completeness threshold (as Analyze does), and InputWarningsError in
// strict mode; all of them before any file is written.
PrepareReport RunPrepare(const PrepareJob& job);
// The same on a catalog already read (as ReadEventFile reads job.catalog), so
// that one reading serves several jobs on the same catalog.
PrepareReport RunPrepare(const PrepareJob& job, ReadResult read);

// The printed summary: events read, skipped by reason, converted and left
// out per magnitude type, left out by the
// selection, removed by declustering, each part with its events and span,
// the largest event, and the classic files written.
std::string FormatPrepareSummary(const PrepareReport& report);

// The checks of qev/input_checks.h on the prepared parts: the completeness
// table, the magnitude types of the events in the parts, the extreme
// windows, and with an analysis the prior's weight and Weichert's b.
std::vector<InputWarning> CheckPrepared(const PrepareReport& report, const PrepareJob& job,
                                        const AnalysisResult* analysis = nullptr);

// Events of the parts (complete and extreme rows) per magnitude type.
std::vector<std::pair<std::string, std::size_t>> MagnitudeTypesOfParts(const PrepareReport& report);

// The analysis settings of the job on its prepared parts: those of
// job.analysis, Mmin the report's.
AnalysisOptions PrepareAnalysisOptions(const PrepareReport& report, const PrepareJob& job);
// The classic answers of the job: its session with Mmin, SIG(Xmax), the
// procedure and the prior of the analysis settings.
ClassicSession ClassicSessionOf(const PrepareReport& report, const PrepareJob& job);

// Summary lines of the warnings ("warning: ...") and of Weichert's estimate
// beside the engine's (with the analysis when given).
std::string FormatChecks(const PrepareReport& report, const std::vector<InputWarning>& warnings,
                         const AnalysisResult* analysis = nullptr);

}  // namespace qev
