// Answer scripts for qev sessions and the suggestions read back from the console.
#include "companion/session_script.h"

#include <gtest/gtest.h>

#include "companion/manpage.h"
#include "companion/synth_command.h"
#include "harness/harness.h"

namespace qev::companion {
namespace {

// The expected answer scripts, a manual page and its rendering.
const std::string kData = QEV_GOLDEN_DIR "/../companion/data/";

TEST(SessionScript, AnswersFollowTheOrderOfTheDialogs) {
  SessionAnswers a;
  a.OutputFile = "run.out";
  a.DataKind = 3;
  a.ExtremeLayout = 1;
  a.ExtremeFile = "ext.dat";
  a.CompleteLayout = 2;
  a.CompleteFiles = {"c1.dat", "c2.dat"};
  a.Mmin = 4.0f;
  a.SigXmax = 0.3f;
  a.MmaxAnswers = {7.12f};
  EXPECT_EQ(BuildAnswerScript(a), qev::testing::ReadBytes(kData + "answers-both-kinds.txt"));
  a.DataKind = 2;
  a.Mmin.reset();
  a.MmaxAnswers.clear();
  EXPECT_EQ(BuildAnswerScript(a), qev::testing::ReadBytes(kData + "answers-complete-parts.txt"));
}

TEST(SessionScript, ThresholdAnswerStaysBelowTheLowestCatalogLevel) {
  SynthPlan plan = ParseSynthCommand({"--mmin", "4", "--lambda", "5", "--complete",
                                      "1950:1999,threshold=4,sd=0.1", "--seed", "2"})
                       .Plan;
  const GeneratedCatalog catalog = GenerateCatalog(plan);
  SessionAnswers a = AnswersForCatalog(plan, catalog);
  EXPECT_EQ(a.DataKind, 2);
  ASSERT_TRUE(a.Mmin.has_value());
  EXPECT_FLOAT_EQ(*a.Mmin, 3.99f);  // 4.0 would be asked again for ever
  EXPECT_FLOAT_EQ(a.SigXmax, 0.1f);
  plan.Complete[0].Threshold = 4.5f;
  a = AnswersForCatalog(plan, GenerateCatalog(plan));
  EXPECT_FLOAT_EQ(*a.Mmin, 4.0f);
}

TEST(ManualPage, RequestsAndFontsRenderAsPlainText) {
  EXPECT_EQ(RenderManPage(qev::testing::ReadBytes(kData + "manual.1")),
            qev::testing::ReadBytes(kData + "manual.txt"));
}

}  // namespace
}  // namespace qev::companion
