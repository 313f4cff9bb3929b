// The reader against real photographs and the directory listings that exiv2
// made of them (corpus/MANIFEST.tsv and corpus/reference/NAME.ifd.tsv).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exif/exif_reader.h"
#include "platform/posix/posix_file_system.h"
#include "scripted_message_boxes.h"

namespace kelvane {
namespace {

using testing::ScriptedMessageBoxes;
using testing::ShownBox;

const std::string kCorpus = std::string(KELVANE_SHARED_DIR) + "/corpus/";

// exiv2 drops every NUL of a text; the reader keeps one that is not the last
// byte of the count, so these two dates end in a NUL through the reader.
const std::set<std::string> kDatesWithKeptNul = {"mei-pentax-optio-s4.jpg", "mei-pentax-optio-s4i.jpg"};

std::vector<std::string> split(const std::string& line, char separator = '\t') {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, separator);) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.emplace_back();
  return fields;
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// The manifest writes bytes below 0x20 and from 0x7F up as \xHH.
std::string unescape(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size()) {
      bytes.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      bytes.push_back(text[i]);
    }
  }
  return bytes;
}

Long toLong(const std::string& decimal) {
  return static_cast<Long>(static_cast<std::uint32_t>(std::strtoll(decimal.c_str(), nullptr, 10)));
}

// What the header says, worked out here from the bytes alone: FF D8, the first
// FF E1 pair from index 2 followed by "Exif", and IFD0's entry count inside
// the buffer (indices 0 .. length, the last one reading 0).
struct Header {
  bool soi = false;
  bool exifApp1 = false;
  bool ifd0Inside = false;
};

Header scanHeader(const std::vector<std::uint8_t>& b) {
  const auto length = static_cast<std::int64_t>(b.size());
  auto at = [&](std::int64_t i) -> std::uint32_t { return i < length ? b[static_cast<std::size_t>(i)] : 0; };
  Header header;
  header.soi = length >= 2 && b[0] == 0xFF && b[1] == 0xD8;
  std::int64_t app1 = -1;
  for (std::int64_t i = 2; i + 1 < length && app1 < 0; ++i) {
    if (at(i) == 0xFF && at(i + 1) == 0xE1) app1 = i;
  }
  header.exifApp1 =
      app1 >= 0 && app1 + 8 <= length && std::memcmp(&b[static_cast<std::size_t>(app1 + 4)], "Exif", 4) == 0;
  const std::int64_t tiff = app1 + 10;
  if (!header.exifApp1 || tiff + 7 > length) return header;
  const bool intel = at(tiff) == 0x49;
  std::int64_t offset = 0;
  if (intel) {
    offset =
        static_cast<std::int32_t>(at(tiff + 4) | at(tiff + 5) << 8 | at(tiff + 6) << 16 | at(tiff + 7) << 24);
  } else if (at(tiff + 4) < 0x80) {
    offset = at(tiff + 4) << 24 | at(tiff + 5) << 16 | at(tiff + 6) << 8 | at(tiff + 7);
  } else {
    return header;  // does not fit a Long
  }
  header.ifd0Inside = tiff + offset >= 0 && tiff + offset + 1 <= length;
  return header;
}

struct ListingRow {
  std::string dir;
  Long tag, type, count;
  std::string valueOffset;  // empty when the value stands in the entry
};

struct Listing {
  bool complete = false;  // every exiv2 run exited 0
  std::vector<ListingRow> rows;
};

Listing readListing(const std::string& name) {
  Listing listing;
  int runs = 0;
  int clean = 0;
  for (const std::string& line : readLines(kCorpus + "reference/" + name + ".ifd.tsv")) {
    if (line.starts_with("# exiv2 -pS")) {
      ++runs;
      if (line.find(": exit 0") != std::string::npos) ++clean;
    } else if (!line.empty() && line[0] != '#' && !line.starts_with("dir\t")) {
      const auto f = split(line);
      listing.rows.push_back({f.at(0), toLong(f.at(2)), toLong(f.at(3)), toLong(f.at(4)), f.at(5)});
    }
  }
  listing.complete = runs > 0 && runs == clean;
  return listing;
}

struct CorpusFile {
  std::string name;
  bool hasExifApp1 = false;
  std::string date;
  Header header;
  Listing listing;
  bool loaded = false;
  std::vector<TagEntry> records;
  std::vector<ShownBox> boxes;
  TagValue dateTag;
};

// Every file loaded once per test program, as a sort run would: a fresh
// reader, Yes to the first 1,000 Yes/No boxes, No to the rest.
const std::vector<CorpusFile>& corpus() {
  static const std::vector<CorpusFile> files = [] {
    std::vector<CorpusFile> all;
    const auto lines = readLines(kCorpus + "MANIFEST.tsv");
    const auto columns = split(lines.at(0));
    auto column = [&](const char* name) {
      return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) - columns.begin());
    };
    posix::PosixFileSystem fileSystem;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const auto row = split(lines[i]);
      CorpusFile file;
      file.name = row.at(column("file"));
      file.hasExifApp1 = row.at(column("has_exif_app1")) == "yes";
      file.date = unescape(row.at(column("date_time_original")));
      file.header = scanHeader(readBytes(kCorpus + file.name));
      file.listing = readListing(file.name.substr(0, file.name.size() - 4));
      ScriptedMessageBoxes boxes(Answer::No);
      boxes.script(std::vector<Answer>(1000, Answer::Yes));
      clsExifReader reader(fileSystem, boxes);
      file.loaded = reader.Load(kCorpus + file.name);
      file.records = reader.tagRecords();
      file.boxes = boxes.shown;
      file.dateTag = reader.Tag(36867);
      all.push_back(std::move(file));
    }
    return all;
  }();
  return files;
}

