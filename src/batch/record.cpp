// A task's result as values, their rows in the output files, and their bytes
// between ranks.
#include "batch/record.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <type_traits>

namespace qev {

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

// ---------------------------------------------------------------- values

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

// The figures of an analysis that succeeded.
void SetAnalysis(const TaskResult& result, TaskRecord& record) {
  const AnalysisResult& a = *result.analysis;
  const Uncertainties& u = a.uncertainties;
  TaskEstimate& e = record.estimate;
  e.ok = true;
  e.converged = a.mmax_converged;
  e.mmax_status = a.mmax_status;
  e.beta = a.beta;
  e.lambda = a.lambda;
  e.mmin = a.settings.mmin;
  e.mmax = a.mmax;
  e.b = u.b;
  e.sd_b = u.sd_b;
  e.sd_lambda = u.sd_lambda;
  e.sd_mmax = u.sd_mmax;
  e.xmax = a.settings.xmax;
  record.sd_beta = u.sd_beta;
  record.transmission = u.transmission_coefficient;
  for (const RunResult& run : a.runs) {
    record.runs.push_back(
        {run.mmax, run.suggested_mmax.value_or(NAN), run.iterations, run.converged});
  }
  for (const DataContribution& c : u.contributions)
    record.contributions.emplace_back(c.beta, c.lambda);
  record.warnings = result.warnings;
  if (result.weichert) {
    const WeichertResult& w = *result.weichert;
    record.weichert = std::array<double, 4>{w.b, w.sd_b, w.rate, w.sd_rate};
  }
  for (const HazardPoint& p : result.hazard) {
    record.hazard.push_back({p.magnitude, p.annual_rate, p.return_period, p.probabilities});
  }
}

CalibratedValues CalibratedOf(const CalibratedIntervals& c) {
  CalibratedValues values;
  values.replicates = c.replicates;
  values.failed = c.failed;
  values.calibrated = c.calibrated;
  values.warning = c.warning;
  values.method = c.method;
  std::size_t at = 0;
  for (const CalibratedValue* v : {&c.b, &c.lambda, &c.mmax}) {
    for (double x :
         {v->estimate, v->bias, v->corrected, v->lower68, v->upper68, v->lower95, v->upper95}) {
      values.values.at(at++) = x;
    }
  }
  return values;
}

}  // namespace

TaskRecord MakeRecord(const BatchPlan& plan, const TaskResult& result) {
  const std::optional<std::string> unusable = Unusable(result);
  TaskRecord record;
  record.index = result.index;
  record.seed = result.seed;
  record.estimate.replicate = result.replicate;
  record.status = unusable ? std::string("unusable-estimate") : result.status;
  record.message = unusable ? *unusable : result.message;
  if (!unusable && result.ok() && result.analysis) SetAnalysis(result, record);
  if (plan.job.calibrated_intervals > 0 && result.replicate == 0) {
    record.calibrated_row = true;
    if (!unusable) {
      if (result.calibrated) record.calibrated = CalibratedOf(*result.calibrated);
      record.calibrated_error = result.calibrated_error;
    }
  }
  return record;
}

// ---------------------------------------------------------------- rows

namespace {

// The pieces of a row, appended to it: a row is built in one string, its
// figures written by std::to_chars, as the writer of every task's rows runs
// beside the tasks of its rank.

template <class Integer>
void PutInt(std::string& out, Integer value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void PutFlag(std::string& out, bool value) { out += value ? '1' : '0'; }

// A CSV field in quotes (a quote doubled, a line break made a space).
void PutQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += (c == '\n' || c == '\r') ? ' ' : c;
  }
  out += '"';
}

// A JSON number, or null for what JSON cannot hold.
void PutJsonReal(std::string& out, float value) {
  if (std::isfinite(value)) {
    AppendReal(out, value);
  } else {
    out += "null";
  }
}

// A JSON string: printable ASCII without a quote or backslash as it is, any
// other text as the JSON library writes it (escapes, invalid UTF-8 replaced).
void PutJsonText(std::string& out, std::string_view text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
  });
  if (plain) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  out += nlohmann::json(std::string(text))
             .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PutJsonFlag(std::string& out, bool value) { out += value ? "true" : "false"; }

