// Makes the benchmark's photo folder from one or two real camera photos:
// N files of one size, each a copy of a photo with its own capture date (the
// 19 date characters patched in place), padded to the size with filler after
// the JPEG's end. The filler is like entropy-coded data: pseudo-random bytes
// in which every FF is followed by 00, so it holds no FF E1 pair. Of every 100
// files, 3 are no JPEG (an MP4-like file), 2 are JPEGs without any APP1 segment
// (padded too, so a reader that scans for one reads them to the end) and 1 has
// an Exif block without tag 36867; the others have dates, 20 photos a day.
//
// Usage: kelvane_make_corpus --photo JPEG [--photo-be JPEG] --files N
//                            (--size-mb MB | --size-kb KB) --out DIR
// A size below a photo's own cuts its copies to it, behind the Exif block.
// Writes DIR/photos/, DIR/expected.txt ("DATE/NAME" of every dated photo,
// sorted) and DIR/counts.txt ("key value" lines).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "kelvane_make_corpus: %s\n", message.c_str());
  std::exit(1);
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) die("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A camera photo, taken apart just enough to make its variants.
struct Photo {
  std::string path;
  Bytes bytes;
  bool intel = false;
  std::vector<std::size_t> dateTexts;  // file indices of 19-character date values
  std::size_t dateOriginalTag = 0;     // file index of tag 36867's number in its entry
  Bytes withoutApp1;                   // the photo with every APP1 segment left out
  std::size_t scanStart = 0;           // where its segments end and the image data begins
};

class Tiff {
 public:
  Tiff(const Bytes& bytes, std::size_t start, std::size_t length, const std::string& path)
      : bytes_(bytes), start_(start), length_(length), path_(path), intel_(bytes[start] == 'I') {}

  bool intel() const { return intel_; }
  std::size_t start() const { return start_; }

  std::uint32_t u16(std::size_t at) const {
    check(at, 2);
    const std::uint8_t* p = bytes_.data() + start_ + at;
    return intel_ ? std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 : std::uint32_t{p[0]} << 8 | p[1];
  }
  std::uint32_t u32(std::size_t at) const {
    check(at, 4);
    const std::uint8_t* p = bytes_.data() + start_ + at;
    return intel_ ? std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                        std::uint32_t{p[3]} << 24
                  : std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
  }
  // Entry index (TIFF-relative) of a tag in a directory.
  std::optional<std::size_t> entry(std::size_t directory, std::uint32_t tag) const {
    const std::uint32_t count = u16(directory);
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::size_t at = directory + 2 + 12 * std::size_t{k};
      if (u16(at) == tag) return at;
    }
    return std::nullopt;
  }

 private:
  void check(std::size_t at, std::size_t size) const {
    if (at > length_ || length_ - at < size) die(path_ + ": TIFF offset out of the Exif segment");
  }
  const Bytes& bytes_;
  std::size_t start_;
  std::size_t length_;
  std::string path_;
  bool intel_;
};

std::optional<std::size_t> firstPair(const Bytes& bytes, std::uint8_t first, std::uint8_t second) {
  for (std::size_t i = 2; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == first && bytes[i + 1] == second) return i;
  }
  return std::nullopt;
}

bool looksLikeDate(const Bytes& bytes, std::size_t at) {
  static constexpr char kPattern[] = "dddd:dd:dd dd:dd:dd";
  if (at + 19 > bytes.size()) return false;
  for (std::size_t k = 0; k < 19; ++k) {
    const bool digit = bytes[at + k] >= '0' && bytes[at + k] <= '9';
    if (kPattern[k] == 'd' ? !digit : bytes[at + k] != static_cast<std::uint8_t>(kPattern[k])) return false;
  }
  return true;
}

