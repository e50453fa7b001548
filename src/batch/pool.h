// Tasks on a pool of threads, given back in the order they were handed in.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "batch/record.h"

namespace qev {

// Runs compute(i) for the task indices handed in on `threads` threads, at
// most `window` tasks ahead of the one Next gives, and gives the records back
// in the order of the indices. Indices given to the constructor are all there
// is; an open pool (no indices) takes more by Append until Close. One producer
// of each index; Next, TryNext, Append and Close on one thread.
class OrderedPool {
 public:
  OrderedPool(std::vector<std::size_t> indices, unsigned threads, std::size_t window,
              std::function<TaskRecord(std::size_t)> compute);
  // An open pool: the tasks come by Append.
  OrderedPool(unsigned threads, std::size_t window, std::function<TaskRecord(std::size_t)> compute);
  ~OrderedPool();
  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  void Append(const std::vector<std::size_t>& indices);
  void Close();  // no more indices: Next gives none after the last
  // The next record in order; none when all were given (and the pool is
  // closed). An exception that escaped compute is rethrown in the place of its
  // task's record (no task after it is started).
  std::optional<TaskRecord> Next();
  // The next record if it is ready within `wait`; none otherwise.
  std::optional<TaskRecord> TryNext(std::chrono::microseconds wait = {});
  // Indices handed in whose records were not given yet.
  std::size_t pending() const;

 private:
  void Start(unsigned threads);
  void Stop();
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qev
