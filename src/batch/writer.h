// The writer of the output folder: task records in, the files out.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/record.h"
#include "qev/batch.h"

namespace qev {

// Writes the records into the output folder as they come, in task order:
// results.csv, results.jsonl, hazard.csv at once, summary.csv when a cell's
// replicates are complete, and on Finish the OpenQuake job folder
// (openquake/: a source model per branch, the source-model logic tree, a
// placeholder ground-motion logic tree and job.ini) and report.html; a branch
// whose catalog estimate failed or whose Mmax did not settle is left out of
// the OpenQuake files (see warnings()). Throws Error when a file cannot be
// written or would replace one of the job's inputs. `progress`, when given, is
// told after each record written (seconds since the writer was made).
class BatchWriter {
 public:
  BatchWriter(const BatchPlan& plan, const std::filesystem::path& folder,
              std::function<void(const Progress&)> progress = {});
  ~BatchWriter();
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;
  void Add(const TaskRecord& record);  // records in index order
  void Finish();
  std::size_t failed() const;
  // Lines for the user after Finish: each branch left out of the OpenQuake
  // files because its Mmax did not settle.
  const std::vector<std::string>& warnings() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qev