Photo loadPhoto(const std::string& path) {
  Photo photo;
  photo.path = path;
  photo.bytes = readFile(path);
  const Bytes& b = photo.bytes;
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) die(path + ": not a JPEG");

  // The segments up to the start of the scan; APP1 ones are left out of the
  // variant without Exif.
  std::optional<std::size_t> exifSegment;
  photo.withoutApp1 = {0xFF, 0xD8};
  std::size_t at = 2;
  while (true) {
    if (at + 4 > b.size() || b[at] != 0xFF) die(path + ": damaged segment structure");
    const std::uint8_t marker = b[at + 1];
    if (marker == 0xDA) break;
    const std::size_t length = std::size_t{b[at + 2]} << 8 | b[at + 3];
    if (length < 2 || at + 2 + length > b.size()) die(path + ": damaged segment length");
    if (marker == 0xE1) {
      if (!exifSegment && length >= 16 && std::memcmp(&b[at + 4], "Exif\0\0", 6) == 0) exifSegment = at;
    } else {
      photo.withoutApp1.insert(photo.withoutApp1.end(), b.begin() + static_cast<std::ptrdiff_t>(at),
                               b.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    }
    at += 2 + length;
  }
  photo.scanStart = at;
  photo.withoutApp1.insert(photo.withoutApp1.end(), b.begin() + static_cast<std::ptrdiff_t>(at), b.end());
  if (!exifSegment) die(path + ": no Exif segment");
  if (firstPair(b, 0xFF, 0xE1) != exifSegment) die(path + ": the first FF E1 pair is not its Exif segment");
  if (firstPair(photo.withoutApp1, 0xFF, 0xE1)) die(path + ": an FF E1 pair outside its APP1 segments");
  if (b[b.size() - 1] == 0xFF) die(path + ": ends in FF");

  const std::size_t segmentLength = std::size_t{b[*exifSegment + 2]} << 8 | b[*exifSegment + 3];
  const Tiff tiff(b, *exifSegment + 10, segmentLength - 8, path);
  photo.intel = tiff.intel();
  const std::size_t ifd0 = tiff.u32(4);
  auto addDate = [&](std::size_t directory, std::uint32_t tag) {
    const auto entry = tiff.entry(directory, tag);
    if (!entry) return;
    if (tiff.u16(*entry + 2) != 2 || tiff.u32(*entry + 4) < 20) die(path + ": unexpected date field");
    const std::size_t text = tiff.start() + tiff.u32(*entry + 8);
    if (!looksLikeDate(b, text)) die(path + ": date field without a date");
    photo.dateTexts.push_back(text);
  };
  addDate(ifd0, 306);
  const auto exifLink = tiff.entry(ifd0, 34665);
  if (!exifLink) die(path + ": no Exif directory");
  const std::size_t exifIfd = tiff.u32(*exifLink + 8);
  const auto original = tiff.entry(exifIfd, 36867);
  if (!original) die(path + ": no DateTimeOriginal");
  photo.dateOriginalTag = tiff.start() + *original;
  addDate(exifIfd, 36867);
  addDate(exifIfd, 36868);
  return photo;
}

// Pseudo-random filler shaped like entropy-coded data: every FF is followed by 00.
Bytes makeFiller(std::size_t size) {
  Bytes filler(size);
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (std::size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    filler[i] = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::size_t i = 0; i + 1 < size; ++i) {
    if (filler[i] == 0xFF) filler[++i] = 0x00;
  }
  return filler;
}

// "YYYY:MM:DD HH:MM:SS" for photo i: 20 photos a day from 2020-01-01.
std::string captureDate(std::size_t i) {
  using namespace std::chrono;
  const year_month_day day{sys_days{year{2020} / January / 1} + days{static_cast<int>(i / 20)}};
  const std::size_t minutes = 8 * 60 + (i % 20) * 17;
  char text[32];
  std::snprintf(text, sizeof text, "%04d:%02u:%02u %02zu:%02zu:%02zu", static_cast<int>(day.year()),
                static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()), minutes / 60,
                minutes % 60, (i * 7) % 60);
  return text;
}

void writeFile(const std::string& path, const Bytes& head, const Bytes& filler, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) die("cannot create " + path + ": " + std::strerror(errno));
  auto put = [&](const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
      const ssize_t done = ::write(fd, data, length);
      if (done < 0) {
        if (errno == EINTR) continue;
        die("cannot write " + path + ": " + std::strerror(errno));
      }
      data += done;
      length -= static_cast<std::size_t>(done);
    }
  };
  put(head.data(), std::min(head.size(), size));
  if (size > head.size()) put(filler.data(), size - head.size());
  if (::close(fd) != 0) die("cannot write " + path + ": " + std::strerror(errno));
}

enum class Kind { Dated, NotJpeg, NoExif, NoDate };

// Spread over each hundred so that even a few dozen files hold every kind.
Kind kindOf(std::size_t i) {
  switch (i % 100) {
    case 1:
    case 34:
    case 67: return Kind::NotJpeg;
    case 12:
    case 56: return Kind::NoExif;
    case 23: return Kind::NoDate;
    default: return Kind::Dated;
  }
}

