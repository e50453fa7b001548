// The manual pages and the tools' usage agree: every page points to the four
// other tools, and the declustering names of qev-prepare's usage are those of
// its page.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <sstream>
#include <string>

#include "harness/harness.h"

namespace qev::testing {
namespace {

const std::string kManDir = QEV_EXAMPLES_DIR "/../man/";
constexpr std::array<const char*, 5> kTools = {"qev", "qev-prepare", "qev-batch", "qev-synth",
                                               "qev-report"};

TEST(ManualPages, SeeAlsoNamesEveryOtherTool) {
  for (const std::string tool : kTools) {
    const std::string page = ReadBytes(kManDir + tool + ".1");
    const std::size_t see_also = page.find("\n.SH SEE ALSO\n");
    ASSERT_NE(see_also, std::string::npos) << tool;
    const std::string section = page.substr(see_also);
    for (const std::string other : kTools) {
      if (other == tool) continue;
      EXPECT_NE(section.find(".BR " + other + " (1)"), std::string::npos)
          << tool << ".1 does not name " << other;
    }
  }
}

// The names after "--decluster" up to the closing bracket or quote, split at '|'.
std::set<std::string> DeclusterNames(const std::string& text, const std::string& after) {
  std::set<std::string> names;
  const std::size_t at = text.find(after);
  if (at == std::string::npos) return names;
  const std::size_t begin = at + after.size();
  const std::size_t end = text.find_first_of("]\"\n", begin);
  std::istringstream list(text.substr(begin, end - begin));
  for (std::string name; std::getline(list, name, '|');) names.insert(name);
  return names;
}

#ifdef QEV_PREPARE_BINARY
TEST(ManualPages, PrepareUsageAndPageNameTheSameDeclusteringMethods) {
  Workspace work;
  const SessionOutcome usage = work.RunCommand(std::string("'") + QEV_PREPARE_BINARY + "' -h");
  ASSERT_EQ(usage.ExitStatus, 0);
  const std::set<std::string> from_usage = DeclusterNames(usage.Console, "[--decluster ");
  const std::set<std::string> from_page =
      DeclusterNames(ReadBytes(kManDir + "qev-prepare.1"), ".BI \\-\\-decluster \" ");
  EXPECT_GE(from_usage.size(), 2u) << usage.Console;
  EXPECT_TRUE(from_usage.contains("none")) << usage.Console;
  EXPECT_EQ(from_usage, from_page);
}
#endif

}  // namespace
}  // namespace qev::testing
