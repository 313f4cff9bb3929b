// The all-media reader on crafted containers: each format's Exif block or
// movie date is found wherever its container may put it, and no damage (a
// file cut short anywhere, sizes that lie, counts in the billions) makes it
// fail, hang or read past what the file holds.
#include "media/media_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "iso_box_builder.h"
#include "memory_file_system.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane::media {
namespace {

using namespace kelvane::testing;
const std::string kDate = "2021:03:04 05:06:07";

Bytes little(std::uint32_t value) {
  return {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
          std::uint8_t(value >> 24)};
}
Bytes exifBlock(ByteOrder order = ByteOrder::Intel) { return tiffWithDate(kDate, order).bytes(); }

Bytes png(bool markFirst, bool afterImage) {
  const auto chunk = [](const std::string& type, const Bytes& data) {
    return big(data.size(), 4) + text(type) + data + big(0, 4);
  };
  const Bytes exif = chunk(
      "eXIf", (markFirst ? text(std::string("Exif\0\0", 6)) : Bytes{}) + exifBlock(ByteOrder::Motorola));
  const Bytes image = chunk("IDAT", Bytes(300, 7));
  return Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'} + chunk("IHDR", Bytes(13, 0)) +
         (afterImage ? image + exif : exif + image) + chunk("IEND", {});
}

Bytes webp() {
  const auto chunk = [](const std::string& type, Bytes data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    if (data.size() % 2 == 1) data.push_back(0);
    return text(type) + little(size) + data;
  };
  const Bytes body =
      text("WEBP") + chunk("VP8X", Bytes(10, 0)) + chunk("VP8 ", Bytes(31, 1)) + chunk("EXIF", exifBlock());
  return text("RIFF") + little(static_cast<std::uint32_t>(body.size())) + body;
}

// An HEIF file whose Exif item (id 2) lies in mdat (construction method 0)
// or in meta's idat box (1), behind a picture item (id 1).
Bytes heif(int method) {
  const Bytes item = big(6, 4) + text(std::string("Exif\0\0", 6)) + exifBlock();
  const auto infe = [](std::uint64_t id, const std::string& type) {
    return fullBox("infe", 2, big(id, 2) + big(0, 2) + text(type));
  };
  const Bytes iinf = fullBox("iinf", 0, big(2, 2) + infe(1, "hvc1") + infe(2, "Exif"));
  const Bytes ftyp = box("ftyp", text("heic") + big(0, 4) + text("mif1heic"));
  // iloc version 1: offset and length 4 bytes, base offset 0 bytes.
  const auto iloc = [&](std::uint32_t offset) {
    const auto entry = [](std::uint64_t id, std::uint64_t how, std::uint32_t at, std::uint32_t length) {
      return big(id, 2) + big(how, 2) + big(0, 2) + big(1, 2) + big(at, 4) + big(length, 4);
    };
    return fullBox(
        "iloc", 1,
        Bytes{0x44, 0x00} + big(2, 2) + entry(1, 0, 0, 1) +
            entry(2, static_cast<std::uint64_t>(method), offset, static_cast<std::uint32_t>(item.size())));
  };
  const std::size_t metaSize = 12 + iinf.size() + iloc(0).size() + (method == 1 ? 8 + item.size() : 0);
  const auto offset = static_cast<std::uint32_t>(method == 1 ? 0 : ftyp.size() + metaSize + 8);
  const Bytes meta = fullBox("meta", 0, iinf + iloc(offset) + (method == 1 ? box("idat", item) : Bytes{}));
  return ftyp + meta + (method == 0 ? box("mdat", item) : Bytes{});
}

// A movie: its header's creation time (seconds from 1904) and, in QuickTime's
// way, Apple's creation date key among others.
Bytes movie(std::uint64_t created, const std::string& appleDate) {
  const Bytes mvhd = movieHeader(created);
  Bytes meta;
  if (!appleDate.empty()) {
    const auto key = [](const std::string& name) {
      return big(name.size() + 8, 4) + text("mdta") + text(name);
    };
    const Bytes keys = fullBox(
        "keys", 0, big(2, 4) + key("com.apple.quicktime.make") + key("com.apple.quicktime.creationdate"));
    const auto value = [](std::uint64_t index, const std::string& v) {
      return big(v.size() + 24, 4) + big(index, 4) + box("data", big(1, 4) + big(0, 4) + text(v));
    };
    const Bytes ilst = box("ilst", value(1, "Apple") + value(2, appleDate));
    meta = box("meta", box("hdlr", Bytes(25, 0)) + keys + ilst);
  }
  return box("ftyp", text("qt  ") + big(0, 4) + text("qt  ")) + box("moov", mvhd + meta) +
         box("mdat", Bytes(64, 0));
}

std::uint32_t placeOfDate(const Bytes& file) {
  const Bytes date = text(kDate);
  return static_cast<std::uint32_t>(std::search(file.begin(), file.end(), date.begin(), date.end()) -
                                    file.begin());
}

// An MRW around a big-endian TIFF block, as Minolta cameras write it.
Bytes mrw(std::optional<std::uint32_t> tiffLength = {}) {
  return mrwWith(exifBlock(ByteOrder::Motorola), tiffLength);
}

struct Read {
  std::optional<MediaDate> date;
  std::string value() const {
    if (!date) return "(not mine)";
    if (const auto* s = std::get_if<std::string>(&date->value)) return *s;
    return "(no date)";
  }
};

Read read(const Bytes& file, bool videoUtc = false) {
  MemoryFileSystem files;
  files.add("/p/f", file);
  ScriptedMessageBoxes boxes(Answer::YesToAll);  // a damaged walk ends at once, as the box allows
  MediaReader reader(files, boxes, videoUtc);
  Read result{reader.captureDate("/p/f")};
  EXPECT_EQ(files.openFiles(), 0);
  return result;
}

Bytes tiffFile(const std::string& magic) {
  Bytes file = exifBlock(magic[0] == 'M' ? ByteOrder::Motorola : ByteOrder::Intel);
  std::copy(magic.begin(), magic.end(), file.begin());
  return file;
}

TEST(MediaReader, FindsTheExifBlockOfEveryContainer) {
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"TIFF, little-endian", tiffFile(std::string("II*\0", 4))},
      {"TIFF, big-endian", tiffFile(std::string("MM\0*", 4))},
      {"Panasonic RW2", tiffFile(std::string("IIU\0", 4))},
      {"Olympus ORF", tiffFile("IIRO")},
      {"PNG", png(false, false)},
      {"PNG, Exif mark, after the image", png(true, true)},
      {"WebP", webp()},
      {"HEIF, item in mdat", heif(0)},
      {"HEIF, item in idat", heif(1)},
      {"Canon CR3", canonRaw(kDate, movieTime(1'000'000'000))},
      {"Fujifilm RAF", rafWith(jpegWithDate(kDate))},
      {"Fujifilm RAF, big-endian Exif", rafWith(jpegWithDate(kDate, ByteOrder::Motorola))},
      {"Minolta MRW", mrw()},
  };
  for (const auto& [name, file] : files) EXPECT_EQ(read(file).value(), kDate) << name;
  // JPEGs and files of no known kind are left to the first release's reader.
  EXPECT_EQ(read(jpegWithDate(kDate)).value(), "(not mine)");
  EXPECT_EQ(read(text("plain text, no photo")).value(), "(not mine)");
}

// A raw file whose embedded part is damaged is still a raw file: it has no
// date, and what lies outside that part is never read for it.
TEST(MediaReader, ARawFileReadsItsEmbeddedPartWithinItsBounds) {
  const Bytes jpeg = jpegWithDate(kDate);
  const std::uint32_t jpegAt = placeOfDate(rafWith(jpeg)) - placeOfDate(jpeg);
  const Bytes tiff = exifBlock(ByteOrder::Motorola);
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"RAF, JPEG offset past the end", rafWith(jpeg, 0xFFFF'FF00)},
      {"RAF, JPEG running past the end", rafWith(jpeg, jpegAt, 0xFFFF'FFFF)},
      {"RAF, JPEG of length 0", rafWith(jpeg, jpegAt, 0)},
      {"RAF, JPEG without an Exif block", rafWith(JpegBuilder().soi().app0().padding(40).eoi().bytes())},
      {"RAF, not a JPEG", rafWith(tiff)},
      {"MRW, TIFF block running past the header", mrw(0x7FFF'FFFF)},
      {"MRW, TIFF block of length 0", mrw(0)},
  };
  for (const auto& [name, file] : files) EXPECT_EQ(read(file).value(), "(no date)") << name;
  // A part ending inside the date gives what a file ending there gives: the
  // bytes up to its end and the 0 a view holds at its end, none beyond.
  const std::string cutDate = kDate.substr(0, 5) + std::string(1, '\0');
  EXPECT_EQ(read(rafWith(jpeg, jpegAt, placeOfDate(jpeg) + 5)).value(), cutDate);
  EXPECT_EQ(read(mrw(placeOfDate(tiff) + 5)).value(), cutDate);
  EXPECT_EQ(read(Bytes(tiff.begin(), tiff.begin() + placeOfDate(tiff) + 5)).value(), cutDate);
  // The kind is told by the first bytes alone.
  EXPECT_EQ(read(text("FUJIFILMCCD-RAW")).value(), "(not mine)");
  EXPECT_EQ(read(text("FUJIFILMCCD-RAW ")).value(), "(no date)");
  EXPECT_EQ(read(text(std::string("\0MRM", 4))).value(), "(no date)");
}

class ZoneForTest {
 public:
  explicit ZoneForTest(const char* zone) {
    if (const char* now = std::getenv("TZ")) saved_ = now;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ZoneForTest() {
    if (saved_)
      ::setenv("TZ", saved_->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> saved_;
};

// A heap whose records all hold the same data, a heap of their own.
Bytes heapOfHeaps(const Bytes& inner, std::uint16_t records) {
  Bytes table{std::uint8_t(records), std::uint8_t(records >> 8)};
  for (int k = 0; k < records; ++k)
    table = table + Bytes{0x0b, 0x30} + little(std::uint32_t(inner.size())) + little(0);
  return inner + table + little(std::uint32_t(inner.size()));
}

// 2017-02-03 23:45:06 counted from 1970-01-01 00:00:00 on the camera's clock.
constexpr std::uint32_t kCrwSeconds = 1'486'165'506;

TEST(MediaReader, ACrwIsDatedByItsTimeStampOnTheCamerasClock) {
  const ZoneForTest newYork("EST5EDT,M3.2.0,M11.1.0");  // any conversion would show
  EXPECT_EQ(read(crwWith(kCrwSeconds)).value(), "2017:02:03 23:45:06");
  EXPECT_EQ(read(crwWith(0xFFFF'FFFF)).value(), "2106:02:07 06:28:15");

  Bytes nested = ciffHeap({{0x180e, little(kCrwSeconds)}});
  for (int depth = 0; depth < 10; ++depth) nested = ciffHeap({{0x300b, nested}});
  Bytes bomb = ciffHeap({{0x1810, Bytes(4, 0)}});
  for (int depth = 0; depth < 8; ++depth) bomb = heapOfHeaps(bomb, 60);
  const Bytes dated = crwWith(kCrwSeconds);
  const auto patched = [&](std::size_t at, std::uint32_t value) {
    Bytes damaged = dated;
    const Bytes field = little(value);
    std::copy(field.begin(), field.end(), damaged.begin() + static_cast<std::ptrdiff_t>(at));
    return damaged;
  };
  const std::vector<std::pair<std::string, Bytes>> undated = {
      {"time of 0, unknown", crwWith(std::uint32_t{0})},
      {"no time stamp", crwWith(ciffHeap({{0x0810, text("Kelvane")}}))},
      {"time stamp in the record itself", crwWith(ciffHeap({{0x580e, little(kCrwSeconds)}}))},
      {"time stamp of 3 bytes", crwWith(ciffHeap({{0x180e, Bytes(3, 0x11)}}))},
      {"heaps nested deeper than a camera's", crwWith(nested)},
      {"heaps pointing into each other", crwWith(bomb)},
      {"table offset past the heap", patched(dated.size() - 4, 0xFFFF'FFF0)},
      {"header length past the end", patched(2, 0xFFFF'FFF0)},
  };
  const auto started = std::chrono::steady_clock::now();
  for (const auto& [name, file] : undated) EXPECT_EQ(read(file).value(), "(no date)") << name;
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 1.0);
}

TEST(MediaReader, AMovieIsDatedByAppleKeyElseByItsHeaderInLocalTime) {
  const char* zone = std::getenv("TZ");
  const std::string saved = zone != nullptr ? zone : "";
  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  ::tzset();
  // 2021-07-05 02:30:00 UTC is still the 4th in New York.
  const std::uint64_t created = 2'082'844'800ull + 1'625'452'200ull;
  EXPECT_EQ(read(movie(created, "")).value(), "2021:07:04 22:30:00");
  EXPECT_EQ(read(movie(created, ""), true).value(), "2021:07:05 02:30:00");
  EXPECT_EQ(read(movie(created, "2021-07-06T23:30:00+0900")).value(), "2021-07-06T23:30:00+0900");
  EXPECT_EQ(read(movie(0, "")).value(), "(no date)");  // unknown
  if (zone != nullptr)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

// 2021-07-05 02:30:00 UTC, the movie header's time in the tests below.
const std::uint64_t kCreated = movieTime(1'625'452'200);
const std::string kCreatedUtc = "2021:07:05 02:30:00";

Bytes replaced(Bytes file, const std::string& from, const std::string& to) {
  const Bytes pattern = text(from);
  const auto at = std::search(file.begin(), file.end(), pattern.begin(), pattern.end());
  EXPECT_NE(at, file.end()) << from;
  if (at != file.end()) std::ranges::copy(text(to), at);
  return file;
}

// The movie header keeps UTC and a camera far from this machine's zone lands
// a day off there; the Exif block of a CR3 holds the camera's own time.
TEST(MediaReader, ACanonRawIsDatedByItsExifBeforeItsMovieHeader) {
  const Bytes cr3 = canonRaw(kDate, kCreated);
  EXPECT_EQ(read(cr3, true).value(), kDate);
  EXPECT_EQ(read(replaced(cr3, "CMT2", "CMTX"), true).value(), kCreatedUtc);  // IFD0 holds no date
  EXPECT_EQ(read(replaced(cr3, "\x85\xc0\xb6\x87", "\x85\xc0\xb6\x88"), true).value(), kCreatedUtc);
}

TEST(MediaReader, AQuickTimeFileMayBeginWithoutFtyp) {
  const Bytes moov = box("moov", movieHeader(kCreated));
  for (const char* first : {"mdat", "wide", "free", "skip", "pnot", "PICT", "junk"}) {
    EXPECT_EQ(read(box(first, Bytes(4, 0)) + moov, true).value(), kCreatedUtc) << first;
  }
  EXPECT_EQ(read(moov + box("mdat", Bytes(4, 0)), true).value(), kCreatedUtc);
  EXPECT_EQ(read(uuidBox("00112233-4455-6677-8899-aabbccddeeff", {}) + moov, true).value(), kCreatedUtc);
  EXPECT_EQ(read(big(1, 4) + text("wide") + big(16, 8) + moov, true).value(), kCreatedUtc);  // 64-bit size
  EXPECT_EQ(read(big(0, 4) + text("mdat") + moov).value(), "(no date)");  // mdat to the end hides moov
  // A size no box can have, or a type no movie begins with: not a movie.
  EXPECT_EQ(read(big(4, 4) + text("wide") + moov).value(), "(not mine)");
  EXPECT_EQ(read(big(1, 4) + text("wide") + big(15, 8) + moov).value(), "(not mine)");
  EXPECT_EQ(read(box("trak", Bytes(4, 0)) + moov).value(), "(not mine)");
}

// XMP dates are local times: they come after the Exif block and Apple's key,
// before the movie header.
TEST(MediaReader, AMovieIsDatedByItsXmpPacketBeforeItsMovieHeader) {
  const std::string local = "2021-05-12T12:21:21+02:00";
  const auto packet = [&](const char* property, bool asElement) {
    return xmpPacket(property, local, asElement);
  };
  const Bytes ftyp = box("ftyp", text("isom") + big(0, 4) + text("isommp41"));
  const Bytes mvhd = movieHeader(kCreated);
  const std::vector<std::pair<std::string, Bytes>> dated = {
      {"top-level uuid, attribute",
       ftyp + box("moov", mvhd) + uuidBox(kXmpUserType, packet("xmp:CreateDate", false))},
      {"uuid in moov, element",
       ftyp + box("moov", mvhd + uuidBox(kXmpUserType, packet("xmp:CreateDate", true)))},
      {"moov/udta/XMP_, photoshop",
       ftyp + box("moov", mvhd + box("udta", box("XMP_", packet("photoshop:DateCreated", false))))},
      {"QuickTime without ftyp",
       box("wide", {}) + box("moov", mvhd + box("udta", box("XMP_", packet("xmp:CreateDate", true))))},
  };
  for (const auto& [name, file] : dated) EXPECT_EQ(read(file, true).value(), local) << name;

  const std::vector<std::pair<std::string, Bytes>> others = {
      {"not a date",
       ftyp + box("moov", mvhd) + uuidBox(kXmpUserType, xmpPacket("xmp:CreateDate", "2021", false))},
      {"another property", ftyp + box("moov", mvhd) + uuidBox(kXmpUserType, packet("xmp:ModifyDate", false))},
      {"another user type",
       ftyp + box("moov", mvhd) +
           uuidBox("00112233-4455-6677-8899-aabbccddeeff", packet("xmp:CreateDate", false))},
      {"beyond the bytes looked at",
       ftyp + box("moov", mvhd) +
           uuidBox(kXmpUserType, Bytes(1 << 20, ' ') + packet("xmp:CreateDate", false))},
  };
  for (const auto& [name, file] : others) EXPECT_EQ(read(file, true).value(), kCreatedUtc) << name;

  const Bytes apple = movie(kCreated, "2021-07-06T23:30:00+0900");
  EXPECT_EQ(read(apple + uuidBox(kXmpUserType, packet("xmp:CreateDate", false))).value(),
            "2021-07-06T23:30:00+0900");
  EXPECT_EQ(read(canonRaw(kDate, kCreated) + uuidBox(kXmpUserType, packet("xmp:CreateDate", false))).value(),
            kDate);
}

// Cut short anywhere, or with its sizes and counts made huge, a file gives a
// date or none, at once.
TEST(MediaReader, DamageNeverHangsNorEscapes) {
  const Bytes moov =
      box("moov",
          movieHeader(kCreated) + box("udta", box("XMP_", xmpPacket("xmp:CreateDate", "2021-05-12", true))));
  const std::vector<Bytes> files = {
      png(true, true),
      webp(),
      heif(0),
      heif(1),
      movie(3'700'000'000ull, "2021-07-06T23:30:00+0900"),
      canonRaw(kDate, kCreated),
      rafWith(jpegWithDate(kDate)),
      mrw(),
      crwWith(kCrwSeconds),
      box("wide", {}) + moov +
          uuidBox(kXmpUserType, xmpPacket("photoshop:DateCreated", "2021-05-12", false))};
  const auto started = std::chrono::steady_clock::now();
  for (const Bytes& whole : files) {
    for (std::size_t length = 0; length < whole.size(); ++length) {
      read(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    }
    for (std::size_t at = 0; at + 4 <= whole.size(); ++at) {
      for (const std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
        Bytes damaged = whole;
        std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 4, fill);
        read(damaged);
      }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LT(seconds, 20.0);
}

}  // namespace
}  // namespace kelvane::media
