// The stages of planning a job, zone by zone, for the runners that read a
// zone only when a task of it comes.
#pragma once

#include <cstddef>
#include <memory>

#include "qev/batch.h"

namespace qev {

// Outline(z) reads the zone's prepare job, overlays the settings of each
// branch (the defaults, the prepare job's [analysis], the zone, the
// alternatives) and checks those of a zone of classic files; its cells hold
// no catalog yet (their status says so). Prepare(z) reads the zone's catalog
// (a catalog file read once per file and reading options), splits it once per
// completeness table and declustering of the tree and checks the settings
// that need the split (an Mmin from the catalog). Both throw ReadingError for
// settings that make the job invalid. PlanBatch outlines and prepares every
// zone in order. Prepare of one zone may run while tasks of other, prepared,
// zones run; two Prepare calls may not run at once.
class ZonePlanner {
 public:
  // Sets the plan's branches, inputs and (empty) cells from plan.job.
  explicit ZonePlanner(BatchPlan& plan);
  ~ZonePlanner();
  ZonePlanner(const ZonePlanner&) = delete;
  ZonePlanner& operator=(const ZonePlanner&) = delete;
  void Outline(std::size_t zone);
  void Prepare(std::size_t zone);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A job of more than kMostTasks tasks, refused before a branch is made.
void RefuseLargeTree(const BatchJob& job);

}  // namespace qev
