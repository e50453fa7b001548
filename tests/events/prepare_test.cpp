// The prepare job: the TOML file (good and bad) and qev-prepare as a program,
// from the Tonga extract to a classic session.
#include "qev/prepare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "events/temp_folder.h"
#include "harness/harness.h"

namespace qev {
namespace {

using events_testing::TempFolder;

TEST(PrepareJob, TomlGivesEverySetting) {
  std::ifstream file(QEV_GOLDEN_DIR "/../events/data/every_setting.toml");
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  const PrepareJob job = ParsePrepareToml(text, "job.toml", "/base");
  EXPECT_EQ(job.catalog, "/base/cat.csv");
  EXPECT_EQ(*job.read.default_sd, 0.2f);
  EXPECT_TRUE(job.read.skip_bad_rows);
  EXPECT_EQ(job.read.columns.at("sd"), "unc");
  ASSERT_EQ(job.read.magnitude_columns.size(), 2u);
  EXPECT_EQ(job.read.magnitude_columns[0].sd_column, "MS_unc");
  EXPECT_EQ(job.read.magnitude_columns[1].column, "MB");
  ASSERT_TRUE(job.homogenise);
  EXPECT_EQ(job.homogenise->priority.size(), 2u);
  EXPECT_EQ(*job.homogenise->default_sd, 0.3f);
  EXPECT_EQ(job.homogenise->relations[0].agency, "ISC");
  EXPECT_EQ(job.homogenise->relations[1].segments[1].b, 0.99);
  EXPECT_EQ(*job.selection.until, (CivilDate{2000, 0, 0}));
  EXPECT_EQ(job.selection.zone->polygons.size(), 1u);
  EXPECT_EQ(job.decluster->method, DeclusterMethod::Uhrhammer1986);
  EXPECT_EQ(job.decluster->foreshock_fraction, 0.5);
  EXPECT_EQ(job.split.completeness.size(), 2u);
  EXPECT_EQ(job.split.completeness[1].threshold, 5.0f);
  EXPECT_EQ(job.split.extreme_window_years, 10);
  EXPECT_EQ(job.split.empty_windows, EmptyWindows::Refuse);
  EXPECT_EQ(*job.mmin, 4.4f);
  EXPECT_EQ(job.session.procedure, 2);
  EXPECT_TRUE(job.strict);
  EXPECT_EQ(*job.mmax_cap, 9.5f);
  EXPECT_FALSE(job.mmax);
  EXPECT_EQ(*job.classic_directory, "/base/out");
  EXPECT_EQ(job.session.spans[2], 3.0f);
}

TEST(PrepareJob, DeclusterTableTakesEveryParameterOfTheMethodTable) {
  const PrepareJob job = ParsePrepareToml(
      "[decluster]\nmethod = 'Reasenberg'\ntau_min = 0.5\ntau_max = 5\np1 = 0.95\nxk = 0.4\n"
      "xmeff = 2.5\nrfact = 8\ncrust_km = 25\n",
      "job.toml", "/base");
  ASSERT_TRUE(job.decluster);
  const ReasenbergParameters& r = job.decluster->reasenberg;
  EXPECT_EQ(job.decluster->method, DeclusterMethod::Reasenberg1985);
  EXPECT_EQ(std::vector<double>(
                {r.tau_min_days, r.tau_max_days, r.p1, r.xk, *r.xmeff, r.rfact, r.crust_km}),
            std::vector<double>({0.5, 5.0, 0.95, 0.4, 2.5, 8.0, 25.0}));
}

// Completeness lists as the command line gives them. (Bad jobs: the table of
// the event readers, data/reader_cases.tsv.)
TEST(PrepareJob, CompletenessListsOfTheCommandLine) {
  EXPECT_EQ(ParseCompleteness("1900:6, 1964:5.5", "x").size(), 2u);
  EXPECT_THROW(ParseCompleteness("1900-6", "x"), ReadingError);
}

// The manual page names every declustering method and parameter of the
// tables (the usage line and -h print them from the tables themselves).
TEST(PrepareJob, ManualPageNamesEveryDeclusteringMethodAndParameter) {
  std::ifstream file(QEV_GOLDEN_DIR "/../../man/qev-prepare.1");
  std::string page{std::istreambuf_iterator<char>(file), {}};
  std::string plain;
  for (std::size_t i = 0; i < page.size(); ++i) {
    if (page[i] != '\\') plain += page[i];  // roff escapes: \- is -
  }
  for (const DeclusterMethodInfo& m : DeclusterMethods()) {
    EXPECT_NE(plain.find(m.name), std::string::npos) << m.name;
  }
  for (const DeclusterParameterInfo& p : DeclusterParameters()) {
    EXPECT_NE(plain.find(p.key), std::string::npos) << p.key;
  }
  EXPECT_NE(plain.find(DeclusterMethodNames("|")), std::string::npos);
}

const std::string kPrepare = std::string("'") + QEV_PREPARE_BINARY + "'";

TEST(PrepareTool, HelpVersionAndErrorsFollowTheCompanionConventions) {
  TempFolder folder;
  const std::pair<std::string, std::pair<int, const char*>> runs[] = {
      {" --version", {0, "qev-prepare 2."}},
      {" -h", {0, "Usage: qev-prepare"}},
      {" -h", {0, "  reasenberg                 cluster linking of Reasenberg (1985)"}},
      {" -h", {0, "  tau_max                    longest look-ahead time in days (default 10)"}},
      {" --decluster reasenburg missing.csv",
       {1, "expected a declustering method: gk, uhrhammer, gruenthal or reasenberg"}},
      {" --decluster reasenberg --decluster-parameter tau_max missing.csv",
       {1, "ERROR: --decluster-parameter tau_max: expected KEY=VALUE"}},
      {" --decluster reasenberg --decluster-parameter taumax=3 missing.csv",
       {1, "expected a declustering parameter: one of foreshock_fraction, tau_min"}},
      {" --help", {0, "EXIT STATUS"}},
      {" --lambada", {1, "ERROR: "}},
      {" --completeness 2000:5 missing.csv",
       {1, "ERROR: missing.csv: cannot open the catalog file"}},
      {" missing.csv", {1, "ERROR: no part to make"}},
  };
  for (const auto& [arguments, expected] : runs) {
    const auto run = folder.Run(kPrepare + arguments);
    EXPECT_EQ(run.status, expected.first) << arguments << "\n" << run.out;
    EXPECT_NE(run.out.find(expected.second), std::string::npos) << arguments << "\n" << run.out;
  }
}

// The path of README: the Tonga extract through the example job to classic
// files that qev reads to the end, the catalog itself untouched.
TEST(PrepareTool, ExampleJobRunsFromTheExtractToAClassicSession) {
  TempFolder folder;
  const auto prepare =
      folder.Run(kPrepare + " --config '" QEV_EXAMPLES_DIR "/tonga.toml' --classic out");
  ASSERT_EQ(prepare.status, 0) << prepare.out;
  for (const char* line : {"rows read                                        541",
                           "skipped, not an earthquake (volcanic eruption)   1",
                           "magnitude SD defaulted                           1",
                           "complete part 1 2022-01-01 to 2024-05-15, Mc 5.00",
                           "written                                          out/tonga_c1.dat"}) {
    EXPECT_NE(prepare.out.find(line), std::string::npos) << line << "\n" << prepare.out;
  }
  const auto session =
      folder.Run(std::string("cd out && '") + QEV_BINARY + "' < tonga_answers.txt");
  EXPECT_EQ(session.status, 0) << session.out.substr(
      session.out.size() > 2000 ? session.out.size() - 2000 : 0);
  EXPECT_NE(folder.Read("out/tonga.out").find("RESULTS"), std::string::npos);
}

#ifdef QEV_PREPARE_ANALYZES
// 300 events of b = 1 above 5.0 from 2000 to 2019-08-06: the quantiles of the law
// in a scrambled order, one every 24 days, in 20-25 E, 40-45 N; a column
// 'mech' of focal-mechanism types.
std::string SyntheticCatalog() {
  constexpr int kEvents = 300;
  std::string text = "time,latitude,longitude,mag,magType,magError,mech\n";
  for (int i = 0; i < kEvents; ++i) {
    const int q = (i * 7) % kEvents;
    const double m = 5.0 - std::log(1.0 - (q + 0.5) / kEvents) / 2.302585;
    const int day = 5 + i * 24;
    char row[160];
    std::snprintf(row, sizeof row, "%04d-%02d-%02dT12:00:00Z,%.2f,%.2f,%.2f,mw,0.1,%s\n",
                  2000 + day / 365, 1 + (day % 365) / 31, 1 + (day % 365) % 31 % 28,
                  40.0 + (i % 50) * 0.1, 20.0 + (i % 40) * 0.1, std::floor(m * 100.0) / 100.0,
                  i % 2 ? "bdc" : "bb");
    text += row;
  }
  return text;
}

// The classic session written to out/ runs to its end: qev on its answers
// exits with 0 and its report holds results that are numbers.
void ExpectClassicSessionRuns(const TempFolder& folder) {
  std::string answers;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path("out"))) {
    if (entry.path().string().ends_with("_answers.txt")) answers = entry.path().filename();
  }
  ASSERT_FALSE(answers.empty()) << "no answers file in out/";
  const auto session =
      folder.Run(std::string("cd out && '") + QEV_BINARY + "' < '" + answers + "' 2>&1");
  EXPECT_EQ(session.status, 0) << session.out.substr(
      session.out.size() > 1500 ? session.out.size() - 1500 : 0);
  std::istringstream lines(folder.Read("out/" + answers));
  std::string report;
  for (int k = 0; k < 3; ++k) std::getline(lines, report);  // two pauses, then the name
  const std::string text = folder.Read("out/" + report);
  EXPECT_NE(text.find("RESULTS"), std::string::npos) << report;
  EXPECT_EQ(text.find("1#"), std::string::npos) << text;  // no value that is not a number
}