// An MP4-like head: an ftyp box, then an mdat box holding the rest.
Bytes videoHead(std::size_t size) {
  static constexpr char kFtyp[] =
      "\0\0\0\x18"
      "ftypisom\0\0\x02\0isommp41"
      "\0\0\0\0mdat";
  Bytes head(kFtyp, kFtyp + sizeof kFtyp - 1);
  const auto mdat = static_cast<std::uint32_t>(std::max<std::size_t>(size, 32) - 24);
  for (std::size_t k = 0; k < 4; ++k) head[24 + k] = static_cast<std::uint8_t>(mdat >> (24 - 8 * k));
  return head;
}

}  // namespace

int main(int argc, char** argv) {
  std::string photoPath;
  std::string bigEndianPath;
  std::string out;
  std::size_t files = 0;
  double sizeMb = 0;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string option = argv[k];
    const std::string value = argv[k + 1];
    if (option == "--photo") {
      photoPath = value;
    } else if (option == "--photo-be") {
      bigEndianPath = value;
    } else if (option == "--files") {
      files = std::strtoul(value.c_str(), nullptr, 10);
    } else if (option == "--size-mb") {
      sizeMb = std::strtod(value.c_str(), nullptr);
    } else if (option == "--size-kb") {
      sizeMb = std::strtod(value.c_str(), nullptr) / 1024;
    } else if (option == "--out") {
      out = value;
    } else {
      die("unknown option " + option);
    }
  }
  if (photoPath.empty() || out.empty() || files == 0 || !(sizeMb > 0) || argc % 2 == 0) {
    std::fprintf(
        stderr,
        "usage: kelvane_make_corpus --photo JPEG [--photo-be JPEG] --files N (--size-mb MB | --size-kb KB) "
        "--out DIR\n");
    return 2;
  }
  const auto size = static_cast<std::size_t>(sizeMb * 1024 * 1024);

  std::vector<Photo> photos{loadPhoto(photoPath)};
  if (!bigEndianPath.empty()) photos.push_back(loadPhoto(bigEndianPath));
  for (const Photo& photo : photos) {
    if (size < photo.scanStart)
      die(photo.path + ": its segments do not fit in " + std::to_string(size) + " bytes");
  }
  const Bytes filler = makeFiller(size);

  const std::string folder = out + "/photos";
  if (::mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) die("cannot create " + out);
  if (::mkdir(folder.c_str(), 0755) != 0) die("cannot create " + folder + ": " + std::strerror(errno));

  std::vector<std::string> expected;
  std::size_t counts[4] = {};
  const std::size_t width = std::max<std::size_t>(5, std::to_string(files - 1).size());
  for (std::size_t i = 0; i < files; ++i) {
    const Kind kind = kindOf(i);
    ++counts[static_cast<int>(kind)];
    std::string number = std::to_string(i);
    number.insert(0, width - std::min(width, number.size()), '0');
    const std::string name = kind == Kind::NotJpeg ? "MVI_" + number + ".mp4" : "IMG_" + number + ".jpg";
    Bytes head;
    switch (kind) {
      case Kind::NotJpeg: head = videoHead(size); break;
      case Kind::NoExif: head = photos[0].withoutApp1; break;
      case Kind::NoDate: {
        // 36867 becomes 36866, a number no field has.
        const Photo& photo = photos[0];
        head = photo.bytes;
        head[photo.dateOriginalTag + (photo.intel ? 0 : 1)] = 0x02;
        break;
      }
      case Kind::Dated: {
        const Photo& photo = photos[i % 4 == 3 ? photos.size() - 1 : 0];
        head = photo.bytes;
        const std::string date = captureDate(i);
        for (std::size_t at : photo.dateTexts)
          std::copy(date.begin(), date.end(), head.begin() + static_cast<std::ptrdiff_t>(at));
        std::string folderName = date.substr(0, 10);
        std::replace(folderName.begin(), folderName.end(), ':', '-');
        expected.push_back(folderName + "/" + name);
        break;
      }
    }
    writeFile(folder + "/" + name, head, filler, size);
  }

  std::sort(expected.begin(), expected.end());
  std::ofstream list(out + "/expected.txt");
  for (const std::string& line : expected) list << line << '\n';
  std::ofstream summary(out + "/counts.txt");
  summary << "files " << files << "\nbytes_each " << size << "\ndated " << counts[0] << "\nnot_jpeg "
          << counts[1] << "\nno_exif " << counts[2] << "\nno_date " << counts[3] << "\njpeg "
          << files - counts[1] << '\n';
  if (!list || !summary) die("cannot write the lists in " + out);
  std::fprintf(
      stderr,
      "made %zu files of %zu bytes in %s (%zu dated, %zu not JPEG, %zu without Exif, %zu without date)\n",
      files, size, folder.c_str(), counts[0], counts[1], counts[2], counts[3]);
  return 0;
}
