// The output folder: task rows streamed, summaries per cell, OpenQuake files
// at the end.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <pugixml.hpp>

#include "qev/batch.h"
#include "textio/files.h"

namespace qev {

OpenQuakeMfd ToOpenQuake(float beta, float lambda, float mmin, float mmax) {
  OpenQuakeMfd mfd;
  mfd.b = static_cast<double>(beta) * std::log10(std::exp(1.0));
  mfd.min_mag = mmin;
  mfd.max_mag = mmax;
  mfd.a = std::log10(static_cast<double>(lambda)) -
          std::log10(std::pow(10.0, -mfd.b * mfd.min_mag) - std::pow(10.0, -mfd.b * mfd.max_mag));
  return mfd;
}

double OpenQuakeRate(const OpenQuakeMfd& mfd, double m) {
  return std::pow(10.0, mfd.a - mfd.b * m) - std::pow(10.0, mfd.a - mfd.b * mfd.max_mag);
}

namespace {

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

struct Estimate {
  bool ok = false;
  float beta = 0.0f;
  float lambda = 0.0f;
  float mmin = 0.0f;
  float mmax = 0.0f;
  float b = 0.0f;
  MmaxStatus mmax_status = MmaxStatus::Unsettled;
};

}  // namespace

struct BatchWriter::State {
  const BatchPlan& plan;
  std::filesystem::path folder;
  std::ofstream results_csv, results_jsonl, hazard_csv, summary_csv;
  std::ofstream calibrated_csv;  // only for a job with calibrated_intervals
  std::uint64_t next = 0;
  std::size_t failed = 0;
  // The cell being gathered: its bootstrap values and failures.
  std::vector<float> b, lambda, mmax;
  std::size_t cell_failed = 0;
  std::vector<Estimate> catalog_estimates;  // replicate 0 of every cell
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
    for (std::ofstream* out : {&results_csv, &results_jsonl, &hazard_csv, &summary_csv}) {
      out->close();
    }
  }

  void Check(std::ofstream& out, const char* name) {
    out.flush();
    if (!out) {
      throw Error((folder / name).string() + ": cannot be written (" + SystemReason(errno) + ")");
    }
  }

