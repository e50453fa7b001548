// Batch analyses: a job file names source zones and the alternatives of a
// logic tree; every (zone, branch, replicate) is one task, replicate 0 the
// catalog itself and 1..N bootstrap resamples of it. Tasks run on a pool of
// threads (or MPI ranks, see qev/batch_mpi.h) and their results are written in
// task order as they become ready. The job layout, the bootstrap and the
// outputs are described in docs/batch.md.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qev/analysis.h"
#include "qev/calibration.h"
#include "qev/catalog.h"
#include "qev/catalog_split.h"
#include "qev/errors.h"
#include "qev/input_checks.h"
#include "qev/prepare.h"
#include "qev/settings.h"
#include "qev/weichert.h"

namespace qev {

// ---------------------------------------------------------------- the job

// The settings one level of the job sets (the defaults, a zone, a branch
// alternative); what a level leaves out comes from the level below. The
// analysis and hazard keys are those of the settings table (qev/settings.h).
struct SettingsLayer : AnalysisLayer {
  // Completeness table of zones read from a standard catalog; an empty table
  // (the text "auto") is estimated from the zone's selected, declustered
  // events as qev-prepare's completeness = "auto" does.
  std::optional<std::vector<CompletenessStep>> completeness;
  // Declustering of zones read from a standard catalog: a method (its other
  // parameters those of the zone's prepare job) or none (no declustering).
  // The outer optional says whether the layer sets it.
  std::optional<std::optional<DeclusterMethod>> decluster;

  // The values `above` sets replace those of this layer.
  void Overlay(const SettingsLayer& above);
};

// How a zone becomes an OpenQuake source ([openquake] of the job, then
// [zone.openquake]); what no level sets has the default of docs/batch.md.
struct NodalPlane {
  double strike = 0.0;
  double dip = 90.0;
  double rake = 0.0;
  double probability = 1.0;
};
struct HypoDepth {
  double depth = 0.0;  // km
  double probability = 1.0;
};
struct SourceSettings {
  std::optional<std::string> tectonic_region;
  std::optional<double> upper_depth;  // km
  std::optional<double> lower_depth;
  std::optional<std::string> mag_scale_rel;
  std::optional<double> rupt_aspect_ratio;
  std::optional<std::vector<NodalPlane>> nodal_planes;
  // Given depths; none with hypo_depth_bin set: the catalog's depths binned.
  std::optional<std::vector<HypoDepth>> hypo_depths;
  std::optional<double> hypo_depth_bin;  // km ("catalog" bins)
  // Longitude and latitude of a point source (zones without a polygon).
  std::optional<std::array<double, 2>> location;

