#pragma once
// A process-wide cache of objects keyed by exact name, with a use count per name. Textures,
// shader programs, scenes, meshes and materials are all shared this way: the first user
// creates and adds the object, later users find it and raise its count, and nothing is
// released before the process ends (the cache owns what it holds).

#include <map>
#include <memory>
#include <string>
#include <vector>

template <class T>
class NamedCache {
 public:
  // The object cached under `name` with its use count raised by one, or null.
  T* acquire(const std::string& name) {
    auto it = entries.find(name);
    if (it == entries.end()) return nullptr;
    ++it->second.useCount;
    return it->second.object.get();
  }

  // The object cached under `name` without counting a user, or null.
  T* find(const std::string& name) const {
    auto it = entries.find(name);
    return it == entries.end() ? nullptr : it->second.object.get();
  }

  // 0 when `object` is now cached under `name` with one user, or when the name already
  // holds this very object (its count raised by one). 1 when the object is null or the
  // name holds another object; the cache is left unchanged and the caller keeps ownership.
  // On 0 for a new name the cache takes ownership.
  int add(const std::string& name, T* object) {
    if (!object) return 1;
    auto it = entries.find(name);
    if (it == entries.end()) {
      entries.emplace(name, Entry{std::unique_ptr<T>(object), 1});
      return 0;
    }
    if (it->second.object.get() != object) return 1;
    ++it->second.useCount;
    return 0;
  }

  // Users of a cached name; 0 when the name is not cached.
  int useCount(const std::string& name) const {
    auto it = entries.find(name);
    return it == entries.end() ? 0 : it->second.useCount;
  }

  // Drops the entry (and destroys its object) whatever its count: for reloading a changed
  // file while authoring, never during playback.
  void evict(const std::string& name) { entries.erase(name); }

  // Takes out every entry that `which(name, object)` selects and hands its object over: for
  // reading a changed file again while authoring, when users of the old object may still be
  // about and the caller decides when it goes.
  template <class F>
  std::vector<std::unique_ptr<T>> releaseIf(F&& which) {
    std::vector<std::unique_ptr<T>> released;
    for (auto it = entries.begin(); it != entries.end();) {
      if (which(it->first, *it->second.object)) {
        released.push_back(std::move(it->second.object));
        it = entries.erase(it);
      } else {
        ++it;
      }
    }
    return released;
  }

  size_t size() const { return entries.size(); }

  template <class F>
  void forEach(F&& visit) const {
    for (const auto& [name, entry] : entries) visit(name, *entry.object, entry.useCount);
  }

 private:
  struct Entry {
    std::unique_ptr<T> object;
    int useCount;
  };
  std::map<std::string, Entry> entries;
};
