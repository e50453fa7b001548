// What the writer keeps of every cell for the files written at the end (the
// OpenQuake job folder and the report), and the writers of those files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "batch/record.h"
#include "qev/batch.h"
#include "textio/files.h"

namespace qev::batch_output {

// One task's estimates (replicate 0 or a bootstrap resample).
using Estimate = TaskEstimate;

struct CellOutcome {
  Estimate catalog;                  // replicate 0
  std::string status;                // its status (ok, no-estimate, ...)
  std::vector<Estimate> replicates;  // the resamples that succeeded, in order
  std::size_t failed = 0;            // resamples that failed
};

// An estimate a source model may carry: it succeeded, its Mmax is fixed or
// settled, and its law in OpenQuake's terms (ToOpenQuake) is finite with
// maxMag above minMag.
bool Usable(const Estimate& estimate);
bool FiniteLaw(const Estimate& estimate);

// A float as the shortest decimal that reads back as the same float.
std::string ShortestFloat(float value);

// The source-model files of the job (docs/batch.md), registered in `outputs`
// and put in place when it commits; returns the warnings (what was left out
// and why). `folder` is the openquake folder.
std::vector<std::string> WriteOpenQuake(const BatchPlan& plan,
                                        const std::vector<CellOutcome>& cells,
                                        const std::filesystem::path& folder, OutputSet& outputs);

// A zone's part of report.html, drawn as soon as the zone's cells are
// complete (while the tasks of the next zones run): its card and, under its
// heading and warnings, its figures and branch table.
struct ZoneReport {
  std::string card;
  std::string figures;
};
ZoneReport ReportZone(const BatchPlan& plan, const std::vector<CellOutcome>& cells,
                      std::size_t zone);

// The quantiles at each p of an increasing list (0..1), by linear
// interpolation between order statistics at h = (n - 1) p; NaNs are left
// out, and without any value each is NaN.
std::vector<double> Quantiles(std::vector<double> values, std::initializer_list<double> ps);

// report.html: figures per zone (`zones`: every zone's part, in order), the
// branches, the settings and warnings.
std::string ReportHtml(const BatchPlan& plan, const std::vector<ZoneReport>& zones,
                       const std::vector<std::string>& warnings);

}  // namespace qev::batch_output
