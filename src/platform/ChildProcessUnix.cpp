#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/Files.h"

extern char** environ;

namespace platform {

namespace {

bool isExecutable(const std::string& file) {
  struct stat info;
  return stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(file.c_str(), X_OK) == 0;
}

}  // namespace

std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return isExecutable(name) ? name : "";
  const char* path = std::getenv("PATH");
  const std::string folders = path ? path : "";
  for (size_t at = 0; at <= folders.size();) {
    const size_t end = std::min(folders.find(':', at), folders.size());
    const std::string folder = end > at ? folders.substr(at, end - at) : ".";
    if (isExecutable(folder + "/" + name)) return folder + "/" + name;
    at = end + 1;
  }
  const std::filesystem::path beside = programFile().parent_path() / name;
  return !programFile().empty() && isExecutable(beside.string()) ? beside.string() : "";
}

ChildProcess::~ChildProcess() { finish(); }

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& log, std::string* error) {
  finish();
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copy: the child gets the read end as its input and
  // nothing else of this process's.
  posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
  if (!log.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int status = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[0]);
  if (status != 0) {
    ::close(ends[1]);
    if (error) *error = std::strerror(status);
    return false;
  }
  // A program that ends early must not end this process with it: writes into its closed
  // pipe fail with EPIPE instead of raising SIGPIPE.
  previousSigpipe_ = std::signal(SIGPIPE, SIG_IGN);
  process_ = pid;
  pipe_ = ends[1];
  started_ = true;
  return true;
}

bool ChildProcess::write(const void* data, size_t size) {
  if (!started_ || pipe_ < 0) return false;
  const auto* from = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(pipe_), from, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    from += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

ChildProcess::End ChildProcess::finish() {
  if (!started_) return {};
  ::close(static_cast<int>(pipe_));
  pipe_ = -1;
  int status = 0;
  while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
  }
  std::signal(SIGPIPE, previousSigpipe_);
  started_ = false;
  if (WIFEXITED(status)) return {WEXITSTATUS(status) == 0, "exit status " + std::to_string(WEXITSTATUS(status))};
  if (WIFSIGNALED(status)) return {false, "killed by signal " + std::to_string(WTERMSIG(status))};
  return {false, "status " + std::to_string(status)};
}

}  // namespace platform
