// Tasks handed out on demand in chunks; records travel as packed bytes. The
// thread that calls MPI never blocks in it: it polls and, with nothing to do,
// waits on its pool or sleeps, so that the ranks' threads have the cores.
#include <mpi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "batch/plan.h"
#include "batch/pool.h"
#include "batch/record.h"
#include "batch/writer.h"
#include "qev/batch_mpi.h"

namespace qev {

namespace {

constexpr int kAskTag = 17;      // a rank asks for a chunk (no data)
constexpr int kChunkTag = 18;    // rank 0's answer: [begin, end), empty when all are given
constexpr int kRecordsTag = 19;  // a chunk's records, each packed after its size
constexpr std::chrono::microseconds kPoll{300};

// Sends in flight, with their bytes kept until they are done.
class Sends {
 public:
  Sends() = default;
  Sends(const Sends&) = delete;
  Sends& operator=(const Sends&) = delete;
  ~Sends() { Wait(); }
  void Send(std::string bytes, int to, int tag) {
    auto& [buffer, request] = sending_.emplace_back(std::move(bytes), MPI_Request{});
    MPI_Isend(buffer.data(), static_cast<int>(buffer.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD,
              &request);
  }
  void Reap() {
    while (!sending_.empty()) {
      int done = 0;
      MPI_Test(&sending_.front().second, &done, MPI_STATUS_IGNORE);
      if (done == 0) return;
      sending_.pop_front();
    }
  }
  void Wait() {
    while (!sending_.empty()) {
      Reap();
      if (!sending_.empty()) std::this_thread::sleep_for(kPoll);
    }
  }

 private:
  std::deque<std::pair<std::string, MPI_Request>> sending_;
};

void PutSize(std::string& out, std::uint64_t size) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((size >> (8 * i)) & 0xff);
}

// The records of a chunk from its message.
std::vector<TaskRecord> UnpackChunk(std::string_view bytes) {
  std::vector<TaskRecord> records;
  while (!bytes.empty()) {
    if (bytes.size() < 8) throw Error("a chunk of task records is cut short");
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) {
      size |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    bytes.remove_prefix(8);
    if (size > bytes.size()) throw Error("a chunk of task records is cut short");
    records.push_back(UnpackRecord(bytes.substr(0, size)));
    bytes.remove_prefix(size);
  }
  return records;
}

std::vector<std::size_t> Range(std::size_t begin, std::size_t end) {
  std::vector<std::size_t> indices;
  for (std::size_t i = begin; i < end; ++i) indices.push_back(i);
  return indices;
}

// The chunks of a rank's pool, in order: the end of each.
class Held {
 public:
  void Add(OrderedPool& pool, std::size_t begin, std::size_t end) {
    pool.Append(Range(begin, end));
    ends_.push_back(end);
  }
  std::size_t size() const { return ends_.size(); }
  // Whether the record ends the oldest chunk (which is then no longer held).
  bool Ends(const TaskRecord& record) {
    if (ends_.empty() || record.index + 1 != ends_.front()) return false;
    ends_.pop_front();
    return true;
  }

 private:
  std::deque<std::size_t> ends_;
};

// A rank other than 0: asks for a chunk whenever it holds fewer than two (so
// that the next is there when one ends), computes them on its pool and sends
// each chunk's records back in one message.
class Worker {
 public:
  Worker(const BatchPlan& plan, RankPlan& rank_plan, const RunOptions& options)
      : pool_(ResolveThreads(options.threads),
              ResolveWindow(options.window, ResolveThreads(options.threads)),
              [&plan, &rank_plan](std::size_t i) {
                rank_plan.Need(i);
                return MakeRecord(plan, RunTask(plan, i));
              }) {}

  void Run() {
    while (!finished_ || held_.size() > 0) {
      // Both every time: ask for the next chunk and take in what came back.
      const bool asked = Ask();
      const bool answered = Answered();
      bool progress = asked || answered;
      const bool idle = !progress && held_.size() == 0;
      while (std::optional<TaskRecord> record =
                 pool_.TryNext(progress || idle ? std::chrono::microseconds{} : kPoll)) {
        Take(*record);
        progress = true;
      }
      sends_.Reap();
      if (idle) std::this_thread::sleep_for(kPoll);
    }
    pool_.Close();
    sends_.Wait();
  }

