// What the batch writes: reals that read back as the same float, records that
// travel intact, OpenQuake laws that reproduce the engine's rates, and the
// exit statuses of qev-batch. (Tasks in order whatever the threads or ranks:
// identity_check.cmake.)
#include "batch/outputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "../events/temp_folder.h"
#include "batch/record.h"
#include "batch/writer.h"
#include "qev/batch.h"

namespace qev {
namespace {

using events_testing::TempFolder;

TEST(BatchOutputs, RealsReadBackAsTheSameFloatAndRecordsTravelIntact) {
  const float values[] = {3.4f,        0.43429f, 1.0f / 3.0f, 6.92709827f,
                          1e-30f,      1e-45f,   -2.5e10f,    std::numeric_limits<float>::max(),
                          123456789.0f};
  for (float v : values) EXPECT_EQ(std::strtof(Real(v).c_str(), nullptr), v) << Real(v);

  // Packed records travel intact between ranks, every value of them (the
  // rows written from the unpacked record are the same bytes); cut ones are
  // refused.
  BatchJob job = ReadBatchJob(QEV_BATCH_DATA_DIR "/small_job.toml");
  job.calibrated_intervals = 20;
  const BatchPlan plan = PlanBatch(job);
  TaskRecord record = MakeRecord(plan, RunTask(plan, 0));
  ASSERT_TRUE(record.ok()) << record.message;
  ASSERT_TRUE(record.weichert && record.calibrated && !record.hazard.empty());
  ASSERT_FALSE(record.runs.empty() || record.contributions.empty());
  record.warnings.push_back({InputWarningKind::WeichertDiffers, "b \"1.2\", not 0.9"});
  record.message = "a \"quoted\",\nmessage";
  record.runs.front().suggested = NAN;  // no suggestion
  record.estimate.sd_mmax = 0.35f;
  const std::string bytes = PackRecord(record);
  const TaskRecord back = UnpackRecord(bytes);
  EXPECT_EQ(PackRecord(back), bytes);
  for (const auto& row : {ResultsCsvRow, ResultsJsonLine, HazardCsvRows, CalibratedCsvRow}) {
    EXPECT_EQ(row(plan, back), row(plan, record));
  }
  EXPECT_FALSE(CalibratedCsvRow(plan, back).empty());
  EXPECT_EQ(back.estimate.sd_mmax, 0.35f);
  EXPECT_EQ(back.estimate.mmax_status, record.estimate.mmax_status);
  EXPECT_EQ(back.warnings.size(), record.warnings.size());
  EXPECT_NE(ResultsCsvRow(plan, back).find(",\"a \"\"quoted\"\", message\","), std::string::npos);
  // A value out of its range (the Mmax status 3, a flag 2) is refused.
  for (const std::uint64_t bad : {3u, 2u}) {
    std::string spoiled = bytes;
    // The Mmax status and the flags follow index, seed and the two texts.
    const std::size_t at =
        8 + 8 + 8 + record.status.size() + 8 + record.message.size() + (bad == 3 ? 16 : 0);
    spoiled[at] = static_cast<char>(bad);
    EXPECT_THROW(UnpackRecord(spoiled), Error) << bad;
  }
  for (std::size_t cut : {std::size_t{0}, std::size_t{12}, bytes.size() - 1}) {
    EXPECT_THROW(UnpackRecord(std::string_view(bytes).substr(0, cut)), Error);
  }
  EXPECT_THROW(UnpackRecord(bytes + "x"), Error);
}

// The rows are built without printf or the JSON library on the common path:
// every real as "%.9g" writes it (a sweep over the float's bit patterns:
// normal, subnormal, negative, the largest), every text as the JSON library
// writes it (escapes, control characters, invalid UTF-8 replaced).
TEST(BatchOutputs, RowsWriteRealsAsPrintfAndTextsAsTheJsonLibrary) {
  std::uint32_t bits = 0x9e3779b9u;
  std::vector<float> values = {0.0f,          -0.0f,
                               5.4f,          0.25f,
                               1e-45f,        1.17549435e-38f,
                               9.99999944e8f, 1e9f,
                               123456789.0f,  std::numeric_limits<float>::max()};
  for (int i = 0; i < 200000; ++i) {
    bits = bits * 1664525u + 1013904223u;  // every exponent, both signs
    float v = 0.0f;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
  }
  std::size_t differ = 0;
  for (float v : values) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.9g", static_cast<double>(v));
    if (Real(v) != expected && ++differ <= 5) ADD_FAILURE() << expected << " written " << Real(v);
  }
  EXPECT_EQ(differ, 0u);
  for (const auto& [v, text] :
       {std::pair{NAN, "nan"}, {-NAN, "nan"}, {INFINITY, "inf"}, {-INFINITY, "-inf"}}) {
    EXPECT_EQ(Real(v), text);
  }

