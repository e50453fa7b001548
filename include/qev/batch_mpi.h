// Batch analyses across MPI ranks (built only where MPI is found). Rank 0
// hands the tasks out on demand, a chunk of consecutive tasks at a time, to
// the other ranks and to its own pool of threads, and writes the records in
// task order as they come back; each rank reads only the zones of the tasks it
// is given. The output is byte for byte that of RunBatch on one process.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>

#include "qev/batch.h"

namespace qev {

// Whether the process was started by an MPI launcher (mpirun, mpiexec, srun
// with PMI or PMIx): its environment names a rank.
bool StartedByMpiLauncher();

// MPI for the life of the object (MPI_Init_thread, funnelled: only the
// thread that made it calls MPI).
class MpiSession {
 public:
  MpiSession(int* argc, char*** argv);
  ~MpiSession();
  MpiSession(const MpiSession&) = delete;
  MpiSession& operator=(const MpiSession&) = delete;
  int rank() const { return rank_; }
  int size() const { return size_; }
  int local_size() const { return local_size_; }  // ranks on this machine
  // Whether `ok` holds on every rank; every rank calls it. The rank waits
  // without taking a core from the others' work.
  bool AllOk(bool ok) const;
  // Ends every rank with the status (after an error that one rank met alone).
  [[noreturn]] void Abort(int status) const;

 private:
  int rank_ = 0;
  int size_ = 1;
  int local_size_ = 1;
};

// The plan of one rank. Rank 0 plans the whole job (it writes every zone's
// outputs, and a job that is invalid is refused there before any task
// runs); the others outline it and read a zone's catalog when the first task
// of that zone comes to them. Every rank calls it with the same job reader;
// when the job cannot be read or planned on a rank, every rank throws (rank 0
// its error, the others an Error saying that the job was refused).
class RankPlan {
 public:
  RankPlan(const MpiSession& mpi, const std::function<BatchJob()>& read_job, bool force);
  ~RankPlan();
  RankPlan(const RankPlan&) = delete;
  RankPlan& operator=(const RankPlan&) = delete;
  const BatchPlan& plan() const;
  // The zone of task `index` read (once; from any thread).
  void Need(std::size_t index);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Tasks handed out at once: enough chunks for every rank to get many, so that
// the ranks end together, and few enough that the messages cost nothing.
std::size_t ChunkSize(std::size_t tasks, std::size_t ranks);

// The job across the ranks; every rank calls it. Rank 0 writes into `folder`
// and returns the number of failed tasks, the others return 0.
// options.progress and options.warning are called on rank 0 only.
std::size_t RunBatchMpi(const MpiSession& mpi, RankPlan& plan, const std::filesystem::path& folder,
                        const RunOptions& options);

}  // namespace qev