  void Overlay(const SourceSettings& above);
};

// Defaults of the source settings (docs/batch.md).
inline constexpr const char* kDefaultTectonicRegion = "Active Shallow Crust";
inline constexpr const char* kDefaultMagScaleRel = "WC1994";
inline constexpr double kDefaultRuptAspectRatio = 1.5;
inline constexpr double kDefaultUpperDepth = 0.0;     // km, without a depth selection
inline constexpr double kDefaultLowerDepth = 20.0;    // km, without a depth selection
inline constexpr double kDefaultHypoDepthBin = 10.0;  // km

// Classic catalog files of a zone.
struct ClassicZoneFile {
  std::string path;
  int layout = 1;  // ExtremeLayout or CompleteLayout
};

struct BatchZone {
  std::string name;
  long line = 0;  // of its table in the job file
  // Either classic files...
  std::optional<ClassicZoneFile> extreme;
  std::vector<ClassicZoneFile> complete;
  // ...or a prepare job (the layout qev-prepare reads) naming a standard
  // catalog, its selection, declustering and completeness table.
  std::string prepare;
  SettingsLayer settings;
  SourceSettings openquake;  // [zone.openquake]
};

struct Alternative {
  std::string name;
  double weight = 0.0;
  SettingsLayer settings;
  // Completeness tables by zone name (set for the zones named; empty: "auto").
  std::map<std::string, std::vector<CompletenessStep>> zone_completeness;
};

struct BranchSet {
  std::string name;
  std::vector<Alternative> alternatives;
};

struct BatchJob {
  std::string source;            // the job file as named
  std::filesystem::path base;    // its folder: relative paths start there
  std::filesystem::path output;  // the output folder
  std::uint64_t seed = 1;        // master seed of the bootstrap
  std::int32_t replicates = 0;   // bootstrap resamples per zone and branch
  // Simulated catalogs of the parametric-bootstrap intervals of each zone and
  // branch (qev/calibration.h), written to calibrated.csv; 0: none.
  std::int32_t calibrated_intervals = 0;
  // How their intervals are built (`calibrated_method`: "inverted", the
  // default, "studentized" or "basic"); written in calibrated.csv's column
  // `method`.
  BootstrapMethod calibrated_method = BootstrapMethod::Inverted;
  bool strict = false;  // a task with input warnings fails (status input-warning)
  SettingsLayer defaults;
  std::vector<BatchZone> zones;  // in the order of the file
  std::vector<BranchSet> branch_sets;
  SourceSettings openquake;  // [openquake]: the sources of every zone
  // [openquake] bootstrap_branches: 0 writes one source model per branch, N
  // (1 to 99) N models per branch drawn from its bootstrap (docs/batch.md).
  std::int32_t bootstrap_branches = 0;
};

// Weights of a branch set must sum to 1 within this (weights written with
// six decimals, e.g. three times 0.333333, still pass).
inline constexpr double kWeightSumTolerance = 1e-5;

// Reads a job from TOML text; `source` names it in errors and `base` is the
// folder relative paths start from. Throws ReadingError naming the source,
// line and key for bad TOML, unknown keys, values of the wrong type or range,
// duplicate names and weights that do not sum to 1. Reads no other file.
BatchJob ParseBatchJob(std::string_view text, const std::string& source,
                       const std::filesystem::path& base);
// The same from a file (Error when it cannot be read). The output folder
// defaults to "<job name without extension>-results" beside the job.
BatchJob ReadBatchJob(const std::filesystem::path& file);

// ---------------------------------------------------------------- the logic tree

struct Branch {
  std::string name;  // "set=alternative" joined by ';' ("base" without sets)
  double weight = 1.0;
  std::vector<std::size_t> choice;  // alternative index in each set
};

// Every combination of one alternative of each set, the last set varying
// fastest; the weight of a branch is the product of its alternatives'.
std::vector<Branch> CrossBranches(const std::vector<BranchSet>& sets);

// ---------------------------------------------------------------- random streams

// The seed of one task: FNV-1a (64 bits) over the master seed (8 bytes,
// little-endian), the zone name, a zero byte, the branch name, a zero byte and
// the replicate (8 bytes, little-endian), then the SplitMix64 finaliser. It
// depends on nothing else: not on the thread, the rank or the other tasks.
std::uint64_t TaskSeed(std::uint64_t master, std::string_view zone, std::string_view branch,
                       std::int64_t replicate);

// xoshiro256** seeded by four SplitMix64 outputs of the seed.
class RandomStream {
 public:
  explicit RandomStream(std::uint64_t seed);
  std::uint64_t Next();
  // Uniform on 0..n-1 (n > 0): draws below (2^64 - n) mod n are rejected, the
  // rest taken modulo n.
  std::uint64_t Below(std::uint64_t n);

