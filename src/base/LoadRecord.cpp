#include "base/LoadRecord.h"

#include <utility>

namespace {

LoadProblemListener& listener() {
  static LoadProblemListener current;
  return current;
}

}  // namespace

void setLoadProblemListener(LoadProblemListener newListener) { listener() = std::move(newListener); }

bool loadProblemsWatched() { return static_cast<bool>(listener()); }

void reportLoadProblem(const LoadProblem& problem) {
  if (listener()) listener()(problem);
}

MutedLoadProblems::MutedLoadProblems() : saved(std::move(listener())) { listener() = nullptr; }

MutedLoadProblems::~MutedLoadProblems() { listener() = std::move(saved); }
