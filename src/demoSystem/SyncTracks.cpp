#include "demoSystem/SyncTracks.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "archive/vkd.h"
#include "base/Error.h"
#include "demoSystem/Effect.h"
#include "demoSystem/EffectRegistry.h"

// [SECTION] Names

bool isTrackVariable(const Variable& variable) {
  return variable.kind == Variable::kFloat || variable.kind == Variable::kBool || variable.kind == Variable::kInteger;
}

Variable* findTrackVariable(const EffectRegistry& effects, std::string_view trackName, Effect** effectFound) {
  const size_t colon = trackName.rfind(':');
  if (colon == std::string_view::npos) return nullptr;
  Effect* effect = effects.findEffect(std::string(trackName.substr(0, colon)));
  if (effectFound) *effectFound = effect;
  if (!effect) return nullptr;
  Variable* variable = effect->findVariable(std::string(trackName.substr(colon + 1)));
  return variable && isTrackVariable(*variable) ? variable : nullptr;
}

namespace {

std::string trackNameOf(const std::string& instance, const std::string& variable) { return instance + ":" + variable; }

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// [SECTION] Reading the track files

TrackFileRead readTrackFiles(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed) {
  TrackFileRead read;
  for (const std::string& path : listDataFiles(kSyncFolder)) {
    std::string trackName;
    // Other files may share the folder (notes, an editor's project): only .track files count.
    if (!trackNameFromFileName(fileNameOf(path), &trackName)) continue;
    MemoryFile* file = loadFile(path.c_str());
    if (!file) {
      read.problems.push_back({path, 0, "sync track file could not be read", false});
      continue;
    }
    TrackFile track{path, trackName, {}};
    std::string problem;
    const bool ok = readTrackFile(file->data, file->size, &track.keys, &problem);
    closeFile(file);
    if (!ok) {
      read.problems.push_back({path, 0, "sync track file: " + problem, false});
      continue;
    }
    Effect* effect = nullptr;
    if (!findTrackVariable(effects, trackName, &effect)) {
      const size_t colon = trackName.rfind(':');
      read.notes.push_back(
          {path, 0,
           colon == std::string::npos ? "sync track file names no INSTANCE:Variable: " + trackName + " (it drives nothing)"
           : !effect ? "sync track file names no effect instance: " + trackName.substr(0, colon) + " (it drives nothing)"
                     : "sync track file names no float, bool or integer variable of " + trackName.substr(0, colon) +
                           ": " + trackName.substr(colon + 1) + " (it drives nothing)",
           false});
      continue;
    }
    for (const TimelineKeyedVariable& k : keyed) {
      if (trackNameOf(k.instanceName, k.variableName) != trackName) continue;
      read.notes.push_back({k.file.empty() ? path : k.file, k.line,
                            trackName + " is keyed by the script and by " + path + " (the track file wins)", false});
      break;
    }
    read.files.push_back(std::move(track));
  }
  return read;
}

// [SECTION] The set

long SyncTrackSet::find(std::string_view name) const {
  for (size_t i = 0; i < tracks_.size(); ++i)
    if (tracks_[i].name() == name) return static_cast<long>(i);
  return -1;
}

SyncTrack& SyncTrackSet::add(const std::string& name) {
  const long at = find(name);
  if (at >= 0) return tracks_[static_cast<size_t>(at)];
  owned_.push_back(false);
  return tracks_.emplace_back(name);
}

void SyncTrackSet::giveToEditor(size_t i) {
  owned_[i] = true;
  tracks_[i].clearKeys();
}

std::vector<std::string> SyncTrackSet::adopt(const EffectRegistry& effects,
                                             const std::vector<TimelineKeyedVariable>& keyed,
                                             const std::vector<TrackFile>& files) {
  for (const TimelineKeyedVariable& k : keyed) add(trackNameOf(k.instanceName, k.variableName));
  for (const TrackFile& file : files) add(file.trackName);
  std::vector<std::string> unmatched;
  for (const std::string& pattern : patterns_) {
    const size_t colon = pattern.rfind(':');
    Effect* effect = colon == std::string::npos ? nullptr : effects.findEffect(pattern.substr(0, colon));
    const std::string variableName = colon == std::string::npos ? "" : pattern.substr(colon + 1);
    bool matched = false;
    if (effect) {
      for (Variable* variable : effect->getVariables()) {
        if (!isTrackVariable(*variable) || (variableName != "*" && variable->name != variableName)) continue;
        add(trackNameOf(effect->getName(), variable->name));
        matched = true;
      }
    }
    if (!matched) unmatched.push_back(pattern);
  }

  // Without the editor, the files are what the tracks hold.
  for (size_t i = 0; i < tracks_.size(); ++i) {
    if (owned_[i]) continue;
    tracks_[i].clearKeys();
    for (const TrackFile& file : files)
      if (file.trackName == tracks_[i].name()) tracks_[i].assignKeys(file.keys);
  }
  for (SyncTrack& track : tracks_)
    if (Variable* variable = findTrackVariable(effects, track.name())) track.bind(*variable);
  return unmatched;
}

void SyncTrackSet::release(const EffectRegistry& effects) const {
  for (const Effect* effect : effects.effects())
    for (Variable* variable : effect->getVariables())
      for (const SyncTrack& track : tracks_)
        if (variable->driver == &track) variable->driver = nullptr;
}

bool SyncTrackSet::save(const std::string& directory, size_t* written, std::string* error) const {
  namespace fs = std::filesystem;
  *written = 0;
  std::error_code code;
  fs::create_directories(directory, code);
  if (code) {
    *error = directory + ": " + code.message();
    return false;
  }
  for (const SyncTrack& track : tracks_) {
    const fs::path path = fs::path(directory) / trackFileName(track.name());
    if (track.keyCount() == 0) {
      fs::remove(path, code);
      continue;
    }
    // Whole files only: a watcher (--dev) or a reader never sees half a track.
    const fs::path temporary = path.string() + ".part";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      const std::string bytes = trackFileBytes(track.keys());
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        *error = temporary.string() + ": could not be written";
        fs::remove(temporary, code);
        return false;
      }
    }
    fs::rename(temporary, path, code);
    if (code) {
      *error = path.string() + ": " + code.message();
      return false;
    }
    ++*written;
  }
  return true;
}