 private:
  bool Ask() {
    if (finished_ || asked_ || held_.size() >= 2) return false;
    MPI_Irecv(answer_.data(), sizeof answer_, MPI_BYTE, 0, kChunkTag, MPI_COMM_WORLD,
              &answer_request_);
    sends_.Send({}, 0, kAskTag);
    asked_ = true;
    return true;
  }
  bool Answered() {
    if (!asked_) return false;
    int done = 0;
    MPI_Test(&answer_request_, &done, MPI_STATUS_IGNORE);
    if (done == 0) return false;
    asked_ = false;
    if (answer_[0] >= answer_[1]) {
      finished_ = true;
    } else {
      held_.Add(pool_, answer_[0], answer_[1]);
    }
    return true;
  }
  void Take(const TaskRecord& record) {
    const std::string bytes = PackRecord(record);
    PutSize(packed_, bytes.size());
    packed_ += bytes;
    if (held_.Ends(record)) {
      sends_.Send(std::move(packed_), 0, kRecordsTag);
      packed_.clear();
    }
  }

  OrderedPool pool_;
  Held held_;
  Sends sends_;
  std::string packed_;  // the records of the chunk in hand
  std::array<std::uint64_t, 2> answer_{};
  MPI_Request answer_request_{};
  bool asked_ = false;
  bool finished_ = false;
};

// Rank 0: deals the chunks, in order, to the ranks that ask and to its own
// pool, and writes the records in task order. No chunk is dealt more than a
// few per rank ahead of the next record to be written, so the records that
// wait for an earlier one are bounded.
class Dispatcher {
 public:
  Dispatcher(const MpiSession& mpi, const BatchPlan& plan, const std::filesystem::path& folder,
             const RunOptions& options)
      : total_(plan.task_count()),
        chunk_(ChunkSize(total_, static_cast<std::size_t>(mpi.size()))),
        ahead_(chunk_ * (4 * static_cast<std::size_t>(mpi.size()) + 2)),
        workers_(static_cast<std::size_t>(mpi.size()) - 1),
        writer_(plan, folder, options.progress),
        pool_(ResolveThreads(options.threads),
              ResolveWindow(options.window, ResolveThreads(options.threads)),
              [&plan](std::size_t i) { return MakeRecord(plan, RunTask(plan, i)); }) {}

  BatchWriter& Run() {
    while (written_ < total_ || finished_ < workers_) {
      bool progress = Receive();
      progress = Deal() || progress;
      const bool idle = !progress && held_.size() == 0;
      while (std::optional<TaskRecord> record =
                 pool_.TryNext(progress || idle ? std::chrono::microseconds{} : kPoll)) {
        held_.Ends(*record);
        arrived_.emplace(record->index, std::move(*record));
        progress = true;
      }
      progress = Write() || progress;
      sends_.Reap();
      if (!progress && held_.size() == 0) std::this_thread::sleep_for(kPoll);
    }
    pool_.Close();
    sends_.Wait();
    writer_.Finish();
    return writer_;
  }

 private:
  bool CanDeal() const { return next_ < total_ && next_ < written_ + ahead_; }
  std::pair<std::size_t, std::size_t> Next() {
    const std::size_t begin = next_;
    next_ = std::min(total_, begin + chunk_);
    return {begin, next_};
  }

  // The asks and records that came.
  bool Receive() {
    bool progress = false;
    for (;;) {
      int flag = 0;
      MPI_Status status;
      MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status);
      if (flag == 0) return progress;
      progress = true;
      int count = 0;
      MPI_Get_count(&status, MPI_BYTE, &count);
      buffer_.resize(static_cast<std::size_t>(count));
      MPI_Recv(buffer_.data(), count, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
               MPI_STATUS_IGNORE);
      if (status.MPI_TAG == kAskTag) {
        waiting_.push_back(status.MPI_SOURCE);
        continue;
      }
      for (TaskRecord& record : UnpackChunk(buffer_)) {
        if (record.index < written_ || record.index >= next_) {
          throw Error("rank " + std::to_string(status.MPI_SOURCE) + " sent task " +
                      std::to_string(record.index) + ", which was not due");
        }
        arrived_.emplace(record.index, std::move(record));
      }
    }
  }

