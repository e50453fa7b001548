#include "classic/error_report.h"

#include <string>

namespace qev {

namespace {

constexpr const char* kReadingRuler = " *************************************************";
constexpr const char* kTrialPointRuler = " ***********************************";

}  // namespace

ProgramStop ReadingErrorStop(const ReadingError& error) {
  if (dynamic_cast<const EndOfInput*>(&error) != nullptr) {
    return ProgramStop{kExitError,
                       {"", kReadingRuler, " READING ERROR: end of " + error.source() + " reached",
                        " expected : " + error.expected(), kReadingRuler, ""}};
  }
  return ProgramStop{
      kExitError,
      {"", kReadingRuler,
       " READING ERROR in " + error.source() + ", line " + std::to_string(error.line()),
       " read     : " + error.text(), " expected : " + error.expected(), kReadingRuler, ""}};
}

ProgramStop TrialPointStop() {
  return ProgramStop{kExitError,
                     {"", kTrialPointRuler, " SOUGHT PARAMETERS LESS than 0 !!!",
                      "        CHECK INPUT DATA", kTrialPointRuler, ""}};
}

}  // namespace qev
