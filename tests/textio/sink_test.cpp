// The carriage control of console records. (The records of the screens and
// the report, the output file and the file-name prompts are pinned byte for
// byte by the golden transcripts.)
#include "textio/sink.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qev {
namespace {

TEST(ConsoleRecords, ControlCharactersZeroOneAndPlus) {
  std::ostringstream out;
  ReportSink sink(out);
  sink.Format(Dest::Console, "('0double')");
  sink.Format(Dest::Console, "('1page')");
  sink.Format(Dest::Console, "('+over')");
  sink.WriteStopLine();
  EXPECT_EQ(out.str(), "\r\ndouble\r\n\fpage\rover\r\nStop - Program terminated.\r\n");
}

}  // namespace
}  // namespace qev