 private:
  std::uint64_t s_[4];
};

// A bootstrap resample of the catalog (docs/batch.md): each complete part's
// events in use (rows expanded by frequency, those more than 0.02 below the
// threshold left out) drawn with replacement, as many as it has, over its own
// period; the extreme part's (interval, event) pairs drawn with replacement
// and the event dates rebuilt from the drawn intervals scaled so that the last
// event keeps its date. Every part keeps its start, end and event count.
Catalog Bootstrap(const Catalog& catalog, RandomStream& random);

// ---------------------------------------------------------------- planning

// One zone under one branch: its catalog (shared by the branches that give
// the zone the same completeness) or the error that kept it from being read,
// and the settings of its tasks.
struct Cell {
  std::size_t zone = 0;
  std::size_t branch = 0;
  std::shared_ptr<const Catalog> catalog;
  std::string error_status;  // set when the catalog could not be made
  std::string error_message;
  AnalysisOptions options;
  std::vector<float> hazard_spans;
  std::vector<float> hazard_magnitudes;  // empty: the classic table
  // What the input checks need beyond the catalog (zones from a catalog):
  // the completeness table, the events of the parts per magnitude type, the
  // extreme part's windows and those without an event.
  std::optional<std::vector<std::pair<std::int32_t, float>>> completeness;
  std::vector<std::pair<std::string, std::size_t>> magnitude_types;
  std::size_t extreme_windows = 0;
  std::size_t empty_extreme_windows = 0;
};

// What the zone's catalog says about its source: the polygon and depth range
// of the prepare job's selection and the depths of the events kept after
// declustering (known depths only).
struct ZoneSource {
  std::optional<Zone> polygon;
  std::optional<float> min_depth;
  std::optional<float> max_depth;
  std::vector<float> depths;
};

struct BatchPlan {
  BatchJob job;
  std::vector<Branch> branches;
  std::vector<ZoneSource> zone_sources;  // by zone
  std::vector<Cell> cells;               // zone by zone, branches in tree order
  std::vector<std::string> inputs;       // every file the job reads (never replaced by an output)
  std::size_t tasks_per_cell() const { return static_cast<std::size_t>(job.replicates) + 1; }
  std::size_t task_count() const { return cells.size() * tasks_per_cell(); }
};

// Reads every zone's catalog (a catalog file named by several zones or
// branches is read once), splits it under each completeness table of the
// tree and resolves the settings of each cell. A zone whose catalog cannot be
// read or split gets cells with the error (its tasks become failed rows);
// settings that are missing or out of range in a cell (no Mmin for classic
// files, a prepare job that cannot be read) throw ReadingError: the job is
// invalid.
// A job of more than kMostTasks tasks (zones x branches x (replicates + 1))
// throws InvalidOptions with the count and the limit before a cell is made,
// unless `force` (qev-batch --force, Python force=True).
inline constexpr std::uint64_t kMostTasks = 1000000;
BatchPlan PlanBatch(BatchJob job, bool force = false);
// The tasks of the job, counted from its sets' sizes without making the
// branches (saturated at 2^64 - 1).
std::uint64_t CountTasks(const BatchJob& job);

// ---------------------------------------------------------------- tasks

inline constexpr const char* kStatusOk = "ok";

// What one task gives: the analysis and its hazard, or the failure.
struct TaskResult {
  std::size_t index = 0;
  std::size_t cell = 0;
  std::int32_t replicate = 0;
  std::uint64_t seed = 0;
  std::string status = kStatusOk;  // ok, no-estimate, catalog-error, trial-point-not-positive, ...
  std::string message;
  std::optional<AnalysisResult> analysis;
  std::optional<WeichertResult> weichert;  // from the same complete parts, when it has one
  std::vector<InputWarning> warnings;      // of the input checks (with the analysis)
  std::vector<HazardPoint> hazard;         // replicate 0 only
  // Replicate 0 of a job with calibrated_intervals: the intervals, or the
  // reason there are none.
  std::optional<CalibratedIntervals> calibrated;
  std::string calibrated_error;
  bool ok() const { return status == kStatusOk; }
};

// Runs task `index` (cells in order, replicates 0..N within each). Errors of
// the analysis become the status and message; nothing is thrown for them.
// An analysis whose figures are no estimate (not finite, Mmax not above Mmin:
// see CheckEstimates) fails as `unusable-estimate`. In a strict job a task
// with input warnings fails as `input-warning`. Cancelled is thrown when
// `cancel` is raised during the task.
TaskResult RunTask(const BatchPlan& plan, std::size_t index,
                   const std::atomic<bool>* cancel = nullptr);

// ---------------------------------------------------------------- outputs

// OpenQuake values of a doubly truncated law in double precision:
// b = Beta log10(e), a = log10(Lambda) - log10(10^(-b Mmin) - 10^(-b Mmax)),
// so that 10^(a - b Mmin) - 10^(a - b Mmax) = Lambda.
struct OpenQuakeMfd {
  double a = 0.0;
  double b = 0.0;
  double min_mag = 0.0;
  double max_mag = 0.0;
};
OpenQuakeMfd ToOpenQuake(float beta, float lambda, float mmin, float mmax);
// Annual rate above m (Mmin <= m <= Mmax) of such a law.
double OpenQuakeRate(const OpenQuakeMfd& mfd, double m);

struct Progress {
  std::size_t done = 0;
  std::size_t failed = 0;
  std::size_t total = 0;
  double seconds = 0.0;  // since the start
};

// ---------------------------------------------------------------- running

struct RunOptions {
  unsigned threads = 0;    // 0: every core the machine has; more than it has: as many as it has
  std::size_t window = 0;  // tasks in flight; 0: 4 per thread
  std::function<void(const Progress&)> progress;    // after each record written
  std::function<void(const std::string&)> warning;  // each warning of the writer, at the end
  // Raised by another thread, it stops the run: no task starts after it, the
  // tasks running end at their next step, nothing is put in place, and
  // RunBatch throws Cancelled.
  const std::atomic<bool>* cancel = nullptr;
};

// The whole job on this process: plan's tasks, written into `folder`.
// Returns the number of failed tasks.
std::size_t RunBatch(const BatchPlan& plan, const std::filesystem::path& folder,
                     const RunOptions& options);

// Threads and window as RunOptions resolves them: a thread count above the
// machine's cores is cut to the cores (more threads would only share them).
// A thread that cannot be started is an Error naming the system's reason,
// after the threads already started are stopped and joined.
unsigned ResolveThreads(unsigned threads);
// The cores of the machine (at least 1).
unsigned CoreCount();
std::size_t ResolveWindow(std::size_t window, unsigned threads);

}  // namespace qev
