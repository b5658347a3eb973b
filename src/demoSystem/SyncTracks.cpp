#include "demoSystem/SyncTracks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "archive/vkd.h"
#include "base/Error.h"
#include "demoSystem/Effect.h"
#include "demoSystem/EffectRegistry.h"
#include "platform/Files.h"

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

// The part of a path below data/sync (a track name's "/" makes folders there).
std::string nameInSyncFolder(const std::string& path) {
  const std::string folder = std::string(kSyncFolder) + "/";
  if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0) return path.substr(folder.size());
  const size_t inside = path.rfind("/" + folder);
  if (inside != std::string::npos) return path.substr(inside + folder.size() + 1);
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// [SECTION] Reading the track files

TrackFileRead readTrackFiles(const EffectRegistry& effects, const std::vector<TimelineKeyedVariable>& keyed) {
  TrackFileRead read;
  const std::vector<std::string> paths = listDataFiles(kSyncFolder);
  for (const std::string& path : paths) {
    std::string trackName;
    bool previous = false;
    // Other files may share the folder (notes, an editor's project): only .track files count.
    // The archive's names may differ in letter case, never in length.
    const size_t folder = std::strlen(kSyncFolder) + 1;
    const std::string inFolder = path.size() > folder ? path.substr(folder) : path;
    if (!trackNameFromFileName(inFolder, &trackName, &previous)) continue;
    if (previous) {
      // A file saved by the previous version: read, unless the track is there under its name too.
      const std::string current = trackFilePath(trackName);
      const bool both = std::any_of(paths.begin(), paths.end(), [&](const std::string& other) {
        std::string name;
        bool old = true;
        return trackNameFromFileName(other.substr(std::min(other.size(), std::strlen(kSyncFolder) + 1)), &name, &old) &&
               !old && name == trackName;
      });
      read.notes.push_back({path, 0,
                            both ? "sync track file under its previous name, not read: " + current + " holds the track"
                                 : "sync track file under its previous name: read, but its name is now " + current +
                                       " (the name a save writes and the reference player reads)",
                            false});
      if (both) continue;
    }
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

namespace {

// The bytes reach the disk before the rename installs them: the stream is closed and
// checked (a full disk shows at the flush or the close, not at the write) and synced.
bool writeWhole(const std::string& path, const std::string& bytes, std::string* reason) {
  FILE* file = platform::openFile(path, "wb");
  if (!file) {
    *reason = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0 &&
            platform::syncToDisk(file);
  int error = ok ? 0 : errno;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) *reason = std::strerror(error != 0 ? error : EIO);
  return ok;
}

// A "/" of a track name makes folders, as with the reference player; "." and ".." parts
// would leave the save's folder.
bool staysInFolder(const std::string& fileName) {
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(fileName.find('/', start), fileName.size());
    const std::string_view part(fileName.data() + start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == fileName.size()) return true;
    start = end + 1;
  }
}

}  // namespace

bool SyncTrackSet::save(const std::string& directory, size_t* written, std::string* error) const {
  namespace fs = std::filesystem;
  *written = 0;
  std::error_code code;
  fs::create_directories(directory, code);
  if (code) {
    *error = directory + ": " + code.message();
    return false;
  }
  const auto fail = [&](const SyncTrack& track, const fs::path& path, const std::string& reason) {
    *error = "track " + track.name() + ", " + path.string() + ": " + reason;
    return false;
  };
  // Every file is written whole under a temporary name first, and only when all are there
  // do they replace the old ones: a watcher (--dev) or a reader never sees half a track,
  // and a failed save leaves every file as it was.
  std::vector<fs::path> temporaries;
  const auto dropTemporaries = [&] {
    std::error_code ignored;
    for (const fs::path& temporary : temporaries) fs::remove(temporary, ignored);
  };
  for (const SyncTrack& track : tracks_) {
    const std::string name = trackFileName(track.name());
    const fs::path path = fs::path(directory) / name;
    if (!staysInFolder(name)) {
      dropTemporaries();
      return fail(track, path, "the name makes no file inside the folder");
    }
    if (track.keyCount() == 0) continue;
    fs::create_directories(path.parent_path(), code);
    std::string reason;
    const fs::path temporary = path.string() + ".part";
    temporaries.push_back(temporary);
    if (code) reason = code.message();
    if (!code && writeWhole(platform::utf8FromPath(temporary), trackFileBytes(track.keys()), &reason)) continue;
    dropTemporaries();
    return fail(track, path, reason);
  }
  size_t installed = 0;
  for (const SyncTrack& track : tracks_) {
    const fs::path path = fs::path(directory) / trackFileName(track.name());
    if (track.keyCount() != 0) {
      std::string reason;
      if (!platform::replaceFile(platform::utf8FromPath(path) + ".part", platform::utf8FromPath(path), &reason)) {
        dropTemporaries();
        return fail(track, path, reason);
      }
      ++installed;
    }
    // The file under the previous version's name goes too: it would be read as well.
    for (const fs::path& gone : {track.keyCount() == 0 ? path : fs::path(),
                                 fs::path(directory) / previousTrackFileName(track.name())}) {
      if (gone.empty()) continue;
      if (!fs::remove(gone, code) && code && code != std::errc::no_such_file_or_directory) {
        const std::string reason = code.message();
        dropTemporaries();
        return fail(track, gone, reason);
      }
    }
  }
  *written = installed;
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
  bool previous = false;
  if (!trackNameFromFileName(nameInSyncFolder(path), &name, &previous)) return false;
  const long track = syncTracks().find(name);
  if (track < 0 || !syncTracks().ownedByEditor(static_cast<size_t>(track))) return false;
  const std::vector<SyncKey> keys = syncTracks()[static_cast<size_t>(track)].keys();
  std::ifstream file(path, std::ios::binary);
  // A save removes the file of the previous name.
  if (!file) return keys.empty() || previous;
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
