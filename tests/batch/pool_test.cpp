#include "batch/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qev {
namespace {

// A task of a few microseconds whose length varies, so that the threads
// finish out of order; task `failing` throws.
TaskRecord Compute(std::size_t index, std::size_t failing, std::atomic<std::size_t>& started) {
  started.fetch_add(1);
  std::this_thread::sleep_for(std::chrono::microseconds((index * 37) % 300));
  if (index == failing) throw std::runtime_error("task " + std::to_string(index) + " failed");
  TaskRecord record;
  record.index = index;
  return record;
}

struct PoolCase {
  unsigned threads;
  std::size_t window;
  std::size_t tasks;
  std::size_t failing;  // tasks: none fails
  bool open;            // the indices come by Append in chunks, taken by TryNext
};

// What the consumer saw: the indices of the records in the order given, the
// failure rethrown, and the most tasks started but not yet given.
struct PoolOutcome {
  std::vector<std::size_t> given;
  std::string failure;
  std::size_t most_ahead = 0;
};

PoolOutcome RunPool(const PoolCase& c) {
  std::atomic<std::size_t> started{0};
  auto compute = [&](std::size_t i) { return Compute(i, c.failing, started); };
  PoolOutcome out;
  auto take = [&](const TaskRecord& record) {
    out.given.push_back(record.index);
    out.most_ahead = std::max(out.most_ahead, started.load() - out.given.size());
  };
  try {
    if (!c.open) {
      std::vector<std::size_t> indices(c.tasks);
      for (std::size_t i = 0; i < c.tasks; ++i) indices[i] = i;
      OrderedPool pool(indices, c.threads, c.window, compute);
      while (std::optional<TaskRecord> record = pool.Next()) take(*record);
      return out;
    }
    OrderedPool pool(c.threads, c.window, compute);
    for (std::size_t begin = 0; begin < c.tasks; begin += 16) {
      std::vector<std::size_t> chunk;
      for (std::size_t i = begin; i < std::min(c.tasks, begin + 16); ++i) chunk.push_back(i);
      pool.Append(chunk);
      while (pool.pending() > 0) {
        if (auto record = pool.TryNext(std::chrono::microseconds(200))) take(*record);
      }
    }
    pool.Close();
    if (pool.Next().has_value()) out.failure = "a record after the pool was closed";
  } catch (const std::runtime_error& e) {
    out.failure = e.what();
  }
  return out;
}

// The records come back in the order of the indices, each once, whatever the
// threads and the window (the consumer is woken at half the window, or when
// it is full); a failed task's exception comes in its place, after every
// record before it; the workers never run more than the window ahead.
TEST(OrderedPool, RecordsComeInOrderAndAFailureInItsPlace) {
  const PoolCase cases[] = {
      {1, 1, 20, 20, false},   {1, 4, 200, 200, false}, {2, 8, 200, 200, false},
      {2, 3, 101, 101, false}, {4, 2, 50, 50, false},   {2, 8, 200, 57, false},
      {1, 4, 30, 0, false},    {2, 4, 300, 300, true},  {1, 4, 130, 130, true},
      {2, 8, 300, 211, true},
  };
  for (const PoolCase& c : cases) {
    const std::string label = std::to_string(c.threads) + " threads, window " +
                              std::to_string(c.window) + ", " + std::to_string(c.tasks) + " tasks" +
                              (c.open ? ", open" : "");
    const PoolOutcome out = RunPool(c);
    std::vector<std::size_t> expected(std::min(c.failing, c.tasks));
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
    EXPECT_EQ(out.given, expected) << label;
    EXPECT_EQ(out.failure,
              c.failing < c.tasks ? "task " + std::to_string(c.failing) + " failed" : "")
        << label;
    EXPECT_LE(out.most_ahead, c.window) << label;
  }
}

}  // namespace
}  // namespace qev
