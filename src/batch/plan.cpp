// From the job to its cells: each zone's catalog read once, split under each
// completeness table of the tree, and the settings of every (zone, branch).
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "batch/task_status.h"
#include "qev/batch.h"
#include "qev/classic_files.h"
#include "textio/files.h"

namespace qev {

namespace {

std::string Resolved(const std::filesystem::path& base, const std::string& path) {
  const std::filesystem::path p = path;
  return (p.is_absolute() ? p : base / p).lexically_normal().string();
}

std::string FileText(const std::string& path, const std::string& what) {
  return ReadRegularFile(path, "the " + what, kLargestJobFile);
}

// A classic catalog file as a stream: a regular file only.
std::unique_ptr<std::istream> ClassicFile(const std::string& path, const char* what) {
  const OpenedInput opened = OpenRegularInput(path);
  if (opened.descriptor < 0) {
    throw Error(path + ": cannot open the " + what + " (" + opened.reason + ")");
  }
  return std::make_unique<InputFile>(opened.descriptor);
}

// A prepare job and the analysis settings its [analysis] table gives.
struct PreparedZone {
  PrepareJob job;
  SettingsLayer analysis;
};

PreparedZone ReadPrepareJob(const std::string& path) {
  const std::string text = FileText(path, "prepare job");
  PreparedZone zone;
  zone.job = ParsePrepareToml(text, path, std::filesystem::path(path).parent_path());
  zone.job.job_file = path;
  // Only the keys written are set: the prepare job's defaults do not hide
  // the batch job's.
  static_cast<AnalysisLayer&>(zone.analysis) = zone.job.analysis;
  if (zone.job.completeness_auto) {
    zone.analysis.completeness = std::vector<CompletenessStep>{};  // estimated
  } else if (!zone.job.split.completeness.empty()) {
    zone.analysis.completeness = zone.job.split.completeness;
  }
  return zone;
}

// The classic files of a zone, whose sizes may not exceed the limit of the
// zone's units (magnitude 10, intensity 12), as in the classic program.
Catalog ReadClassicZone(const BatchZone& zone, const std::filesystem::path& base, Units units) {
  const float largest = units == Units::Intensity ? 12.0f : 10.0f;
  Catalog catalog;
  if (zone.extreme) {
    const std::string path = Resolved(base, zone.extreme->path);
    const auto in = ClassicFile(path, "extreme file");
    catalog.extreme =
        ReadExtremeFile(*in, path, static_cast<ExtremeLayout>(zone.extreme->layout), largest).part;
  }
  for (const ClassicZoneFile& file : zone.complete) {
    const std::string path = Resolved(base, file.path);
    const auto in = ClassicFile(path, "complete file");
    catalog.complete.push_back(
        ReadCompleteFile(*in, path, static_cast<CompleteLayout>(file.layout), largest).part);
  }
  return catalog;
}

// Event files read once, by file and reading options.
class EventFiles {
 public:
  const ReadResult& Read(const PrepareJob& job) {
    std::string key = job.catalog + '\n' + std::to_string(job.format ? int(*job.format) : -1) +
                      '\n' + (job.read.default_sd ? Real(*job.read.default_sd) : "-") + '\n' +
                      (job.read.skip_bad_rows ? "skip" : "stop");
    for (const auto& [role, column] : job.read.columns) key += '\n' + role + '=' + column;
    for (const auto& m : job.read.magnitude_columns) {
      key += '\n' + m.type + '=' + m.column + ':' + m.sd_column;
    }
    auto found = files_.find(key);
    if (found == files_.end()) {
      found = files_.emplace(key, ReadEventFile(job.catalog, job.read, job.format)).first;
    }
    return found->second;
  }

