// qev-batch: the analyses of a job file (zones x logic-tree branches x
// bootstrap replicates) on all cores, or across MPI ranks when started by an
// MPI launcher.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "companion/manpage.h"
#include "qev/batch.h"
#include "qev/version.h"
#include "qev_batch_manual.h"
#include "textio/files.h"
#ifdef QEV_WITH_MPI
#include "qev/batch_mpi.h"
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

// The command line.
struct CommandLine {
  bool short_help = false;
  bool help = false;
  bool version = false;
  bool quiet = false;
  bool force = false;
  unsigned jobs = 0;
  std::string job_file;
  std::string output;
};

// The command line read; an exit status when the run ends here (an error,
// the help or the version).
std::optional<int> ReadCommandLine(int argc, char** argv, bool rank0, CommandLine& line) {
  CLI::App app("qev-batch");
  app.set_help_flag();
  app.add_flag("-h", line.short_help);
  app.add_flag("--help", line.help);
  app.add_flag("--version", line.version);
  app.add_flag("-q,--quiet", line.quiet);
  app.add_flag("--force", line.force);
  app.add_option("-j,--jobs", line.jobs)->check(CLI::Range(1u, 4096u));
  app.add_option("-o,--output", line.output);
  app.add_option("job", line.job_file);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (rank0) std::cerr << "ERROR: " << error.what() << "\n" << kUsage;
    return 1;
  }
  if (line.version || line.help || line.short_help) {
    if (!rank0) return 0;
    if (line.version) {
      std::cout << "qev-batch " << QEV_VERSION_STRING << "\n";
    } else if (line.help) {
      std::cout << qev::companion::RenderManPage(kManual);
    } else {
      std::cout << kUsage << "For full documentation type: qev-batch --help\n";
    }
    return 0;
  }
  if (line.job_file.empty()) {
    if (rank0) std::cerr << "ERROR: no job file given\n" << kUsage;
    return 1;
  }
  return std::nullopt;
}

qev::BatchJob ReadJob(const CommandLine& line) {
  qev::BatchJob job = qev::ReadBatchJob(line.job_file);
  if (!line.output.empty()) job.output = line.output;
  return job;
}

// The threads, the progress line (on a terminal, not with --quiet) and the
// warnings (also with --quiet) of rank 0.
qev::RunOptions MakeRunOptions(const CommandLine& line, bool rank0, ProgressLine& progress) {
  qev::RunOptions options;
  options.threads = line.jobs;
  if (rank0 && line.jobs > qev::CoreCount()) {
    std::cerr << "note: --jobs " << line.jobs << " is more than the " << qev::CoreCount()
              << " cores of this machine; " << qev::CoreCount() << " threads run the tasks\n";
  }
  if (rank0 && !line.quiet && isatty(STDERR_FILENO)) {
    options.progress = [&progress](const qev::Progress& p) { progress.Show(p); };
  }
  if (rank0) {
    options.warning = [](const std::string& w) { std::cerr << "WARNING: " << w << "\n"; };
  }
  return options;
}

// The exit status of a run that ended: 0, or 2 with the count of failed tasks.
int Ended(std::size_t failed, const qev::BatchPlan& plan) {
  if (failed == 0) return 0;
  std::cerr << failed << " of " << plan.task_count() << " tasks failed (see "
            << (plan.job.output / "results.csv").string() << ")\n";
  return 2;
}

void RunFailed(const std::exception& error, const qev::BatchPlan& plan, bool rank0) {
  std::cerr << "ERROR: " << error.what() << "\n";
  if (rank0) {
    std::cerr << "The files in " << plan.job.output.string()
              << " are left as they were; nothing of this run was put in place\n";
  }
}

int RunHere(const CommandLine& line) {
  qev::BatchPlan plan;
  try {
    plan = qev::PlanBatch(ReadJob(line), line.force);
  } catch (const std::exception& error) {
    std::cerr << "ERROR: " << error.what() << "\n";
    return 1;
  }
  // Ctrl-C or kill: the outputs written so far removed, the earlier ones kept.
  qev::RemoveOutputTemporariesOnSignals();
  ProgressLine progress;
  const qev::RunOptions options = MakeRunOptions(line, true, progress);
  try {
    return Ended(qev::RunBatch(plan, plan.job.output, options), plan);
  } catch (const std::exception& error) {
    RunFailed(error, plan, true);
  }
  return 1;
}

#ifdef QEV_WITH_MPI
int RunOnRanks(const qev::MpiSession& mpi, const CommandLine& line) {
  const bool rank0 = mpi.rank() == 0;
  std::unique_ptr<qev::RankPlan> plan;
  try {
    plan = std::make_unique<qev::RankPlan>(
        mpi, [&line] { return ReadJob(line); }, line.force);
  } catch (const std::exception& error) {
    if (rank0) std::cerr << "ERROR: " << error.what() << "\n";
    return 1;
  }
  qev::RemoveOutputTemporariesOnSignals();
  ProgressLine progress;
  qev::RunOptions options = MakeRunOptions(line, rank0, progress);
  // One thread per rank on a machine the ranks share, unless told.
  if (line.jobs == 0) {
    options.threads =
        std::max(1u, qev::ResolveThreads(0) / static_cast<unsigned>(mpi.local_size()));
  }
  std::size_t failed = 0;
  try {
    failed = qev::RunBatchMpi(mpi, *plan, plan->plan().job.output, options);
  } catch (const std::exception& error) {
    RunFailed(error, plan->plan(), rank0);
    if (mpi.size() > 1) mpi.Abort(1);
    return 1;
  }
  return rank0 ? Ended(failed, plan->plan()) : 0;
}
#endif

int Run(int argc, char** argv) {
#ifdef QEV_WITH_MPI
  std::unique_ptr<qev::MpiSession> mpi;
  if (qev::StartedByMpiLauncher()) mpi = std::make_unique<qev::MpiSession>(&argc, &argv);
  const bool rank0 = !mpi || mpi->rank() == 0;
#else
  const bool rank0 = true;
#endif
  CommandLine line;
  if (const std::optional<int> status = ReadCommandLine(argc, argv, rank0, line)) return *status;
#ifdef QEV_WITH_MPI
  if (mpi) return RunOnRanks(*mpi, line);
#endif
  return RunHere(line);
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
