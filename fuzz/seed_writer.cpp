// Writes the seed corpus of every fuzz target: the kinds of file the tests
// build (well-formed and damaged TIFF blocks in both byte orders), path lists
// and date texts, and folders for whole sort runs made of both, plus any
// photos named on the command line.
//
//   kelvane_fuzz_seeds OUT [PHOTO...]
//
// writes OUT/load, OUT/path_list, OUT/date_folder and OUT/sort_run.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "iso_box_builder.h"
#include "tiff_builder.h"

namespace {

using namespace kelvane::testing;
using Named = std::vector<std::pair<std::string, Bytes>>;
namespace fs = std::filesystem;

const char kDate[] = "2021:03:04 05:06:07";

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A JPEG whose Exif block is the TIFF block, TIFF header at index 12.
Bytes jpegOf(const TiffBuilder& tiff) { return JpegBuilder().soi().exif(tiff).padding(32).eoi().bytes(); }

// A chain of one-entry directories at 8 + 18k; `exif` and `link` name
// directories by number, -1 none.
Bytes chain(ByteOrder order, const std::vector<std::array<int, 3>>& dirs) {
  TiffBuilder tiff(order);
  const auto at = [](int k) { return k < 0 ? 0u : 8 + 18 * static_cast<std::uint32_t>(k); };
  for (const auto& [tag, exif, link] : dirs) {
    const auto id = static_cast<std::uint16_t>(tag);
    const Field field = tag == 34665 ? tiff.number(at(exif)) : tiff.shorts(7, 0);
    tiff.directory({{id, tag == 34665 ? kLong : kShort, 1, field}}, at(link));
  }
  return jpegOf(tiff);
}

// One directory holding an entry of every type, values inline and behind it.
Bytes everyType(ByteOrder order) {
  TiffBuilder tiff(order);
  struct Outside {
    std::uint16_t type;
    std::uint32_t count;
    Bytes bytes;
  };
  const std::vector<Outside> outside = {
      {kShort, 3, {1, 2, 3, 4, 5, 6}},       {kRational, 1, {51, 0, 0, 0, 0, 0, 0, 1}},
      {kByte, 5, {1, 20, 255, 0, 7}},        {kAscii, 100, bytesOf(std::string(100, 'A'))},
      {kSLong, 2, {1, 2, 3, 4, 5, 6, 7, 8}}, {kSRational, 1, {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 3}},
  };
  const std::uint16_t inlineTypes[] = {kByte, kSByte, kAscii, kUndefined, kShort, kSShort,
                                       kLong, kSLong, kFloat, kDouble,    0,      13};
  std::vector<DirectoryEntry> entries;
  std::uint32_t offset =
      static_cast<std::uint32_t>(8 + 2 + 12 * (std::size(inlineTypes) + outside.size()) + 4);
  std::uint16_t tag = 1;
  for (const std::uint16_t type : inlineTypes) {
    entries.push_back({tag++, type, 1, TiffBuilder::raw(1, 0xAB, 0, 'x')});
  }
  for (const Outside& value : outside) {
    entries.push_back({tag++, value.type, value.count, tiff.number(offset)});
    offset += static_cast<std::uint32_t>(value.bytes.size());
  }
  tiff.directory(entries);
  for (const Outside& value : outside) tiff.append(value.bytes);
  return jpegOf(tiff);
}

// IFD0 names the Exif directory, which holds the date as a text.
Bytes dated(ByteOrder order, const Bytes& date) {
  TiffBuilder tiff(order);
  tiff.directory({{34665, kLong, 1, tiff.number(26)}});
  tiff.directory({{36867, kAscii, static_cast<std::uint32_t>(date.size()), tiff.number(44)}});
  tiff.append(date);
  return jpegOf(tiff);
}

// The same with the date a LONG held in the entry itself.
Bytes datedNumber(ByteOrder order, std::uint32_t number) {
  TiffBuilder tiff(order);
  tiff.directory({{34665, kLong, 1, tiff.number(26)}});
  tiff.directory({{36867, kLong, 1, tiff.number(number)}});
  return jpegOf(tiff);
}

Named loadSeeds() {
  Named seeds;
  for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
    const std::string o = order == ByteOrder::Intel ? "ii-" : "mm-";
    seeds.push_back({o + "dated", jpegWithDate(kDate, order)});
    seeds.push_back(
        {o + "chain-exif-once", chain(order, {{34665, 2, 1}, {200, -1, 3}, {300, -1, -1}, {900, -1, -1}})});
    seeds.push_back({o + "chain-loop", chain(order, {{34665, 2, 1}, {200, -1, 0}, {500, -1, 0}})});
    seeds.push_back({o + "chain-self", chain(order, {{34665, 2, 1}, {200, -1, 1}, {500, -1, -1}})});
    seeds.push_back({o + "link-past-end", chain(order, {{34665, 1, 200}, {500, -1, -1}})});
    seeds.push_back({o + "every-type", everyType(order)});
    seeds.push_back({o + "date-as-long", datedNumber(order, 20210304)});
    seeds.push_back({o + "date-hidden", dated(order, bytesOf(std::string(".021:03:04 00:00:00") + '\0'))});
    seeds.push_back({o + "date-slash", dated(order, bytesOf(std::string("20/1:03:04 00:00:00") + '\0'))});
    seeds.push_back({o + "date-latin1", dated(order, {'2', 0xE9, 0x7F, 0x85, ':', '0', '3', 0})});
    TiffBuilder huge(order);
    huge.directory({{100, kShort, 5'000'000, huge.number(26)}, {270, kAscii, 5, huge.number(38)}});
    seeds.push_back({o + "short-count-past-end", jpegOf(huge)});
    TiffBuilder overflowing(order);
    overflowing.directory({{100, kShort, 0x7FFFFFFF, overflowing.shorts(5, 4)}});
    seeds.push_back({o + "count-overflow", jpegOf(overflowing)});
  }
  // Headers: the IFD0 offset past the end, overflowing, negative; no FF E1;
  // another APP1 in front; an Exif identifier in lower case.
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{274, kShort, 1, tiff.shorts(6, 0)}});
  const std::vector<std::pair<std::string, Bytes>> offsets = {
      {"past-end", {'I', 'I', 42, 0, 0, 0x10, 0, 0}},
      {"overflow", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F}},
      {"minus-13", {'I', 'I', 42, 0, 0xF3, 0xFF, 0xFF, 0xFF}},
      {"mm-first-byte-80", {'M', 'M', 0, 42, 0x80, 0, 0, 0}}};
  for (const auto& [what, header] : offsets) {
    TiffBuilder patched = tiff;
    for (std::size_t k = 0; k < header.size(); ++k) patched.patchByte(k, header[k]);
    seeds.push_back({"header-" + what, jpegOf(patched)});
  }
  seeds.push_back({"no-ff-e1", JpegBuilder().soi().app0().padding(100, 0xFF).eoi().bytes()});
  seeds.push_back(
      {"xmp-first", JpegBuilder().soi().app1("http://ns.adobe.com/xap/1.0/", {0}).exif(tiff).bytes()});
  seeds.push_back(
      {"lower-case-exif", JpegBuilder().soi().app1(std::string("exif\0\0", 6), tiff.bytes()).bytes()});
  // Three overlapping directories of 65535 entries, the record budget's test
  // file; cut to 64 KiB by -max_len, entries past the end.
  TiffBuilder budget(ByteOrder::Intel);
  const std::size_t firstLink = 8 + 2 + 12 * 65535;
  budget.append(Bytes(firstLink + 12 - budget.size(), 0xFF));
  budget.patch32(firstLink, 12);
  budget.patch32(firstLink + 4, 16);
  seeds.push_back({"record-budget", JpegBuilder().soi().exif(budget).bytes()});
  // ISO base media layouts: a CR3 (Exif date and movie header a day apart), a
  // QuickTime file without ftyp, movies with XMP packets in each place.
  const std::string local = "2021-05-12T12:21:21+02:00";
  const Bytes mvhd = movieHeader(movieTime(1'647'000'000));
  seeds.push_back({"cr3", canonRaw(kDate, movieTime(1'647'000'000))});
  seeds.push_back({"quicktime-no-ftyp", box("wide", {}) + box("mdat", Bytes(16, 0)) + box("moov", mvhd)});
  seeds.push_back({"movie-xmp-uuid", box("ftyp", bytesOf("isom")) + box("moov", mvhd) +
                                         uuidBox(kXmpUserType, xmpPacket("xmp:CreateDate", local, false))});
  seeds.push_back(
      {"movie-xmp-udta",
       box("moov", mvhd + box("udta", box("XMP_", xmpPacket("photoshop:DateCreated", local, true))))});
  // A dated file cut short, from inside its header to inside its date.
  const Bytes whole = jpegWithDate(kDate);
  for (const std::size_t length : std::vector<std::size_t>{2, 12, 21, 40, 60, 80}) {
    seeds.push_back({"cut-" + std::to_string(length), Bytes(whole.begin(), whole.begin() + long(length))});
  }
  // Raw files that wrap a JPEG or a TIFF block: the all-media reader's.
  seeds.push_back({"raf", rafWith(whole)});
  seeds.push_back({"mrw", mrwWith(tiffWithDate(kDate, ByteOrder::Motorola).bytes())});
  seeds.push_back({"crw", crwWith(1'614'834'367)});  // kDate on the camera's clock
  return seeds;
}

Named pathListSeeds() {
  const std::vector<std::string> lists = {"",
                                          "  /a b  ",
                                          "\"/a b\"",
                                          "\"/a\"    \"/c\"   \"/d\"  ",
                                          "\"\" \"/c\" \"\"",
                                          "\"/a\"\"/c\"",
                                          "\"/a\" /c d",
                                          "  /x y  \"/a\"",
                                          "\"",
                                          "\"/a\" \"/b c ",
                                          "/x \"/a"};
  Named seeds;
  for (std::size_t k = 0; k < lists.size(); ++k)
    seeds.push_back({"list-" + std::to_string(k), bytesOf(lists[k])});
  return seeds;
}

Named dateFolderSeeds() {
  const std::vector<std::string> values = {"T2021:03:04 05:06:07",
                                           "T.021:03:04",
                                           "T20/1:03:04",
                                           "T2021:03\x01"
                                           "04",
                                           "T2\xe9\x7f\x85:03:04",
                                           "T",
                                           "E",
                                           std::string("L\x12\x34\x56\x78", 5),
                                           std::string("L\xff\xff\xff\xff", 5)};
  Named seeds;
  for (std::size_t k = 0; k < values.size(); ++k)
    seeds.push_back({"value-" + std::to_string(k), bytesOf(values[k])});
  return seeds;
}

// Pieces of one folder as the sort-run target splits its input, after the
// lines that pick the all-media mode and what a taken name does, if any.
Bytes folderOf(const Named& files, const std::string& onCollision = "", bool allMedia = false) {
  Bytes input =
      bytesOf(std::string(allMedia ? "#all\n" : "") + (onCollision.empty() ? "" : "#" + onCollision + "\n"));
  for (std::size_t k = 0; k < files.size(); ++k) {
    if (k > 0) {
      const std::string separator = "\n--file--\n";
      input.insert(input.end(), separator.begin(), separator.end());
    }
    const auto& [name, bytes] = files[k];
    input.insert(input.end(), name.begin(), name.end());
    input.push_back('\n');
    input.insert(input.end(), bytes.begin(), bytes.end());
  }
  return input;
}

Named sortRunSeeds(const std::vector<Bytes>& photos) {
  const Bytes a = jpegWithDate(kDate), b = jpegWithDate("1999:12:31 23:59:59", ByteOrder::Motorola);
  Named seeds = {
      {"two-days", folderOf({{"a.jpg", a}, {"b.jpg", b}, {"c.txt", bytesOf("not a photo")}})},
      {"taken-name", folderOf({{"a.jpg", a}, {"2021-03-04/a.jpg", bytesOf("already there")}})},
      {"file-at-folder-name", folderOf({{"2021-03-04", bytesOf("a file")}, {"a.jpg", a}})},
      {"date-folder-there", folderOf({{"a.jpg", a}, {"2021-03-04/z.jpg", b}, {".hidden.jpg", a}})},
  };
  // A taken name, a duplicate and a free name, under each policy that goes on.
  const Named taken = {{"a.jpg", a}, {"2021-03-04/a.jpg", bytesOf("already there")},
                       {"c.jpg", b}, {"1999-12-31/c.jpg", b},
                       {"d.jpg", b}, {"1999-12-31/d (2).jpg", bytesOf("already there")}};
  for (const std::string policy : {"skip", "rename"})
    seeds.push_back({"taken-" + policy, folderOf(taken, policy)});
  // Companions in the all-media mode: a raw partner of another day, sidecars,
  // and a raw file that is a photo of its own.
  const Bytes raw = tiffWithDate("1999:12:31 23:59:59", ByteOrder::Motorola).bytes();
  const Named companions = {{"a.jpg", a},
                            {"a.CR2", raw},
                            {"a.xmp", bytesOf("<x/>")},
                            {"a.jpg.xmp", bytesOf("<x/>")},
                            {"b.nef", raw},
                            {"b.XMP", bytesOf("<x/>")}};
  seeds.push_back({"all-media", folderOf(companions, "", true)});
  seeds.push_back({"all-media-rename", folderOf(companions, "rename", true)});
  // Photos, cut to the part that holds their Exif block, two or three a folder.
  for (std::size_t k = 0; k + 1 < photos.size(); k += 2) {
    Named folder;
    for (std::size_t j = k; j < std::min(k + 3, photos.size()); ++j) {
      const Bytes& photo = photos[j];
      folder.push_back(
          {"p" + std::to_string(j) + ".jpg",
           Bytes(photo.begin(), photo.begin() + long(std::min<std::size_t>(photo.size(), 20000)))});
    }
    seeds.push_back({"photos-" + std::to_string(k), folderOf(folder)});
    seeds.push_back({"all-media-photos-" + std::to_string(k), folderOf(folder, "", true)});
  }
  return seeds;
}

void writeAll(const fs::path& folder, const Named& seeds) {
  fs::create_directories(folder);
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
  }
  std::printf("%s: %zu seeds\n", folder.c_str(), seeds.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT [PHOTO...]\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  Named load = loadSeeds();
  std::vector<Bytes> photos;
  for (int k = 2; k < argc; ++k) {
    std::ifstream in(argv[k], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", argv[k]);
      return 1;
    }
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    load.push_back({fs::path(argv[k]).filename().string(), bytes});
    photos.push_back(std::move(bytes));
  }
  writeAll(out / "load", load);
  writeAll(out / "path_list", pathListSeeds());
  writeAll(out / "date_folder", dateFolderSeeds());
  writeAll(out / "sort_run", sortRunSeeds(photos));
  return 0;
}
