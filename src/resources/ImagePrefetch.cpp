#include "resources/ImagePrefetch.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "resources/Image.h"

namespace {

enum class State { Queued, Decoding, Done };

struct Entry {
  State state = State::Queued;
  Image* image = nullptr;
};

struct Prefetch {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> queue;
  std::map<std::string, Entry> entries;
  std::vector<std::thread> workers;
  bool stopping = false;
  ImageDecoder decode = nullptr;
};

Prefetch& prefetch() {
  // Never destroyed: workers may still be winding down while static objects go at exit.
  static Prefetch* instance = new Prefetch;
  return *instance;
}

bool worthReadingAhead(const std::string& path) {
  if (path.size() < 4) return false;
  const std::string ending = path.substr(path.size() - 4);
  return ending == ".png" || ending == ".PNG" || ending == ".jpg" || ending == ".JPG";
}

void work() {
  Prefetch& p = prefetch();
  std::unique_lock lock(p.mutex);
  for (;;) {
    p.changed.wait(lock, [&] { return p.stopping || !p.queue.empty(); });
    if (p.stopping) return;
    const std::string path = std::move(p.queue.front());
    p.queue.pop_front();
    auto it = p.entries.find(path);
    if (it == p.entries.end() || it->second.state != State::Queued) continue;
    it->second.state = State::Decoding;
    lock.unlock();
    Image* image = p.decode(path.c_str(), "");
    lock.lock();
    // The map's nodes stay where they are while other entries come and go.
    it->second.image = image;
    it->second.state = State::Done;
    p.changed.notify_all();
  }
}

}  // namespace

void startImagePrefetch(const std::vector<std::string>& paths, ImageDecoder decode) {
  endImagePrefetch();
  if (decode == nullptr) return;  // nothing to decode with: every picture is decoded when asked for
  Prefetch& p = prefetch();
  {
    std::lock_guard lock(p.mutex);
    p.stopping = false;
    p.decode = decode;
    for (const std::string& path : paths) {
      if (!worthReadingAhead(path) || p.entries.count(path)) continue;
      p.entries.emplace(path, Entry{});
      p.queue.push_back(path);
    }
    if (p.queue.empty()) return;
  }
  // The loading thread keeps one core to itself: it uploads, builds effects and decodes what
  // no worker has reached yet.
  const unsigned cores = std::thread::hardware_concurrency();
  const size_t count = std::min<size_t>({cores > 1 ? cores - 1 : 1, 4, p.queue.size()});
  for (size_t i = 0; i < count; ++i) p.workers.emplace_back(work);
}

bool takePrefetchedImage(const std::string& path, Image** image) {
  Prefetch& p = prefetch();
  std::unique_lock lock(p.mutex);
  auto it = p.entries.find(path);
  if (it == p.entries.end()) return false;
  if (it->second.state == State::Queued) {
    p.entries.erase(it);  // the worker that reaches it in the queue skips it
    return false;
  }
  p.changed.wait(lock, [&] { return it->second.state == State::Done; });
  *image = it->second.image;
  p.entries.erase(it);
  return true;
}

void endImagePrefetch() {
  Prefetch& p = prefetch();
  {
    std::lock_guard lock(p.mutex);
    p.stopping = true;
    p.queue.clear();
  }
  p.changed.notify_all();
  for (std::thread& worker : p.workers) worker.join();
  p.workers.clear();
  std::lock_guard lock(p.mutex);
  for (auto& [path, entry] : p.entries) delete entry.image;
  p.entries.clear();
  p.stopping = false;
}