  const BatchPlan plan = PlanBatch(ReadBatchJob(QEV_BATCH_DATA_DIR "/small_job.toml"));
  TaskRecord record = MakeRecord(plan, RunTask(plan, 0));
  ASSERT_TRUE(record.ok()) << record.message;
  const std::string texts[] = {"plain text, no escapes",
                               "a \"quote\"",
                               "back\\slash",
                               "tab\tand\nline\r",
                               std::string("nul\0and\x01\x1f", 9),
                               "delete \x7f",
                               "accented \xc3\xa9 and \xe2\x82\xac",
                               "cut UTF-8 \xc3",
                               "stray \xff byte",
                               ""};
  for (const std::string& text : texts) {
    record.warnings = {{InputWarningKind::WeichertDiffers, text}};
    const std::string line = ResultsJsonLine(plan, record);
    const std::string written =
        "\"text\":" +
        nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    EXPECT_NE(line.find(written), std::string::npos) << line;
    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
  }
}

// A result marked ok whose figures are no estimate becomes an
// unusable-estimate row with nothing of it in the hazard, and a record marked
// ok with such figures (as it could come from another rank) stops the writer
// before it writes anything of it.
TEST(BatchOutputs, NoRowIsOkWithAFigureThatIsNoEstimate) {
  const BatchPlan plan = PlanBatch(ReadBatchJob(QEV_BATCH_DATA_DIR "/small_job.toml"));
  const TaskResult good = RunTask(plan, 0);
  ASSERT_TRUE(good.ok()) << good.message;
  ASSERT_FALSE(good.hazard.empty());
  const std::pair<const char*, std::function<void(TaskResult&)>> spoiled[] = {
      {"SD(Beta) is nan", [](TaskResult& r) { r.analysis->uncertainties.sd_beta = NAN; }},
      {"Mmax 3.4 is not above Mmin 3.4", [](TaskResult& r) { r.analysis->mmax = 3.4f; }},
      {"the contribution of part 1 to Beta is inf",
       [](TaskResult& r) { r.analysis->uncertainties.contributions.at(0).beta = INFINITY; }},
      {"its hazard at magnitude", [](TaskResult& r) { r.hazard.back().probabilities[0] = NAN; }},
  };
  for (const auto& [words, spoil] : spoiled) {
    TaskResult r = good;
    spoil(r);
    const TaskRecord record = MakeRecord(plan, r);
    const std::string csv = ResultsCsvRow(plan, record);
    EXPECT_FALSE(record.ok()) << words;
    EXPECT_NE(csv.find(",unusable-estimate,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(words), std::string::npos) << csv;
    EXPECT_TRUE(HazardCsvRows(plan, record).empty()) << words;
  }

  TempFolder folder;
  folder.MakeDir("out");
  folder.Write("out/results.csv", "earlier\n");
  TaskRecord record = MakeRecord(plan, good);
  ASSERT_TRUE(record.ok());
  record.estimate.sd_lambda = NAN;
  {
    BatchWriter writer(plan, folder.Path("out"));
    try {
      writer.Add(record);
      ADD_FAILURE() << "a record marked ok with SD(Lambda) nan was written";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "task 0 is marked ok but its sd_lambda is nan");
    }
  }
  EXPECT_EQ(folder.Read("out/results.csv"), "earlier\n");
}

// Logic trees are counted before any branch is made: beyond 10^6 tasks the
// job is refused with the count and the limit (the count saturates).
// The report's bands select order statistics instead of sorting: the same
// values as interpolating in the sorted values, with ties, NaNs left out,
// one value and none.
TEST(BatchOutputs, QuantilesAreThoseOfTheSortedValues) {
  std::uint32_t state = 12345u;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  for (const std::size_t n : {0u, 1u, 2u, 3u, 7u, 100u, 834u}) {
    for (const bool ties : {false, true}) {
      std::vector<double> values;
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t r = next() >> 8;
        values.push_back(ties ? static_cast<double>(r % 5) : static_cast<double>(r) * 1e-3);
        if (i % 9 == 4) values.push_back(std::nan(""));
      }
      std::vector<double> sorted;
      std::copy_if(values.begin(), values.end(), std::back_inserter(sorted),
                   [](double v) { return !std::isnan(v); });
      std::sort(sorted.begin(), sorted.end());
      const std::vector<double> got =
          batch_output::Quantiles(values, {0.0, 0.16, 0.5, 0.5, 0.84, 1.0});
      const double ps[] = {0.0, 0.16, 0.5, 0.5, 0.84, 1.0};
      ASSERT_EQ(got.size(), std::size(ps));
      for (std::size_t k = 0; k < got.size(); ++k) {
        if (sorted.empty()) {
          EXPECT_TRUE(std::isnan(got[k])) << "n " << n;
          continue;
        }
        const double h = (static_cast<double>(sorted.size()) - 1.0) * ps[k];
        const auto lo = static_cast<std::size_t>(std::floor(h));
        const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
        const double expected =
            sorted[lo] + (h - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
        EXPECT_EQ(got[k], expected) << "n " << n << (ties ? " with ties" : "") << " p " << ps[k];
      }
    }
  }
}

TEST(BatchJob, TreesBeyondTheTaskLimitAreRefusedBeforeAnythingIsRead) {
  const struct {
    std::size_t zones;
    std::int32_t replicates;
    std::size_t sets;  // of two alternatives each
    std::uint64_t tasks;
  } trees[] = {{1, 0, 19, 524288},     {1, 0, 20, 1048576},    {3, 99, 0, 300},
               {1, 0, 30, 1073741824}, {2, 1, 63, UINT64_MAX}, {1, 0, 64, UINT64_MAX}};
  for (const auto& t : trees) {
    BatchJob job;
    job.source = "tree.toml";
    job.replicates = t.replicates;
    for (std::size_t z = 0; z < t.zones; ++z) {
      BatchZone& zone = job.zones.emplace_back();
      zone.name = "z" + std::to_string(z);
      zone.complete.push_back({"no_such.dat", 1});
    }
    for (std::size_t k = 0; k < t.sets; ++k) {
      job.branch_sets.push_back(
          {"s" + std::to_string(k), {{"a", 0.5, {}, {}}, {"b", 0.5, {}, {}}}});
    }
    EXPECT_EQ(CountTasks(job), t.tasks) << t.sets << " sets";
    if (t.tasks <= kMostTasks) continue;
    try {
      PlanBatch(job);
      ADD_FAILURE() << t.sets << " sets: planned";
    } catch (const InvalidOptions& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("tree.toml: the job makes ", 0), 0u) << message;
      EXPECT_NE(message.find("more than the limit of 1000000; run it with --force"),
                std::string::npos)
          << message;
    }
  }
}

// A run whose cancellation flag is raised stops and puts nothing in place.
TEST(BatchRun, ACancelledRunLeavesTheEarlierResults) {
  const BatchPlan plan = PlanBatch(ReadBatchJob(QEV_BATCH_DATA_DIR "/small_job.toml"));
  TempFolder folder;
  folder.MakeDir("out");
  folder.Write("out/results.csv", "earlier\n");
  std::atomic<bool> cancel{true};
  RunOptions options;
  options.threads = 2;
  options.cancel = &cancel;
  EXPECT_THROW(RunBatch(plan, folder.Path("out"), options), Cancelled);
  EXPECT_EQ(folder.Read("out/results.csv"), "earlier\n");
  EXPECT_FALSE(std::filesystem::exists(folder.Path("out/summary.csv")));
}

// A job asking for calibrated intervals: each cell's catalog gets its line of
// calibrated.csv, whose intervals nest (68 % inside 95 %) around the
// corrected estimate, or the reason it has none; replicates get no line.
TEST(BatchOutputs, CalibratedIntervalsOfEachCell) {
  BatchJob job = ReadBatchJob(QEV_BATCH_DATA_DIR "/small_job.toml");
  job.calibrated_intervals = 20;
  const BatchPlan plan = PlanBatch(job);
  const std::size_t fields =
      std::count(kCalibratedCsvHeader, kCalibratedCsvHeader + std::strlen(kCalibratedCsvHeader),
                 ',') +
      1;
  int calibrated = 0;
  for (std::size_t cell = 0; cell < plan.cells.size(); ++cell) {
    const TaskResult r = RunTask(plan, cell * plan.tasks_per_cell());
    const std::string row = CalibratedCsvRow(plan, MakeRecord(plan, r));
    ASSERT_FALSE(row.empty());
    if (!r.calibrated) continue;
    // Quoted warnings hold no comma here: the fields can be counted.
    std::vector<std::string> values;
    std::stringstream line(row.substr(0, row.size() - 1));
    for (std::string value; std::getline(line, value, ',');) values.push_back(value);
    ASSERT_EQ(values.size(), fields) << row;
    EXPECT_EQ(values.back(), "inverted");  // the default construction, named
    for (std::size_t q = 0; q < 3; ++q) {
      const std::size_t at = 6 + 7 * q;  // estimate, bias, corrected, l68, u68, l95, u95
      const float lower95 = std::stof(values[at + 5]);
      const float lower68 = std::stof(values[at + 3]);
      const float upper68 = std::stof(values[at + 4]);
      const float upper95 = std::stof(values[at + 6]);
      EXPECT_LE(lower95, lower68);
      EXPECT_LT(lower68, upper68);
      EXPECT_LE(upper68, upper95);
      EXPECT_NEAR(std::stof(values[at + 2]), std::stof(values[at]) - std::stof(values[at + 1]),
                  1e-4f * std::fabs(std::stof(values[at])) + 1e-5f);
    }
    ++calibrated;
  }
  EXPECT_GT(calibrated, 0);
  ASSERT_GT(plan.tasks_per_cell(), 1u);
  EXPECT_TRUE(CalibratedCsvRow(plan, MakeRecord(plan, RunTask(plan, 1))).empty());
}

// The catalog's own estimates (zone "example" of the small job) as OpenQuake
// values: the rate above Mmin is Lambda and the rate above each magnitude of
// the hazard table the engine's.
TEST(OpenQuake, LawsReproduceLambdaAndTheEngineRates) {
  const BatchPlan plan = PlanBatch(ReadBatchJob(QEV_BATCH_DATA_DIR "/small_job.toml"));
  // The engine forms the rate as Lambda times a difference of single-precision
  // exponentials: its error is a few roundings of Lambda, not of the rate.
  constexpr double kEngineError = 1e-6;
  int checked = 0;
  for (std::size_t cell = 0; cell < plan.cells.size(); ++cell) {
    const TaskResult r = RunTask(plan, cell * plan.tasks_per_cell());
    if (!r.ok()) continue;
    const AnalysisResult& a = *r.analysis;
    const OpenQuakeMfd mfd = ToOpenQuake(a.beta, a.lambda, a.settings.mmin, a.mmax);
    EXPECT_NEAR(mfd.b, a.beta / std::log(10.0), 1e-12);
    EXPECT_NEAR(OpenQuakeRate(mfd, mfd.min_mag) / a.lambda, 1.0, 1e-12);
    EXPECT_EQ(OpenQuakeRate(mfd, mfd.max_mag), 0.0);
    for (const HazardPoint& p : r.hazard) {
      EXPECT_NEAR(OpenQuakeRate(mfd, p.magnitude), p.annual_rate, kEngineError * a.lambda)
          << plan.job.zones[plan.cells[cell].zone].name << " M " << p.magnitude;
      ++checked;
    }
  }
  EXPECT_GT(checked, 30);
}

struct ToolRun {
  const char* what;
  std::string job;
  int status;
  const char* says;  // part of standard error
};

// qev-batch on a failing job, a job that is all good and invalid jobs; the
// written files of the first are checked as OpenQuake and CSV readers see them.
TEST(BatchTool, ExitStatusesAndTheFilesWritten) {
  TempFolder folder;
  const std::string tool = std::string("'") + QEV_BATCH_BINARY + "' ";
  const std::string data = QEV_BATCH_DATA_DIR;
  const std::string good =
      "seed = 3\nreplicates = 2\n[[zone]]\nname = \"ex\"\nmmin = 3.4\nextreme = \"" +
      std::string(QEV_EXAMPLES_DIR) + "/ext_l1.dat\"\n";
  folder.Write("good.toml", good);
  folder.Write("typo.toml", good + "replicate = 5\n");
  // One run cannot settle: the branch is left out of the OpenQuake files
  // unless Mmax is capped (fixed at the cap).
  folder.Write("unsettled.toml", good + "max_runs = 1\n");
  folder.Write("capped.toml", good + "max_runs = 1\nmmax_cap = 7.0\n");
  // Figures that are no estimate: an Xmax below Mmin (once an ok row with
  // exit status 0); an Mmax of 100 is refused with the job.
  folder.Write("x.dat", "1950 1 1\n1999 12 31\n4.0\n4.5 0.1\n4.7 0.1\n5.1 0.1\n4.2 0.1\n");
  const std::string zone = "[[zone]]\nname = \"z\"\ncomplete = [\"x.dat\"]\n";
  folder.Write("xmax.toml", "[defaults]\nmmin = 4.0\nxmax = 3.0\n" + zone);
  folder.Write("mmax.toml", good + "mmax = [100]\n");  // once maxMag="100" in OpenQuake
  const ToolRun runs[] = {
      {"some tasks fail", "-o small '" + data + "/small_job.toml'", 2,
       "16 of 64 tasks failed (see small/results.csv)"},
      {"all succeed", "good.toml", 0, ""},
      {"unknown key", "typo.toml", 1,
       "ERROR: typo.toml, line 7: read \"zone.replicate\", expected one of the keys"},
      {"no job file", "absent.toml", 1,
       "ERROR: absent.toml: cannot open the job file (No such file or directory)"},
      {"unsettled Mmax", "unsettled.toml", 0,
       "WARNING: zone ex, branch base: Mmax did not settle (7.2): left out of the OpenQuake "
       "files; fix or cap Mmax (mmax, mmax_cap)"},
      {"capped Mmax", "capped.toml", 0, ""},
      {"Xmax below Mmin", "xmax.toml", 2, "1 of 1 tasks failed"},
      {"an Mmax of 100", "mmax.toml", 1,
       "ERROR: mmax.toml, line 7: read [100], expected for 'zone.mmax' at most 100 numbers from "
       "-10 to 10"},
  };
  for (const ToolRun& run : runs) {
    const auto outcome = folder.Run(tool + run.job);
    EXPECT_EQ(outcome.status, run.status) << run.what << ": " << outcome.out;
    EXPECT_NE(outcome.out.find(run.says), std::string::npos) << run.what << ": " << outcome.out;
  }
  EXPECT_NE(folder.Read("good-results/results.csv").find("\nex,base,2,"), std::string::npos);
  EXPECT_NE(folder.Read("unsettled-results/summary.csv").find(",unsettled,"), std::string::npos);
  EXPECT_NE(folder.Read("unsettled-results/report.html").find("<td>unsettled</td>"),
            std::string::npos);
  EXPECT_NE(folder.Read("capped-results/summary.csv").find(",fixed,"), std::string::npos);
  EXPECT_NE(folder.Read("capped-results/report.html").find("<td>fixed</td>"), std::string::npos);
  EXPECT_EQ(folder.Read("capped-results/report.html").find("did not settle"), std::string::npos);
  for (const auto& [job, reason] : {std::pair{"xmax", "Mmax 3.5 is not above Mmin 4"}}) {
    const std::string rows = folder.Read(std::string(job) + "-results/results.csv");
    EXPECT_NE(
        rows.find(std::string(",unusable-estimate,\"the analysis gives no usable estimate: ") +
                  reason),
        std::string::npos)
        << rows;
    EXPECT_EQ(folder.Read(std::string(job) + "-results/hazard.csv"), kHazardCsvHeader);
  }

  // The zones of classic files without a place and the zone without a
  // catalog are left out of the OpenQuake models, each with a warning.
  const auto small = folder.Run(tool + "-o small2 '" + data + "/small_job.toml'");
  for (const char* zone : {"example", "extremes", "missing"}) {
    EXPECT_NE(small.out.find(std::string("WARNING: zone ") + zone + ": left out"),
              std::string::npos)
        << zone << ": " << small.out;
  }
  // The heaviest branch is the first (cramer, b 1.0): its rows from the CSV.
  auto fields = [](const std::string& line) {
    std::vector<std::string> out;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ',');) out.push_back(field);
    return out;
  };
  std::istringstream rows(folder.Read("small/results.csv"));
  std::vector<std::vector<std::string>> first_branch;  // replicates 0..3
  for (std::string line; std::getline(rows, line) && first_branch.size() < 4;) {
    if (line.rfind("example,proc=cramer;b=1.0,", 0) == 0) first_branch.push_back(fields(line));
  }
  ASSERT_EQ(first_branch.size(), 4u);
  // The summary of that branch: b of the catalog, and of the three replicates
  // sorted, the median and the 16 and 84 % points between order statistics.
  std::vector<double> b;
  for (std::size_t r = 1; r < 4; ++r) b.push_back(std::stod(first_branch[r][14]));
  std::sort(b.begin(), b.end());
  std::istringstream summary(folder.Read("small/summary.csv"));
  std::string line;
  std::getline(summary, line);
  std::getline(summary, line);
  const std::vector<std::string> row = fields(line);
  ASSERT_EQ(row.size(), 20u) << line;
  EXPECT_EQ(row[1] + " " + row[4] + " " + row[5] + " " + row[7],
            "proc=cramer;b=1.0 3 0 " + first_branch[0][14]);
  const double expected[] = {b[1], b[0] + 0.32 * (b[1] - b[0]), b[1] + 0.68 * (b[2] - b[1])};
  EXPECT_EQ(row[10], first_branch[0][20]);  // the Mmax status of the catalog's own estimate
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(std::stod(row[11 + k]), expected[k], 1e-8) << line;
}

}  // namespace
}  // namespace qev
