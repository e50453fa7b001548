// Static round-robin over the ranks; records travel as packed bytes.
#include <mpi.h>

#include <cstdlib>
#include <deque>
#include <string>

#include "qev/batch_mpi.h"

namespace qev {

namespace {

constexpr int kRecordTag = 17;

}  // namespace

bool StartedByMpiLauncher() {
  for (const char* name : {"OMPI_COMM_WORLD_RANK", "PMIX_RANK", "PMI_RANK", "PMI_ID"}) {
    if (std::getenv(name) != nullptr) return true;
  }
  return false;
}

MpiSession::MpiSession(int* argc, char*** argv) {
  int provided = 0;
  MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
  MPI_Comm local;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, rank_, MPI_INFO_NULL, &local);
  MPI_Comm_size(local, &local_size_);
  MPI_Comm_free(&local);
}

MpiSession::~MpiSession() { MPI_Finalize(); }

void MpiSession::Abort(int status) const {
  MPI_Abort(MPI_COMM_WORLD, status);
  std::exit(status);
}

std::size_t RunBatchMpi(const MpiSession& mpi, const BatchPlan& plan,
                        const std::filesystem::path& folder, const RunOptions& options) {
  const auto size = static_cast<std::size_t>(mpi.size());
  const auto rank = static_cast<std::size_t>(mpi.rank());
  const std::size_t total = plan.task_count();
  std::vector<std::size_t> mine;
  for (std::size_t i = rank; i < total; i += size) mine.push_back(i);
  const unsigned threads = ResolveThreads(options.threads);
  const std::size_t window = ResolveWindow(options.window, threads);
  OrderedPool pool(std::move(mine), threads, window,
                   [&plan](std::size_t i) { return MakeRecord(plan, RunTask(plan, i)); });

  if (rank != 0) {
    // At most `window` records on their way to rank 0.
    std::deque<std::pair<std::string, MPI_Request>> sending;
    while (std::optional<TaskRecord> record = pool.Next()) {
      if (sending.size() >= window) {
        MPI_Wait(&sending.front().second, MPI_STATUS_IGNORE);
        sending.pop_front();
      }
      sending.emplace_back(PackRecord(*record), MPI_Request{});
      auto& [bytes, request] = sending.back();
      MPI_Issend(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, 0, kRecordTag,
                 MPI_COMM_WORLD, &request);
    }
    for (auto& [bytes, request] : sending) MPI_Wait(&request, MPI_STATUS_IGNORE);
    return 0;
  }

  BatchWriter writer(plan, folder, options.progress);
  std::string buffer;
  for (std::size_t i = 0; i < total; ++i) {
    const int owner = static_cast<int>(i % size);
    TaskRecord record;
    if (owner == 0) {
      record = *pool.Next();
    } else {
      MPI_Status status;
      MPI_Probe(owner, kRecordTag, MPI_COMM_WORLD, &status);
      int count = 0;
      MPI_Get_count(&status, MPI_BYTE, &count);
      buffer.resize(static_cast<std::size_t>(count));
      MPI_Recv(buffer.data(), count, MPI_BYTE, owner, kRecordTag, MPI_COMM_WORLD,
               MPI_STATUS_IGNORE);
      record = UnpackRecord(buffer);
      if (record.index != i) {
        throw Error("rank " + std::to_string(owner) + " sent task " + std::to_string(record.index) +
                    " when task " + std::to_string(i) + " was due");
      }
    }
    writer.Add(record);
  }
  writer.Finish();
  if (options.warning) {
    for (const std::string& w : writer.warnings()) options.warning(w);
  }
  return writer.failed();
}

}  // namespace qev
