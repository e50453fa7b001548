// Shared checks of the catalog-import harnesses: a read either gives a table
// whose columns agree and whose values keep the readers' promises, or throws
// one of the library's errors.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "qev/events.h"

namespace events_fuzz {

[[noreturn]] inline void Broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

inline void CheckTable(const qev::ReadResult& r) {
  const qev::EventTable& e = r.events;
  const std::size_t n = e.size();
  if (e.year.size() != n || e.month.size() != n || e.day.size() != n || e.second.size() != n ||
      e.longitude.size() != n || e.latitude.size() != n || e.depth.size() != n ||
      e.sd.size() != n || e.magnitude_type.size() != n || e.id_end.size() != n) {
    Broken("columns of different lengths");
  }
  if (n + r.summary.skipped_total() != r.summary.rows_read) Broken("rows lost or counted twice");
  for (std::size_t i = 0; i < n; ++i) {
    if (!qev::IsValidDate(e.date(i))) Broken("an impossible date kept");
    if (!std::isfinite(e.magnitude[i]) || !(e.sd[i] >= 0.0f)) Broken("a bad magnitude or SD kept");
    if (!(e.latitude[i] >= -90.0 && e.latitude[i] <= 90.0)) Broken("a latitude beyond 90 kept");
    if (e.magnitude_type[i] >= e.magnitude_types.size()) Broken("a magnitude type out of range");
    (void)e.id(i);
  }
}

}  // namespace events_fuzz