// The bad-input table of the tool (data/prepare_runs.tsv): each run's exit
// status and output, no file written by a run that stops, and every classic
// session written marked RUNS run through qev to its end.
TEST(PrepareTool, BadInputsStopWithTheirMessageAndWriteNothing) {
  TempFolder folder;
  folder.Write("cat.csv", SyntheticCatalog());
  for (const auto& c : testing::TableRows(QEV_GOLDEN_DIR "/../events/data/prepare_runs.tsv", "")) {
    SCOPED_TRACE(c[0]);
    std::filesystem::remove_all(folder.Path("out"));
    if (c.size() > 4) {  // NAME=TEXT: a file the run reads
      const std::size_t equals = c[4].find('=');
      folder.Write(c[4].substr(0, equals), testing::Unescape(c[4].substr(equals + 1)));
    }
    const auto run = folder.Run(kPrepare + " " + c[1] + " 2>&1");
    EXPECT_EQ(run.status, std::stoi(c[2])) << run.out;
    std::istringstream fragments(c[3]);
    for (std::string f; std::getline(fragments, f, '|');) {
      f = f.substr(f.find_first_not_of(' '));
      f = f.substr(0, f.find_last_not_of(' ') + 1);
      if (f == "RUNS") {
        ExpectClassicSessionRuns(folder);
      } else if (f == "NOFILES") {
        EXPECT_FALSE(std::filesystem::exists(folder.Path("out")) &&
                     !std::filesystem::is_empty(folder.Path("out")));
      } else if (f[0] == '!') {
        EXPECT_EQ(run.out.find(f.substr(1)), std::string::npos) << f << "\n" << run.out;
      } else {
        EXPECT_NE(run.out.find(f), std::string::npos) << f << "\n" << run.out;
      }
    }
  }
}