  // Chunks for the ranks that wait (an empty one when all are dealt) and for
  // the own pool.
  bool Deal() {
    bool progress = false;
    while (!waiting_.empty() && (CanDeal() || next_ >= total_)) {
      std::array<std::uint64_t, 2> range{total_, total_};
      if (next_ < total_) {
        const auto [begin, end] = Next();
        range = {begin, end};
      } else {
        ++finished_;
      }
      std::string bytes(sizeof range, '\0');
      std::memcpy(bytes.data(), range.data(), sizeof range);
      sends_.Send(std::move(bytes), waiting_.front(), kChunkTag);
      waiting_.pop_front();
      progress = true;
    }
    while (held_.size() < 2 && CanDeal()) {
      const auto [begin, end] = Next();
      held_.Add(pool_, begin, end);
      progress = true;
    }
    return progress;
  }

  bool Write() {
    bool progress = false;
    for (auto first = arrived_.begin(); first != arrived_.end() && first->first == written_;
         first = arrived_.begin()) {
      writer_.Add(first->second);
      arrived_.erase(first);
      ++written_;
      progress = true;
    }
    return progress;
  }

  std::size_t total_;
  std::size_t chunk_;
  std::size_t ahead_;
  std::size_t workers_;
  BatchWriter writer_;
  OrderedPool pool_;
  Held held_;
  Sends sends_;
  std::string buffer_;
  std::deque<int> waiting_;                    // ranks that asked, in order
  std::map<std::size_t, TaskRecord> arrived_;  // records before the next to write
  std::size_t next_ = 0;                       // the first task not dealt
  std::size_t written_ = 0;
  std::size_t finished_ = 0;  // ranks told that all are dealt
};

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

bool MpiSession::AllOk(bool ok) const {
  int mine = ok ? 1 : 0;
  int all = 0;
  MPI_Request request;
  MPI_Iallreduce(&mine, &all, 1, MPI_INT, MPI_LAND, MPI_COMM_WORLD, &request);
  for (int done = 0;;) {
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    if (done != 0) return all != 0;
    std::this_thread::sleep_for(kPoll);
  }
}

void MpiSession::Abort(int status) const {
  MPI_Abort(MPI_COMM_WORLD, status);
  std::exit(status);
}

std::size_t ChunkSize(std::size_t tasks, std::size_t ranks) {
  return std::clamp<std::size_t>(tasks / (16 * std::max<std::size_t>(ranks, 1)), 1, 64);
}

struct RankPlan::State {
  BatchPlan plan;
  std::unique_ptr<ZonePlanner> planner;  // ranks other than 0: zones read on demand
  std::unique_ptr<std::atomic<bool>[]> ready;
  std::mutex mutex;
};

RankPlan::RankPlan(const MpiSession& mpi, const std::function<BatchJob()>& read_job, bool force)
    : state_(std::make_unique<State>()) {
  std::exception_ptr error;
  try {
    if (mpi.rank() == 0) {
      state_->plan = PlanBatch(read_job(), force);
    } else {
      state_->plan.job = read_job();
      if (!force) RefuseLargeTree(state_->plan.job);
      state_->planner = std::make_unique<ZonePlanner>(state_->plan);
      const std::size_t zones = state_->plan.job.zones.size();
      state_->ready = std::make_unique<std::atomic<bool>[]>(zones);
      for (std::size_t z = 0; z < zones; ++z) state_->planner->Outline(z);
    }
  } catch (...) {
    error = std::current_exception();
  }
  if (!mpi.AllOk(!error)) {
    if (error) std::rethrow_exception(error);
    throw Error("the job was refused on another rank");
  }
}

RankPlan::~RankPlan() = default;

const BatchPlan& RankPlan::plan() const { return state_->plan; }

void RankPlan::Need(std::size_t index) {
  State& s = *state_;
  if (!s.planner) return;  // every zone read
  const std::size_t zone = s.plan.cells.at(index / s.plan.tasks_per_cell()).zone;
  if (s.ready[zone].load(std::memory_order_acquire)) return;
  const std::lock_guard lock(s.mutex);
  if (s.ready[zone].load(std::memory_order_relaxed)) return;
  s.planner->Prepare(zone);
  s.ready[zone].store(true, std::memory_order_release);
}

std::size_t RunBatchMpi(const MpiSession& mpi, RankPlan& plan, const std::filesystem::path& folder,
                        const RunOptions& options) {
  if (mpi.rank() != 0) {
    Worker(plan.plan(), plan, options).Run();
    return 0;
  }
  Dispatcher dispatcher(mpi, plan.plan(), folder, options);
  BatchWriter& writer = dispatcher.Run();
  if (options.warning) {
    for (const std::string& w : writer.warnings()) options.warning(w);
  }
  return writer.failed();
}

}  // namespace qev
