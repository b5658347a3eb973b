#pragma once
// What loading a demo touched and what it could not use, for the authoring modes: the data
// files it asked for (found or not: a file that is missing now is the one to wait for) and
// the resources that failed to load. A normal run records nothing; every call below is then
// one flag test.

#include <functional>
#include <string>
#include <vector>

// [SECTION] Files asked for

// While on, every data file request is recorded (from any thread).
void setFileRecording(bool on);
void recordFileRequest(const std::string& path);
// The paths recorded since the last call, sorted and distinct.
std::vector<std::string> takeRecordedFiles();

// The key under which two paths name the same data file, by the rule the archive matches
// names with: '\' and '/' alike, letters in one case, a leading "./" dropped.
std::string dataFileKey(const std::string& path);

// [SECTION] Resources that failed

// `file` and `line` name where the problem is when the reporter knows it (a shader's own
// line); an empty file means "the statement being loaded". `fatalFollows` says the same
// failure is about to be reported as fatal, so a listener that catches that report keeps
// this more precise account instead.
struct LoadProblem {
  std::string file;
  int line = 0;
  std::string message;
  bool fatalFollows = false;
};
using LoadProblemListener = std::function<void(const LoadProblem&)>;

// Installs the listener of the main thread's loads; an empty one switches reporting off.
void setLoadProblemListener(LoadProblemListener listener);
bool loadProblemsWatched();
void reportLoadProblem(const LoadProblem& problem);
