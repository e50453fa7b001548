// One session: its input/output and the shared records, created once at the
// start and alive to the end. Every dialog and reader works on it.
#pragma once

#include <memory>

#include "catalog/catalog.h"
#include "model/records.h"
#include "textio/textio.h"

namespace qev {

struct Session {
  explicit Session(TextIo& textIo)
      : io(textIo), catalogStore(std::make_unique<Catalog>()), catalog(*catalogStore) {}

  TextIo& io;
  SessionSettings settings;
  std::unique_ptr<Catalog> catalogStore;  // about 100 kB: kept off the stack
  Catalog& catalog;
  ModelParameters model;
  Simplex simplex;
  bool StopRequested = false;
};

}  // namespace qev