// The figures of `line` after `label`: a value and its SD.
std::pair<double, double> FiguresAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  double value = -1.0;
  double sd = -1.0;
  if (at != std::string::npos) {
    std::sscanf(text.c_str() + at + label.size(), " = %lf +- %lf", &value, &sd);
  }
  return {value, sd};
}

// One command to Analyze, and the classic session on the files it wrote (its
// answers follow Analyze's runs) printing the same Beta, Lambda and Mmax.
TEST(PrepareTool, AnalyzeAndTheClassicSessionOnItsFilesGiveTheSameEstimates) {
  // The report prints two decimals, the tool three: half a printed hundredth.
  constexpr double kPrintedTolerance = 0.0051;
  TempFolder folder;
  const auto prepare = folder.Run(kPrepare + " --config '" + QEV_EXAMPLES_DIR +
                                  "/tonga.toml' --classic out --analyze");
  ASSERT_EQ(prepare.status, 0) << prepare.out;
  const auto session =
      folder.Run(std::string("cd out && '") + QEV_BINARY + "' < tonga_answers.txt");
  ASSERT_EQ(session.status, 0);
  const std::string report = folder.Read("out/tonga.out");
  const std::pair<const char*, const char*> labels[] = {
      {"  Beta   ", "  Beta   "}, {"  Lambda ", "  Lambda "}, {"  Mmax   ", "  M_max  "}};
  for (const auto& [tool_label, report_label] : labels) {
    const auto analyzed = FiguresAfter(prepare.out, tool_label);
    const auto classic = FiguresAfter(report, report_label);
    ASSERT_GT(analyzed.first, 0.0) << tool_label << "\n" << prepare.out;
    EXPECT_NEAR(analyzed.first, classic.first, kPrintedTolerance) << tool_label;
    EXPECT_NEAR(analyzed.second, classic.second, kPrintedTolerance) << tool_label;
  }
  // Without --analyze the answers follow the same runs to the settled Mmax;
  // only the estimates are not printed.
  const auto plain =
      folder.Run(kPrepare + " --config '" + QEV_EXAMPLES_DIR + "/tonga.toml' --classic plain");
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(plain.out.find("Analyze ("), std::string::npos) << plain.out;
  EXPECT_EQ(folder.Read("plain/tonga_answers.txt"), folder.Read("out/tonga_answers.txt"));
}

