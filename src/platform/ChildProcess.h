#pragma once
// A program started with a pipe to its standard input, which this process writes into: what a
// recording hands its frames to ffmpeg through. No shell is involved: the arguments reach the
// program as given, whatever characters they hold. On Windows the program is started without
// a console window of its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The full name of the program `name` ("ffmpeg"; on Windows ".exe" is added): the first in a
// folder of PATH, else the one beside this program; "" when there is none.
std::string findProgram(const std::string& name);

class ChildProcess {
 public:
  ChildProcess() = default;
  // finish(), its result unheard.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (a full name, as findProgram gives it) with `arguments` (not counting the
  // program's own name). Its output and error messages go into the file `log` (replacing it),
  // or where this process's go when `log` is "". False with the reason.
  bool start(const std::string& program, const std::vector<std::string>& arguments, const std::string& log,
             std::string* error);
  bool running() const { return started_; }

  // All `size` bytes into the pipe, waiting while it is full; false when the program no
  // longer reads (it ended or closed its input). Only one thread writes.
  bool write(const void* data, size_t size);

  struct End {
    bool succeeded = false;  // ended by itself with status 0
    std::string how;         // "exit status 1", "killed by signal 9", … ("" when never started)
  };
  // Closes the pipe and waits for the program to end.
  End finish();

 private:
  bool started_ = false;
  intptr_t process_ = -1;  // the process id, or the process's HANDLE
  intptr_t pipe_ = -1;     // the descriptor or HANDLE of the pipe's end written here
  void (*previousSigpipe_)(int) = nullptr;
};

}  // namespace platform
