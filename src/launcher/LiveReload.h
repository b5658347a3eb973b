#pragma once
// Live reloading for the people who make a demo (--dev): the demo is read from an unpacked
// directory, every file a load asked for is watched, and when files change the demo is
// loaded again beside the running one. A load without problems replaces the running demo;
// one with problems leaves it playing and shows the problems over the picture (and on
// stderr) until a later load succeeds. The caller keeps the clock and the music where they
// were.
//
// Only what changed is read again: before loading, the caches let go of what they read from
// the changed files (TextureManager::releaseReadFrom, ShaderManager::releasePrograms), so
// the next request reads the file again while unchanged entries stay. What a cache lets go
// of stays alive until the demo that may still draw it has been replaced. A cache that joins
// later (scenes) adds its release to releaseChanged and its retired objects beside the
// others; one whose objects hold another cache's objects (a scene's materials hold
// textures) must also let go of the entries that hold a released object.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "launcher/MessageOverlay.h"
#include "platform/FileWatch.h"

class Texture;
class ShaderProgram;

class LiveReload {
 public:
  // Loads `script`; watches `soundtrack` beside what the loads read.
  LiveReload(std::string script, std::string soundtrack);
  ~LiveReload();
  LiveReload(const LiveReload&) = delete;
  LiveReload& operator=(const LiveReload&) = delete;

  // Takes the watch's news without waiting. True once files have changed and nothing more
  // for kSettleMs: a burst of saves gives one reload.
  bool changesSettled();
  static constexpr int kSettleMs = 150;
  // Waits up to `ms` for news (while there is nothing to render).
  void waitForChanges(int ms) { watch_.wait(ms); }

  // Loads the script again (the first time: at all), reading again what changed since the
  // last load. True when the new demo is in place (effectRegistry and eventList replaced);
  // false leaves the running demo, if any, where it was and its problems in problems().
  bool reload();

  bool hasDemo() const { return hasDemo_; }
  // Among the files the last reload found changed.
  bool soundtrackChanged() const { return soundtrackChanged_; }
  // "file:line: message" for each problem of the last load; empty after a success.
  const std::vector<std::string>& problems() const { return overlay_.lines(); }
  // The data files the last load asked for (the script files are always among them).
  const std::vector<std::string>& filesReadByLastLoad() const { return lastFiles_; }
  // Everything watched now.
  std::vector<std::string> watchedFiles() const;

  // The problems over the frame.
  void drawProblems(int width, int height) { overlay_.draw(width, height); }

 private:
  void releaseChanged(const std::vector<std::string>& changed);
  void freeRetired();

  std::string script_;
  std::string soundtrack_;
  platform::FileWatch watch_;
  std::set<std::string> watched_;
  std::vector<std::string> pending_;
  uint64_t lastChange_ = 0;
  bool hasDemo_ = false;
  bool soundtrackChanged_ = false;
  std::vector<std::string> lastFiles_;
  std::vector<std::unique_ptr<Texture>> retiredTextures_;
  std::vector<std::unique_ptr<ShaderProgram>> retiredPrograms_;
  MessageOverlay overlay_;
};