// A separator before every item of a list but the first (`start`: where the
// list began in `out`).
void Separate(std::string& out, std::size_t start, char separator) {
  if (out.size() != start) out += separator;
}

// The zone and branch names of a record's cell.
std::pair<const std::string&, const std::string&> Names(const BatchPlan& plan,
                                                        const TaskRecord& record) {
  const Cell& cell = plan.cells.at(record.index / plan.tasks_per_cell());
  return {plan.job.zones[cell.zone].name, plan.branches[cell.branch].name};
}

// The figures after the runs, in the order of the columns.
std::array<std::pair<const char*, float>, 9> Figures(const TaskRecord& r) {
  const TaskEstimate& e = r.estimate;
  return {{{"beta", e.beta},
           {"sd_beta", r.sd_beta},
           {"lambda", e.lambda},
           {"sd_lambda", e.sd_lambda},
           {"b", e.b},
           {"sd_b", e.sd_b},
           {"mmax", e.mmax},
           {"sd_mmax", e.sd_mmax},
           {"transmission", r.transmission}}};
}

constexpr const char* kWeichertNames[] = {"weichert_b", "weichert_sd_b", "weichert_rate",
                                          "weichert_sd_rate"};

void PutRunsCsv(std::string& out, const std::vector<RunValues>& runs) {
  const std::size_t start = out.size();
  for (const RunValues& run : runs) {
    Separate(out, start, ' ');
    // A suggestion that is no number is no suggestion (empty).
    if (std::isfinite(run.mmax)) AppendReal(out, run.mmax);
    out += ':';
    if (std::isfinite(run.suggested)) AppendReal(out, run.suggested);
    out += ':';
    PutInt(out, run.iterations);
    out += ':';
    PutFlag(out, run.converged);
  }
}

void PutRunsJson(std::string& out, const std::vector<RunValues>& runs) {
  const std::size_t start = out.size();
  for (const RunValues& run : runs) {
    Separate(out, start, ',');
    out += "{\"mmax\":";
    PutJsonReal(out, run.mmax);
    out += ",\"suggested\":";
    PutJsonReal(out, run.suggested);
    out += ",\"iterations\":";
    PutInt(out, run.iterations);
    out += ",\"converged\":";
    PutJsonFlag(out, run.converged);
    out += '}';
  }
}

void PutContributionsCsv(std::string& out, const TaskRecord& r) {
  const std::size_t start = out.size();
  for (const auto& [beta, lambda] : r.contributions) {
    Separate(out, start, ' ');
    AppendReal(out, beta);
    out += ':';
    AppendReal(out, lambda);
  }
}

void PutContributionsJson(std::string& out, const TaskRecord& r) {
  const std::size_t start = out.size();
  for (const auto& [beta, lambda] : r.contributions) {
    Separate(out, start, ',');
    out += "{\"beta\":";
    PutJsonReal(out, beta);
    out += ",\"lambda\":";
    PutJsonReal(out, lambda);
    out += '}';
  }
}

void PutWarningsCsv(std::string& out, const TaskRecord& r) {
  const std::size_t start = out.size();
  for (const InputWarning& w : r.warnings) {
    Separate(out, start, ' ');
    out += InputWarningName(w.kind);
  }
}

void PutWarningsJson(std::string& out, const TaskRecord& r) {
  const std::size_t start = out.size();
  for (const InputWarning& w : r.warnings) {
    Separate(out, start, ',');
    out += "{\"kind\":";
    PutJsonText(out, InputWarningName(w.kind));
    out += ",\"text\":";
    PutJsonText(out, w.text);
    out += '}';
  }
}

// zone,branch,replicate,seed,status,message: the columns of every row.
void PutTaskCsv(std::string& out, const BatchPlan& plan, const TaskRecord& r) {
  const auto [zone, branch] = Names(plan, r);
  out += zone;
  out += ',';
  out += branch;
  out += ',';
  PutInt(out, r.estimate.replicate);
  out += ',';
  PutInt(out, r.seed);
  out += ',';
  out += r.status;
  out += ',';
  PutQuoted(out, r.message);
}

