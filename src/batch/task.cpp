// One task: the catalog or a bootstrap resample of it through the analysis,
// and its result as the lines the writers append.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
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

std::string Real(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
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

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += (c == '\n' || c == '\r') ? ' ' : c;
  }
  return out + "\"";
}

// A JSON number, or null for what JSON cannot hold.
std::string JsonReal(float value) { return std::isfinite(value) ? Real(value) : "null"; }

std::string JsonText(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A double as the float the other columns hold.
std::string Wide(double value) { return Real(static_cast<float>(value)); }

// The Mmax status, the warnings (their names; in JSON with their texts) and
// Weichert's estimate; the JSON object is closed.
void AppendChecks(const TaskResult& result, std::string& csv, std::string& json) {
  const char* status = MmaxStatusName(result.analysis->mmax_status);
  std::string names;
  std::string json_warnings;
  for (const InputWarning& w : result.warnings) {
    names += (names.empty() ? "" : " ") + std::string(InputWarningName(w.kind));
    json_warnings += std::string(json_warnings.empty() ? "" : ",") +
                     "{\"kind\":" + JsonText(InputWarningName(w.kind)) +
                     ",\"text\":" + JsonText(w.text) + "}";
  }
  csv += "," + std::string(status) + "," + names;
  json += ",\"mmax_status\":" + JsonText(status) + ",\"warnings\":[" + json_warnings + "]";
  const std::pair<const char*, double> weichert[] = {
      {"weichert_b", result.weichert ? result.weichert->b : std::nan("")},
      {"weichert_sd_b", result.weichert ? result.weichert->sd_b : std::nan("")},
      {"weichert_rate", result.weichert ? result.weichert->rate : std::nan("")},
      {"weichert_sd_rate", result.weichert ? result.weichert->sd_rate : std::nan("")}};
  for (const auto& [name, value] : weichert) {
    csv += "," + (result.weichert ? Wide(value) : std::string());
    json += ",\"" + std::string(name) + "\":" + JsonReal(static_cast<float>(value));
  }
  json += "}";
}

}  // namespace

const char* const kResultsCsvHeader =
    "zone,branch,replicate,seed,status,message,mmin,xmax,runs,mmax_converged,beta,sd_beta,"
    "lambda,sd_lambda,b,sd_b,mmax,sd_mmax,transmission,contributions,mmax_status,warnings,"
    "weichert_b,weichert_sd_b,weichert_rate,weichert_sd_rate\n";
const char* const kCalibratedCsvHeader =
    "zone,branch,replicates,failed,calibrated,warning,b,b_bias,b_corrected,b_lower68,b_upper68,"
    "b_lower95,b_upper95,lambda,lambda_bias,lambda_corrected,lambda_lower68,lambda_upper68,"
    "lambda_lower95,lambda_upper95,mmax,mmax_bias,mmax_corrected,mmax_lower68,mmax_upper68,"
    "mmax_lower95,mmax_upper95,method\n";
const char* const kHazardCsvHeader =
    "zone,branch,magnitude,annual_rate,return_period,span,exceedance_probability\n";

namespace {

std::string CalibratedLine(const std::string& zone, const std::string& branch,
                           BootstrapMethod method, const TaskResult& result) {
  std::string line = zone + "," + branch;
  if (!result.calibrated) {
    const std::string why = result.ok() ? result.calibrated_error : "no analysis: " + result.status;
    return line + ",0,0,0," + Quoted(why) + std::string(22, ',') + BootstrapMethodName(method) +
           "\n";
  }
  const CalibratedIntervals& c = *result.calibrated;
  line += "," + std::to_string(c.replicates) + "," + std::to_string(c.failed) + "," +
          (c.calibrated ? "1" : "0") + "," + Quoted(c.warning);
  for (const CalibratedValue* v : {&c.b, &c.lambda, &c.mmax}) {
    for (double x :
         {v->estimate, v->bias, v->corrected, v->lower68, v->upper68, v->lower95, v->upper95}) {
      line += "," + Real(static_cast<float>(x));
    }
  }
  return line + "," + BootstrapMethodName(c.method) + "\n";
}

}  // namespace

