// One session: its input/output and the shared records, created once at the
// start and alive to the end. Each dialog and reader takes the console and
// the records it reads or fills.
#pragma once

#include "classic/records.h"
#include "console/textio.h"
#include "qev/analysis.h"
#include "qev/catalog.h"

namespace qev {

struct Session {
  explicit Session(TextIo& textIo) : io(textIo) {}

  TextIo& io;
  SessionSettings settings;
  Catalog catalog;  // the parts read, in the order of the dialogs
  ModelParameters model;
};

// The options of the library's analysis steps from the session's answers.
AnalysisOptions OptionsOf(const SessionSettings& settings);

}  // namespace qev