void PutTaskJson(std::string& out, const BatchPlan& plan, const TaskRecord& r) {
  const auto [zone, branch] = Names(plan, r);
  out += "{\"zone\":";
  PutJsonText(out, zone);
  out += ",\"branch\":";
  PutJsonText(out, branch);
  out += ",\"replicate\":";
  PutInt(out, r.estimate.replicate);
  out += ",\"seed\":";
  PutInt(out, r.seed);
  out += ",\"status\":";
  PutJsonText(out, r.status);
  out += ",\"message\":";
  PutJsonText(out, r.message);
}

}  // namespace

void AppendReal(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "nan";
  } else if (std::isinf(value)) {
    out += value > 0 ? "inf" : "-inf";
  } else {
    // As "%.9g" writes the value (a precision makes std::to_chars print as
    // printf does), without the format string's parsing.
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                   std::chars_format::general, 9)
                         .ptr);
  }
}

std::string Real(float value) {
  std::string text;
  AppendReal(text, value);
  return text;
}

std::string ResultsCsvRow(const BatchPlan& plan, const TaskRecord& r) {
  std::string csv;
  csv.reserve(512);
  PutTaskCsv(csv, plan, r);
  if (!r.ok()) {
    csv.append(20, ',');  // the 20 columns after the message
    csv += '\n';
    return csv;
  }
  const TaskEstimate& e = r.estimate;
  csv += ',';
  AppendReal(csv, e.mmin);
  csv += ',';
  AppendReal(csv, e.xmax);
  csv += ',';
  PutRunsCsv(csv, r.runs);
  csv += ',';
  PutFlag(csv, e.converged);
  for (const auto& [name, value] : Figures(r)) {
    csv += ',';
    AppendReal(csv, value);
  }
  csv += ',';
  PutContributionsCsv(csv, r);
  csv += ',';
  csv += MmaxStatusName(e.mmax_status);
  csv += ',';
  PutWarningsCsv(csv, r);
  for (std::size_t k = 0; k < 4; ++k) {
    csv += ',';
    if (r.weichert) AppendReal(csv, static_cast<float>(r.weichert->at(k)));
  }
  csv += '\n';
  return csv;
}

std::string ResultsJsonLine(const BatchPlan& plan, const TaskRecord& r) {
  std::string json;
  json.reserve(1024);
  PutTaskJson(json, plan, r);
  if (!r.ok()) {
    json += "}\n";
    return json;
  }
  const TaskEstimate& e = r.estimate;
  json += ",\"mmin\":";
  PutJsonReal(json, e.mmin);
  json += ",\"xmax\":";
  PutJsonReal(json, e.xmax);
  json += ",\"runs\":[";
  PutRunsJson(json, r.runs);
  json += "],\"mmax_converged\":";
  PutJsonFlag(json, e.converged);
  for (const auto& [name, value] : Figures(r)) {
    json += ",\"";
    json += name;
    json += "\":";
    PutJsonReal(json, value);
  }
  json += ",\"contributions\":[";
  PutContributionsJson(json, r);
  json += "],\"mmax_status\":";
  PutJsonText(json, MmaxStatusName(e.mmax_status));
  json += ",\"warnings\":[";
  PutWarningsJson(json, r);
  json += ']';
  for (std::size_t k = 0; k < 4; ++k) {
    json += ",\"";
    json += kWeichertNames[k];
    json += "\":";
    PutJsonReal(json, r.weichert ? static_cast<float>(r.weichert->at(k)) : NAN);
  }
  json += "}\n";
  return json;
}

std::string HazardCsvRows(const BatchPlan& plan, const TaskRecord& r) {
  if (!r.ok()) return {};
  const auto [zone, branch] = Names(plan, r);
  const std::vector<float>& spans = plan.cells.at(r.index / plan.tasks_per_cell()).hazard_spans;
  std::string rows;
  for (const HazardValues& p : r.hazard) {
    // The fields of the point once, then one row for each span.
    std::string point = zone + "," + branch + ",";
    AppendReal(point, p.magnitude);
    point += ',';
    AppendReal(point, p.annual_rate);
    point += ',';
    AppendReal(point, p.return_period);
    point += ',';
    for (std::size_t s = 0; s < spans.size() && s < p.probabilities.size(); ++s) {
      rows += point;
      AppendReal(rows, spans[s]);
      rows += ',';
      AppendReal(rows, p.probabilities[s]);
      rows += '\n';
    }
  }
  return rows;
}

