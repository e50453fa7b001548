// One task: the catalog or a bootstrap resample of it through the analysis.
#include <cmath>
#include <optional>

#include "batch/task_status.h"
#include "qev/batch.h"

namespace qev {

std::string StatusOf(const Error& error) {
  if (dynamic_cast<const UnusableEstimate*>(&error)) return "unusable-estimate";
  if (dynamic_cast<const NoEstimate*>(&error)) return "no-estimate";
  if (dynamic_cast<const CatalogError*>(&error)) return "catalog-error";
  if (dynamic_cast<const TrialPointNotPositive*>(&error)) return "trial-point-not-positive";
  if (dynamic_cast<const ReadingError*>(&error)) return "reading-error";
  if (dynamic_cast<const InvalidOptions*>(&error)) return "invalid-options";
  if (dynamic_cast<const InputWarningsError*>(&error)) return "input-warning";
  return "error";
}

namespace {

// The parametric-bootstrap intervals of the catalog itself; a failure of
// theirs leaves the analysis standing and is written in their row.
void Calibrate(const Catalog& catalog, const AnalysisOptions& options, const BatchJob& job,
               TaskResult& result) {
  BootstrapOptions bootstrap;
  bootstrap.replicates = job.calibrated_intervals;
  bootstrap.method = job.calibrated_method;
  bootstrap.seed = result.seed;
  for (const HazardPoint& p : result.hazard) bootstrap.hazard_magnitudes.push_back(p.magnitude);
  result.calibrated_error.clear();
  try {
    result.calibrated = BootstrapIntervals(catalog, options, *result.analysis, bootstrap);
    // A cancelled run fails its replicates; it must not pass for intervals.
    if (options.cancel != nullptr && options.cancel->load()) throw Cancelled();
  } catch (const Cancelled&) {
    throw;
  } catch (const Error& e) {
    result.calibrated_error = e.what();
  }
}

// Weichert's estimate and the input checks of one task's catalog.
void CheckTask(const Cell& cell, const Catalog& catalog, TaskResult& result) {
  if (!catalog.complete.empty()) {
    try {
      result.weichert = Weichert(catalog, {result.analysis->settings.mmin});
    } catch (const NoEstimate&) {
      result.weichert.reset();
    }
  }
  InputCheckData data;
  data.catalog = &catalog;
  data.completeness = cell.completeness;
  data.magnitude_types = cell.magnitude_types;
  data.extreme_windows = cell.extreme_windows;
  data.empty_extreme_windows = cell.empty_extreme_windows;
  data.analysis = &*result.analysis;
  data.weichert = result.weichert ? &*result.weichert : nullptr;
  result.warnings = CheckInputs(data);
}

}  // namespace

TaskResult RunTask(const BatchPlan& plan, std::size_t index, const std::atomic<bool>* cancel) {
  const std::size_t per = plan.tasks_per_cell();
  TaskResult result;
  result.index = index;
  result.cell = index / per;
  result.replicate = static_cast<std::int32_t>(index % per);
  const Cell& cell = plan.cells.at(result.cell);
  result.seed = TaskSeed(plan.job.seed, plan.job.zones[cell.zone].name,
                         plan.branches[cell.branch].name, result.replicate);
  if (!cell.error_status.empty()) {
    result.status = cell.error_status;
    result.message = cell.error_message;
    return result;
  }
  try {
    Catalog resampled;
    const Catalog* catalog = cell.catalog.get();
    if (result.replicate > 0) {
      RandomStream random(result.seed);
      resampled = Bootstrap(*catalog, random);
      catalog = &resampled;
    }
    AnalysisOptions options = cell.options;
    options.cancel = cancel;
    result.analysis = Analyze(*catalog, options);
    CheckTask(cell, *catalog, result);
    if (plan.job.strict) RefuseWarnings(result.warnings);
    if (result.replicate == 0) {
      const HazardModel model = result.analysis->hazard_model();
      if (cell.hazard_magnitudes.empty()) {
        result.hazard = HazardTable(model, cell.hazard_spans);  // checked
      } else {
        std::vector<float> inside;
        for (float m : cell.hazard_magnitudes) {
          if (m >= model.mmin && m < model.mmax) inside.push_back(m);
        }
        result.hazard = CheckedHazard(model, inside, cell.hazard_spans);
      }
      if (plan.job.calibrated_intervals > 0) {
        Calibrate(*catalog, options, plan.job, result);
      }
    }
  } catch (const Cancelled&) {
    throw;
  } catch (const Error& e) {
    result.status = StatusOf(e);
    result.message = e.what();
    result.analysis.reset();
    result.weichert.reset();
    result.hazard.clear();
  }
  return result;
}

}  // namespace qev
