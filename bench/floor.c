/* The floor: the least work a sort run can do, for comparing Kelvane with.
 *
 * For every regular, non-hidden file directly inside each FOLDER (the names
 * taken whole first and sorted by their bytes, as Kelvane does, so that both
 * print the same log): open, read the first 64 KiB, look for FF D8 at 0 and the
 * first FF E1 pair from index 2; without one there, read on in 64 KiB blocks to
 * the end of the file (the same full scan Kelvane makes); close; check "Exif",
 * follow IFD0 -> tag 34665 -> Exif IFD -> tag 36867 in either byte order; make
 * the date folder name from its first 10 characters; stat it and mkdir it when
 * missing; renameat2(RENAME_NOREPLACE) into it; print Kelvane's log line.
 *
 * Only the date lookup is narrower than Kelvane's reader: the TIFF offsets
 * must lie inside the APP1 segment (true of every camera file), and no other
 * directory is read.
 *
 * Usage: kelvane_floor [--first-read BYTES] FOLDER...
 *   --first-read BYTES  the size of the first read of a file (default 65536,
 *                       at most that): 4096 is the tightest sequential floor on
 *                       cold media, where the kernel's read-ahead follows the
 *                       first read's size
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kBlock = 65536, kMaxSegment = 2 + 65535 };

static unsigned char block[kBlock];
static size_t firstRead = kBlock;
static unsigned char segment[kMaxSegment];

static void fail(const char* what, const char* name) {
  fprintf(stderr, "kelvane_floor: %s %s: %s\n", what, name, strerror(errno));
  exit(1);
}

/* Reads up to length bytes at offset; fewer only at the end of the file. */
static size_t readFull(int fd, unsigned char* out, size_t length, off_t offset) {
  size_t done = 0;
  while (done < length) {
    const ssize_t got = pread(fd, out + done, length - done, offset + (off_t)done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return done;
    }
    if (got == 0) break;
    done += (size_t)got;
  }
  return done;
}

/* The first FF E1 pair at index from or later inside data[0..length), or -1. */
static long findPair(const unsigned char* data, size_t length, size_t from) {
  size_t i = from;
  while (i + 1 < length) {
    const unsigned char* hit = memchr(data + i, 0xFF, length - 1 - i);
    if (hit == NULL) return -1;
    i = (size_t)(hit - data);
    if (data[i + 1] == 0xE1) return (long)i;
    ++i;
  }
  return -1;
}

/* The APP1 segment of the first FF E1 pair from index 2, into *out; its length
 * (0 when the file is no JPEG or has no such pair). */
static size_t readApp1(int fd, const unsigned char** out) {
  size_t asked = firstRead;
  size_t got = readFull(fd, block, asked, 0);
  if (got < 2 || block[0] != 0xFF || block[1] != 0xD8) return 0;
  off_t blockStart = 0;
  long found = findPair(block, got, 2);
  while (found < 0) {
    if (got < asked) return 0; /* end of file: the full scan found nothing */
    /* A pair may straddle two blocks: keep the last byte. */
    const unsigned char last = block[got - 1];
    blockStart += (off_t)got;
    asked = kBlock - 1;
    got = readFull(fd, block + 1, asked, blockStart);
    if (got == 0) return 0;
    block[0] = last;
    blockStart -= 1;
    got += 1;
    asked += 1;
    found = findPair(block, got, 0);
  }
  const size_t at = (size_t)found;
  if (at + 4 <= got) {
    const size_t length = 2 + (((size_t)block[at + 2] << 8) | block[at + 3]);
    if (at + length <= got) {
      *out = block + at;
      return length;
    }
  }
  /* The segment reaches past this block: read it whole from its start. */
  const size_t have = readFull(fd, segment, kMaxSegment, blockStart + (off_t)at);
  if (have < 4) return 0;
  const size_t length = 2 + (((size_t)segment[2] << 8) | segment[3]);
  *out = segment;
  return length < have ? length : have;
}

typedef struct {
  const unsigned char* data;
  size_t length;
  int intel;
} Tiff;

static int u16(const Tiff* t, size_t at, uint32_t* value) {
  if (at > t->length || t->length - at < 2) return 0;
  const unsigned char* p = t->data + at;
  *value = t->intel ? (uint32_t)(p[0] | p[1] << 8) : (uint32_t)(p[0] << 8 | p[1]);
  return 1;
}