// Where no analysis can be made (every event at the threshold: no starting
// point), the classic files are still written, their answers end the runs
// after run 1 and the summary says why; --analyze fails and writes nothing.
TEST(PrepareTool, AnswersEndAfterRunOneWhereTheAnalysisFails) {
  TempFolder folder;
  folder.Write("same.csv",
               "time,latitude,longitude,depth,mag,magError\n"
               "2020-03-01T00:00:00Z,1,2,10,5.0,0.1\n2020-06-01T00:00:00Z,1,3,10,5.0,0.1\n"
               "2021-01-01T00:00:00Z,1,4,10,5.0,0.1\n");
  const auto plain = folder.Run(kPrepare + " --completeness 2020:5.0 --classic out same.csv");
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_NE(plain.out.find("the answers stop after run 1 (no analysis: no starting point"),
            std::string::npos)
      << plain.out;
  // Start by program, no second Mmax, no hazard.
  EXPECT_TRUE(folder.Read("out/qev_answers.txt").ends_with("\n1\n0\n0\n"));
  const auto analyzed =
      folder.Run(kPrepare + " --completeness 2020:5.0 --classic analyzed --analyze same.csv");
  EXPECT_EQ(analyzed.status, 1) << analyzed.out;
  EXPECT_NE(analyzed.out.find("ERROR: no starting point"), std::string::npos) << analyzed.out;
  EXPECT_FALSE(std::filesystem::exists(folder.Path("analyzed")));
}
#endif

// A repeated option followed by the catalog took the catalog as one more of
// its values ("no catalog file given"); each takes one value a time now.
TEST(PrepareTool, RepeatedOptionsLeaveTheCatalogToTheCatalog) {
  TempFolder folder;
  const std::string tonga = std::string(" '") + QEV_EXAMPLES_DIR + "/usgs_tonga_m5_2022_2024.csv'";
  for (const char* options : {" --column magnitude=mag", " --magnitude-type mww,mb",
                              " --completeness-set bootstrap=10"}) {
    const std::string split = std::string(options).find("bootstrap") == std::string::npos
                                  ? " --completeness 2022:5"
                                  : " --completeness auto";
    const auto run = folder.Run(kPrepare + " --default-sd 0.1" + split + options + tonga);
    EXPECT_EQ(run.status, 0) << options << "\n" << run.out;
    EXPECT_NE(run.out.find("events for the parts"), std::string::npos) << options;
  }
}

}  // namespace
}  // namespace qev