namespace {

// Why an ok result's figures are no estimate, or nothing: the analysis's
// check (Analyze makes it; a result made otherwise is checked again here) and
// every figure of its hazard rows.
std::optional<std::string> Unusable(const TaskResult& result) {
  if (!result.ok() || !result.analysis) return std::nullopt;
  try {
    CheckEstimates(*result.analysis);
  } catch (const UnusableEstimate& e) {
    return std::string(e.what());
  }
  for (const HazardPoint& p : result.hazard) {
    bool finite = std::isfinite(p.magnitude) && std::isfinite(p.annual_rate) &&
                  std::isfinite(p.return_period);
    for (const float q : p.probabilities) finite = finite && std::isfinite(q);
    if (!finite) {
      return "the analysis gives no usable estimate: its hazard at magnitude " + Real(p.magnitude) +
             " is not a finite number";
    }
  }
  return std::nullopt;
}

}  // namespace

TaskRecord MakeRecord(const BatchPlan& plan, const TaskResult& checked) {
  TaskResult failed;
  const std::optional<std::string> unusable = Unusable(checked);
  if (unusable) {
    failed.index = checked.index;
    failed.cell = checked.cell;
    failed.replicate = checked.replicate;
    failed.seed = checked.seed;
    failed.status = "unusable-estimate";
    failed.message = *unusable;
  }
  const TaskResult& result = unusable ? failed : checked;
  const Cell& cell = plan.cells.at(result.cell);
  const std::string& zone = plan.job.zones[cell.zone].name;
  const std::string& branch = plan.branches[cell.branch].name;
  TaskRecord record;
  record.index = result.index;
  record.ok = result.ok() && result.analysis.has_value();

  std::string csv = zone + "," + branch + "," + std::to_string(result.replicate) + "," +
                    std::to_string(result.seed) + "," + result.status + "," +
                    Quoted(result.message);
  std::string json = "{\"zone\":" + JsonText(zone) + ",\"branch\":" + JsonText(branch) +
                     ",\"replicate\":" + std::to_string(result.replicate) +
                     ",\"seed\":" + std::to_string(result.seed) +
                     ",\"status\":" + JsonText(result.status) +
                     ",\"message\":" + JsonText(result.message);
  if (!record.ok) {
    csv += std::string(20, ',');  // the 20 columns after the message
    json += "}";
  } else {
    const AnalysisResult& a = *result.analysis;
    const Uncertainties& u = a.uncertainties;
    std::string runs;
    std::string json_runs;
    for (const RunResult& run : a.runs) {
      // A suggestion that is no number is no suggestion (empty, null).
      const bool suggested = run.suggested_mmax && std::isfinite(*run.suggested_mmax);
      runs += (runs.empty() ? "" : " ") + (std::isfinite(run.mmax) ? Real(run.mmax) : "") + ":" +
              (suggested ? Real(*run.suggested_mmax) : "") + ":" + std::to_string(run.iterations) +
              ":" + (run.converged ? "1" : "0");
      json_runs += std::string(json_runs.empty() ? "" : ",") + "{\"mmax\":" + JsonReal(run.mmax) +
                   ",\"suggested\":" + (suggested ? JsonReal(*run.suggested_mmax) : "null") +
                   ",\"iterations\":" + std::to_string(run.iterations) +
                   ",\"converged\":" + (run.converged ? "true" : "false") + "}";
    }
    std::string contributions;
    std::string json_contributions;
    for (const DataContribution& c : u.contributions) {
      contributions += (contributions.empty() ? "" : " ") + Real(c.beta) + ":" + Real(c.lambda);
      json_contributions += std::string(json_contributions.empty() ? "" : ",") +
                            "{\"beta\":" + JsonReal(c.beta) + ",\"lambda\":" + JsonReal(c.lambda) +
                            "}";
    }
    const std::pair<const char*, float> values[] = {{"beta", a.beta},
                                                    {"sd_beta", u.sd_beta},
                                                    {"lambda", a.lambda},
                                                    {"sd_lambda", u.sd_lambda},
                                                    {"b", u.b},
                                                    {"sd_b", u.sd_b},
                                                    {"mmax", a.mmax},
                                                    {"sd_mmax", u.sd_mmax},
                                                    {"transmission", u.transmission_coefficient}};
    csv += "," + Real(a.settings.mmin) + "," + Real(a.settings.xmax) + "," + runs + "," +
           (a.mmax_converged ? "1" : "0");
    json += ",\"mmin\":" + JsonReal(a.settings.mmin) + ",\"xmax\":" + JsonReal(a.settings.xmax) +
            ",\"runs\":[" + json_runs +
            "],\"mmax_converged\":" + (a.mmax_converged ? "true" : "false");
    for (const auto& [name, value] : values) {
      csv += "," + Real(value);
      json += ",\"" + std::string(name) + "\":" + JsonReal(value);
    }
    csv += "," + contributions;
    json += ",\"contributions\":[" + json_contributions + "]";
    AppendChecks(result, csv, json);
    record.beta = a.beta;
    record.lambda = a.lambda;
    record.mmin = a.settings.mmin;
    record.mmax = a.mmax;
    record.b = u.b;
    record.sd_b = u.sd_b;
    record.sd_lambda = u.sd_lambda;
    record.sd_mmax = u.sd_mmax;
    record.xmax = a.settings.xmax;
    record.mmax_converged = a.mmax_converged;
    record.mmax_status = a.mmax_status;
    for (const HazardPoint& p : result.hazard) {
      // The fields of the point once, then one row for each span.
      const std::string point = zone + "," + branch + "," + Real(p.magnitude) + "," +
                                Real(p.annual_rate) + "," + Real(p.return_period) + ",";
      for (std::size_t s = 0; s < cell.hazard_spans.size() && s < p.probabilities.size(); ++s) {
        record.hazard_csv += point;
        record.hazard_csv += Real(cell.hazard_spans[s]);
        record.hazard_csv += ',';
        record.hazard_csv += Real(p.probabilities[s]);
        record.hazard_csv += '\n';
      }
    }
  }
  record.csv = csv + "\n";
  record.jsonl = json + "\n";
  if (plan.job.calibrated_intervals > 0 && result.replicate == 0) {
    record.calibrated_csv = CalibratedLine(zone, branch, plan.job.calibrated_method, result);
  }
  return record;
}