  void CloseCell(std::size_t c) {
    const Cell& cell = plan.cells[c];
    const Estimate& e = catalog_estimates[c];
    std::string row = plan.job.zones[cell.zone].name + "," + plan.branches[cell.branch].name + "," +
                      Number(plan.branches[cell.branch].weight, 12) + "," +
                      std::to_string(plan.job.replicates) + "," + std::to_string(b.size()) + "," +
                      std::to_string(cell_failed) + ",linear";
    row += e.ok ? "," + Real(e.b) + "," + Real(e.lambda) + "," + Real(e.mmax) + "," +
                      MmaxStatusName(e.mmax_status)
                : ",,,,";
    for (std::vector<float>* values : {&b, &lambda, &mmax}) {
      std::sort(values->begin(), values->end());
      for (double p : {0.5, 0.16, 0.84}) {
        row += "," + (values->empty() ? std::string() : Number(Percentile(*values, p)));
      }
      values->clear();
    }
    summary_csv << row << "\n";
    cell_failed = 0;
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
  s.catalog_estimates.resize(plan.cells.size());
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
  ++s.next;
  s.results_csv << record.csv;
  s.results_jsonl << record.jsonl;
  s.hazard_csv << record.hazard_csv;
  if (s.calibrated_csv.is_open()) s.calibrated_csv << record.calibrated_csv;
  if (!record.ok) ++s.failed;
  const std::size_t per = s.plan.tasks_per_cell();
  const std::size_t cell = record.index / per;
  if (record.index % per == 0) {
    s.catalog_estimates[cell] = {record.ok,   record.beta, record.lambda,     record.mmin,
                                 record.mmax, record.b,    record.mmax_status};
  } else if (record.ok) {
    s.b.push_back(record.b);
    s.lambda.push_back(record.lambda);
    s.mmax.push_back(record.mmax);
  } else {
    ++s.cell_failed;
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

  const std::filesystem::path oq = s.folder / "openquake";
  std::error_code error;
  std::filesystem::create_directories(oq, error);
  if (error) throw Error(oq.string() + ": cannot be made (" + error.message() + ")");
  pugi::xml_document tree;
  auto declaration = tree.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  auto nrml = tree.append_child("nrml");
  nrml.append_attribute("xmlns:gml") = "http://www.opengis.net/gml";
  nrml.append_attribute("xmlns") = "http://openquake.org/xmlns/nrml/0.5";
  auto logic = nrml.append_child("logicTree");
  logic.append_attribute("logicTreeID") = "lt1";
  auto model_set = logic.append_child("logicTreeBranchSet");
  model_set.append_attribute("uncertaintyType") = "sourceModel";
  model_set.append_attribute("branchSetID") = "bs_source_model";
  auto model = model_set.append_child("logicTreeBranch");
  model.append_attribute("branchID") = "source_model";
  model.append_child("uncertaintyModel").text() = "source_model.xml";
  model.append_child("uncertaintyWeight").text() = "1.0";

  const std::size_t branches = s.plan.branches.size();
  for (std::size_t z = 0; z < s.plan.job.zones.size(); ++z) {
    const std::string& zone = s.plan.job.zones[z].name;
    // The zone's cells that gave an estimate, their weights renormalised.
    std::vector<std::size_t> ok;
    double total = 0.0;
    std::size_t heaviest = 0;
    for (std::size_t b = 0; b < branches; ++b) {
      const std::size_t cell = z * branches + b;
      if (!s.catalog_estimates[cell].ok) continue;
      if (s.catalog_estimates[cell].mmax_status == MmaxStatus::Unsettled) {
        // An Mmax that never settled is no estimate of Mmax.
        s.warnings.push_back(
            "zone " + zone + ", branch " + s.plan.branches[b].name + ": Mmax did not settle (" +
            Number(s.catalog_estimates[cell].mmax, 4) +
            "): left out of the OpenQuake files; fix or cap Mmax (mmax, mmax_cap)");
        continue;
      }
      ok.push_back(cell);
      total += s.plan.branches[b].weight;
      if (ok.size() == 1 ||
          s.plan.branches[b].weight > s.plan.branches[s.plan.cells[heaviest].branch].weight) {
        heaviest = cell;
      }
    }
    if (ok.empty()) continue;

    const Estimate& e = s.catalog_estimates[heaviest];
    const OpenQuakeMfd central = ToOpenQuake(e.beta, e.lambda, e.mmin, e.mmax);
    pugi::xml_document fragment;
    auto decl = fragment.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    auto mfd = fragment.append_child("truncGutenbergRichterMFD");
    mfd.append_attribute("aValue") = Number(central.a).c_str();
    mfd.append_attribute("bValue") = Number(central.b).c_str();
    mfd.append_attribute("minMag") = Number(central.min_mag).c_str();
    mfd.append_attribute("maxMag") = Number(central.max_mag).c_str();
    const std::filesystem::path file = oq / (zone + ".xml");
    if (!fragment.save_file(s.outputs.Add(file).c_str(), "  ")) {
      throw Error(file.string() + ": cannot be written (" + SystemReason(errno) + ")");
    }

    for (const char* type : {"abGRAbsolute", "maxMagGRAbsolute"}) {
      const bool ab = std::string(type) == "abGRAbsolute";
      auto set = logic.append_child("logicTreeBranchSet");
      set.append_attribute("uncertaintyType") = type;
      set.append_attribute("applyToSources") = zone.c_str();
      set.append_attribute("branchSetID") = ((ab ? "ab_" : "mmax_") + zone).c_str();
      double given = 0.0;
      for (std::size_t i = 0; i < ok.size(); ++i) {
        const Estimate& est = s.catalog_estimates[ok[i]];
        const OpenQuakeMfd m = ToOpenQuake(est.beta, est.lambda, est.mmin, est.mmax);
        // The last weight closes the sum to 1 exactly as printed.
        const double w =
            i + 1 == ok.size()
                ? 1.0 - given
                : std::stod(Number(s.plan.branches[s.plan.cells[ok[i]].branch].weight / total, 12));
        given += w;
        auto branch = set.append_child("logicTreeBranch");
        branch.append_attribute("branchID") =
            ((ab ? "ab_" : "mmax_") + zone + "_" + std::to_string(i + 1)).c_str();
        branch.append_child("uncertaintyModel").text() =
            (ab ? Number(m.a) + " " + Number(m.b) : Number(m.max_mag)).c_str();
        branch.append_child("uncertaintyWeight").text() = Number(w, 12).c_str();
      }
    }
  }
  const std::filesystem::path lt = oq / "source_model_logic_tree.xml";
  if (!tree.save_file(s.outputs.Add(lt).c_str(), "  ")) {
    throw Error(lt.string() + ": cannot be written (" + SystemReason(errno) + ")");
  }
  s.Close();
  s.outputs.Commit();
}

}  // namespace qev
