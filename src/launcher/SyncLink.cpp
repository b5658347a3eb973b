#include "launcher/SyncLink.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "demoSystem/DemoClock.h"
#include "demoSystem/SyncTrack.h"
#include "demoSystem/SyncTracks.h"

namespace {

SyncLink* active = nullptr;

}  // namespace

SyncLink* activeSyncLink() { return active; }
void setActiveSyncLink(SyncLink* link) { active = link; }

std::string syncSaveDirectory(const CommandLineOptions& options) {
  namespace fs = std::filesystem;
  if (!options.syncOut.empty()) return fs::absolute(options.syncOut).lexically_normal().string();
  const fs::path tree = options.developing() ? fs::absolute(options.devDirectory) : fs::current_path();
  return (tree / kSyncFolder).lexically_normal().string();
}

SyncLink::SyncLink(const CommandLineOptions& options)
    : editor_(options.syncHost, options.syncPort, syncTracks()),
      saveDirectory_(options.syncOut),
      capturing_(options.capturing()) {}

void SyncLink::frame(PlaybackContext& context) {
  const SyncNews news = editor_.poll();
  if (!capturing_) {
    // The row's first millisecond, so that the demo tells the editor that same row back.
    if (news.seek) {
      const uint64_t ms = static_cast<uint64_t>(news.row) * syncRowLength();
      seekTo(static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX)), context);
    }
    if (news.pauseChanged) setPausedTo(news.pause, context);
  }
  if (news.save) save();
  editor_.tellRow(context.clock.now() / syncRowLength());
}

bool SyncLink::settle() {
  // The clock follows the frame counter: only a save is taken from what came meanwhile.
  if (editor_.settle(kSettleQuietMs, kSettleMaxMs).save) save();
  if (editor_.settledWithAnswers()) return true;
  std::fprintf(stderr,
               "demoengine: --sync: no answers from the sync editor at %s to the demo's track requests (the editor "
               "is unreachable, or it closed the connection: another demo may be connected to it); nothing captured\n",
               editor_.address().c_str());
  std::fflush(stderr);
  return false;
}

void SyncLink::save() {
  size_t written = 0;
  std::string error;
  if (syncTracks().save(saveDirectory_, &written, &error)) {
    std::fprintf(stderr, "demoengine: saved %zu sync track%s into %s\n", written, written == 1 ? "" : "s",
                 saveDirectory_.c_str());
  } else {
    std::fprintf(stderr, "demoengine: sync tracks not saved: %s\n", error.c_str());
  }
  std::fflush(stderr);
}
