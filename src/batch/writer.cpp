// The output folder: task rows streamed, summaries per cell, OpenQuake files
// at the end.
#include "batch/writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "batch/outputs.h"
#include "qev/batch.h"
#include "textio/files.h"

namespace qev {

OpenQuakeMfd ToOpenQuake(float beta, float lambda, float mmin, float mmax) {
  OpenQuakeMfd mfd;
  mfd.b = static_cast<double>(beta) * std::log10(std::exp(1.0));
  // The magnitudes as written: 5.4f is 5.4, not 5.400000095367432.
  mfd.min_mag = std::stod(batch_output::ShortestFloat(mmin));
  mfd.max_mag = std::stod(batch_output::ShortestFloat(mmax));
  mfd.a = std::log10(static_cast<double>(lambda)) -
          std::log10(std::pow(10.0, -mfd.b * mfd.min_mag) - std::pow(10.0, -mfd.b * mfd.max_mag));
  return mfd;
}

double OpenQuakeRate(const OpenQuakeMfd& mfd, double m) {
  return std::pow(10.0, mfd.a - mfd.b * m) - std::pow(10.0, mfd.a - mfd.b * mfd.max_mag);
}

namespace {

// A record marked ok must carry an estimate: finite figures, Mmax above Mmin
// (MakeRecord sees to it; a record that came as bytes from another rank is
// checked again before anything of it is written).
void CheckRecord(const TaskRecord& record) {
  if (!record.ok()) return;
  const TaskEstimate& r = record.estimate;
  const std::pair<const char*, float> figures[] = {
      {"beta", r.beta}, {"lambda", r.lambda}, {"mmin", r.mmin},           {"mmax", r.mmax},
      {"b", r.b},       {"sd_b", r.sd_b},     {"sd_lambda", r.sd_lambda}, {"sd_mmax", r.sd_mmax},
      {"xmax", r.xmax}};
  for (const auto& [name, value] : figures) {
    if (!std::isfinite(value)) {
      throw Error("task " + std::to_string(record.index) + " is marked ok but its " + name +
                  " is " + Real(value));
    }
  }
  if (!(r.mmax > r.mmin)) {
    throw Error("task " + std::to_string(record.index) + " is marked ok but its Mmax " +
                Real(r.mmax) + " is not above its Mmin " + Real(r.mmin));
  }
}

std::string Number(double value, int digits = 9) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

// Percentile p (0..1) of sorted values: linear interpolation between order
// statistics, x[h] with h = (n - 1) p (the default of numpy and R's type 7).
double Percentile(const std::vector<float>& sorted, double p) {
  const double h = (static_cast<double>(sorted.size()) - 1.0) * p;
  const auto lo = static_cast<std::size_t>(std::floor(h));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] +
         (h - static_cast<double>(lo)) * (static_cast<double>(sorted[hi]) - sorted[lo]);
}

}  // namespace

struct BatchWriter::State {
  const BatchPlan& plan;
  std::filesystem::path folder;
  std::ofstream results_csv, results_jsonl, hazard_csv, summary_csv;
  std::ofstream calibrated_csv;  // only for a job with calibrated_intervals
  std::uint64_t next = 0;
  std::size_t failed = 0;
  // Every cell's estimates: the catalog's and those of its resamples.
  std::vector<batch_output::CellOutcome> cells;
  std::vector<batch_output::ZoneReport> zone_reports;  // those of the zones complete
  std::vector<std::string> warnings;
  std::function<void(const Progress&)> progress;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  // Every output beside its target until Finish puts them all in place.
  OutputSet outputs;

  State(const BatchPlan& p, std::filesystem::path f, std::function<void(const Progress&)> tell)
      : plan(p),
        folder(std::move(f)),
        progress(std::move(tell)),
        outputs({p.inputs.begin(), p.inputs.end()}) {}

  std::ofstream Open(const std::filesystem::path& path) {
    for (const std::string& input : plan.inputs) {
      std::error_code error;
      if (std::filesystem::equivalent(path, input, error)) {
        throw Error(path.string() + ": the output would replace the input " + input);
      }
    }
    std::ofstream out(outputs.Add(path), std::ios::binary | std::ios::trunc);
    if (!out) throw Error(path.string() + ": cannot be written (" + SystemReason(errno) + ")");
    return out;
  }

  // The streams closed before their files are put in place.
  void Close() {
    for (std::ofstream* out :
         {&results_csv, &results_jsonl, &hazard_csv, &summary_csv, &calibrated_csv}) {
      if (out->is_open()) out->close();
    }
  }

  void Check(std::ofstream& out, const char* name) {
    out.flush();
    Written(out, name);
  }

  // A write that failed is told at once, while errno still holds its reason
  // (drawing a zone's report, or anything after, may set errno again).
  void Written(const std::ofstream& out, const char* name) const {
    if (!out) {
      throw Error((folder / name).string() + ": cannot be written (" + SystemReason(errno) + ")");
    }
  }

