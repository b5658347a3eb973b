#include "demoSystem/SyncTrack.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <iterator>

#include "demoSystem/DemoValues.h"

uint32_t syncRowMs = 0;

uint32_t syncRowLength() {
  const uint32_t length = syncRowMs != 0 ? syncRowMs : patternStepLength;
  return length != 0 ? length : 1;
}

// [SECTION] Interpolation

double interpolateKeys(const SyncKey& from, const SyncKey& to, double row) {
  const double a = from.value;
  const double b = to.value;
  if (from.interpolation == SyncInterpolation::Step || to.row <= from.row) return a;
  const double t = std::clamp((row - from.row) / (static_cast<double>(to.row) - from.row), 0.0, 1.0);
  double weight = t;
  switch (from.interpolation) {
    case SyncInterpolation::Linear: weight = t; break;
    case SyncInterpolation::Smooth: weight = t * t * (3 - 2 * t); break;
    case SyncInterpolation::Ramp: weight = t * t; break;
    case SyncInterpolation::Step: break;
  }
  return a + (b - a) * weight;
}

// [SECTION] The track

std::vector<SyncKey> SyncTrack::keys() const {
  std::vector<SyncKey> list;
  list.reserve(keys_.size());
  for (const auto& [row, key] : keys_) list.push_back({row, key.value, key.interpolation});
  return list;
}

void SyncTrack::assignKeys(const std::vector<SyncKey>& keys) {
  keys_.clear();
  for (const SyncKey& key : keys) keys_.insert_or_assign(key.row, Key{key.value, key.interpolation});
}

bool SyncTrack::setKey(const SyncKey& key) {
  auto at = keys_.find(key.row);
  if (at != keys_.end()) {
    at->second = {key.value, key.interpolation};
    return true;
  }
  if (keys_.size() >= kMaxKeys) return false;
  keys_.emplace(key.row, Key{key.value, key.interpolation});
  return true;
}

void SyncTrack::deleteKey(uint32_t row) { keys_.erase(row); }

double SyncTrack::valueAtRow(double row) const {
  if (keys_.empty()) return 0;
  const auto& first = *keys_.begin();
  const auto& last = *keys_.rbegin();
  if (row <= first.first) return first.second.value;
  if (row >= last.first) return last.second.value;
  // The first key past the row (rows are whole, so past floor(row)); the one before it holds
  // the interpolation.
  const auto next = keys_.upper_bound(static_cast<uint32_t>(row));
  const auto from = std::prev(next);
  return interpolateKeys({from->first, from->second.value, from->second.interpolation},
                         {next->first, next->second.value, next->second.interpolation}, row);
}

float SyncTrack::valueAt(uint32_t time) const {
  const double value = valueAtRow(static_cast<double>(time) / syncRowLength());
  return static_cast<float>(choiceScale_ != 0 ? value * choiceScale_ : value);
}

void SyncTrack::bind(Variable& variable) {
  variable.driver = this;
  choiceScale_ = variable.kind == Variable::kInteger && variable.choiceCount > 1 ? variable.choiceCount - 1 : 0;
}

// [SECTION] Track file names

namespace {

bool keptInFileName(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '/';
}

bool keptInPreviousFileName(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("_-.:#", c) != nullptr;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

constexpr std::string_view kTrackEnding = ".track";
// The last part of the reference player's base "data/sync/sync", and the "_" it puts after it.
constexpr std::string_view kTrackPrefix = "sync_";

bool startsWithAnyCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (size_t i = 0; i < start.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != start[i]) return false;
  return true;
}

std::string encodeName(std::string_view trackName, char escape, bool (*kept)(char)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (const char c : trackName) {
    if (c != '\0' && kept(c)) {
      name += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      name += escape;
      name += kHex[byte >> 4];
      name += kHex[byte & 15];
    }
  }
  return name;
}

// Decodes `stem` with `escape` before two hex digits; false at a bad escape, or (strict)
// at a byte the encoder would have escaped.
bool decodeName(std::string_view stem, char escape, bool strict, std::string* trackName) {
  std::string name;
  for (size_t i = 0; i < stem.size(); ++i) {
    if (stem[i] != escape) {
      if (strict && !keptInFileName(stem[i])) return false;
      name += stem[i];
      continue;
    }
    const int high = i + 2 < stem.size() ? hexDigit(stem[i + 1]) : -1;
    const int low = high >= 0 ? hexDigit(stem[i + 2]) : -1;
    if (low < 0) return false;
    name += static_cast<char>(high * 16 + low);
    i += 2;
  }
  *trackName = std::move(name);
  return true;
}

}  // namespace