void SyncTrackSet::clear() {
  tracks_.clear();
  owned_.clear();
  patterns_.clear();
}

SyncTrackSet& syncTracks() {
  static SyncTrackSet tracks;
  return tracks;
}

bool holdsTheEditorsKeys(const std::string& path) {
  std::string name;
  if (!trackNameFromFileName(fileNameOf(path), &name)) return false;
  const long track = syncTracks().find(name);
  if (track < 0 || !syncTracks().ownedByEditor(static_cast<size_t>(track))) return false;
  const std::vector<SyncKey> keys = syncTracks()[static_cast<size_t>(track)].keys();
  std::ifstream file(path, std::ios::binary);
  if (!file) return keys.empty();
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return !keys.empty() && bytes == trackFileBytes(keys);
}

// [SECTION] A run's load

void adoptSyncTracks(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed,
                     const std::vector<TrackFile>& files) {
  static std::set<std::string> told;
  for (const std::string& pattern : syncTracks().adopt(effects, keyed, files))
    if (told.insert(pattern).second)
      std::fprintf(stderr, "demoengine: --sync-track %s matches no float, bool or integer variable\n", pattern.c_str());
}

void loadSyncTracks(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed) {
  const TrackFileRead read = readTrackFiles(effects, keyed);
  for (const ScriptProblem& problem : read.problems)
    reportErrorText(DE_HERE, problem.message.c_str(), problem.file.c_str(), true);
  adoptSyncTracks(effects, keyed, read.files);
}
