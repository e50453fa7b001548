// Answer scripts for qev sessions and the suggestions read back from the console.
#include "companion/session_script.h"

#include <gtest/gtest.h>

#include "companion/manpage.h"
#include "companion/synth_command.h"

namespace qev::companion {
namespace {

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
  EXPECT_EQ(BuildAnswerScript(a),
            "\n\nrun.out\n1\n3\n50 100 1000\n1\next.dat\n2\n2\nc1.dat\nc2.dat\n2\n4\n1\n0.3\n1\n1 "
            "0.25\n1\n"
            "7.12\n0\n0\n");
  a.DataKind = 2;
  a.Mmin.reset();
  a.MmaxAnswers.clear();
  EXPECT_EQ(
      BuildAnswerScript(a),
      "\n\nrun.out\n1\n2\n50 100 1000\n2\n2\nc1.dat\nc2.dat\n1\n1\n0.3\n1\n1 0.25\n1\n0\n0\n");
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
  const std::string page =
      ".TH X 1\n.\\\" a comment\n.SH NAME\nx \\- does things\n.SH OPTIONS\n.TP\n.BI \\-\\-seed \" "
      "N\"\n"
      "seed of the \\fBgenerator\\fR.\n.PP\nSee\n.BR qev (1).\n.nf\nline  one\n.fi\n";
  EXPECT_EQ(RenderManPage(page),
            "\nNAME\n       x - does things\n\nOPTIONS\n\n       --seed N\n           seed of the "
            "generator.\n\n"
            "       See qev(1).\n       line  one\n");
}

}  // namespace
}  // namespace qev::companion