static int u32(const Tiff* t, size_t at, uint32_t* value) {
  if (at > t->length || t->length - at < 4) return 0;
  const unsigned char* p = t->data + at;
  *value = t->intel ? (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24
                    : (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
  return 1;
}

/* Index of the directory entry with this tag, or 0 when absent or unreadable. */
static size_t findEntry(const Tiff* t, uint32_t directory, uint32_t tag) {
  uint32_t count = 0;
  if (!u16(t, directory, &count)) return 0;
  for (uint32_t k = 0; k < count; ++k) {
    const size_t entry = (size_t)directory + 2 + 12 * (size_t)k;
    uint32_t id = 0;
    if (!u16(t, entry, &id) || t->length - entry < 12) return 0;
    if (id == tag) return entry;
  }
  return 0;
}

enum Outcome { kInvalid, kNoDate, kDated };

/* The date folder name into name (at most 20 bytes and a NUL). */
static enum Outcome dateFolder(const unsigned char* app1, size_t length, char* name) {
  if (length < 18 || memcmp(app1 + 4, "Exif", 4) != 0) return kInvalid;
  Tiff t = {app1 + 10, length - 10, app1[10] == 'I'};
  uint32_t ifd0 = 0;
  uint32_t count = 0;
  if (!u32(&t, 4, &ifd0) || !u16(&t, ifd0, &count)) return kInvalid;
  const size_t exifLink = findEntry(&t, ifd0, 34665);
  uint32_t exifIfd = 0;
  if (exifLink == 0 || !u32(&t, exifLink + 8, &exifIfd)) return kNoDate;
  const size_t entry = findEntry(&t, exifIfd, 36867);
  if (entry == 0) return kNoDate;
  uint32_t valueCount = 0;
  if (!u32(&t, entry + 4, &valueCount) || valueCount == 0) return kNoDate;
  size_t at = entry + 8;
  if (valueCount > 4) {
    uint32_t offset = 0;
    if (!u32(&t, entry + 8, &offset)) return kNoDate;
    at = offset;
  }
  const size_t take = valueCount < 10 ? valueCount : 10;
  if (at > t.length || t.length - at < take) return kNoDate;
  /* ":" becomes "-", Latin-1 becomes UTF-8; a control character or "/" makes
   * no usable name, and neither do "." and "..". */
  size_t out = 0;
  for (size_t k = 0; k < take; ++k) {
    const unsigned char c = t.data[at + k];
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == '/') return kNoDate;
    if (c == ':') {
      name[out++] = '-';
    } else if (c < 0x80) {
      name[out++] = (char)c;
    } else {
      name[out++] = (char)(0xC0 | c >> 6);
      name[out++] = (char)(0x80 | (c & 0x3F));
    }
  }
  name[out] = '\0';
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return kNoDate;
  return kDated;
}

static int byBytes(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

static void sortFolder(const char* folder) {
  printf("Input Directory: %s\n", folder);
  const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) fail("cannot open", folder);
  DIR* listing = fdopendir(dup(dir));
  if (listing == NULL) fail("cannot list", folder);
  char** names = NULL;
  size_t count = 0;
  size_t capacity = 0;
  const struct dirent* entry;
  while ((entry = readdir(listing)) != NULL) {
    if (entry->d_name[0] == '.') continue;
    if (entry->d_type != DT_REG) {
      struct stat info;
      if (entry->d_type != DT_UNKNOWN || fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(info.st_mode))
        continue;
    }
    if (count == capacity) {
      capacity = capacity ? capacity * 2 : 256;
      names = realloc(names, capacity * sizeof *names);
      if (names == NULL) fail("out of memory", folder);
    }
    names[count] = strdup(entry->d_name);
    if (names[count] == NULL) fail("out of memory", folder);
    ++count;
  }
  closedir(listing);
  qsort(names, count, sizeof *names, byBytes);

  for (size_t k = 0; k < count; ++k) {
    const char* name = names[k];
    const int fd = openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) fail("cannot open", name);
    const unsigned char* app1 = NULL;
    const size_t length = readApp1(fd, &app1);
    char date[24];
    const enum Outcome outcome = length == 0 ? kInvalid : dateFolder(app1, length, date);
    close(fd);
    if (outcome == kInvalid) {
      printf("Invalid file: %s\n", name);
      continue;
    }
    if (outcome == kNoDate) {
      printf("No date found: %s\n", name);
      continue;
    }
    struct stat info;
    if (fstatat(dir, date, &info, 0) != 0 || !S_ISDIR(info.st_mode)) {
      printf("Creating Directory \"%s\"\n", date);
      if (mkdirat(dir, date, 0777) != 0) fail("cannot create", date);
    }
    printf("Moving \"%s\" to \"%s\"\n", name, date);
    char target[24 + NAME_MAX + 2];
    snprintf(target, sizeof target, "%s/%s", date, name);
    if (renameat2(dir, name, dir, target, RENAME_NOREPLACE) != 0) fail("cannot move", name);
  }
  for (size_t k = 0; k < count; ++k) free(names[k]);
  free(names);
  close(dir);
}

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 2 && strcmp(argv[1], "--first-read") == 0) {
    char* end = NULL;
    const unsigned long bytes = strtoul(argv[2], &end, 10);
    if (*end != '\0' || bytes < 2 || bytes > kBlock) {
      fprintf(stderr, "kelvane_floor: --first-read takes 2 to %d bytes\n", kBlock);
      return 2;
    }
    firstRead = bytes;
    first = 3;
  }
  if (first >= argc) {
    fprintf(stderr, "usage: kelvane_floor [--first-read BYTES] FOLDER...\n");
    return 2;
  }
  printf("Kelvane floor\n\n");
  for (int k = first; k < argc; ++k) sortFolder(argv[k]);
  printf("Finished\n");
  return fflush(stdout) == 0 ? 0 : 1;
}
