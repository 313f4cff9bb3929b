#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace kelvane::testing {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

bool namesADisplay(std::string_view entry) {
  return entry.starts_with("DISPLAY=") || entry.starts_with("WAYLAND_DISPLAY=") ||
         entry.starts_with("QT_QPA_PLATFORM=");
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::string& workingFolder) {
  if (args.empty()) throw std::invalid_argument("no program to run");
  std::vector<std::string> words(args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (!namesADisplay(*variable)) envp.push_back(*variable);
  }
  envp.push_back(nullptr);

  // Close-on-exec everywhere, so that children started by other threads do
  // not hold these pipes open; dup2 onto 1 and 2 clears the flag there.
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) fail("pipe", errno);
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    const int error = errno;
    close(outPipe[0]);
    close(outPipe[1]);
    fail("pipe", error);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  started_ = Clock::now();
  const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (error != 0) {
    close(outFd_);
    close(errFd_);
    pid_ = -1;
    fail("cannot start " + args.front(), error);
  }
}

ChildProcess::~ChildProcess() {
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

ProcessResult ChildProcess::wait(std::chrono::milliseconds limit) { return collect(started_ + limit); }

ProcessResult ChildProcess::killAfter(std::chrono::microseconds delay) { return collect(started_ + delay); }

// Reads both pipes as data arrives (a child blocked on a full pipe would
// never end), kills the child at `killAt`, and reaps it once both are closed.
ProcessResult ChildProcess::collect(Clock::time_point killAt) {
  if (pid_ <= 0) throw std::logic_error("the child was already collected");
  ProcessResult result;
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  bool killed = false;
  int openPipes = 2;
  while (openPipes > 0) {
    int timeout = -1;
    if (!killed) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(killAt - Clock::now()).count();
      if (left <= 0) {
        kill(pid_, SIGKILL);
        killed = true;
      } else {
        timeout = static_cast<int>(left);
      }
    }
    const int ready = poll(fds, 2, timeout);
    if (ready < 0 && errno != EINTR) fail("poll", errno);
    if (ready <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --openPipes;
      }
    }
  }
  outFd_ = errFd_ = -1;
  // The pipes may close before a kill that is still due: honour the delay.
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, killed ? 0 : WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) fail("waitpid", errno);
    if (done == 0) {
      if (Clock::now() >= killAt) {
        kill(pid_, SIGKILL);
        killed = true;
      } else {
        usleep(200);
      }
    }
  }
  pid_ = -1;
  result.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.killedBySignal = WTERMSIG(status);
  return result;
}

TemporaryFolder::TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kelvane-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp " + pattern, errno);
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ProcessResult runProgram(const std::vector<std::string>& args, const std::string& workingFolder,
                         std::chrono::milliseconds limit) {
  return ChildProcess(args, workingFolder).wait(limit);
}

}  // namespace kelvane::testing
