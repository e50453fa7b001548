// Tasks on a pool of threads, given back in order, at most a window ahead.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "batch/pool.h"
#include "batch/writer.h"
#include "qev/batch.h"

namespace qev {

unsigned CoreCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

unsigned ResolveThreads(unsigned threads) {
  const unsigned cores = CoreCount();
  return threads > 0 && threads < cores ? threads : cores;
}

std::size_t ResolveWindow(std::size_t window, unsigned threads) {
  return window > 0 ? window : 4 * static_cast<std::size_t>(ResolveThreads(threads));
}

struct OrderedPool::State {
  std::vector<std::size_t> indices;
  bool closed = true;  // no index comes after the last
  std::size_t window = 1;
  std::function<TaskRecord(std::size_t)> compute;
  mutable std::mutex mutex;
  std::condition_variable work;            // a slot in the window opened, an index came, or stop
  std::condition_variable ready;           // a record arrived, or an error
  std::size_t claimed = 0;                 // positions handed to workers
  std::size_t given = 0;                   // positions handed to Next
  std::map<std::size_t, TaskRecord> done;  // at most `window` records
  std::exception_ptr error;                // the first exception that escaped compute...
  std::size_t error_at = 0;                // ...and its position: Next rethrows it there
  bool stop = false;
  std::vector<std::thread> threads;
  // A consumer that finds no record due waits until half the window waits,
  // not for each record (a wake-up costs the two threads about as much as
  // writing a record); a full window wakes it whatever waits. A record due
  // when it asks is taken at once.
  std::size_t wake_at = 1;

  // Whether a worker has nothing to do now (or ever, with `stop`).
  bool Idle() const { return claimed >= indices.size() || claimed >= given + window; }

  void Work() {
    for (;;) {
      std::size_t position = 0;
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex);
        work.wait(lock, [&] {
          return stop || error || !Idle() || (closed && claimed >= indices.size());
        });
        if (stop || error || Idle()) return;
        position = claimed++;
        index = indices[position];
      }
      bool wake = true;
      try {
        TaskRecord record = compute(index);
        std::lock_guard lock(mutex);
        done.emplace(position, std::move(record));
        wake = Ready();
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!error || position < error_at) {
          error = std::current_exception();
          error_at = position;
        }
      }
      if (wake) ready.notify_one();
    }
  }

  // Whether the record at `given` is there (or its task's error).
  bool Due() const { return done.count(given) > 0 || (error && error_at == given); }

  // Whether a waiting consumer goes on: the record at `given` is due and
  // enough records wait, or the workers can run no further until it takes
  // some, or a task failed.
  bool Ready() const { return Due() && (done.size() >= wake_at || Idle() || error); }

  // The record at `given`, which is due; the lock is released.
  TaskRecord Take(std::unique_lock<std::mutex>& lock) {
    auto found = done.find(given);
    if (found == done.end()) std::rethrow_exception(error);
    TaskRecord record = std::move(found->second);
    done.erase(found);
    ++given;
    lock.unlock();
    work.notify_all();
    return record;
  }
};

OrderedPool::OrderedPool(std::vector<std::size_t> indices, unsigned threads, std::size_t window,
                         std::function<TaskRecord(std::size_t)> compute)
    : state_(std::make_unique<State>()) {
  state_->indices = std::move(indices);
  state_->window = window > 0 ? window : 1;
  state_->compute = std::move(compute);
  Start(threads);
}

OrderedPool::OrderedPool(unsigned threads, std::size_t window,
                         std::function<TaskRecord(std::size_t)> compute)
    : state_(std::make_unique<State>()) {
  state_->closed = false;
  state_->window = window > 0 ? window : 1;
  state_->compute = std::move(compute);
  Start(threads);
}

void OrderedPool::Start(unsigned threads) {
  const unsigned n = ResolveThreads(threads);
  state_->wake_at = std::max<std::size_t>(1, state_->window / 2);
  try {
    state_->threads.reserve(n);
    for (unsigned t = 0; t < n; ++t) state_->threads.emplace_back([this] { state_->Work(); });
  } catch (const std::system_error& failure) {
    // The threads already started must end before their state goes.
    const std::size_t started = state_->threads.size();
    Stop();
    throw Error("cannot start thread " + std::to_string(started + 1) + " of " + std::to_string(n) +
                " for the tasks: " + failure.code().message());
  }
}

void OrderedPool::Stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->work.notify_all();
  for (std::thread& t : state_->threads) {
    if (t.joinable()) t.join();
  }
}

OrderedPool::~OrderedPool() { Stop(); }

void OrderedPool::Append(const std::vector<std::size_t>& indices) {
  {
    std::lock_guard lock(state_->mutex);
    state_->indices.insert(state_->indices.end(), indices.begin(), indices.end());
  }
  state_->work.notify_all();
}

void OrderedPool::Close() {
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
  }
  state_->work.notify_all();
}

std::size_t OrderedPool::pending() const {
  std::lock_guard lock(state_->mutex);
  return state_->indices.size() - state_->given;
}

std::optional<TaskRecord> OrderedPool::Next() {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  // The records before a failed task come first: every one of them was
  // claimed before it and is finished by its worker.
  if (!s.Due()) {
    s.ready.wait(lock, [&] { return s.Ready() || (s.closed && s.given >= s.indices.size()); });
  }
  if (!s.Due()) return std::nullopt;
  return s.Take(lock);
}

std::optional<TaskRecord> OrderedPool::TryNext(std::chrono::microseconds wait) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  if (!s.Due() && wait.count() > 0 && s.given < s.indices.size()) {
    s.ready.wait_for(lock, wait, [&] { return s.Ready(); });
  }
  if (!s.Due()) return std::nullopt;
  return s.Take(lock);
}

std::size_t RunBatch(const BatchPlan& plan, const std::filesystem::path& folder,
                     const RunOptions& options) {
  BatchWriter writer(plan, folder, options.progress);
  std::vector<std::size_t> indices(plan.task_count());
  for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = i;
  const unsigned threads = ResolveThreads(options.threads);
  const std::atomic<bool>* cancel = options.cancel;
  const auto cancelled = [cancel] { return cancel != nullptr && cancel->load(); };
  OrderedPool pool(std::move(indices), threads, ResolveWindow(options.window, threads),
                   [&plan, cancel, &cancelled](std::size_t i) {
                     if (cancelled()) throw Cancelled();
                     return MakeRecord(plan, RunTask(plan, i, cancel));
                   });
  while (std::optional<TaskRecord> record = pool.Next()) {
    if (cancelled()) throw Cancelled();
    writer.Add(*record);
  }
  // A task cancelled late may have ended as a failed row: nothing goes in place.
  if (cancelled()) throw Cancelled();
  writer.Finish();
  if (options.warning) {
    for (const std::string& w : writer.warnings()) options.warning(w);
  }
  return writer.failed();
}

}  // namespace qev