namespace {

void PutWord(std::string& out, std::uint64_t word) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((word >> (8 * i)) & 0xff);
}
void PutFloat(std::string& out, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutWord(out, bits);
}
void PutText(std::string& out, const std::string& text) {
  PutWord(out, text.size());
  out += text;
}

class Unpacker {
 public:
  explicit Unpacker(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Word() {
    Need(8);
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i) {
      word |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    }
    at_ += 8;
    return word;
  }
  float Float() {
    const std::uint64_t word = Word();
    if (word > 0xffffffffULL) throw Error("a packed task record holds a bad real");
    const auto bits = static_cast<std::uint32_t>(word);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  std::string Text() {
    const std::uint64_t size = Word();
    Need(size);
    std::string text(bytes_.substr(at_, size));
    at_ += size;
    return text;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  void Need(std::uint64_t n) const {
    if (n > bytes_.size() - at_) throw Error("a packed task record is cut short");
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::string PackRecord(const TaskRecord& record) {
  std::string out;
  PutWord(out, record.index);
  PutWord(out, record.ok ? 1 : 0);
  PutWord(out, record.mmax_converged ? 1 : 0);
  PutWord(out, static_cast<std::uint64_t>(record.mmax_status));
  for (float value : {record.beta, record.lambda, record.mmin, record.mmax, record.b, record.sd_b,
                      record.sd_lambda, record.sd_mmax, record.xmax}) {
    PutFloat(out, value);
  }
  PutText(out, record.csv);
  PutText(out, record.jsonl);
  PutText(out, record.hazard_csv);
  PutText(out, record.calibrated_csv);
  return out;
}

TaskRecord UnpackRecord(std::string_view bytes) {
  Unpacker in(bytes);
  TaskRecord record;
  record.index = in.Word();
  record.ok = in.Word() != 0;
  record.mmax_converged = in.Word() != 0;
  const std::uint64_t status = in.Word();
  if (status > static_cast<std::uint64_t>(MmaxStatus::Fixed)) {
    throw Error("a packed task record holds a bad Mmax status");
  }
  record.mmax_status = static_cast<MmaxStatus>(status);
  record.beta = in.Float();
  record.lambda = in.Float();
  record.mmin = in.Float();
  record.mmax = in.Float();
  record.b = in.Float();
  record.sd_b = in.Float();
  record.sd_lambda = in.Float();
  record.sd_mmax = in.Float();
  record.xmax = in.Float();
  record.csv = in.Text();
  record.jsonl = in.Text();
  record.hazard_csv = in.Text();
  record.calibrated_csv = in.Text();
  if (!in.AtEnd()) throw Error("a packed task record has bytes past its end");
  return record;
}

}  // namespace qev