std::string CalibratedCsvRow(const BatchPlan& plan, const TaskRecord& r) {
  if (!r.calibrated_row) return {};
  const auto [zone, branch] = Names(plan, r);
  std::string line = zone + "," + branch;
  if (!r.calibrated) {
    const std::string why = r.status == kStatusOk ? r.calibrated_error : "no analysis: " + r.status;
    line += ",0,0,0,";
    PutQuoted(line, why);
    line.append(22, ',');
    line += BootstrapMethodName(plan.job.calibrated_method);
    line += '\n';
    return line;
  }
  const CalibratedValues& c = *r.calibrated;
  line += ',';
  PutInt(line, c.replicates);
  line += ',';
  PutInt(line, c.failed);
  line += ',';
  PutFlag(line, c.calibrated);
  line += ',';
  PutQuoted(line, c.warning);
  for (double x : c.values) {
    line += ',';
    AppendReal(line, static_cast<float>(x));
  }
  line += ',';
  line += BootstrapMethodName(c.method);
  line += '\n';
  return line;
}

// ---------------------------------------------------------------- bytes

// Each struct's fields once, for packing and unpacking alike: a new value is
// one more name here.
template <class Archive, class E>
requires std::is_same_v<std::remove_const_t<E>, TaskEstimate>
void Fields(Archive& a, E& e) {
  a(e.ok, e.converged, e.mmax_status, e.replicate, e.beta, e.lambda, e.mmin, e.mmax, e.b, e.sd_b,
    e.sd_lambda, e.sd_mmax, e.xmax);
}
template <class Archive, class R>
requires std::is_same_v<std::remove_const_t<R>, RunValues>
void Fields(Archive& a, R& r) { a(r.mmax, r.suggested, r.iterations, r.converged); }
template <class Archive, class H>
requires std::is_same_v<std::remove_const_t<H>, HazardValues>
void Fields(Archive& a, H& h) { a(h.magnitude, h.annual_rate, h.return_period, h.probabilities); }
template <class Archive, class C>
requires std::is_same_v<std::remove_const_t<C>, CalibratedValues>
void Fields(Archive& a, C& c) {
  a(c.replicates, c.failed, c.calibrated, c.warning, c.method, c.values);
}
template <class Archive, class W>
requires std::is_same_v<std::remove_const_t<W>, InputWarning>
void Fields(Archive& a, W& w) { a(w.kind, w.text); }
template <class Archive, class T>
requires std::is_same_v<std::remove_const_t<T>, TaskRecord>
void Fields(Archive& a, T& r) {
  a(r.index, r.seed, r.status, r.message, r.estimate, r.sd_beta, r.transmission, r.runs,
    r.contributions, r.warnings, r.weichert, r.hazard, r.calibrated_row, r.calibrated,
    r.calibrated_error);
}

namespace {

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsPair : std::false_type {};
template <class A, class B>
struct IsPair<std::pair<A, B>> : std::true_type {};
template <class T>
struct IsArray : std::false_type {};
template <class T, std::size_t N>
struct IsArray<std::array<T, N>> : std::true_type {};

// The largest value of each enumeration a record holds.
constexpr std::uint64_t LastOf(MmaxStatus) { return static_cast<std::uint64_t>(MmaxStatus::Fixed); }
constexpr std::uint64_t LastOf(InputWarningKind) {
  return static_cast<std::uint64_t>(InputWarningKind::WeichertDiffers);
}
constexpr std::uint64_t LastOf(BootstrapMethod) {
  return static_cast<std::uint64_t>(BootstrapMethod::Basic);
}

// Words of 8 bytes, little-endian; reals by their bits; texts and lists by
// their size, then their contents.
class Packer {
 public:
  template <class... T>
  void operator()(const T&... values) {
    (Put(values), ...);
  }
  std::string bytes;

