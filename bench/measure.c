/* Runs one command and prints what it cost, on one line:
 *   wall_s=... user_s=... sys_s=... maxrss_kb=... rchar=... wchar=... read_bytes=... status=...
 * wall from fork to exit (CLOCK_MONOTONIC); CPU and peak resident set from
 * wait4's rusage (ru_maxrss, the number `/usr/bin/time -v` shows as "Maximum
 * resident set size"); rchar/wchar/read_bytes from /proc/PID/io, read while the
 * exited child is still a zombie (waitid with WNOWAIT), so they hold the
 * child's whole life including the children it waited for. status is the exit
 * status, or 128 + signal number.
 *
 * Usage: kelvane_measure [-C DIR] [-o OUT] [-e ERR] [--] COMMAND [ARG...]
 *   -C DIR  run the command in DIR;  -o/-e  its standard output/error go to
 *   these files (default: /dev/null for output, inherited for errors).
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double seconds(const struct timeval* t) { return (double)t->tv_sec + (double)t->tv_usec / 1e6; }

static void redirect(const char* path, int target, int flags) {
  const int fd = open(path, flags, 0666);
  if (fd < 0 || dup2(fd, target) < 0) {
    fprintf(stderr, "kelvane_measure: %s: %s\n", path, strerror(errno));
    _exit(127);
  }
  close(fd);
}

/* One named number of /proc/PID/io, or -1 when it cannot be read. */
static long long ioField(const char* text, const char* name) {
  const size_t length = strlen(name);
  for (const char* line = text; line != NULL && *line != '\0';) {
    if (strncmp(line, name, length) == 0 && line[length] == ':') return atoll(line + length + 1);
    line = strchr(line, '\n');
    if (line != NULL) ++line;
  }
  return -1;
}

int main(int argc, char** argv) {
  const char* directory = NULL;
  const char* out = "/dev/null";
  const char* err = NULL;
  int k = 1;
  for (; k < argc; ++k) {
    if (strcmp(argv[k], "--") == 0) {
      ++k;
      break;
    }
    if (argv[k][0] != '-' || k + 1 >= argc) break;
    if (strcmp(argv[k], "-C") == 0) {
      directory = argv[++k];
    } else if (strcmp(argv[k], "-o") == 0) {
      out = argv[++k];
    } else if (strcmp(argv[k], "-e") == 0) {
      err = argv[++k];
    } else {
      break;
    }
  }
  if (k >= argc) {
    fprintf(stderr, "usage: kelvane_measure [-C DIR] [-o OUT] [-e ERR] [--] COMMAND [ARG...]\n");
    return 2;
  }

  struct timespec start;
  struct timespec end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid < 0) {
    perror("kelvane_measure: fork");
    return 2;
  }
  if (pid == 0) {
    if (directory != NULL && chdir(directory) != 0) {
      fprintf(stderr, "kelvane_measure: %s: %s\n", directory, strerror(errno));
      _exit(127);
    }
    redirect(out, STDOUT_FILENO, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    if (err != NULL) redirect(err, STDERR_FILENO, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    execvp(argv[k], argv + k);
    fprintf(stderr, "kelvane_measure: %s: %s\n", argv[k], strerror(errno));
    _exit(127);
  }

  siginfo_t info;
  memset(&info, 0, sizeof info);
  while (waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) {
      perror("kelvane_measure: waitid");
      return 2;
    }
  }
  clock_gettime(CLOCK_MONOTONIC, &end);

  char path[64];
  char text[1024] = "";
  snprintf(path, sizeof path, "/proc/%d/io", (int)pid);
  FILE* io = fopen(path, "r");
  if (io != NULL) {
    const size_t got = fread(text, 1, sizeof text - 1, io);
    text[got] = '\0';
    fclose(io);
  }

  int status = 0;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      perror("kelvane_measure: wait4");
      return 2;
    }
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  printf("wall_s=%.6f user_s=%.6f sys_s=%.6f maxrss_kb=%ld rchar=%lld wchar=%lld read_bytes=%lld status=%d\n",
         wall, seconds(&usage.ru_utime), seconds(&usage.ru_stime), usage.ru_maxrss, ioField(text, "rchar"),
         ioField(text, "wchar"), ioField(text, "read_bytes"), code);
  return 0;
}
