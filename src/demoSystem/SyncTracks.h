#pragma once
// The sync tracks of a run: one per "INSTANCE:Variable" that the script keys on its
// timeline, that has a track file, or that the command line names, in that order (the
// order in which the editor is asked for them, which numbers them). A track drives its
// variable while it holds keys (Variable::driver); without keys the script's keys are in
// force.
//
// Where the keys come from: the track files of data/sync/ when the script loads, and the
// editor once it has answered for a track (see SyncEditor.h). From then on the editor owns
// the track: later loads (a reload) keep its keys instead of reading its file again.
//
// One set lives for the whole process (syncTracks()); tracks are never removed, so their
// numbers and addresses stay put across reloads.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "demoSystem/ScriptLoader.h"
#include "demoSystem/SyncTrack.h"

class Effect;
class EffectRegistry;
class Variable;

// [SECTION] Track files as a load reads them

struct TrackFile {
  std::string path;       // as the data files list it
  std::string trackName;  // "INSTANCE:Variable"
  std::vector<SyncKey> keys;
};

struct TrackFileRead {
  std::vector<TrackFile> files;        // the readable ones, in name order
  std::vector<ScriptProblem> problems; // files that do not read (truncated, rows out of order, …)
  std::vector<ScriptProblem> notes;    // files that drive nothing; variables keyed twice
};

// Reads every track file of data/sync/ (the archive's, or the disk's before one is open) and
// looks at what the loaded demo in `effects` makes of it, `keyed` being what the script
// keyed on its timeline. A file whose name names no instance, or no float, bool or integer
// variable of it, is a note, and so is a variable that the script keys too (at the script's
// line: the track file wins).
TrackFileRead readTrackFiles(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed);

// The numeric variable a track name stands for ("INSTANCE:Variable", split at the last
// colon), or null.
Variable* findTrackVariable(const EffectRegistry& effects, std::string_view trackName, Effect** effect = nullptr);
bool isTrackVariable(const Variable& variable);

// [SECTION] The tracks of the run

class SyncTrackSet {
 public:
  size_t size() const { return tracks_.size(); }
  SyncTrack& operator[](size_t i) { return tracks_[i]; }
  const SyncTrack& operator[](size_t i) const { return tracks_[i]; }
  // Index of the track of that name, or -1.
  long find(std::string_view name) const;
  // The track of that name, appended when there is none yet.
  SyncTrack& add(const std::string& name);

  // The editor answered for track i: its keys are the editor's from now on.
  void giveToEditor(size_t i);
  bool ownedByEditor(size_t i) const { return owned_[i]; }

  // --sync-track patterns: "INSTANCE:Variable", or "INSTANCE:*" for every float, bool and
  // integer variable of the instance.
  void setPatterns(std::vector<std::string> patterns) { patterns_ = std::move(patterns); }

  // After a load has put `effects` in place: tracks the editor does not own take their
  // files' keys (none without a file); a track is added for every variable the script keys,
  // every track file and every pattern match, in that order; then every track is bound to
  // its variable. Returns the patterns that matched nothing.
  std::vector<std::string> adopt(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed,
                                 const std::vector<TrackFile>& files);
  // No variable of `effects` is driven by these tracks any more (before the set goes).
  void release(const EffectRegistry& effects) const;

  // Writes every track that holds keys into `directory` under trackFileName (each file
  // written whole and synced under a temporary name first; renamed only when all are), and
  // removes the file of every track without keys and the files under previous names. False,
  // *written 0 and *error naming the track, its file and the reason, when something could
  // not be written, installed or removed (a failed write leaves every old file in place).
  bool save(const std::string& directory, size_t* written, std::string* error) const;

  // Forgets every track (tests).
  void clear();

 private:
  std::deque<SyncTrack> tracks_;
  std::deque<bool> owned_;
  std::vector<std::string> patterns_;
};

// The process's tracks.
SyncTrackSet& syncTracks();

// Whether the track file at `path` (on disk) holds what the editor's track of its name holds:
// written by the editor's save, so nothing to read again.
bool holdsTheEditorsKeys(const std::string& path);

// [SECTION] At every load

// syncTracks().adopt, telling on stderr (once per run) each pattern that matches nothing.
void adoptSyncTracks(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed,
                     const std::vector<TrackFile>& files);
// What a run's load does after the script: reads the track files (a file that does not
// read is a fatal report naming it) and lets syncTracks() adopt the demo.
void loadSyncTracks(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed);
