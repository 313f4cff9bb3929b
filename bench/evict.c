/* Makes the files directly inside each FOLDER cold for the next run: drops
 * their pages from the page cache (posix_fadvise POSIX_FADV_DONTNEED, after
 * writing back any dirty ones) and then checks, page by page with mincore, that
 * none stayed. Prints "evicted: F files, P pages, R still resident" and exits
 * 1 when a page stayed, so that a benchmark never reports a warm run as cold.
 *
 * Usage: kelvane_evict FOLDER...
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static long pageSize;

/* Pages of the file still in the page cache. */
static size_t residentPages(int fd, size_t length) {
  if (length == 0) return 0;
  void* mapping = mmap(NULL, length, PROT_READ, MAP_SHARED, fd, 0);
  if (mapping == MAP_FAILED) return (size_t)-1;
  const size_t pages = (length + (size_t)pageSize - 1) / (size_t)pageSize;
  unsigned char* state = malloc(pages);
  size_t resident = 0;
  if (state != NULL && mincore(mapping, length, state) == 0) {
    for (size_t k = 0; k < pages; ++k) resident += state[k] & 1;
  } else {
    resident = (size_t)-1;
  }
  free(state);
  munmap(mapping, length);
  return resident;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: kelvane_evict FOLDER...\n");
    return 2;
  }
  pageSize = sysconf(_SC_PAGESIZE);
  size_t files = 0, pages = 0, stayed = 0;
  for (int k = 1; k < argc; ++k) {
    const int dir = open(argv[k], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = dir < 0 ? NULL : fdopendir(dir);
    if (listing == NULL) {
      perror(argv[k]);
      return 1;
    }
    const struct dirent* entry;
    while ((entry = readdir(listing)) != NULL) {
      const int fd = openat(dir, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      struct stat info;
      if (fd < 0) continue;
      if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        const size_t resident = residentPages(fd, (size_t)info.st_size);
        if (resident == (size_t)-1) {
          fprintf(stderr, "kelvane_evict: cannot check %s/%s\n", argv[k], entry->d_name);
          return 1;
        }
        ++files;
        pages += ((size_t)info.st_size + (size_t)pageSize - 1) / (size_t)pageSize;
        stayed += resident;
      }
      close(fd);
    }
    closedir(listing);
  }
  printf("evicted: %zu files, %zu pages, %zu still resident\n", files, pages, stayed);
  return stayed == 0 ? 0 : 1;
}