  void CloseCell(std::size_t c) {
    const Cell& cell = plan.cells[c];
    const batch_output::Estimate& e = cells[c].catalog;
    std::vector<float> b, lambda, mmax;
    for (const batch_output::Estimate& r : cells[c].replicates) {
      b.push_back(r.b);
      lambda.push_back(r.lambda);
      mmax.push_back(r.mmax);
    }
    std::string row = plan.job.zones[cell.zone].name + "," + plan.branches[cell.branch].name + "," +
                      Number(plan.branches[cell.branch].weight, 12) + "," +
                      std::to_string(plan.job.replicates) + "," + std::to_string(b.size()) + "," +
                      std::to_string(cells[c].failed) + ",linear";
    row += e.ok ? "," + Real(e.b) + "," + Real(e.lambda) + "," + Real(e.mmax) + "," +
                      MmaxStatusName(e.mmax_status)
                : ",,,,";
    for (std::vector<float>* values : {&b, &lambda, &mmax}) {
      std::sort(values->begin(), values->end());
      for (double p : {0.5, 0.16, 0.84}) {
        row += "," + (values->empty() ? std::string() : Number(Percentile(*values, p)));
      }
    }
    summary_csv << row << "\n";
    Written(summary_csv, "summary.csv");
    // The zone's last cell: its part of the report (cells go zone by zone).
    if ((c + 1) % plan.branches.size() == 0) {
      zone_reports.push_back(batch_output::ReportZone(plan, cells, cell.zone));
    }
  }
};

BatchWriter::BatchWriter(const BatchPlan& plan, const std::filesystem::path& folder,
                         std::function<void(const Progress&)> progress)
    : state_(std::make_unique<State>(plan, folder, std::move(progress))) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error)
    throw Error(folder.string() + ": the output folder cannot be made (" + error.message() + ")");
  State& s = *state_;
  s.results_csv = s.Open(folder / "results.csv");
  s.results_jsonl = s.Open(folder / "results.jsonl");
  s.hazard_csv = s.Open(folder / "hazard.csv");
  s.summary_csv = s.Open(folder / "summary.csv");
  s.results_csv << kResultsCsvHeader;
  s.hazard_csv << kHazardCsvHeader;
  s.summary_csv
      << "zone,branch,weight,replicates,replicates_ok,replicates_failed,percentiles,"
         "b,lambda,mmax,mmax_status,b_median,b_p16,b_p84,lambda_median,lambda_p16,lambda_p84,"
         "mmax_median,mmax_p16,mmax_p84\n";
  s.cells.resize(plan.cells.size());
  if (plan.job.calibrated_intervals > 0) {
    s.calibrated_csv = s.Open(folder / "calibrated.csv");
    s.calibrated_csv << kCalibratedCsvHeader;
  }
}

BatchWriter::~BatchWriter() = default;

std::size_t BatchWriter::failed() const { return state_->failed; }

const std::vector<std::string>& BatchWriter::warnings() const { return state_->warnings; }

void BatchWriter::Add(const TaskRecord& record) {
  State& s = *state_;
  if (record.index != s.next) {
    throw Error("task " + std::to_string(record.index) + " came when task " +
                std::to_string(s.next) + " was due");
  }
  CheckRecord(record);
  ++s.next;
  s.results_csv << ResultsCsvRow(s.plan, record);
  s.results_jsonl << ResultsJsonLine(s.plan, record);
  s.hazard_csv << HazardCsvRows(s.plan, record);
  if (s.calibrated_csv.is_open()) s.calibrated_csv << CalibratedCsvRow(s.plan, record);
  s.Written(s.results_csv, "results.csv");
  s.Written(s.results_jsonl, "results.jsonl");
  s.Written(s.hazard_csv, "hazard.csv");
  if (s.calibrated_csv.is_open()) s.Written(s.calibrated_csv, "calibrated.csv");
  if (!record.ok()) ++s.failed;
  const std::size_t per = s.plan.tasks_per_cell();
  const std::size_t cell = record.index / per;
  const auto replicate = static_cast<std::int32_t>(record.index % per);
  if (replicate == 0) {
    s.cells[cell].catalog = record.estimate;
    s.cells[cell].status = record.status;
  } else if (record.ok()) {
    s.cells[cell].replicates.push_back(record.estimate);
  } else {
    ++s.cells[cell].failed;
  }
  if (record.index % per == per - 1) s.CloseCell(cell);
  if (s.progress) {
    Progress progress;
    progress.done = s.next;
    progress.failed = s.failed;
    progress.total = s.plan.task_count();
    progress.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
    s.progress(progress);
  }
}

void BatchWriter::Finish() {
  State& s = *state_;
  if (s.next != s.plan.task_count()) {
    throw Error("the batch ended after " + std::to_string(s.next) + " of " +
                std::to_string(s.plan.task_count()) + " tasks");
  }
  s.Check(s.results_csv, "results.csv");
  s.Check(s.results_jsonl, "results.jsonl");
  s.Check(s.hazard_csv, "hazard.csv");
  s.Check(s.summary_csv, "summary.csv");
  if (s.calibrated_csv.is_open()) s.Check(s.calibrated_csv, "calibrated.csv");
  s.warnings = batch_output::WriteOpenQuake(s.plan, s.cells, s.folder / "openquake", s.outputs);
  std::error_code error;
  if (!s.calibrated_csv.is_open() &&
      std::filesystem::is_regular_file(s.folder / "calibrated.csv", error)) {
    // An earlier run's intervals would read as this run's.
    s.outputs.Retire(s.folder / "calibrated.csv");
    s.warnings.push_back(
        "calibrated.csv: written by an earlier run with calibrated_intervals, "
        "removed");
  }
  s.outputs.Write(s.folder / "report.html",
                  batch_output::ReportHtml(s.plan, s.zone_reports, s.warnings));
  s.Close();
  s.outputs.Commit();
}

}  // namespace qev