std::string trackFileName(std::string_view trackName) {
  return std::string(kTrackPrefix) + encodeName(trackName, '-', keptInFileName) + std::string(kTrackEnding);
}

std::string previousTrackFileName(std::string_view trackName) {
  return encodeName(trackName, '%', keptInPreviousFileName) + std::string(kTrackEnding);
}

std::string trackFilePath(std::string_view trackName) {
  return std::string(kSyncFolder) + "/" + trackFileName(trackName);
}

bool trackNameFromFileName(std::string_view fileName, std::string* trackName, bool* previous) {
  if (fileName.size() <= kTrackEnding.size()) return false;
  // The archive matches names in any letter case, so the ending is taken in any case too.
  if (!startsWithAnyCase(fileName.substr(fileName.size() - kTrackEnding.size()), kTrackEnding)) return false;
  fileName.remove_suffix(kTrackEnding.size());
  // A name of the previous scheme holds the ":" of "INSTANCE:Variable" (or a %XX), which the
  // reference scheme never writes; one without either is read the reference's way when it can be.
  if (startsWithAnyCase(fileName, kTrackPrefix) &&
      decodeName(fileName.substr(kTrackPrefix.size()), '-', true, trackName)) {
    if (previous) *previous = false;
    return true;
  }
  if (previous) *previous = true;
  return decodeName(fileName, '%', false, trackName);
}

// [SECTION] Track file contents

namespace {

constexpr size_t kCountSize = 4;
constexpr size_t kKeySize = 9;

uint32_t readLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void appendLittle32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

}  // namespace

bool readTrackFile(const uint8_t* data, size_t size, std::vector<SyncKey>* keys, std::string* problem) {
  keys->clear();
  if (size < kCountSize) {
    *problem = "truncated: " + std::to_string(size) + " bytes, too short for the key count";
    return false;
  }
  const uint32_t count = readLittle32(data);
  const size_t room = (size - kCountSize) / kKeySize;
  if (count > room) {
    *problem = "truncated: " + std::to_string(count) + " keys, the file holds " + std::to_string(room);
    return false;
  }
  const size_t after = size - kCountSize - count * kKeySize;
  if (after != 0) {
    *problem = std::to_string(after) + " bytes after its " + std::to_string(count) + " keys";
    return false;
  }
  keys->reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = data + kCountSize + i * kKeySize;
    SyncKey key;
    key.row = readLittle32(record);
    const uint32_t bits = readLittle32(record + 4);
    std::memcpy(&key.value, &bits, sizeof key.value);
    const uint8_t interpolation = record[8];
    const std::string which = "key " + std::to_string(i + 1) + " (row " + std::to_string(key.row) + ")";
    if (!keys->empty() && key.row <= keys->back().row) {
      *problem = "rows out of order: " + which + " after row " + std::to_string(keys->back().row);
      keys->clear();
      return false;
    }
    if (interpolation >= kSyncInterpolationCount) {
      *problem = "unknown interpolation " + std::to_string(interpolation) + " at " + which;
      keys->clear();
      return false;
    }
    if (!std::isfinite(key.value)) {
      *problem = "a value that is not a number at " + which;
      keys->clear();
      return false;
    }
    key.interpolation = static_cast<SyncInterpolation>(interpolation);
    keys->push_back(key);
  }
  return true;
}

std::string trackFileBytes(const std::vector<SyncKey>& keys) {
  std::string out;
  out.reserve(kCountSize + keys.size() * kKeySize);
  appendLittle32(out, static_cast<uint32_t>(keys.size()));
  for (const SyncKey& key : keys) {
    appendLittle32(out, key.row);
    uint32_t bits = 0;
    std::memcpy(&bits, &key.value, sizeof bits);
    appendLittle32(out, bits);
    out += static_cast<char>(key.interpolation);
  }
  return out;
}