TEST(Corpus, LoadsExactlyTheFilesWithAnExifHeaderAndIfd0InsideTheFile) {
  ASSERT_EQ(corpus().size(), 150u);
  int refusedDespiteExifHeader = 0;
  for (const CorpusFile& file : corpus()) {
    SCOPED_TRACE(file.name);
    EXPECT_EQ(file.header.exifApp1, file.hasExifApp1) << "the manifest column and the byte scan disagree";
    const bool loads = file.hasExifApp1 && file.header.soi && file.header.ifd0Inside;
    EXPECT_EQ(file.loaded, loads);
    if (file.hasExifApp1 && !loads) ++refusedDespiteExifHeader;
    for (const ShownBox& box : file.boxes) EXPECT_NE(box.title, "Open JPEG File");
  }
  // Every file of the corpus with the Exif header also has FF D8 and IFD0 inside.
  EXPECT_EQ(refusedDespiteExifHeader, 0);
}

bool knownToTheListingTools(Long dataType) { return dataType >= 1 && dataType <= 13; }

void expectSameEntry(const TagEntry& record, const ListingRow& row, std::size_t position) {
  SCOPED_TRACE("record " + std::to_string(position + 1) + " (" + row.dir + " tag " + std::to_string(row.tag) +
               ")");
  EXPECT_EQ(record.TagId, row.tag);
  EXPECT_EQ(record.DataType, row.type);
  EXPECT_EQ(record.Count, row.count);
  // The reader keeps an offset only for values outside the entry, as exiv2 lists one.
  EXPECT_EQ(record.ValueOffset, row.valueOffset.empty() ? 0 : toLong(row.valueOffset));
}

// exiv2 stops at a directory it cannot read and lists no entry of a type it
// does not know: the reader keeps those entries, so they are set aside (with
// nothing decoded) before comparing. A complete listing is compared whole;
// one that stopped early must be the start of the reader's records.
TEST(Corpus, WalkMatchesTheReferenceListings) {
  int fullyCompared = 0;
  int comparedUpToWhereExiv2Stopped = 0;
  for (const CorpusFile& file : corpus()) {
    if (!file.loaded) continue;  // the listing, if any, is of a later APP1 the reader never looks at
    SCOPED_TRACE(file.name);
    std::vector<TagEntry> known;
    for (const TagEntry& record : file.records) {
      if (knownToTheListingTools(record.DataType)) {
        known.push_back(record);
      } else {
        EXPECT_EQ(record.ValueOffset, 0);
        EXPECT_TRUE(isEmpty(record.Value));
      }
    }
    std::vector<ListingRow> expected;
    std::optional<ListingRow> exifPointer;
    for (const ListingRow& row : file.listing.rows) {
      if (row.dir == "Exif") continue;
      expected.push_back(row);
      if (row.tag == 34665) exifPointer = row;
    }
    // Only a pointer holding a number leads the walk to the Exif directory;
    // a text pointer fails to convert (13) and the walk skips the directory.
    const bool pointerIsNumber =
        exifPointer && exifPointer->count == 1 && std::set<Long>{3, 4, 8, 9}.contains(exifPointer->type);
    for (const ListingRow& row : file.listing.rows) {
      if (row.dir == "Exif" && pointerIsNumber) expected.push_back(row);
    }

    if (file.listing.complete) {
      ++fullyCompared;
      EXPECT_EQ(known.size(), expected.size());
      const bool textPointer = exifPointer && !pointerIsNumber;
      EXPECT_EQ(file.boxes.size(), textPointer ? 1u : 0u);
      if (textPointer && !file.boxes.empty()) {
        EXPECT_TRUE(file.boxes[0].prompt.starts_with("Error # 13 ")) << file.boxes[0].prompt;
      }
    } else {
      ++comparedUpToWhereExiv2Stopped;
      EXPECT_GE(known.size(), expected.size());
    }
    for (std::size_t i = 0; i < std::min(known.size(), expected.size()); ++i) {
      expectSameEntry(known[i], expected[i], i);
    }
  }
  // 121 complete listings of files that load (one of them with a text Exif
  // pointer), and 9 where exiv2 stopped early or could not read the block.
  EXPECT_GE(fullyCompared, 121);
  EXPECT_GE(comparedUpToWhereExiv2Stopped, 9);
}

TEST(Corpus, DateTimeOriginalMatchesTheManifest) {
  int dates = 0;
  for (const CorpusFile& file : corpus()) {
    SCOPED_TRACE(file.name);
    if (file.date.empty()) {
      EXPECT_TRUE(isEmpty(file.dateTag));
      continue;
    }
    ++dates;
    const std::string expected = kDatesWithKeptNul.contains(file.name) ? file.date + '\0' : file.date;
    EXPECT_EQ(file.dateTag, TagValue{expected});
  }
  EXPECT_GE(dates, 101);
}

}  // namespace
}  // namespace kelvane
