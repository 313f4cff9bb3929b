#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace kelvane::testing {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

}  // namespace

// The outputs go to anonymous files, read once the child has ended: no pipe
// can fill up and block it.
ProcessResult runProgram(const std::vector<std::string>& args, const std::string& workingFolder,
                         std::chrono::milliseconds limit) {
  std::vector<std::string> words(args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view name(*variable, std::strcspn(*variable, "="));
    if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM")
      envp.push_back(*variable);
  }
  envp.push_back(nullptr);
  const int outputs[2] = {memfd_create("out", MFD_CLOEXEC), memfd_create("err", MFD_CLOEXEC)};
  if (outputs[0] < 0 || outputs[1] < 0) fail("memfd_create", errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outputs[0], 1);
  posix_spawn_file_actions_adddup2(&actions, outputs[1], 2);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  const Clock::time_point started = Clock::now();
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) fail("cannot start " + args.front(), error);
  int status = 0;
  for (bool killed = false;; usleep(200)) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) fail("waitpid", errno);
    if (!killed && Clock::now() >= started + limit) killed = kill(pid, SIGKILL) == 0;
  }
  const auto readAll = [](int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t got; (got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
      text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return text;
  };
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  ProcessResult result{readAll(outputs[0]), readAll(outputs[1]), -1, 0, seconds};
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.killedBySignal = WTERMSIG(status);
  return result;
}

}  // namespace kelvane::testing
