// qev-batch: the analyses of a job file (zones x logic-tree branches x
// bootstrap replicates) on all cores, or across MPI ranks when started by an
// MPI launcher.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "companion/manpage.h"
#include "qev/batch.h"
#include "qev_batch_manual.h"
#include "textio/files.h"
#ifdef QEV_WITH_MPI
#include "qev/batch_mpi.h"
#include "qev/version.h"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: qev-batch [--jobs N] [--output DIR] [--quiet] [--force] JOB.toml\n"
    "       mpirun -np N qev-batch [--jobs N] [--output DIR] JOB.toml\n"
    "       qev-batch -h | --help | --version\n";

// One line on standard error, rewritten in place: tasks done, failed, time left.
class ProgressLine {
 public:
  void Show(const qev::Progress& p) {
    if (p.done != p.total && p.seconds - shown_ < 0.2) return;
    shown_ = p.seconds;
    constexpr int kWidth = 30;
    const int filled = p.total == 0 ? kWidth : static_cast<int>(kWidth * p.done / p.total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    char line[160];
    const double left = p.done == 0 ? 0.0
                                    : p.seconds * static_cast<double>(p.total - p.done) /
                                          static_cast<double>(p.done);
    std::snprintf(line, sizeof line, "\r[%s] %zu/%zu tasks, %zu failed, %02d:%02d left ",
                  bar.c_str(), p.done, p.total, p.failed, static_cast<int>(left) / 60,
                  static_cast<int>(left) % 60);
    std::cerr << line << (p.done == p.total ? "\n" : "") << std::flush;
  }

 private:
  double shown_ = -1.0;
};

int Run(int argc, char** argv) {
#ifdef QEV_WITH_MPI
  std::unique_ptr<qev::MpiSession> mpi;
  if (qev::StartedByMpiLauncher()) mpi = std::make_unique<qev::MpiSession>(&argc, &argv);
  const bool rank0 = !mpi || mpi->rank() == 0;
#else
  const bool rank0 = true;
#endif
  CLI::App app("qev-batch");
  app.set_help_flag();
  bool short_help = false, help = false, version = false, quiet = false, force = false;
  unsigned jobs = 0;
  std::string job_file, output;
  app.add_flag("-h", short_help);
  app.add_flag("--help", help);
  app.add_flag("--version", version);
  app.add_flag("-q,--quiet", quiet);
  app.add_flag("--force", force);
  app.add_option("-j,--jobs", jobs)->check(CLI::Range(1u, 4096u));
  app.add_option("-o,--output", output);
  app.add_option("job", job_file);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (rank0) std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
    return 1;
  }
  if (version || help || short_help) {
    if (!rank0) return 0;
    if (version) {
      std::cout << "qev-batch " << QEV_VERSION_STRING << "\n";
    } else if (help) {
      std::cout << qev::companion::RenderManPage(kManual);
    } else {
      std::cout << kUsage << "For full documentation type: qev-batch --help\n";
    }
    return 0;
  }
  if (job_file.empty()) {
    if (rank0) std::cerr << "ERROR: no job file given\n" << kUsage;
    return 1;
  }

  qev::BatchPlan plan;
  try {
    qev::BatchJob job = qev::ReadBatchJob(job_file);
    if (!output.empty()) job.output = output;
    plan = qev::PlanBatch(std::move(job), force);
  } catch (const std::exception& error) {
    if (rank0) std::cerr << "ERROR: " << error.what() << "\n";
    return 1;
  }

  // Ctrl-C or kill: the outputs written so far removed, the earlier ones kept.
  qev::RemoveOutputTemporariesOnSignals();
  qev::RunOptions options;
  options.threads = jobs;
  if (rank0 && jobs > qev::CoreCount()) {
    std::cerr << "note: --jobs " << jobs << " is more than the " << qev::CoreCount()
              << " cores of this machine; " << qev::CoreCount() << " threads run the tasks\n";
  }
  ProgressLine line;
  if (rank0 && !quiet && isatty(STDERR_FILENO)) {
    options.progress = [&line](const qev::Progress& p) { line.Show(p); };
  }
  if (rank0) {  // the warnings also with --quiet (it quiets the progress line)
    options.warning = [](const std::string& w) { std::cerr << "WARNING: " << w << "\n"; };
  }
  std::size_t failed = 0;
  try {
#ifdef QEV_WITH_MPI
    if (mpi) {
      // One thread per rank on a machine the ranks share, unless told.
      if (jobs == 0) {
        options.threads =
            std::max(1u, qev::ResolveThreads(0) / static_cast<unsigned>(mpi->local_size()));
      }
      failed = qev::RunBatchMpi(*mpi, plan, plan.job.output, options);
    } else {
      failed = qev::RunBatch(plan, plan.job.output, options);
    }
#else
    failed = qev::RunBatch(plan, plan.job.output, options);
#endif
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
    if (rank0) {
      std::cerr << "The files in " << plan.job.output.string()
                << " are left as they were; nothing of this run was put in place\n";
    }
#ifdef QEV_WITH_MPI
    if (mpi && mpi->size() > 1) mpi->Abort(1);
#endif
    return 1;
  }
  if (!rank0) return 0;
  if (failed > 0) {
    std::cerr << failed << " of " << plan.task_count() << " tasks failed (see "
              << (plan.job.output / "results.csv").string() << ")\n";
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Every failure, also one of starting MPI or setting up the command line, is one line.
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
  }
  return 1;
}
