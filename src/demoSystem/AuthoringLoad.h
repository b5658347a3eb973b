#pragma once
// Loading the demo's script for its author: every problem found, each at its script file and
// line, instead of the first one ending the process, and the data files the load asked for.
// This is what a check of a demo reports and what live reloading shows when a reload fails.

#include <string>
#include <vector>

#include "demoSystem/ScriptLoader.h"
#include "demoSystem/SyncTracks.h"

class EffectRegistry;
class EventList;

struct AuthoringLoad {
  std::vector<ScriptProblem> problems;  // in the order found, each once
  std::vector<std::string> filesRead;   // every data file the load asked for, found or not
  // What the demo would play without a word but its author wants to know (a sync track
  // file that drives nothing, a variable keyed by the script and a track file); they do
  // not make the load fail.
  std::vector<ScriptProblem> notes;
  // For the sync tracks (SyncTrackSet::adopt) once the demo is put in place.
  std::vector<TimelineKeyedVariable> keyed;
  std::vector<TrackFile> trackFiles;
  bool ok() const { return problems.empty(); }
};

// Loads `path` into `effects` and `events` with the timeline's script loader, as loadScript
// does, but collecting (see ScriptLoader::collect): script errors, effect types the registry
// does not know (when it reports through ScriptLoader::reportToCollectingLoad), fatal reports
// made while a statement runs, pictures that do not load, shaders that do not compile (at
// the shader's own file and line), sync track files that do not read, and what a run passes
// over in silence. What a TRIGGER's
// event will ask for when it fires is loaded at once: the vertex and fragment programs of
// codes 35 and 36, and any picture its text names.
//
// With problems, the demo-wide values the load set (start, end, beat, the time offset, the
// part times) are put back as they were, so that the demo already running keeps them.
AuthoringLoad loadScriptForAuthoring(const char* path, EffectRegistry& effects, EventList& events);

// Whether a text names a picture file the image loader reads (by its ending).
bool namesPicture(const std::string& text);
