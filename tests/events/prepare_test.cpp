// The prepare job: the TOML file (good and bad) and qev-prepare as a program,
// from the Tonga extract to a classic session.
#include "qev/prepare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "events/temp_folder.h"

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
  EXPECT_EQ(*job.selection.until, (CivilDate{2000, 0, 0}));
  EXPECT_EQ(job.selection.zone->polygons.size(), 1u);
  EXPECT_EQ(job.decluster->window, DeclusterWindow::Uhrhammer1986);
  EXPECT_EQ(job.split.completeness.size(), 2u);
  EXPECT_EQ(job.split.completeness[1].threshold, 5.0f);
  EXPECT_EQ(job.split.extreme_window_years, 10);
  EXPECT_EQ(*job.mmin, 4.4f);
  EXPECT_EQ(job.session.procedure, 2);
  EXPECT_EQ(*job.classic_directory, "/base/out");
  EXPECT_EQ(job.session.spans[2], 3.0f);
}

// Completeness lists as the command line gives them. (Bad jobs: the table of
// the event readers, data/reader_cases.tsv.)
TEST(PrepareJob, CompletenessListsOfTheCommandLine) {
  EXPECT_EQ(ParseCompleteness("1900:6, 1964:5.5", "x").size(), 2u);
  EXPECT_THROW(ParseCompleteness("1900-6", "x"), ReadingError);
}

const std::string kPrepare = std::string("'") + QEV_PREPARE_BINARY + "'";

TEST(PrepareTool, HelpVersionAndErrorsFollowTheCompanionConventions) {
  TempFolder folder;
  const std::pair<std::string, std::pair<int, const char*>> runs[] = {
      {" --version", {0, "qev-prepare 2."}},
      {" -h", {0, "Usage: qev-prepare"}},
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

}  // namespace
}  // namespace qev
