// The catalog of the example files shipped in examples/, shared by the tests
// that simulate or resample a realistic catalog.
#pragma once

#include <cstddef>
#include <fstream>

#include "qev/catalog.h"
#include "qev/classic_files.h"

namespace qev::testing {

// The extreme part of ext_l1.dat and the complete part of cp1900_l1.dat;
// with `bothCompleteParts`, the second complete part of cp1960_l3.dat too.
inline Catalog ExampleCatalog(bool bothCompleteParts) {
  Catalog catalog;
  std::ifstream extreme(QEV_EXAMPLES_DIR "/ext_l1.dat");
  catalog.extreme = ReadExtremeFile(extreme, "ext_l1.dat", ExtremeLayout::PerEventSd).part;
  std::ifstream c1(QEV_EXAMPLES_DIR "/cp1900_l1.dat");
  catalog.complete.push_back(
      ReadCompleteFile(c1, "cp1900_l1.dat", CompleteLayout::PerEventSd).part);
  if (bothCompleteParts) {
    std::ifstream c3(QEV_EXAMPLES_DIR "/cp1960_l3.dat");
    catalog.complete.push_back(ReadCompleteFile(c3, "cp1960_l3.dat", CompleteLayout::Grouped).part);
  }
  return catalog;
}

}  // namespace qev::testing
