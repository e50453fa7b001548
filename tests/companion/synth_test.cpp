// The synthetic catalog generator: the reference sequence of its random
// numbers, the statistics of the drawn magnitudes, and the plans it refuses,
// the capacities of the two readers among them.
#include "companion/synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "companion/command_line.h"
#include "companion/random.h"
#include "companion/synth_command.h"
#include "harness/harness.h"

namespace qev::companion {
namespace {

using qev::testing::Append;

TEST(Pcg32, ReferenceSequenceOfThePublishedGeneratorIsReproduced) {
  // Output of the PCG32 reference implementation for state 42, stream 54.
  Pcg32 random(42u, 54u);
  const std::uint32_t expected[] = {0xa15c02b7u, 0x7b47f409u, 0xba1d3330u,
                                    0x83d2f293u, 0xbfa4784bu, 0xcbed606eu};
  for (std::uint32_t word : expected) EXPECT_EQ(random.NextWord(), word);
}

TEST(Synth, CompleteMagnitudesFollowTheLawAboveTheThreshold) {
  // Without errors and with a distant Mmax the excess over the threshold is
  // exponential with mean 1/Beta, and the count is Poisson.
  const SynthPlan plan =
      ParseSynthCommand({"--beta", "2", "--lambda", "20", "--mmin", "3", "--mmax", "9", "--sd", "0",
                         "--seed", "21", "--complete", "1900:1999,threshold=3.5"})
          .Plan;
  const GeneratedCatalog catalog = GenerateCatalog(plan);
  const GeneratedPart& p = catalog.Complete.front();
  const double expectedCount = 20.0 * (p.End - p.Start) * std::exp(-2.0 * 0.5);
  EXPECT_NEAR(p.EventCount, expectedCount, 4.0 * std::sqrt(expectedCount));
  double excess = 0.0;
  std::istringstream text(p.Text);
  int rows = -4;  // data rows after the four header lines
  for (std::string line; std::getline(text, line);)
    if (++rows > 0) excess += std::stod(line) - 3.5;
  // Mean excess 0.5 (+0.005 from rounding up at the threshold), SD 0.5/sqrt(n).
  EXPECT_NEAR(excess / rows, 0.5, 4.0 * 0.5 / std::sqrt(rows) + 0.005);
  EXPECT_GE(p.Smallest, 3.5f);
  EXPECT_LE(p.Largest, 9.0f);
}

// Each plan is refused before drawing, the capacities of the readers with
// the name of the capacity.
TEST(Synth, ImpossiblePlansAndReaderCapacitiesAreRefusedBeforeDrawing) {
  const auto refusal = [](const std::vector<std::string>& args) -> std::string {
    try {
      GenerateCatalog(ParseSynthCommand(args).Plan);
    } catch (const SynthError& error) {
      return error.what();
    } catch (const UsageError& error) {
      return error.what();
    }
    return "accepted";
  };
  std::vector<std::string> six;
  for (int decade = 1900; decade <= 1950; decade += 10) {
    Append(six, {"--complete", std::to_string(decade) + ":" + std::to_string(decade + 9)});
  }
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, ""},  // no part
      {{"--mmin", "7", "--mmax", "6", "--complete", "1900:1999"}, ""},
      {{"--lambda", "0", "--complete", "1900:1999"}, ""},
      {{"--complete", "1999:1900"}, ""},
      {{"--complete", "0:1900"}, ""},
      {{"--complete", "1900:1999,threshold=8"}, ""},
      {{"--complete", "1900:1999,layout=4"}, ""},
      {{"--complete", "1900:1999,colour=red"}, ""},
      {{"--complete", "threshold=5"}, ""},
      {{"--step", "0.001", "--complete", "1900:1999"}, ""},
      {{"--b", "1", "--beta", "2", "--complete", "1900:1999"}, ""},
      {{"--lambda", "1e9", "--complete", "1:1999,threshold=7.4,layout=3"}, ""},
      {six, ""},  // five complete parts at most
      {{"--extreme", "1000:1899,window=1"}, "(nex)"},
      {{"--b", "0.9", "--lambda", "50", "--mmin", "4", "--mmax", "7", "--complete",
        "1960:1999,threshold=4,sd=0.1"},
       "(nfx)"},
  };
  for (const auto& [args, name] : cases) {
    const std::string message = refusal(args);
    EXPECT_NE(message, "accepted") << ::testing::PrintToString(args);
    EXPECT_NE(message.find(name), std::string::npos) << message;
  }
  six.resize(10);
  EXPECT_EQ(ParseSynthCommand(six).Plan.Complete.size(), 5u);
  EXPECT_EQ(refusal({"--complete", "1900/6/15:1999/6,threshold=5"}), "accepted");
}

}  // namespace
}  // namespace qev::companion