 private:
  void Word(std::uint64_t word) {
    char little[8];
    for (int i = 0; i < 8; ++i) little[i] = static_cast<char>((word >> (8 * i)) & 0xff);
    bytes.append(little, sizeof little);
  }
  template <class T>
  void Put(const T& value) {
    if constexpr (std::is_same_v<T, float>) {
      std::uint32_t bits = 0;
      std::memcpy(&bits, &value, sizeof bits);
      Word(bits);
    } else if constexpr (std::is_same_v<T, double>) {
      std::uint64_t bits = 0;
      std::memcpy(&bits, &value, sizeof bits);
      Word(bits);
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
      Word(static_cast<std::uint64_t>(value));
    } else if constexpr (std::is_same_v<T, std::string>) {
      Word(value.size());
      bytes += value;
    } else if constexpr (IsVector<T>::value) {
      Word(value.size());
      for (const auto& item : value) Put(item);
    } else if constexpr (IsOptional<T>::value) {
      Word(value ? 1 : 0);
      if (value) Put(*value);
    } else if constexpr (IsPair<T>::value) {
      Put(value.first);
      Put(value.second);
    } else if constexpr (IsArray<T>::value) {
      for (const auto& item : value) Put(item);
    } else {
      Fields(*this, value);
    }
  }
};

class Unpacker {
 public:
  explicit Unpacker(std::string_view bytes) : bytes_(bytes) {}
  template <class... T>
  void operator()(T&... values) {
    (Get(values), ...);
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  void Need(std::uint64_t n) const {
    if (n > bytes_.size() - at_) throw Error("a packed task record is cut short");
  }
  std::uint64_t Word() {
    Need(8);
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i) {
      word |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    }
    at_ += 8;
    return word;
  }
  std::uint64_t Bounded(std::uint64_t most, const char* what) {
    const std::uint64_t word = Word();
    if (word > most) throw Error(std::string("a packed task record holds a bad ") + what);
    return word;
  }
  template <class T>
  void Get(T& value) {
    if constexpr (std::is_same_v<T, float>) {
      const auto bits = static_cast<std::uint32_t>(Bounded(0xffffffffULL, "real"));
      std::memcpy(&value, &bits, sizeof value);
    } else if constexpr (std::is_same_v<T, double>) {
      const std::uint64_t bits = Word();
      std::memcpy(&value, &bits, sizeof value);
    } else if constexpr (std::is_same_v<T, bool>) {
      value = Bounded(1, "flag") != 0;
    } else if constexpr (std::is_enum_v<T>) {
      value = static_cast<T>(Bounded(LastOf(T{}), "choice"));
    } else if constexpr (std::is_integral_v<T>) {
      const std::uint64_t word = Word();
      value = static_cast<T>(word);
      if (static_cast<std::uint64_t>(value) != word)
        throw Error("a packed task record holds a bad count");
    } else if constexpr (std::is_same_v<T, std::string>) {
      const std::uint64_t size = Word();
      Need(size);
      value.assign(bytes_.substr(at_, size));
      at_ += size;
    } else if constexpr (IsVector<T>::value) {
      const std::uint64_t size = Word();
      Need(size);  // every item takes at least a byte
      value.resize(size);
      for (auto& item : value) Get(item);
    } else if constexpr (IsOptional<T>::value) {
      value.reset();
      if (Bounded(1, "flag") != 0) Get(value.emplace());
    } else if constexpr (IsPair<T>::value) {
      Get(value.first);
      Get(value.second);
    } else if constexpr (IsArray<T>::value) {
      for (auto& item : value) Get(item);
    } else {
      Fields(*this, value);
    }
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::string PackRecord(const TaskRecord& record) {
  Packer packer;
  packer.bytes.reserve(1024);
  packer(record);
  return std::move(packer.bytes);
}

TaskRecord UnpackRecord(std::string_view bytes) {
  Unpacker in(bytes);
  TaskRecord record;
  in(record);
  if (!in.AtEnd()) throw Error("a packed task record has bytes past its end");
  return record;
}

}  // namespace qev
