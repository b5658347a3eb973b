#pragma once
// What loading a demo could not use, for the authoring modes: the resources that failed to
// load, with where the problem is. A normal run listens to nothing; reporting is then one
// test. (The data files a load asked for are recorded by the archive: archive/FileRequests.h.)

#include <functional>
#include <string>

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

// While one lives, the listener hears nothing: for a lookup that may fail on purpose (a
// picture tried in a second folder first).
class MutedLoadProblems {
 public:
  MutedLoadProblems();
  ~MutedLoadProblems();
  MutedLoadProblems(const MutedLoadProblems&) = delete;
  MutedLoadProblems& operator=(const MutedLoadProblems&) = delete;

 private:
  LoadProblemListener saved;
};
