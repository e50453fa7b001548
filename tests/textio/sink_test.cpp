#include "textio/sink.h"

#include <gtest/gtest.h>

#include <sstream>

#include "harness/harness.h"
#include "textio/stop.h"
#include "textio/textio.h"

namespace qev {
namespace {

using testing::Workspace;

TEST(ConsoleRecords, ConsumeTheFirstCharacterAndEndLinesLate) {
  std::ostringstream out;
  ReportSink sink(out);
  sink.Format(Dest::Console, "('  Beta   = ',F6.3,'  (b = ',F6.3,')')", {2.0724f, 0.9f});
  EXPECT_EQ(out.str(), " Beta   =  2.072  (b =   .900)");  // line end still pending
  sink.List(Dest::Console, {std::string(" ")});
  sink.List(Dest::Console);
  sink.EndConsoleLine();
  EXPECT_EQ(out.str(), " Beta   =  2.072  (b =   .900)\r\n \r\n\r\n");
  sink.WriteStopLine();
  EXPECT_EQ(out.str(), " Beta   =  2.072  (b =   .900)\r\n \r\n\r\nStop - Program terminated.\r\n");
}

TEST(ConsoleRecords, ControlCharactersZeroOneAndPlus) {
  std::ostringstream out;
  ReportSink sink(out);
  sink.Format(Dest::Console, "('0double')");
  sink.Format(Dest::Console, "('1page')");
  sink.Format(Dest::Console, "('+over')");
  sink.WriteStopLine();
  EXPECT_EQ(out.str(), "\r\ndouble\r\n\fpage\rover\r\nStop - Program terminated.\r\n");
}

TEST(OutputFile, ReceivesEveryCharacterAndCrLfAfterEveryRecord) {
  Workspace dir;
  std::ostringstream out;
  {
    ReportSink sink(out);
    sink.OpenOutputFile((dir.Dir() / "r.txt").string(), "r.txt");
    sink.List(Dest::File, {std::string(" ")});
    sink.List(Dest::File);
    sink.Format(Dest::File, "(/,'                * * * SUMMARY OF INPUT DATA * * *',/)");
    sink.CloseOutputFile();
  }
  EXPECT_EQ(dir.ReadFile("r.txt"),
            "  \r\n\r\n\r\n                * * * SUMMARY OF INPUT DATA * * *\r\n\r\n");
  EXPECT_TRUE(out.str().empty());
}

TEST(OutputFile, ADirectoryCannotBeOpenedAndStopsWithAnError) {
  Workspace dir;
  std::ostringstream out;
  ReportSink sink(out);
  try {
    sink.OpenOutputFile(dir.Dir().string(), "dir");
    FAIL() << "a directory was opened as output file";
  } catch (const ProgramStop& stop) {
    EXPECT_EQ(stop.ExitStatus, kExitError);
  }
}

TEST(FileNames, BlankNamesComeFromArgumentsThenFromTheConsole) {
  Workspace dir;
  std::istringstream in("\n   \ngiven.txt\n");
  std::ostringstream out;
  TextIo io(in, out, {"first.txt"}, dir.Dir());
  EXPECT_EQ(io.ResolveFileName("               ", 9), "first.txt");
  EXPECT_EQ(io.ResolveFileName("name.dat       ", 2), "name.dat");
  EXPECT_EQ(io.ResolveFileName("               ", 2), "given.txt");
  const std::string prompt = "File name missing or blank - please enter file name\r\nUNIT 2? \r\n";
  EXPECT_EQ(out.str(), prompt + prompt + prompt);
}

TEST(FileNames, AMissingCatalogFileStopsWithItsName) {
  Workspace dir;
  std::istringstream in;
  std::ostringstream out;
  TextIo io(in, out, {}, dir.Dir());
  try {
    io.OpenCatalogFile("missing.dat    ");
    FAIL() << "a missing file was opened";
  } catch (const ProgramStop& stop) {
    EXPECT_EQ(stop.ExitStatus, kExitError);
    ASSERT_GE(stop.ConsoleLines.size(), 3u);
    EXPECT_EQ(stop.ConsoleLines[2], " ERROR: cannot open catalog file 'missing.dat'");
  }
}

}  // namespace
}  // namespace qev
