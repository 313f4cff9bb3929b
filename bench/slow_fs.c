/* A slow device for the cold benchmarks: a FUSE file system that shows the
 * folder SOURCE at MOUNTPOINT and answers every read of file contents only
 * after a fixed delay, as a camera card, a USB disk or a network share would.
 * Reads are served by many threads at once, so a program that keeps several
 * requests in flight waits about one delay for all of them; a program that
 * reads one file after the other waits once a request.
 *
 * Usage: kelvane_slow_fs [--delay-us MICROSECONDS] SOURCE MOUNTPOINT
 *   --delay-us  the delay of every read (default 2000)
 * It stays in the foreground until the mount point is unmounted
 * (fusermount3 -u MOUNTPOINT). Only what a sort run does is served: listing,
 * looking up, reading, making folders and renaming (RENAME_NOREPLACE too).
 */
#define FUSE_USE_VERSION 312
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int root = -1;
static long delayUs = 2000;

/* FUSE paths begin with "/"; the source folder's own is ".". */
static const char* relative(const char* path) { return path[1] == '\0' ? "." : path + 1; }

static int slowGetattr(const char* path, struct stat* info, struct fuse_file_info* file) {
  const int done =
      file != NULL ? fstat((int)file->fh, info) : fstatat(root, relative(path), info, AT_SYMLINK_NOFOLLOW);
  return done == 0 ? 0 : -errno;
}

static int slowReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                       struct fuse_file_info* file, enum fuse_readdir_flags flags) {
  (void)offset;
  (void)file;
  (void)flags;
  const int fd = openat(root, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  DIR* listing = fdopendir(fd);
  if (listing == NULL) {
    const int error = errno;
    close(fd);
    return -error;
  }
  const struct dirent* entry;
  while ((entry = readdir(listing)) != NULL) {
    struct stat info = {.st_ino = entry->d_ino, .st_mode = (mode_t)(DTTOIF(entry->d_type))};
    if (fill(buffer, entry->d_name, &info, 0, 0) != 0) break;
  }
  closedir(listing);
  return 0;
}

static int slowOpen(const char* path, struct fuse_file_info* file) {
  const int fd = openat(root, relative(path), (file->flags & ~O_CREAT) | O_CLOEXEC);
  if (fd < 0) return -errno;
  file->fh = (uint64_t)fd;
  /* As a disk's file system does: pages read through one open serve the next
   * (FUSE drops them at every open otherwise). */
  file->keep_cache = 1;
  return 0;
}

static int slowRead(const char* path, char* out, size_t size, off_t offset, struct fuse_file_info* file) {
  (void)path;
  const struct timespec delay = {delayUs / 1000000, (delayUs % 1000000) * 1000};
  nanosleep(&delay, NULL);
  const ssize_t got = pread((int)file->fh, out, size, offset);
  return got >= 0 ? (int)got : -errno;
}

static int slowRelease(const char* path, struct fuse_file_info* file) {
  (void)path;
  close((int)file->fh);
  return 0;
}

static int slowMkdir(const char* path, mode_t mode) {
  return mkdirat(root, relative(path), mode) == 0 ? 0 : -errno;
}

static int slowRename(const char* from, const char* to, unsigned int flags) {
  return renameat2(root, relative(from), root, relative(to), flags) == 0 ? 0 : -errno;
}

static int slowReadlink(const char* path, char* out, size_t size) {
  const ssize_t length = readlinkat(root, relative(path), out, size - 1);
  if (length < 0) return -errno;
  out[length] = '\0';
  return 0;
}

static void* slowInit(struct fuse_conn_info* connection, struct fuse_config* config) {
  /* The kernel's read-ahead requests are background ones: let many wait. */
  connection->max_background = 64;
  connection->congestion_threshold = 48;
  config->use_ino = 1;
  /* Names and attributes stay known, as a disk's file system keeps them in
   * memory: only the contents are slow. */
  config->entry_timeout = 3600;
  config->attr_timeout = 3600;
  config->negative_timeout = 3600;
  return NULL;
}

static const struct fuse_operations operations = {
    .getattr = slowGetattr,
    .readlink = slowReadlink,
    .mkdir = slowMkdir,
    .rename = slowRename,
    .open = slowOpen,
    .read = slowRead,
    .release = slowRelease,
    .readdir = slowReaddir,
    .init = slowInit,
};

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 2 && strcmp(argv[1], "--delay-us") == 0) {
    delayUs = strtol(argv[2], NULL, 10);
    first = 3;
  }
  if (argc - first != 2 || delayUs < 0) {
    fprintf(stderr, "usage: kelvane_slow_fs [--delay-us MICROSECONDS] SOURCE MOUNTPOINT\n");
    return 2;
  }
  root = open(argv[first], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    perror(argv[first]);
    return 1;
  }
  char* fuseArguments[] = {argv[0], NULL};
  struct fuse_args arguments = FUSE_ARGS_INIT(1, fuseArguments);
  struct fuse* fuse = fuse_new(&arguments, &operations, sizeof operations, NULL);
  if (fuse == NULL || fuse_mount(fuse, argv[first + 1]) != 0) return 1;
  struct fuse_session* session = fuse_get_session(fuse);
  fuse_set_signal_handlers(session);
  /* Enough threads that every request a program keeps in flight waits at once. */
  struct fuse_loop_config* config = fuse_loop_cfg_create();
  fuse_loop_cfg_set_max_threads(config, 64);
  fuse_loop_cfg_set_idle_threads(config, 64);
  const int result = fuse_loop_mt(fuse, config);
  fuse_loop_cfg_destroy(config);
  fuse_remove_signal_handlers(session);
  fuse_unmount(fuse);
  fuse_destroy(fuse);
  return result == 0 ? 0 : 1;
}
