// The batch runner's output stage on arbitrary estimates: task results made
// from the input's floats (a catalog task and a replicate of one classic
// zone) go through MakeRecord, the packing between ranks and the writer, and
// the rest of the input as a packed record from another rank. Whatever they
// hold, a row written as ok holds finite figures with Mmax above Mmin, and no
// output file holds a "nan" or "inf" in an ok row or in the OpenQuake files;
// the writer either writes or throws qev::Error.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "batch/record.h"
#include "batch/writer.h"
#include "fuzz_common.h"
#include "qev/batch.h"

namespace {

namespace fs = std::filesystem;

// Floats from the input, four bytes each; zeros once it is used up.
class Floats {
 public:
  Floats(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  float Next() {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits = bits << 8 | (at_ < size_ ? data_[at_++] : 0u);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  std::string_view Rest() const {
    return {reinterpret_cast<const char*>(data_) + at_, size_ - at_};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

qev::BatchPlan MakePlan(const fs::path& folder) {
  qev::BatchPlan plan;
  plan.job.source = (folder / "job.toml").string();
  plan.job.output = folder / "out";
  plan.job.replicates = 1;
  qev::BatchZone& zone = plan.job.zones.emplace_back();
  zone.name = "z";
  zone.openquake.location = {{20.0, 40.0}};  // a point source: the zone goes to the OpenQuake files
  plan.branches = qev::CrossBranches({});
  plan.zone_sources.emplace_back();
  qev::Cell& cell = plan.cells.emplace_back();
  cell.hazard_spans = {50.0f};
  return plan;
}

qev::TaskResult MakeResult(Floats& in, std::size_t index) {
  qev::TaskResult result;
  result.index = index;
  result.replicate = static_cast<std::int32_t>(index);
  qev::AnalysisResult a;
  a.settings.mmin = in.Next();
  a.settings.xmax = in.Next();
  a.beta = in.Next();
  a.lambda = in.Next();
  a.mmax = in.Next();
  a.mmax_status = qev::MmaxStatus::Settled;
  a.runs.push_back({a.mmax, a.beta, a.lambda, 3, true, in.Next()});
  qev::Uncertainties& u = a.uncertainties;
  for (float* figure : {&u.sd_beta, &u.sd_lambda, &u.b, &u.sd_b, &u.sd_mmax,
                        &u.transmission_coefficient, &u.data_share_beta}) {
    *figure = in.Next();
  }
  u.contributions.push_back({in.Next(), in.Next()});
  result.analysis = a;
  if (index == 0) {
    qev::HazardPoint p;
    p.magnitude = in.Next();
    p.annual_rate = in.Next();
    p.return_period = in.Next();
    p.probabilities = {in.Next()};
    result.hazard.push_back(p);
  }
  return result;
}

// A word "nan", "inf" or "infinity" (any case) between characters that are
// not letters or digits: what printf makes of a value that is not finite.
bool HasNonFinite(std::string_view text) {
  std::string word;
  const auto bad = [&word] { return word == "nan" || word == "inf" || word == "infinity"; };
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      continue;
    }
    if (bad()) return true;
    word.clear();
  }
  return bad();
}

void CheckRecord(const qev::BatchPlan& plan, const qev::TaskRecord& record) {
  if (!record.ok()) return;
  const qev::TaskEstimate& r = record.estimate;
  for (float v : {r.beta, r.lambda, r.mmin, r.mmax, r.b, r.sd_b, r.sd_lambda, r.sd_mmax, r.xmax}) {
    if (!std::isfinite(v)) fuzz::Broken("a record marked ok holds a figure that is not finite");
  }
  if (!(r.mmax > r.mmin)) fuzz::Broken("a record marked ok has Mmax not above Mmin");
  const std::string csv = qev::ResultsCsvRow(plan, record);
  const std::string hazard = qev::HazardCsvRows(plan, record);
  if (HasNonFinite(csv) || HasNonFinite(qev::ResultsJsonLine(plan, record)) ||
      HasNonFinite(hazard)) {
    fuzz::Broken("a record marked ok writes nan or inf", csv + hazard);
  }
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every ok row of results.csv and every OpenQuake file free of nan and inf.
void CheckFolder(const fs::path& out) {
  std::istringstream rows(Read(out / "results.csv"));
  for (std::string line; std::getline(rows, line);) {
    if (line.find(",ok,") != std::string::npos && HasNonFinite(line)) {
      fuzz::Broken("results.csv has an ok row with nan or inf", line);
    }
  }
  if (!fs::exists(out / "openquake")) return;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(out / "openquake")) {
    if (e.is_regular_file() && HasNonFinite(Read(e.path()))) {
      fuzz::Broken("an OpenQuake file holds nan or inf", e.path().string());
    }
  }
}

void Write(const qev::BatchPlan& plan, const std::vector<qev::TaskRecord>& records, bool check) {
  try {
    qev::BatchWriter writer(plan, plan.job.output);
    for (const qev::TaskRecord& r : records) writer.Add(r);
    writer.Finish();
  } catch (const qev::Error&) {
    return;  // refused: nothing of it may be in place
  }
  if (check) CheckFolder(plan.job.output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "fuzz-batch-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fuzz::Broken("no temporary folder");
    return fs::path(pattern);
  }();
  fs::remove_all(folder / "out");
  const qev::BatchPlan plan = MakePlan(folder);
  Floats in(data, size);
  std::vector<qev::TaskRecord> records;
  for (std::size_t index = 0; index < plan.task_count(); ++index) {
    const qev::TaskRecord record = qev::MakeRecord(plan, MakeResult(in, index));
    CheckRecord(plan, record);
    const qev::TaskRecord back = qev::UnpackRecord(qev::PackRecord(record));
    if (qev::PackRecord(back) != qev::PackRecord(record))
      fuzz::Broken("a record changed in transit");
    records.push_back(back);
  }
  Write(plan, records, true);
  // The rest of the input as the packed record of task 1 from another rank.
  try {
    qev::TaskRecord other = qev::UnpackRecord(in.Rest());
    other.index = 1;
    fs::remove_all(folder / "out");
    Write(plan, {records[0], other}, false);  // its text is not checked: only its figures
  } catch (const qev::Error&) {
  }
  return 0;
}
