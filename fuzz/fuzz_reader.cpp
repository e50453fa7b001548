// Fuzzes the free-format reader on arbitrary text: a console or catalog
// source, read statements with or without the end-of-file outcome, integer and
// real targets in any order, and whole-line reads of fixed length.
//
// The fuzzer's bytes are split by FuzzedDataProvider: the trailing bytes pick
// the source, the branch and the statements; the rest is the text read.
// Every statement either completes, reports the end of the file (only when
// asked for) or ends the program with a reading-error report; nothing may
// crash, hang, leave a real target non-finite or report an error as success.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "console/stop.h"
#include "fuzz_common.h"
#include "qev/errors.h"
#include "textio/reader.h"

namespace {

using fuzz::Broken;

constexpr int kMaxStatements = 24;
constexpr int kMaxTargets = 8;

struct Statement {
  bool lineRead = false;
  std::size_t length = 0;     // LineRead
  std::uint8_t targets = 0;   // FreeFormatRead: number of targets
  std::uint8_t realMask = 0;  // bit i set: target i is a real
};

void CheckError(const qev::ReadingError& error, const qev::LineSource& source) {
  if (error.source() != source.Description()) Broken("a reading error must name its source");
  if (error.line() != source.LineNumber()) Broken("a reading error must name the line read last");
  if (error.expected().empty()) Broken("a reading error must say what was expected");
  const bool atEnd = dynamic_cast<const qev::EndOfInput*>(&error) != nullptr;
  if (!atEnd && error.text().empty()) Broken("a reading error must show the text read");
  fuzz::CheckPrintable(error.what());
}

// One whole-line read: it fills its text exactly and takes one line.
void CheckLineRead(qev::LineSource& source, const Statement& s) {
  const long linesBefore = source.LineNumber();
  std::string line;
  qev::LineRead(source, line, s.length);
  if (line.size() != s.length) Broken("a whole-line read must fill its text exactly");
  if (source.LineNumber() != linesBefore + 1) Broken("a whole-line read takes one line");
}

// One list-directed read into the statement's targets; false at the end
// branch, where the readers stop.
bool CheckFreeFormatRead(qev::LineSource& source, const Statement& s, bool endOfFileBranch,
                         std::vector<std::int32_t>& integers, std::vector<float>& reals) {
  const long linesBefore = source.LineNumber();
  std::vector<qev::Target> targets;
  for (int i = 0; i < s.targets; ++i) {
    if (s.realMask & (1u << i)) {
      targets.emplace_back(&reals[i]);
    } else {
      targets.emplace_back(&integers[i]);
    }
  }
  const qev::ReadOutcome outcome = qev::FreeFormatRead(source, targets, endOfFileBranch);
  for (const float r : reals) {
    if (!std::isfinite(r)) Broken("a real target must stay finite");
  }
  if (outcome == qev::ReadOutcome::EndOfFile) {
    if (!endOfFileBranch) Broken("end of file reported without the branch");
    return false;
  }
  if (source.LineNumber() < linesBefore) Broken("line numbers must not go back");
  if (source.LineNumber() == linesBefore && !(s.targets == 0 && endOfFileBranch)) {
    Broken("a completed statement starts at a new line");
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool isFile = provider.ConsumeBool();
  const bool endOfFileBranch = provider.ConsumeBool();
  const int count = provider.ConsumeIntegralInRange<int>(1, kMaxStatements);
  std::vector<Statement> statements(static_cast<std::size_t>(count));
  for (Statement& s : statements) {
    s.lineRead = provider.ConsumeIntegralInRange<int>(0, 7) == 0;
    s.length = provider.ConsumeIntegralInRange<std::size_t>(0, 300);
    s.targets = provider.ConsumeIntegralInRange<std::uint8_t>(0, kMaxTargets);
    s.realMask = provider.ConsumeIntegral<std::uint8_t>();
  }
  const std::string text = provider.ConsumeRemainingBytesAsString();

  std::istringstream in(text);
  qev::LineSource source(in, isFile ? "catalog file 'fuzz.dat'" : "console input", isFile);

  std::vector<std::int32_t> integers(kMaxTargets, -7);
  std::vector<float> reals(kMaxTargets, -7.5f);

  try {
    for (const Statement& s : statements) {
      if (s.lineRead) {
        CheckLineRead(source, s);
      } else if (!CheckFreeFormatRead(source, s, endOfFileBranch, integers, reals)) {
        break;
      }
    }
  } catch (const qev::ReadingError& error) {
    CheckError(error, source);
  }
  return 0;
}
