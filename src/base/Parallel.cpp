#include "base/Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

// One job at a time: the range, the body and the counter both threads draw chunks from.
struct Job {
  ParallelBody body = nullptr;
  void* context = nullptr;
  int count = 0;
  int chunk = 1;
  std::atomic<int> next{0};

  void drain() {
    for (int first = next.fetch_add(chunk); first < count; first = next.fetch_add(chunk))
      body(context, first, std::min(first + chunk, count));
  }
};

class Helper {
 public:
  Helper() : thread([this] { loop(); }) {}
  ~Helper() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_one();
    thread.join();
  }

  void run(int count, int chunk, ParallelBody body, void* context) {
    job.body = body;
    job.context = context;
    job.count = count;
    job.chunk = chunk;
    job.next.store(0);
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++generation;
      helperBusy = true;
    }
    wake.notify_one();
    job.drain();
    // The helper may still be inside its last chunk.
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [this] { return !helperBusy; });
  }

 private:
  void loop() {
    uint64_t seen = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return stopping || generation != seen; });
        if (stopping) return;
        seen = generation;
      }
      job.drain();
      {
        std::lock_guard<std::mutex> lock(mutex);
        helperBusy = false;
      }
      finished.notify_one();
    }
  }

  Job job;
  std::mutex mutex;
  std::condition_variable wake, finished;
  uint64_t generation = 0;
  bool helperBusy = false;
  bool stopping = false;
  std::thread thread;  // last: starts once everything above exists
};

std::atomic<bool> inUse{false};

}  // namespace

void parallelFor(int count, int chunk, ParallelBody body, void* context) {
  if (count <= 0) return;
  chunk = std::max(chunk, 1);
  static const bool twoCores = std::thread::hardware_concurrency() > 1;
  // A nested or concurrent call, a single processor or a single chunk: all on the caller.
  if (!twoCores || count <= chunk || inUse.exchange(true)) {
    body(context, 0, count);
    return;
  }
  static Helper helper;
  helper.run(count, chunk, body, context);
  inUse.store(false);
}
