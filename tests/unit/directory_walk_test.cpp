// The directory walk over crafted TIFF blocks: the order of directories, the
// decoding of every field type, and the "Continue anyway?" boxes of damaged
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "exif/tag_table.h"
#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr char kPath[] = "/photos/walk.jpg";
constexpr Long kLongMin = std::numeric_limits<Long>::min();
const std::string kIndexBox = "Error # 9 Subscript out of range\n\nContinue anyway?";
const std::string kOverflowBox = "Error # 6 Overflow\n\nContinue anyway?";
const std::string kMismatchBox = "Error # 13 Type mismatch\n\nContinue anyway?";
const std::string kMemoryBox = "Error # 7 Out of memory\n\nContinue anyway?";

TagValue text(std::string value) { return value; }
TagValue number(Long value) { return value; }
Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string show(const TagValue& value) {
  if (isEmpty(value)) return "Empty";
  if (const auto* n = std::get_if<Long>(&value)) return "Long " + std::to_string(*n);
  std::string out = "\"";
  for (char c : std::get<std::string>(value)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  return out + "\"";
}

// One line per record, so that a mismatch shows every field at once.
std::string describe(const TagEntry& e) {
  return "tag " + std::to_string(e.TagId) + " type " + std::to_string(e.DataType) + " count " +
         std::to_string(e.Count) + " offset " + std::to_string(e.ValueOffset) + " value " + show(e.Value);
}

constexpr std::uint32_t dirSize(std::size_t entries) { return static_cast<std::uint32_t>(2 + 12 * entries + 4); }

// Entries with consecutive tags, each a SHORT holding its index.
std::vector<DirectoryEntry> plainEntries(const TiffBuilder& tiff, std::uint16_t firstTag, std::uint16_t count) {
  std::vector<DirectoryEntry> entries;
  for (std::uint16_t k = 0; k < count; ++k) {
    entries.push_back({static_cast<std::uint16_t>(firstTag + k), kShort, 1, tiff.shorts(k, 0)});
  }
  return entries;
}

class Walk : public ::testing::Test {
 protected:
  // Wraps the block in a JPEG file (TIFF header at index 12) and loads it.
  void load(const TiffBuilder& tiff) {
    boxes.shown.clear();
    files.add(kPath, JpegBuilder().soi().exif(tiff).bytes());
    ASSERT_TRUE(reader.Load(kPath));
  }

  std::vector<Long> tagIds() const {
    std::vector<Long> ids;
    for (const TagEntry& e : reader.tagRecords()) ids.push_back(e.TagId);
    return ids;
  }

  void expectRecords(const std::vector<TagEntry>& expected) const {
    const auto& actual = reader.tagRecords();
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
      EXPECT_EQ(describe(actual[i]), describe(expected[i])) << "record " << i + 1;
    }
  }

  void expectBoxes(const std::vector<std::string>& prompts) const {
    std::vector<std::string> actual;
    for (const ShownBox& box : boxes.shown) {
      EXPECT_EQ(box.title, "Get Directory Entries");
      EXPECT_EQ(box.buttons, Buttons::YesNo);
      EXPECT_EQ(box.icon, Icon::Critical);
      actual.push_back(box.prompt);
    }
    EXPECT_EQ(actual, prompts);
  }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader{files, boxes};
  ExifReaderProbe probe{reader};
};

class WalkBothOrders : public Walk, public ::testing::WithParamInterface<ByteOrder> {
 protected:
  bool intel() const { return GetParam() == ByteOrder::Intel; }
};

std::string orderName(const ::testing::TestParamInfo<ByteOrder>& param) {
  return param.param == ByteOrder::Intel ? "Intel" : "Motorola";
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, WalkBothOrders, ::testing::Values(ByteOrder::Intel, ByteOrder::Motorola), orderName);

// ---------------------------------------------------------------------------
// Which directories are walked, and in which order.

