// Batch analyses across MPI ranks (built only where MPI is found). Task i
// runs on rank i mod size (each rank with its own pool of threads); the other
// ranks send their records to rank 0, which writes them in task order. The
// output is byte for byte that of RunBatch on one process.
#pragma once

#include <cstddef>
#include <filesystem>

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
  // Ends every rank with the status (after an error that one rank met alone).
  [[noreturn]] void Abort(int status) const;

 private:
  int rank_ = 0;
  int size_ = 1;
  int local_size_ = 1;
};

// The job across the ranks; every rank calls it with the same plan. Rank 0
// writes into `folder` and returns the number of failed tasks, the others
// return 0. options.progress is called on rank 0 only.
std::size_t RunBatchMpi(const MpiSession& mpi, const BatchPlan& plan,
                        const std::filesystem::path& folder, const RunOptions& options);

}  // namespace qev
