// A task's result as values: what the writers format into the rows of
// results.csv, results.jsonl, hazard.csv and calibrated.csv and keep for the
// summaries, the OpenQuake files and the report. The same values travel
// between MPI ranks as bytes, so that a new output column changes a writer
// and not what the ranks send.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qev/batch.h"

namespace qev {

// One task's estimates (replicate 0 or a bootstrap resample).
struct TaskEstimate {
  bool ok = false;
  bool converged = false;
  MmaxStatus mmax_status = MmaxStatus::Unsettled;
  std::int32_t replicate = 0;
  float beta = 0.0f;
  float lambda = 0.0f;
  float mmin = 0.0f;
  float mmax = 0.0f;
  float b = 0.0f;
  float sd_b = 0.0f;
  float sd_lambda = 0.0f;
  float sd_mmax = 0.0f;
  float xmax = 0.0f;
};

// One run of the analysis towards a settled Mmax.
struct RunValues {
  float mmax = 0.0f;
  float suggested = 0.0f;  // not a finite number: no suggestion
  std::int32_t iterations = 0;
  bool converged = false;
};

// One magnitude of the hazard table: the probabilities by the cell's spans.
struct HazardValues {
  float magnitude = 0.0f;
  float annual_rate = 0.0f;
  float return_period = 0.0f;
  std::vector<float> probabilities;
};

// The parametric-bootstrap intervals of replicate 0 (calibrated.csv).
struct CalibratedValues {
  std::int32_t replicates = 0;
  std::int32_t failed = 0;
  bool calibrated = false;
  std::string warning;
  BootstrapMethod method = BootstrapMethod::Inverted;
  // b, Lambda, Mmax: estimate, bias, corrected, lower68, upper68, lower95, upper95.
  std::array<double, 21> values{};
};

struct TaskRecord {
  std::uint64_t index = 0;
  std::uint64_t seed = 0;
  std::string status = kStatusOk;
  std::string message;
  TaskEstimate estimate;  // ok: the analysis gave an estimate
  float sd_beta = 0.0f;
  float transmission = 0.0f;
  std::vector<RunValues> runs;
  std::vector<std::pair<float, float>> contributions;  // Beta, Lambda (percent)
  std::vector<InputWarning> warnings;
  std::optional<std::array<double, 4>> weichert;  // b, SD(b), rate, SD(rate)
  std::vector<HazardValues> hazard;               // replicate 0
  // Replicate 0 of a job with calibrated_intervals: its row of
  // calibrated.csv, with the intervals or the reason there are none.
  bool calibrated_row = false;
  std::optional<CalibratedValues> calibrated;
  std::string calibrated_error;

  bool ok() const { return estimate.ok; }
};

// A result marked ok whose figures are no estimate (CheckEstimates, or a
// hazard figure that is not finite) becomes an `unusable-estimate` record.
TaskRecord MakeRecord(const BatchPlan& plan, const TaskResult& result);

// The record as bytes for another rank; UnpackRecord throws Error for bytes
// that are not a packed record.
std::string PackRecord(const TaskRecord& record);
TaskRecord UnpackRecord(std::string_view bytes);

// The record's lines of each file (hazard.csv: one per magnitude and span;
// calibrated.csv: empty unless calibrated_row).
std::string ResultsCsvRow(const BatchPlan& plan, const TaskRecord& record);
std::string ResultsJsonLine(const BatchPlan& plan, const TaskRecord& record);
std::string HazardCsvRows(const BatchPlan& plan, const TaskRecord& record);
std::string CalibratedCsvRow(const BatchPlan& plan, const TaskRecord& record);

// The header lines of the CSV tables.
extern const char* const kResultsCsvHeader;
extern const char* const kHazardCsvHeader;
extern const char* const kCalibratedCsvHeader;

// A real as "%.9g": nine significant digits read back as the same float
// ("nan", "inf", "-inf" for what is no number). AppendReal writes it at the
// end of `out`.
std::string Real(float value);
void AppendReal(std::string& out, float value);
// The shortest decimal text that reads back as the same double
// (std::to_chars): 5.4f is "5.400000095367432", 0.25 is "0.25".
std::string ShortestReal(double value);

}  // namespace qev
