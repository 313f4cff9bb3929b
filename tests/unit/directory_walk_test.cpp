// The directory walk over crafted TIFF blocks: the order of directories, the
// decoding of every field type, and the "Continue anyway?" boxes of damaged
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
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
using Tags = std::vector<Long>;

constexpr char kPath[] = "/photos/walk.jpg";
const std::string kIndexBox = "Error # 9 Subscript out of range\n\nContinue anyway?";
const std::string kOverflowBox = "Error # 6 Overflow\n\nContinue anyway?";
const std::string kMismatchBox = "Error # 13 Type mismatch\n\nContinue anyway?";

TagValue text(std::string value) { return value; }
TagValue number(Long value) { return value; }
Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One line per record, so that a mismatch shows every field at once.
std::string describe(const TagEntry& e) {
  std::string value = "Empty";
  if (const auto* n = std::get_if<Long>(&e.Value)) value = "Long " + std::to_string(*n);
  if (const auto* t = std::get_if<std::string>(&e.Value)) value = ::testing::PrintToString(*t);
  return ::testing::PrintToString(std::tuple(e.TagId, e.DataType, e.Count, e.ValueOffset)) + " " + value;
}

// Directories of one entry each, so that directory k lies at 8 + 18k. A 34665
// entry names directory `exif`; `link` names the next one (-1: none).
constexpr int kOverflowLink = -2;  // 0x80000000
struct Dir {
  std::uint16_t tag;
  int exif = -1, link = -1;
};

std::uint32_t dirAt(int k) {
  return k == kOverflowLink ? 0x80000000 : k < 0 ? 0 : 8 + 18 * static_cast<std::uint32_t>(k);
}

TiffBuilder chain(ByteOrder order, const std::vector<Dir>& dirs) {
  TiffBuilder tiff(order);
  for (const Dir& d : dirs) {
    const Field field = d.tag == 34665 ? tiff.number(dirAt(d.exif)) : tiff.shorts(7, 0);
    tiff.directory({{d.tag, d.tag == 34665 ? kLong : kShort, 1, field}}, dirAt(d.link));
  }
  return tiff;
}

class Walk : public ::testing::Test {
 protected:
  // Wraps the block in a JPEG file (TIFF header at index 12) and loads it.
  void load(const TiffBuilder& tiff, std::vector<Answer> answers = {}) {
    boxes.shown.clear();
    boxes.script(std::move(answers));
    files.add(kPath, JpegBuilder().soi().exif(tiff).bytes());
    ASSERT_TRUE(reader.Load(kPath));
  }

  Tags tagIds() const {
    Tags ids;
    for (const TagEntry& e : reader.tagRecords()) ids.push_back(e.TagId);
    return ids;
  }