 private:
  std::map<std::string, ReadResult> files_;
};

// The split of a zone's catalog under a completeness table (none: no complete
// part; empty: estimated) and a declustering choice (none set: the prepare
// job's).
std::string SplitKey(const std::optional<std::vector<CompletenessStep>>& steps,
                     const std::optional<std::optional<DeclusterMethod>>& decluster) {
  std::string key;
  if (steps && steps->empty()) key = "auto,";
  for (const CompletenessStep& s : steps.value_or(std::vector<CompletenessStep>{}))
    key += std::to_string(s.year) + ":" + Real(s.threshold) + ",";
  if (decluster) {
    key += *decluster ? std::string(DeclusterMethodOf(**decluster).name) : std::string("none");
  }
  return key;
}

// The prepare job of one split: its completeness table (an empty one
// estimated, without figures) and declustering.
PrepareJob SplitJob(PrepareJob job, const std::optional<std::vector<CompletenessStep>>& steps,
                    const std::optional<std::optional<DeclusterMethod>>& decluster) {
  job.split.completeness = steps.value_or(std::vector<CompletenessStep>{});
  job.completeness_auto = steps && steps->empty();
  job.completeness_figures.clear();
  job.classic_directory.reset();
  job.analysis.mmin.reset();
  if (decluster && !*decluster) {
    job.decluster.reset();
  } else if (decluster) {
    if (!job.decluster) job.decluster = DeclusterOptions{};
    job.decluster->method = **decluster;
  }
  return job;
}

[[noreturn]] void Invalid(const BatchJob& job, const BatchZone& zone, const std::string& text,
                          const std::string& expected) {
  throw ReadingError(job.source, zone.line, text, expected);
}

// The options and hazard settings of a cell from its layers, checked by the
// settings table (Validate: the bounds of the zone's units).
void SetCellSettings(const BatchJob& job, const BatchZone& zone, const Branch& branch,
                     const SettingsLayer& s, float mmin, Cell& cell) {
  const std::string where = "zone " + zone.name + " under " + branch.name;
  AnalysisOptions& o = cell.options;
  s.ApplyTo(o);
  o.mmin = mmin;
  if (o.start == StartingPointKind::Given && (!s.start_lambda || !s.start_mmax)) {
    Invalid(job, zone, where, "'start_lambda' and 'start_mmax' with start = \"given\"");
  }
  if (o.procedure == MmaxProcedure::None && o.mmax_values.empty()) {
    Invalid(job, zone, where,
            "a list of 'mmax' values with procedure = \"none\" (no suggestion to follow)");
  }
  HazardOptions hazard;
  s.ApplyTo(hazard);
  try {
    Validate(o);
    Validate(hazard, o.units);
  } catch (const InvalidSetting& e) {
    Invalid(job, zone, where + ": " + e.key() + " " + e.value(),
            "for '" + e.key() + "' " + e.expected());
  }
  cell.hazard_spans = hazard.spans;
  cell.hazard_magnitudes = hazard.magnitudes;
}

}  // namespace

std::uint64_t CountTasks(const BatchJob& job) {
  constexpr std::uint64_t kMost = UINT64_MAX;
  const auto times = [](std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > kMost / b ? kMost : a * b;
  };
  std::uint64_t tasks = times(job.zones.size(), static_cast<std::uint64_t>(job.replicates) + 1);
  for (const BranchSet& set : job.branch_sets) tasks = times(tasks, set.alternatives.size());
  return tasks;
}

namespace {

// A job of more than kMostTasks tasks, refused before a branch is made.
void RefuseLargeTree(const BatchJob& job) {
  const std::uint64_t tasks = CountTasks(job);
  if (tasks <= kMostTasks) return;
  std::uint64_t branches = 1;
  for (const BranchSet& set : job.branch_sets) {
    branches = set.alternatives.empty() || branches <= UINT64_MAX / set.alternatives.size()
                   ? branches * set.alternatives.size()
                   : UINT64_MAX;
  }
  const std::string count =
      tasks == UINT64_MAX ? "more than 18446744073709551614" : std::to_string(tasks);
  throw InvalidOptions(
      job.source + ": the job makes " + count + " tasks (" + std::to_string(job.zones.size()) +
      " zones x " + (branches == UINT64_MAX ? std::string("too many") : std::to_string(branches)) +
      " branches of " + std::to_string(job.branch_sets.size()) + " branch sets x " +
      std::to_string(job.replicates + 1) + " replicates), more than the limit of " +
      std::to_string(kMostTasks) + "; run it with --force (Python: force=True) if it is meant");
}

// The zone's prepare job (read) when it has one; every file the zone reads
// added to `inputs`.
std::optional<PreparedZone> ZoneInputs(const BatchJob& job, const BatchZone& zone,
                                       std::vector<std::string>& inputs) {
  std::optional<PreparedZone> prepared;
  if (!zone.prepare.empty()) {
    inputs.push_back(Resolved(job.base, zone.prepare));
    prepared = ReadPrepareJob(inputs.back());
    inputs.push_back(prepared->job.catalog);
    if (!prepared->job.zone_file.empty()) inputs.push_back(prepared->job.zone_file);
  }
  if (zone.extreme) inputs.push_back(Resolved(job.base, zone.extreme->path));
  for (const ClassicZoneFile& f : zone.complete) inputs.push_back(Resolved(job.base, f.path));
  return prepared;
}

// The settings of a zone under a branch: the defaults, the prepare job's,
// the zone's, then each alternative's (and its completeness table of the zone).
SettingsLayer BranchSettings(const BatchJob& job, const std::optional<PreparedZone>& prepared,
                             const BatchZone& zone, const Branch& branch) {
  SettingsLayer s = job.defaults;
  if (prepared) s.Overlay(prepared->analysis);
  s.Overlay(zone.settings);
  for (std::size_t k = 0; k < branch.choice.size(); ++k) {
    const Alternative& a = job.branch_sets[k].alternatives[branch.choice[k]];
    s.Overlay(a.settings);
    if (const auto found = a.zone_completeness.find(zone.name);
        found != a.zone_completeness.end()) {
      s.completeness = found->second;
    }
  }
  return s;
}

}  // namespace

BatchPlan PlanBatch(BatchJob job, bool force) {
  if (!force) RefuseLargeTree(job);
  BatchPlan plan;
  plan.inputs.push_back(job.source);
  plan.branches = CrossBranches(job.branch_sets);
  EventFiles event_files;
  for (std::size_t z = 0; z < job.zones.size(); ++z) {
    const BatchZone& zone = job.zones[z];
    const std::optional<PreparedZone> prepared = ZoneInputs(job, zone, plan.inputs);

    // The zone's catalog: classic files read here, a standard catalog split
    // per completeness table below.
    std::shared_ptr<const Catalog> classic;
    std::string status;
    std::string message;
    const ReadResult* events = nullptr;
    try {
      if (prepared) {
        events = &event_files.Read(prepared->job);
      } else {
        const Units units =
            zone.settings.units.value_or(job.defaults.units.value_or(Units::Magnitude));
        classic = std::make_shared<const Catalog>(ReadClassicZone(zone, job.base, units));
      }
    } catch (const Error& e) {
      status = StatusOf(e);
      message = e.what();
    }
    // A zone's catalog under each completeness table, with its Mmin and what
    // the input checks need of the split.
    struct SplitCatalog {
      std::shared_ptr<const Catalog> catalog;
      float mmin = 0.0f;
      std::vector<std::pair<std::string, std::size_t>> magnitude_types;
      std::size_t extreme_windows = 0;
      std::size_t empty_extreme_windows = 0;
      std::vector<CompletenessStep> table;  // the one given, or the one estimated
    };
    std::map<std::string, SplitCatalog> splits;
    ZoneSource& source = plan.zone_sources.emplace_back();
    if (prepared) {
      source.polygon = prepared->job.selection.zone;
      source.min_depth = prepared->job.selection.min_depth;
      source.max_depth = prepared->job.selection.max_depth;
    }
    bool depths_kept = false;

    for (std::size_t b = 0; b < plan.branches.size(); ++b) {
      const Branch& branch = plan.branches[b];
      const SettingsLayer s = BranchSettings(job, prepared, zone, branch);
      Cell cell;
      cell.zone = z;
      cell.branch = b;
      cell.error_status = status;
      cell.error_message = message;
      cell.catalog = classic;
      std::optional<float> mmin = s.mmin;
      if (!prepared && s.completeness) {
        Invalid(job, zone, "zone " + zone.name + " under " + branch.name,
                "a completeness table only for zones read from a catalog ('prepare')");
      }
      if (!prepared && s.decluster) {
        Invalid(job, zone, "zone " + zone.name + " under " + branch.name,
                "a declustering method only for zones read from a catalog ('prepare')");
      }
      if (prepared && status.empty()) {
        auto& split = splits[SplitKey(s.completeness, s.decluster)];
        if (!split.catalog && cell.error_status.empty()) {
          split.table = s.completeness.value_or(std::vector<CompletenessStep>{});
          try {
            PrepareJob pj = SplitJob(prepared->job, s.completeness, s.decluster);
            pj.strict = false;  // the tasks check, with their analyses
            PrepareReport report = RunPrepare(pj, *events);
            // The depths of the events kept under the first branch's
            // declustering (the completeness table does not change them).
            if (!depths_kept) {
              for (float d : report.events.depth) {
                if (std::isfinite(d)) source.depths.push_back(d);
              }
              depths_kept = true;
            }
            split.mmin = report.mmin;
            split.extreme_windows = report.split.extreme_window_count;
            split.empty_extreme_windows = report.split.empty_windows;
            split.magnitude_types = MagnitudeTypesOfParts(report);
            if (report.completeness) split.table = report.completeness->table;
            split.catalog = std::make_shared<const Catalog>(std::move(report.split.catalog));
          } catch (const Error& e) {
            cell.error_status = StatusOf(e);
            cell.error_message = e.what();
          }
        }
        cell.catalog = split.catalog;
        if (!mmin && split.catalog) mmin = split.mmin;
        std::vector<std::pair<std::int32_t, float>> table;
        table.reserve(split.table.size());
        for (const CompletenessStep& step : split.table)
          table.emplace_back(step.year, step.threshold);
        cell.completeness = table;
        cell.magnitude_types = split.magnitude_types;
        cell.extreme_windows = split.extreme_windows;
        cell.empty_extreme_windows = split.empty_extreme_windows;
      }
      if (!mmin && !prepared) {
        Invalid(job, zone, "zone " + zone.name,
                "an Mmin ('mmin' in [defaults], the zone or a branch alternative)");
      }
      SetCellSettings(job, zone, branch, s, mmin.value_or(0.0f), cell);
      plan.cells.push_back(std::move(cell));
    }
  }
  plan.job = std::move(job);
  return plan;
}

}  // namespace qev
