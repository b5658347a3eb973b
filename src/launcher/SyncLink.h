#pragma once
// --sync: a run's live session with a sync tracker editor. Each frame, before the clock is
// read, frame() takes the editor's news (seek as a part jump does, pause as F1 does, save
// the tracks as track files) and tells the editor the row the demo plays. In a capture the
// clock follows the frame counter: seeks and pauses from the editor are let pass, and
// before the first frame settle() reads the editor's keys (see SyncEditor::settle).

#include <memory>
#include <string>

#include "demoSystem/SyncEditor.h"
#include "launcher/CommandLine.h"
#include "launcher/KeyControls.h"

class SyncLink {
 public:
  // How long a capture waits for the editor's answers: quiet for this long, at most kSettleMaxMs.
  static constexpr int64_t kSettleQuietMs = 250;
  static constexpr int64_t kSettleMaxMs = 5000;

  // Connects to the editor of options.syncHost:syncPort; the editor's save writes into
  // options.syncOut (see syncSaveDirectory).
  explicit SyncLink(const CommandLineOptions& options);

  void frame(PlaybackContext& context);
  // Before a capture's first frame; false, with one line, when the editor's answers to the
  // track requests never came (the capture would show the script's values, not the editor's).
  bool settle();
  const std::string& saveDirectory() const { return saveDirectory_; }

 private:
  void save();

  SyncEditor editor_;
  std::string saveDirectory_;
  bool capturing_;
};

// Where the editor's save writes for these options, made absolute against the working
// directory the program was started in: --sync-out, else data/sync of the --dev tree, else
// data/sync of that working directory.
std::string syncSaveDirectory(const CommandLineOptions& options);

// The run's link while it lives (null without --sync).
SyncLink* activeSyncLink();
void setActiveSyncLink(SyncLink* link);
