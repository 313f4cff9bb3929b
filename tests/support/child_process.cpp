#include "child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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

TemporaryFolder::TemporaryFolder() {
  std::string pattern = std::filesystem::temp_directory_path() / "kelvane-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp " + pattern, errno);
  path_ = pattern;
}

// Relative to each folder's descriptor, so that trees deeper than PATH_MAX,
// which std::filesystem cannot remove, go too.
void removeTree(int parent, const char* name) {
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    ::unlinkat(parent, name, 0);
    return;
  }
  DIR* const listing = ::fdopendir(fd);
  while (const dirent* entry = listing != nullptr ? ::readdir(listing) : nullptr) {
    const std::string_view child = entry->d_name;
    if (child != "." && child != "..") removeTree(fd, entry->d_name);
  }
  listing != nullptr ? ::closedir(listing) : ::close(fd);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

TemporaryFolder::~TemporaryFolder() { removeTree(AT_FDCWD, path_.c_str()); }

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();  // sets failbit on bytes for an empty file, which is no failure
  return std::move(bytes).str();
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::map<std::string, std::string> folderFiles(const std::string& top) {
  std::map<std::string, std::string> all;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
    all[entry.path().lexically_relative(top).string()] = entry.is_directory() ? "/" : readBytes(entry.path());
  }
  return all;
}

std::uint32_t propertySeed() {
  const char* text = std::getenv("KELVANE_SEED");
  return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 20240102u;
}

}  // namespace kelvane::testing
