// One session: its input/output and the shared records, created once at the
// start and alive to the end. Every dialog and reader works on it.
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
  bool StopRequested = false;
};

// The options of the library's analysis steps from the session's answers.
AnalysisOptions OptionsOf(const Session& session);

}  // namespace qev