  void expectRecords(const std::vector<TagEntry>& expected) const {
    std::vector<std::string> actual, wanted;
    for (const TagEntry& e : reader.tagRecords()) actual.push_back(describe(e));
    for (const TagEntry& e : expected) wanted.push_back(describe(e));
    EXPECT_EQ(actual, wanted);
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

INSTANTIATE_TEST_SUITE_P(ByteOrders, WalkBothOrders, ::testing::Values(ByteOrder::Intel, ByteOrder::Motorola),
                         [](const auto& p) { return p.param == ByteOrder::Intel ? "Intel"s : "Motorola"s; });

// A link back to a directory walked already ends the chain as 0 would.
TEST_P(WalkBothOrders, IfdZeroThenItsChainThenTheExifDirectoryOnce) {
  const struct {
    const char* what;
    std::vector<Dir> dirs;
    Tags tags;
  } cases[] = {
      {"the Exif directory's own link is unread",
       {{34665, 2, 1}, {200}, {300, -1, 3}, {900}},
       {34665, 200, 300}},
      {"without links only IFD0", {{100}, {200}}, {100}},
      {"the last Exif link met wins", {{34665, 2, 1}, {34665, 3}, {501}, {502}}, {34665, 34665, 502}},
      {"IFD1 links back to IFD0", {{34665, 2, 1}, {200, -1, 0}, {500, -1, 0}}, {34665, 200, 500}},
      {"IFD1 links to itself", {{34665, 2, 1}, {200, -1, 1}, {500}}, {34665, 200, 500}},
      {"the Exif link names IFD0", {{34665, 0, 1}, {200}}, {34665, 200}},
      {"the Exif link names IFD1", {{34665, 1, 1}, {200}}, {34665, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(chain(GetParam(), c.dirs));
    EXPECT_EQ(tagIds(), c.tags);
    expectBoxes({});
    // Tag answers from the first record with the number.
    const Dir& ifd0 = c.dirs[0];
    EXPECT_EQ(reader.Tag(34665), ifd0.tag == 34665 ? number(Long(dirAt(ifd0.exif))) : TagValue{});
  }
}

// Field values: one IFD0 holding every case; values outside the entries follow
// the directory. The bytes are in file order for both byte orders.
TEST_P(WalkBothOrders, FieldValuesOfEveryGroup) {
  std::string letters;
  for (int k = 0; k < 100; ++k) letters.push_back(static_cast<char>('A' + k % 26));
  std::string nulSixtyFirst = letters;
  nulSixtyFirst[60] = '\0';
  const TagValue cut61 = text(letters.substr(0, 61)), cut60 = text(letters.substr(0, 60));
  const struct {
    const char* what;
    std::uint16_t type;
    std::uint32_t count;
    Bytes bytes;  // the value field, or the value's bytes when outside
    bool outside;
    TagValue intel, motorola;
  } cases[] = {
      {"byte inline: all four", kByte, 4, {2, 2, 0, 0}, false, text("00000202"), text("02020000")},
      {"sbyte inline, count 2", kSByte, 2, {0x01, 0xAB, 0, 0}, false, text("0000AB01"), text("01AB0000")},
      {"ascii inline", kAscii, 3, {'a', 'b', 0, 'x'}, false, text("x\0ba"s), text("ab\0x"s)},
      {"undefined inline", kUndefined, 4, {'0', '2', '3', '1'}, false, text("1320"), text("0231")},
      {"short of two: the sum", kShort, 2, {2, 0, 1, 0}, false, number(3), number(768)},
      {"sshort halves read unsigned",
       kSShort,
       2,
       {0xFF, 0xFF, 0xFF, 0xFF},
       false,
       number(131070),
       number(131070)},
      {"long inline",
       kLong,
       1,
       {0, 0, 0, 0x80},
       false,
       number(std::numeric_limits<Long>::min()),
       number(128)},
      {"slong, count -1 is inline",
       kSLong,
       0xFFFFFFFF,
       {0xFF, 0xFF, 0xFF, 0xFE},
       false,
       number(-16777217),
       number(-2)},
      {"short outside: Count bytes", kShort, 3, {1, 2, 3, 4, 5, 6}, true, text("123"), text("321")},
      {"rational: the first only",
       kRational,
       2,
       {51, 0, 0, 0, 0, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9},
       true,
       text("51/16777216"),
       text("855638016/1")},
      {"srational, negative numerator",
       kSRational,
       1,
       {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 3},
       true,
       text("-16777217/50331648"),
       text("-2/3")},
      {"byte outside: decimals", kByte, 5, {1, 20, 255, 0, 7}, true, text("12025507"), text("12025507")},
      {"text outside: the last NUL goes", kAscii, 5, bytesOf("abcd\0"s), true, text("abcd"), text("abcd")},
      {"inner NULs stay", kUndefined, 6, {'a', 0, 'b', 0, 'c', 0}, true, text("a\0b\0c"s), text("a\0b\0c"s)},
      {"count 100 is cut to 61", kAscii, 100, bytesOf(letters), true, cut61, cut61},
      {"count 100 with a NUL 61st: 60", kAscii, 100, bytesOf(nulSixtyFirst), true, cut60, cut60},
      {"long outside: Count bytes", kSLong, 2, {1, 2, 3, 4, 5, 6, 7, 8}, true, text("12"), text("12")},
      {"FLOAT", kFloat, 1, {0x3F, 0x80, 0, 0}, false, {}, {}},
      {"DOUBLE", kDouble, 1, {0, 0, 1, 0}, false, {}, {}},
      {"type 0", 0, 1, {1, 2, 3, 4}, false, {}, {}},
      {"type 13", 13, 2, {1, 2, 3, 4}, false, {}, {}},
  };
  TiffBuilder tiff(GetParam());
  std::vector<DirectoryEntry> entries;
  std::vector<TagEntry> expected;
  Bytes outside;  // behind the directory, at 8 + 2 + 12 n + 4
  for (const auto& c : cases) {
    const auto tag = static_cast<std::uint16_t>(entries.size() + 1);
    const auto offset = static_cast<std::uint32_t>(8 + 2 + 12 * std::size(cases) + 4 + outside.size());
    Field field = tiff.number(offset);
    if (c.outside) {
      outside.insert(outside.end(), c.bytes.begin(), c.bytes.end());
    } else {
      std::copy(c.bytes.begin(), c.bytes.end(), field.begin());
    }
    entries.push_back({tag, c.type, c.count, field});
    const Long valueOffset = c.outside ? Long(offset) : 0;
    expected.push_back({tag, c.type, Long(c.count), valueOffset, intel() ? c.intel : c.motorola});
  }
  tiff.directory(entries);
  tiff.append(outside);
  load(tiff);
  expectRecords(expected);  // record i + 1 holds case i
  expectBoxes({});
}

// IFD0 holds the Exif link alone, so the Exif directory right behind it
// starts at 26. A BYTE link gives hexadecimal text that converts as decimal.
TEST_P(WalkBothOrders, TheExifLinkIsConvertedToALong) {
  const struct {
    const char* what;
    std::uint16_t type;
    std::uint32_t count, field;
    Long offset;
    bool fails;
  } cases[] = {
      {"SHORT", kShort, 1, 26, 26, false},
      {"BYTE text 00000026", kByte, 4, 0x26, 26, false},
      {"BYTE text 0000001A", kByte, 4, 0x1A, 0, true},
      {"ASCII abc", kAscii, 4, 0x61626300, 0, true},
      {"FLOAT: Empty converts to 0", kFloat, 1, 26, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TiffBuilder tiff(GetParam());
    tiff.directory({{34665, c.type, c.count, tiff.number(c.field)}});
    tiff.directory({{500, kShort, 1, tiff.shorts(7, 0)}});
    load(tiff);
    EXPECT_EQ(tagIds(), c.offset == 26 ? (Tags{34665, 500}) : (Tags{34665}));
    EXPECT_EQ(probe.lExifIfdOffset(), c.offset);
    expectBoxes(c.fails ? std::vector{kMismatchBox} : std::vector<std::string>{});
  }
}

// Damaged directories: one box per failing read; Yes goes on, No ends.
TEST_P(WalkBothOrders, ANextLinkPastTheEnd) {
  load(chain(GetParam(), {{34665, 1, 200}, {500}}));
  if (intel()) {
    // The failed copy of the entry count leaves the cleared scratch: N = 0;
    // the link's failed copy takes that 0 too, and the Exif directory follows.
    expectBoxes({kIndexBox, kIndexBox});
    EXPECT_EQ(tagIds(), (Tags{34665, 500}));
  } else {
    // N stays 1: the entry fails at its tag, type and count, then the link,
    // which keeps the offset of this very directory and so ends the chain.
    expectBoxes(std::vector<std::string>(5, kIndexBox));
    EXPECT_EQ(tagIds(), (Tags{34665, 0, 500}));
  }
}

// With Yes the link keeps what it held: the link that led to this directory,
// or 0 for IFD0, as each Load starts afresh (here after a walk that ended
// with a link held).
TEST_F(Walk, ABigEndianLinkOf2To31OrMoreOverflows) {
  const std::vector<Dir> viaIfd1 = {{34665, 2, 1}, {200, -1, kOverflowLink}, {500}};
  const struct {
    const char* what;
    std::vector<Dir> dirs;
    std::vector<Answer> answers;
    Tags tags;
  } cases[] = {
      {"IFD1's link, answered No", viaIfd1, {Answer::No}, {34665, 200}},
      {"IFD0's link", {{34665, 2, kOverflowLink}, {200}, {500}}, {}, {34665, 500}},
      {"IFD1's link", viaIfd1, {}, {34665, 200, 500}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(chain(ByteOrder::Motorola, c.dirs), c.answers);
    expectBoxes({kOverflowBox});
    EXPECT_EQ(tagIds(), c.tags);
  }
  // A direct second walk appends to the table, and IFD1's failed link keeps
  // the link held before the walk (IFD0) and follows it.
  probe.bytData().open(files.openForReading(kPath));  // Load closed the file
  probe.lNextIfdOffset() = Long(dirAt(0));
  Long lDirPos = probe.lTiffStart() + Long(dirAt(1));
  probe.GetDirectoryEntries(lDirPos);
  expectBoxes({kOverflowBox, kOverflowBox});
  EXPECT_EQ(tagIds(), (Tags{34665, 200, 500, 200, 34665, 500}));
}

// A failed test runs the branch it guards.
TEST_P(WalkBothOrders, FailedTestsRunTheirBranch) {
  TiffBuilder tiff(GetParam());
  // Count × unit size overflows: the value is read inline.
  tiff.directory({{100, kShort, 0x7FFFFFFF, tiff.shorts(5, 4)}, {270, kAscii, 5, tiff.number(8 + 30)}});
  tiff.text("abc");  // the file ends here
  load(tiff);
  // The fourth byte is the 0 behind the file; the fifth fails at the NUL test
  // and again at its append.
  expectBoxes({kOverflowBox, kIndexBox, kIndexBox});
  expectRecords({{100, kShort, 0x7FFFFFFF, 0, number(9)}, {270, kAscii, 5, 38, text("abc\0"s)}});
}

TEST_P(WalkBothOrders, AFailedCountReadKeepsTheOldValueOrTakesTheStaleScratch) {
  TiffBuilder tiff(GetParam());
  tiff.u16(2);                // IFD0 declares two entries, but the file ends inside the second one's count
  tiff.append(Bytes(12, 0));  // an entry of tag 0, type 0
  tiff.u16(258);
  tiff.u16(kFloat);
  load(tiff, {Answer::Yes, Answer::No});  // the count; the next link
  expectBoxes({kIndexBox, kIndexBox});
  // Little-endian: the scratch still holds the type just read.
  expectRecords({{0, 0, 0, 0, {}}, {258, kFloat, intel() ? kFloat : 0, 0, {}}});
}

// Three overlapping directories of 65535 entries (0xFF throughout) at 8, 12
// and 16, linked in turn: the third would pass the table's budget.
TEST_F(Walk, TheRecordBudgetEndsTheWalkWithOutOfMemory) {
  static_assert(2 * 65535 <= TagTable::kMaxRecords && 3 * 65535 > TagTable::kMaxRecords);
  TiffBuilder tiff(ByteOrder::Intel);
  const std::size_t firstLink = 8 + 2 + 12 * 65535;
  tiff.append(Bytes(firstLink + 12 - tiff.size(), 0xFF));
  tiff.patch32(firstLink, 12);
  tiff.patch32(firstLink + 4, 16);
  load(tiff);
  expectBoxes({"Error # 7 Out of memory\n\nContinue anyway?"});
  ASSERT_EQ(reader.tagRecords().size(), 2u * 65535);
  EXPECT_EQ(describe(reader.tagRecords().back()), describe({0xFFFF, 0xFFFF, -1, 0, {}}));
}

// Value texts have a budget too: two million bytes of 255 would make 6 MB.
TEST_F(Walk, TheValueTextBudgetIsOutOfMemoryToo) {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{700, kByte, 2'000'000, tiff.number(26)}});
  tiff.append(Bytes(2'000'000, 255));
  load(tiff, {Answer::No});
  expectBoxes({"Error # 7 Out of memory\n\nContinue anyway?"});
  EXPECT_EQ(std::get<std::string>(reader.tagRecords().at(0).Value).size(), TagTable::kMaxValueText / 3 * 3);
}

}  // namespace
}  // namespace kelvane