TEST_P(WalkBothOrders, IfdZeroThenItsChainThenTheExifDirectoryOnce) {
  TiffBuilder tiff(GetParam());
  const std::uint32_t ifd1 = 8 + dirSize(10), exif = ifd1 + dirSize(5), bait = exif + dirSize(20);
  auto ifd0Entries = plainEntries(tiff, 100, 9);
  ifd0Entries.push_back({34665, kLong, 1, tiff.number(exif)});
  tiff.directory(ifd0Entries, ifd1);
  tiff.directory(plainEntries(tiff, 200, 5));
  // The Exif directory's own link is not read, so the one behind it stays unread.
  tiff.directory(plainEntries(tiff, 300, 20), bait);
  tiff.directory(plainEntries(tiff, 900, 1));
  load(tiff);

  std::vector<Long> expected;
  for (Long id = 100; id <= 108; ++id) expected.push_back(id);
  expected.push_back(34665);
  for (Long id = 200; id <= 204; ++id) expected.push_back(id);
  for (Long id = 300; id <= 319; ++id) expected.push_back(id);
  EXPECT_EQ(tagIds(), expected);
  EXPECT_EQ(reader.Tag(0), number(35));
  EXPECT_EQ(describe(reader.tagRecords()[9]), describe({34665, kLong, 1, 0, number(static_cast<Long>(exif))}));
  EXPECT_EQ(describe(reader.tagRecords()[34]), describe({319, kShort, 1, 0, number(19)}));
  EXPECT_EQ(probe.lExifIfdOffset(), static_cast<Long>(exif));
  EXPECT_EQ(probe.lNextIfdOffset(), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(WalkBothOrders, WithoutLinksOnlyIfdZeroIsRead) {
  TiffBuilder tiff(GetParam());
  tiff.directory(plainEntries(tiff, 100, 2));
  tiff.directory(plainEntries(tiff, 200, 1));  // right behind IFD0, linked from nowhere
  load(tiff);
  EXPECT_EQ(tagIds(), (std::vector<Long>{100, 101}));
  EXPECT_EQ(probe.lExifIfdOffset(), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(WalkBothOrders, TheLastExifLinkMetWins) {
  TiffBuilder tiff(GetParam());
  const std::uint32_t ifd1 = 8 + dirSize(1), exifA = ifd1 + dirSize(1), exifB = exifA + dirSize(1);
  tiff.directory({{34665, kLong, 1, tiff.number(exifA)}}, ifd1);
  tiff.directory({{34665, kLong, 1, tiff.number(exifB)}});
  tiff.directory(plainEntries(tiff, 501, 1));
  tiff.directory(plainEntries(tiff, 502, 1));
  load(tiff);
  EXPECT_EQ(tagIds(), (std::vector<Long>{34665, 34665, 502}));
  EXPECT_EQ(probe.lExifIfdOffset(), static_cast<Long>(exifB));
  EXPECT_TRUE(boxes.shown.empty());
}

// A link back to a directory walked already ends the chain as 0 would.
TEST_P(WalkBothOrders, LinksBackToAWalkedDirectoryEndTheChainWithoutABox) {
  constexpr std::uint32_t ifd1 = 8 + dirSize(1), exif = ifd1 + dirSize(1);
  const struct {
    const char* what;
    std::uint32_t ifd1Link, exifLink;
    std::vector<Long> tags;
  } cases[] = {
      {"IFD1 links back to IFD0", 8, exif, {34665, 200, 500}},
      {"IFD1 links to itself", ifd1, exif, {34665, 200, 500}},
      {"the Exif link names IFD0", 0, 8, {34665, 200}},
      {"the Exif link names IFD1", 0, ifd1, {34665, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TiffBuilder tiff(GetParam());
    tiff.directory({{34665, kLong, 1, tiff.number(c.exifLink)}}, ifd1);
    tiff.directory(plainEntries(tiff, 200, 1), c.ifd1Link);
    tiff.directory(plainEntries(tiff, 500, 1), 8);
    load(tiff);
    EXPECT_EQ(tagIds(), c.tags);
    EXPECT_TRUE(boxes.shown.empty());
  }
}

// A second call of the walk appends behind the first walk's records, and the
// Exif offset met by the first walk still leads on.
TEST_P(WalkBothOrders, ASecondDirectWalkAppends) {
  TiffBuilder tiff(GetParam());
  const std::uint32_t ifd1 = 8 + dirSize(1), exif = ifd1 + dirSize(1);
  tiff.directory({{34665, kLong, 1, tiff.number(exif)}}, ifd1);
  tiff.directory(plainEntries(tiff, 200, 1));
  tiff.directory(plainEntries(tiff, 500, 1));
  load(tiff);
  probe.bytData().open(files.openForReading(kPath));  // Load closed the file
  Long lDirPos = probe.lTiffStart() + static_cast<Long>(ifd1);
  probe.GetDirectoryEntries(lDirPos);
  EXPECT_EQ(tagIds(), (std::vector<Long>{34665, 200, 500, 200, 500}));
  EXPECT_EQ(lDirPos, probe.lTiffStart());
  EXPECT_TRUE(boxes.shown.empty());
}

// ---------------------------------------------------------------------------
// Field values: one IFD0 holding every case; values outside the entries follow
// the directory.

struct FieldCase {
  const char* what;
  std::uint16_t type;
  std::uint32_t count;
  Bytes bytes;  // the value field in file order, or the value's bytes when outside
  bool outside;
  TagValue value;
};

std::vector<FieldCase> casesOfBothOrders() {
  std::string letters;
  for (int k = 0; k < 100; ++k) letters.push_back(static_cast<char>('A' + k % 26));
  std::string nulSixtyFirst = letters;
  nulSixtyFirst[60] = '\0';
  return {
      {"byte outside: decimal forms joined", kByte, 5, {1, 20, 255, 0, 7}, true, text("12025507")},
      {"text of count 5 lies outside", kAscii, 5, bytesOf("abcd\0"s), true, text("abcd")},
      {"date of count 20: 19 characters", kAscii, 20, bytesOf("2021:03:04 05:06:07\0"s), true,
       text("2021:03:04 05:06:07")},
      {"inner NULs stay, the last goes", kUndefined, 6, {'a', 0, 'b', 0, 'c', 0}, true, text("a\0b\0c"s)},
      {"count 100 is cut to 61", kAscii, 100, bytesOf(letters), true, text(letters.substr(0, 61))},
      {"count 100 with a NUL 61st: 60", kAscii, 100, bytesOf(nulSixtyFirst), true, text(letters.substr(0, 60))},
      {"long outside: Count bytes, not longs", kSLong, 2, {1, 2, 3, 4, 5, 6, 7, 8}, true, text("12")},
      {"FLOAT", kFloat, 1, {0x3F, 0x80, 0, 0}, false, {}},
      {"DOUBLE", kDouble, 1, {0, 0, 1, 0}, false, {}},
      {"type 0", 0, 1, {1, 2, 3, 4}, false, {}},
      {"type 13", 13, 2, {1, 2, 3, 4}, false, {}},
  };
}

class WalkFields : public Walk {
 protected:
  void check(ByteOrder order, std::vector<FieldCase> cases) {
    const auto shared = casesOfBothOrders();
    cases.insert(cases.end(), shared.begin(), shared.end());
    TiffBuilder tiff(order);
    std::vector<DirectoryEntry> entries;
    std::vector<TagEntry> expected;
    std::uint32_t dataOffset = 8 + dirSize(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const FieldCase& c = cases[i];
      const auto tag = static_cast<std::uint16_t>(i + 1);
      Field field{};
      Long valueOffset = 0;
      if (c.outside) {
        field = tiff.number(dataOffset);
        valueOffset = static_cast<Long>(dataOffset);
        dataOffset += static_cast<std::uint32_t>(c.bytes.size());
      } else {
        std::copy(c.bytes.begin(), c.bytes.end(), field.begin());
      }
      entries.push_back({tag, c.type, c.count, field});
      expected.push_back({tag, c.type, static_cast<Long>(c.count), valueOffset, c.value});
    }
    tiff.directory(entries);
    for (const FieldCase& c : cases) {
      if (c.outside) tiff.append(c.bytes);
    }
    load(tiff);
    ASSERT_EQ(reader.tagRecords().size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(describe(reader.tagRecords()[i]), describe(expected[i])) << cases[i].what;
    }
    EXPECT_TRUE(boxes.shown.empty());
  }
};

TEST_F(WalkFields, LittleEndian) {
  check(ByteOrder::Intel,
        {
            {"byte inline: all four, most significant first", kByte, 4, {2, 2, 0, 0}, false, text("00000202")},
            {"sbyte inline, count 2: the fillers first", kSByte, 2, {0x01, 0xAB, 0, 0}, false, text("0000AB01")},
            {"ascii inline, reversed", kAscii, 3, {'a', 'b', 0, 'x'}, false, text("x\0ba"s)},
            {"undefined inline, reversed", kUndefined, 4, {'0', '2', '3', '1'}, false, text("1320")},
            {"short of one", kShort, 1, {6, 0, 0, 0}, false, number(6)},
            {"short of two: the sum", kShort, 2, {2, 0, 1, 0}, false, number(3)},
            {"sshort halves read unsigned", kSShort, 2, {0xFF, 0xFF, 0xFF, 0xFF}, false, number(131070)},
            {"short outside: Count bytes", kShort, 3, {8, 0, 8, 0, 8, 0}, true, text("808")},
            {"short outside: first byte first", kShort, 3, {1, 2, 3, 4, 5, 6}, true, text("123")},
            {"long inline, negative", kLong, 1, {0, 0, 0, 0x80}, false, number(kLongMin)},
            {"slong, count 2^32-1 reads -1: inline", kSLong, 0xFFFFFFFF, {0xFE, 0xFF, 0xFF, 0xFF}, false, number(-2)},
            {"rational: the first only", kRational, 3, {51, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 4, 0, 0, 0},
             true, text("51/1")},
            {"srational, negative numerator", kSRational, 1, {0, 0, 0, 0x80, 3, 0, 0, 0}, true, text("-2147483648/3")},
        });
}

TEST_F(WalkFields, BigEndian) {
  check(ByteOrder::Motorola,
        {
            {"byte inline: all four in file order", kByte, 4, {2, 2, 0, 0}, false, text("02020000")},
            {"sbyte inline, count 2: the fillers last", kSByte, 2, {0x01, 0xAB, 0, 0}, false, text("01AB0000")},
            {"ascii inline, file order", kAscii, 3, {'a', 'b', 0, 'x'}, false, text("ab\0x"s)},
            {"undefined inline, file order", kUndefined, 4, {'0', '2', '3', '1'}, false, text("0231")},
            {"short of one", kShort, 1, {0, 6, 0, 0}, false, number(6)},
            {"short of two: the sum", kShort, 2, {0, 2, 0, 1}, false, number(3)},
            {"sshort halves read unsigned", kSShort, 2, {0xFF, 0xFF, 0xFF, 0xFF}, false, number(131070)},
            {"short outside: Count bytes", kShort, 3, {0, 8, 0, 8, 0, 8}, true, text("080")},
            {"short outside: last byte first", kShort, 3, {1, 2, 3, 4, 5, 6}, true, text("321")},
            {"long inline, negative", kLong, 1, {0x80, 0, 0, 0}, false, number(kLongMin)},
            {"slong, count 2^32-1 reads -1: inline", kSLong, 0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFE}, false, number(-2)},
            {"rational: the first only", kRational, 3, {0, 0, 0, 51, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 4},
             true, text("51/1")},
            {"srational, negative numerator", kSRational, 1, {0x80, 0, 0, 0, 0, 0, 0, 3}, true, text("-2147483648/3")},
        });
}

// IFD0 holds the Exif link alone, so the Exif directory right behind it
// starts at 26. A BYTE link gives hexadecimal text that converts as decimal.
TEST_P(WalkBothOrders, TheExifLinkIsConvertedToALong) {
  const struct {
    const char* what;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t field;
    Long lExifIfdOffset;
    std::vector<Long> tags;
    std::vector<std::string> boxes;
  } cases[] = {
      {"LONG", kLong, 1, 26, 26, {34665, 500}, {}},
      {"SHORT", kShort, 1, 26, 26, {34665, 500}, {}},
      {"BYTE text 00000026", kByte, 4, 0x26, 26, {34665, 500}, {}},
      {"BYTE text 00000008: IFD0, walked already", kByte, 4, 0x08, 8, {34665}, {}},
      {"BYTE text 0000001A", kByte, 4, 0x1A, 0, {34665}, {kMismatchBox}},
      {"ASCII abc", kAscii, 4, 0x61626300, 0, {34665}, {kMismatchBox}},
      {"FLOAT: Empty converts to 0", kFloat, 1, 26, 0, {34665}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TiffBuilder tiff(GetParam());
    tiff.directory({{34665, c.type, c.count, tiff.number(c.field)}});
    tiff.directory(plainEntries(tiff, 500, 1));
    load(tiff);
    EXPECT_EQ(tagIds(), c.tags);
    EXPECT_EQ(probe.lExifIfdOffset(), c.lExifIfdOffset);
    expectBoxes(c.boxes);
  }
}

// ---------------------------------------------------------------------------
// Damaged directories: one box per failing read; Yes goes on, No ends.

TEST_P(WalkBothOrders, ALaterDirectoryPastTheEndGivesOneBoxPerFailingRead) {
  TiffBuilder tiff(GetParam());
  tiff.directory(plainEntries(tiff, 100, 2), 0x1000);
  load(tiff);
  std::vector<TagEntry> expected = {{100, kShort, 1, 0, number(0)}, {101, kShort, 1, 0, number(1)}};
  if (intel()) {
    // The failed copy of the entry count leaves the cleared scratch: N = 0.
    // The link's failed copy then takes that 0 as well.
    expectBoxes({kIndexBox, kIndexBox});
  } else {
    // N stays 2: each entry fails at its tag, its type and its count, then the
    // link; the records made for the two entries stay blank.
    expectBoxes(std::vector<std::string>(8, kIndexBox));
    expected.resize(4);
  }
  expectRecords(expected);
}

TEST_P(WalkBothOrders, NoEndsTheWalkAndKeepsTheRecordsSoFar) {
  TiffBuilder tiff(GetParam());
  const std::uint32_t exif = 8 + dirSize(2);
  tiff.directory({{34665, kLong, 1, tiff.number(exif)}, {101, kShort, 1, tiff.shorts(7, 0)}}, 0x1000);
  tiff.directory(plainEntries(tiff, 500, 1));
  boxes.script({Answer::No});
  load(tiff);
  expectBoxes({kIndexBox});
  EXPECT_EQ(tagIds(), (std::vector<Long>{34665, 101}));
  EXPECT_EQ(probe.lNextIfdOffset(), 0x1000);
  EXPECT_TRUE(probe.bLoaded());
  EXPECT_EQ(reader.Tag(101), number(7));
}

// With Yes the link keeps what it held: the link that led to this directory,
// or 0 for IFD0 on a fresh reader. Either way the walk goes on to the Exif
// directory once and ends.
TEST_F(Walk, ABigEndianLinkOf2To31OrMoreOverflows) {
  const struct {
    const char* what;
    bool viaIfd1;
    std::vector<Answer> answers;
    std::vector<Long> tags;
  } cases[] = {
      {"IFD0's link", false, {}, {34665, 500}},
      {"IFD1's link", true, {}, {34665, 200, 500}},
      {"IFD1's link, answered No", true, {Answer::No}, {34665, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TiffBuilder tiff(ByteOrder::Motorola);
    const std::uint32_t ifd1 = 8 + dirSize(1), exif = c.viaIfd1 ? ifd1 + dirSize(1) : ifd1;
    tiff.directory({{34665, kLong, 1, tiff.number(exif)}}, c.viaIfd1 ? ifd1 : 0x80000000);
    if (c.viaIfd1) tiff.directory(plainEntries(tiff, 200, 1), 0x80000000);
    tiff.directory(plainEntries(tiff, 500, 1));
    boxes.script(c.answers);
    load(tiff);
    expectBoxes({kOverflowBox});
    EXPECT_EQ(tagIds(), c.tags);
  }
}

// On a reader whose last walk left a link behind, IFD0's failed link keeps it.
TEST_F(Walk, ABigEndianOverflowOnIfd0KeepsTheLinkHeldBeforeTheWalk) {
  TiffBuilder tiff(ByteOrder::Motorola);
  const std::uint32_t ifd1 = 8 + dirSize(1), exif = ifd1 + dirSize(1);
  tiff.directory({{34665, kLong, 1, tiff.number(exif)}}, 0x80000000);
  tiff.directory(plainEntries(tiff, 200, 1));
  tiff.directory(plainEntries(tiff, 500, 1));
  load(tiff);
  probe.bytData().open(files.openForReading(kPath));
  probe.lNextIfdOffset() = static_cast<Long>(ifd1);
  Long lDirPos = probe.lTiffStart() + 8;
  probe.GetDirectoryEntries(lDirPos);
  expectBoxes({kOverflowBox, kOverflowBox});
  EXPECT_EQ(tagIds(), (std::vector<Long>{34665, 500, 34665, 200, 500}));
}

TEST_P(WalkBothOrders, ATextWhoseLastByteIsPastTheEndGivesTwoBoxes) {
  TiffBuilder tiff(GetParam());
  const std::uint32_t data = 8 + dirSize(1);
  tiff.directory({{270, kAscii, 5, tiff.number(data)}});
  tiff.text("abc");  // the file ends here
  load(tiff);
  // The fourth byte is the 0 behind the file; the fifth fails at the NUL test
  // and again at its append.
  expectBoxes({kIndexBox, kIndexBox});
  expectRecords({{270, kAscii, 5, static_cast<Long>(data), text("abc\0"s)}});
}

TEST_P(WalkBothOrders, AFailedCountReadKeepsTheOldValueOrTakesTheStaleScratch) {
  TiffBuilder tiff(GetParam());
  tiff.u16(2);  // IFD0 declares two entries, but the file ends inside the second one's count
  tiff.u16(100);
  tiff.u16(kShort);
  tiff.u32(1);
  const Field seven = tiff.shorts(7, 0);
  tiff.append(Bytes(seven.begin(), seven.end()));
  tiff.u16(258);
  tiff.u16(kFloat);
  boxes.script({Answer::Yes, Answer::No});  // the count; the next link
  load(tiff);
  expectBoxes({kIndexBox, kIndexBox});
  // Little-endian: the scratch still holds the type just read.
  const Long count = intel() ? kFloat : 0;
  expectRecords({{100, kShort, 1, 0, number(7)}, {258, kFloat, count, 0, {}}});
}

// A product Count × unit size that overflows is a failed test: with Yes the
// branch it guards, the inline one, runs.
TEST_P(WalkBothOrders, AnOverflowingInlineTestReadsTheValueInline) {
  TiffBuilder tiff(GetParam());
  tiff.directory({{100, kShort, 0x7FFFFFFF, tiff.shorts(5, 4)}, {101, kLong, 0x40000000, tiff.number(9)}});
  load(tiff);
  expectBoxes({kOverflowBox, kOverflowBox});
  expectRecords({{100, kShort, 0x7FFFFFFF, 0, number(9)}, {101, kLong, 0x40000000, 0, number(9)}});
}

// Three overlapping directories of 65535 entries (0xFF throughout) at 8, 12
// and 16, linked in turn: the third would pass the table's budget.
TEST_F(Walk, TheRecordBudgetEndsTheWalkWithOutOfMemory) {
  static_assert(2 * 65535 <= TagTable::kMaxRecords && 3 * 65535 > TagTable::kMaxRecords);
  TiffBuilder tiff(ByteOrder::Intel);
  const std::size_t firstLink = TiffBuilder::nextLinkOffset(8, 65535);
  tiff.append(Bytes(firstLink + 12 - tiff.size(), 0xFF));
  tiff.patch32(firstLink, 12);
  tiff.patch32(TiffBuilder::nextLinkOffset(12, 65535), 16);
  load(tiff);
  expectBoxes({kMemoryBox});
  ASSERT_EQ(reader.tagRecords().size(), 2u * 65535);
  EXPECT_EQ(describe(reader.tagRecords().back()), describe({0xFFFF, 0xFFFF, -1, 0, {}}));
}

}  // namespace
}  // namespace kelvane
