// Batch runs: a job (a TOML file, or TOML text made from a dict on the Python
// side) planned and run on threads, its outputs written into a folder.
#include "qev/batch.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "binding.h"

namespace qev::python {

void BindBatch(py::module_& m) {
  m.def(
      "run_batch",
      [](const std::optional<std::string>& text, const std::string& source, const std::string& base,
         const std::optional<std::string>& output, unsigned threads, bool force) {
        struct Outcome {
          std::size_t failed = 0;
          std::size_t tasks = 0;
          std::string folder;
        };
        const Outcome outcome = Interruptible([&](const std::atomic<bool>* cancel) {
          BatchJob job = text ? ParseBatchJob(*text, source, base) : ReadBatchJob(source);
          if (output) job.output = *output;
          const BatchPlan plan = PlanBatch(std::move(job), force);
          RunOptions options;
          options.threads = threads;
          options.cancel = cancel;
          Outcome o;
          o.failed = RunBatch(plan, plan.job.output, options);
          o.tasks = plan.task_count();
          o.folder = plan.job.output.string();
          return o;
        });
        return py::make_tuple(outcome.failed, outcome.tasks, Text(outcome.folder));
      },
      py::arg("text"), py::arg("source"), py::arg("base"), py::arg("output"), py::arg("threads"),
      py::arg("force") = false,
      "Runs a job from TOML text (or the file `source` when text is None); returns (failed "
      "tasks, tasks, output folder).");
}

}  // namespace qev::python
