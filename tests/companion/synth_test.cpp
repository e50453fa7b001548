// The synthetic catalog generator: reproducibility, the layouts and
// capacities of the two readers, dates the extreme reader accepts, and the
// statistics of the drawn magnitudes.
#include "companion/synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "classic/capacities.h"
#include "companion/command_line.h"
#include "companion/random.h"
#include "companion/synth_command.h"
#include "harness/harness.h"
#include "qev/classic_files.h"

namespace qev::companion {
namespace {

using qev::testing::Append;

SynthPlan BothKindsPlan(std::uint64_t seed) {
  return ParseSynthCommand({"--b", "0.9", "--lambda", "10", "--mmin", "4", "--mmax", "7", "--seed",
                            std::to_string(seed), "--extreme",
                            "1600:1899,window=1,threshold=4.6,sd=0.3", "--complete",
                            "1900:1959,threshold=5,sd=0.2", "--complete",
                            "1960:1999,threshold=4.5,sd=0.1"})
      .Plan;
}

std::vector<std::vector<double>> DataLines(const std::string& text, int headerLines) {
  std::istringstream in(text);
  std::string line;
  std::vector<std::vector<double>> rows;
  for (int n = 0; std::getline(in, line); ++n) {
    if (n < headerLines) continue;
    std::istringstream values(line);
    std::vector<double> row;
    for (double v; values >> v;) row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

TEST(Pcg32, ReferenceSequenceOfThePublishedGeneratorIsReproduced) {
  // Output of the PCG32 reference implementation for state 42, stream 54.
  Pcg32 random(42u, 54u);
  const std::uint32_t expected[] = {0xa15c02b7u, 0x7b47f409u, 0xba1d3330u,
                                    0x83d2f293u, 0xbfa4784bu, 0xcbed606eu};
  for (std::uint32_t word : expected) EXPECT_EQ(random.NextWord(), word);
}

TEST(Synth, LayoutChangesTheFileButNotTheEvents) {
  SynthPlan plan = BothKindsPlan(3);
  const GeneratedCatalog common = GenerateCatalog(plan);
  plan.Complete[1].Layout = 1;
  plan.Extreme->Layout = 2;
  const GeneratedCatalog perEvent = GenerateCatalog(plan);
  plan.Complete[1].Layout = 3;
  const GeneratedCatalog grouped = GenerateCatalog(plan);

  const auto magnitudes = DataLines(common.Complete[1].Text, 4);
  const auto withSd = DataLines(perEvent.Complete[1].Text, 3);
  ASSERT_EQ(magnitudes.size(), withSd.size());
  ASSERT_FALSE(magnitudes.empty());
  double sum = 0.0;
  for (std::size_t i = 0; i < magnitudes.size(); ++i) {
    ASSERT_EQ(magnitudes[i].size(), 1u);
    ASSERT_EQ(withSd[i].size(), 2u);
    EXPECT_EQ(magnitudes[i][0], withSd[i][0]);
    EXPECT_DOUBLE_EQ(withSd[i][1], 0.1);
    sum += magnitudes[i][0];
  }
  // Layout 3: frequency-magnitude pairs with the same events.
  double groupedSum = 0.0;
  int groupedCount = 0;
  for (const auto& row : DataLines(grouped.Complete[1].Text, 4)) {
    ASSERT_EQ(row.size(), 2u);
    groupedCount += static_cast<int>(row[0]);
    groupedSum += row[0] * row[1];
  }
  EXPECT_EQ(groupedCount, static_cast<int>(magnitudes.size()));
  EXPECT_NEAR(groupedSum, sum, 1e-6);
  EXPECT_EQ(grouped.Complete[1].EventCount, common.Complete[1].EventCount);
  // The extreme part in layout 2 carries its SD once in the header.
  EXPECT_EQ(DataLines(perEvent.Extreme->Text, 3).front().size(), 4u);
  EXPECT_EQ(DataLines(common.Extreme->Text, 2).front().size(), 5u);
  EXPECT_EQ(DataLines(perEvent.Extreme->Text, 0)[2], std::vector<double>{0.3});
}

TEST(Synth, ExtremeDatesAreAcceptedByTheReaderOfIntervals) {
  SynthPlan plan = BothKindsPlan(11);
  plan.Lambda = 400.0f;  // many events: window maxima often fall on neighbouring days
  plan.Extreme->Window = 0.01f;
  plan.Extreme->DateAtOccurrence = true;
  plan.Extreme->Start = ParseDate("1700", false);
  plan.Extreme->End = ParseDate("1703", true);
  plan.Complete.clear();
  const GeneratedCatalog catalog = GenerateCatalog(plan);
  const auto rows = DataLines(catalog.Extreme->Text, 2);
  ASSERT_GT(rows.size(), 250u);
  // The extreme reader itself takes every event: no two on one day, none
  // before the start or after the end.
  std::istringstream text(catalog.Extreme->Text);
  const ExtremePart part = ReadExtremeFile(text, "extreme.dat", ExtremeLayout::PerEventSd).part;
  EXPECT_EQ(part.events.size(), rows.size());
  for (const ExtremeEvent& event : part.events) {
    EXPECT_GE(event.magnitude, 4.6f);  // the threshold of the extremes
  }
}

TEST(Synth, ExtremeEventsAreDatedAtWindowEndsOrAtOccurrence) {
  SynthPlan plan = BothKindsPlan(5);
  plan.Complete.clear();
  plan.Extreme->Window = 10.0f;
  const auto atEnds = DataLines(GenerateCatalog(plan).Extreme->Text, 2);
  plan.Extreme->DateAtOccurrence = true;
  const auto atOccurrence = DataLines(GenerateCatalog(plan).Extreme->Text, 2);
  ASSERT_EQ(atEnds.size(), 30u);
  ASSERT_EQ(atOccurrence.size(), 30u);
  int differentDays = 0;
  for (std::size_t i = 0; i < atEnds.size(); ++i) {
    EXPECT_EQ(atEnds[i][0], 1600 + 10 * static_cast<int>(i) + 9);  // the last days of each decade
    EXPECT_EQ(atEnds[i][1], 12);
    EXPECT_EQ(atEnds[i][3], atOccurrence[i][3]);  // the same events
    EXPECT_LE(atOccurrence[i][0], atEnds[i][0]);
    differentDays += atOccurrence[i][0] != atEnds[i][0] || atOccurrence[i][1] != 12;
  }
  EXPECT_GT(differentDays, 20);
}

TEST(Synth, CompleteMagnitudesFollowTheLawAboveTheThreshold) {
  // Without errors and with a distant Mmax the excess over the threshold is
  // exponential with mean 1/Beta, and the count is Poisson.
  SynthPlan plan;
  plan.Beta = 2.0f;
  plan.Lambda = 20.0f;
  plan.Mmin = 3.0f;
  plan.Mmax = 9.0f;
  plan.Sd = 0.0f;
  plan.Seed = 21;
  CompletePlan part;
  part.Start = ParseDate("1900", false);
  part.End = ParseDate("1999", true);
  part.Threshold = 3.5f;
  plan.Complete.push_back(part);
  const GeneratedCatalog catalog = GenerateCatalog(plan);
  const GeneratedPart& p = catalog.Complete.front();
  const double expectedCount = 20.0 * (p.End - p.Start) * std::exp(-2.0 * 0.5);
  EXPECT_NEAR(p.EventCount, expectedCount, 4.0 * std::sqrt(expectedCount));
  double excess = 0.0;
  const auto rows = DataLines(p.Text, 4);
  for (const auto& row : rows) excess += row[0] - 3.5;
  // Mean excess 0.5 (+0.005 from rounding up at the threshold), SD 0.5/sqrt(n).
  EXPECT_NEAR(excess / rows.size(), 0.5, 4.0 * 0.5 / std::sqrt(rows.size()) + 0.005);
  EXPECT_GE(p.Smallest, 3.5f);
  EXPECT_LE(p.Largest, 9.0f);
}

TEST(Synth, CapacitiesOfTheReadersAreClearErrors) {
  SynthPlan tooManyWindows = BothKindsPlan(1);
  tooManyWindows.Extreme->Start = ParseDate("1000", false);  // 900 windows of one year
  SynthPlan tooManyRows = BothKindsPlan(1);
  tooManyRows.Complete[1].Threshold = 4.0f;  // about 40 years x 10 per year x error factor
  tooManyRows.Lambda = 50.0f;
  for (const auto& [plan, name] :
       {std::pair{tooManyWindows, "(nex)"}, std::pair{tooManyRows, "(nfx)"}}) {
    try {
      GenerateCatalog(plan);
      ADD_FAILURE() << name << " exceeded without error";
    } catch (const SynthError& error) {
      EXPECT_NE(std::string(error.what()).find(name), std::string::npos);
    }
  }
  std::vector<std::string> six;
  for (int decade = 1900; decade <= 1950; decade += 10) {
    Append(six, {"--complete", std::to_string(decade) + ":" + std::to_string(decade + 9)});
  }
  EXPECT_THROW(ParseSynthCommand(six), UsageError);
  six.resize(10);
  EXPECT_EQ(ParseSynthCommand(six).Plan.Complete.size(), 5u);
}

TEST(Synth, ImpossiblePlansAreRefusedBeforeDrawing) {
  const auto refuses = [](const std::vector<std::string>& args) {
    try {
      GenerateCatalog(ParseSynthCommand(args).Plan);
    } catch (const SynthError&) {
      return true;
    } catch (const UsageError&) {
      return true;
    }
    return false;
  };
  EXPECT_TRUE(refuses({}));  // no part
  EXPECT_TRUE(refuses({"--mmin", "7", "--mmax", "6", "--complete", "1900:1999"}));
  EXPECT_TRUE(refuses({"--lambda", "0", "--complete", "1900:1999"}));
  EXPECT_TRUE(refuses({"--complete", "1999:1900"}));
  EXPECT_TRUE(refuses({"--complete", "0:1900"}));
  EXPECT_TRUE(refuses({"--complete", "1900:1999,threshold=8"}));
  EXPECT_TRUE(refuses({"--complete", "1900:1999,layout=4"}));
  EXPECT_TRUE(refuses({"--complete", "1900:1999,colour=red"}));
  EXPECT_TRUE(refuses({"--complete", "threshold=5"}));
  EXPECT_TRUE(refuses({"--step", "0.001", "--complete", "1900:1999"}));
  EXPECT_TRUE(refuses({"--b", "1", "--beta", "2", "--complete", "1900:1999"}));
  EXPECT_TRUE(refuses({"--lambda", "1e9", "--complete", "1:1999,threshold=7.4,layout=3"}));
  EXPECT_FALSE(refuses({"--complete", "1900/6/15:1999/6,threshold=5"}));
}

TEST(Synth, WarningsNameWhatQevWouldMisread) {
  SynthPlan plan = BothKindsPlan(2);
  plan.Complete[0].Layout = 1;
  plan.Complete[1].FileName = "a-very-long-file-name.dat";
  plan.Complete[1].Start = ParseDate("1950", false);
  const GeneratedCatalog catalog = GenerateCatalog(plan);
  std::string all;
  for (const std::string& w : catalog.Warnings) all += w + "\n";
  EXPECT_NE(all.find("different layouts"), std::string::npos) << all;
  EXPECT_NE(all.find("15 characters"), std::string::npos) << all;
  EXPECT_NE(all.find("overlap"), std::string::npos) << all;
}

TEST(SynthCommand, OptionsAndPartListsAreParsed) {
  const SynthCommand c = ParseSynthCommand(
      {"--beta=2.5", "--lambda", "3", "--step", "0.1", "--seed", "99", "--extreme",
       "1500/3:1899,window=5,layout=3,file=x.dat", "--dir", "out", "--script", "s.txt"});
  EXPECT_FLOAT_EQ(c.Plan.Beta, 2.5f);
  EXPECT_FLOAT_EQ(c.Plan.Lambda, 3.0f);
  EXPECT_EQ(c.Plan.Seed, 99u);
  ASSERT_TRUE(c.Plan.Extreme.has_value());
  EXPECT_EQ(c.Plan.Extreme->Start.Month, 3);
  EXPECT_EQ(c.Plan.Extreme->End.Day, 31);
  EXPECT_FLOAT_EQ(c.Plan.Extreme->Window, 5.0f);
  EXPECT_EQ(c.Plan.Extreme->Layout, 3);
  EXPECT_EQ(c.Plan.Extreme->FileName, "x.dat");
  EXPECT_EQ(c.Directory, "out");
  EXPECT_EQ(c.ScriptFile.value_or(""), "s.txt");
  EXPECT_FLOAT_EQ(ParseSynthCommand({"--b", "1"}).Plan.Beta, 2.302585f);
}

TEST(Synth, RoundingStepSetsTheWrittenDecimals) {
  EXPECT_EQ(StepDecimals(0.1f), 1);
  EXPECT_EQ(StepDecimals(0.01f), 2);
  EXPECT_EQ(StepDecimals(0.25f), 2);
  EXPECT_EQ(StepDecimals(0.5f), 1);
  SynthPlan plan = BothKindsPlan(4);
  plan.Step = 0.1f;
  for (const auto& row : DataLines(GenerateCatalog(plan).Complete[0].Text, 4)) {
    EXPECT_NEAR(row[0] * 10.0, std::round(row[0] * 10.0), 1e-9);
  }
}

}  // namespace
}  // namespace qev::companion
