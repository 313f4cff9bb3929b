// "Yes to All" must give exactly the tag table that answering Yes to every box
// gives, though it skips whole runs of failing reads: checked against that
// slow reference on random damaged files, then for speed on a file that
// would ask millions of times.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "disk_files.h"
#include "exif/directory_walk.h"
#include "exif/exif_reader.h"
#include "memory_file_system.h"
#include "test_data.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
using Bytes = std::vector<std::uint8_t>;

struct Outcome {
  std::vector<std::string> records;
  std::size_t boxes = 0;
  bool cutShort = false;
};

// Answers Yes, and Yes to All at box number `toAllAt` (0: never), counting
// the boxes; gives up (No) past a limit, which keeps the slow reference walks
// of this test short.
class CountingBoxes : public MessageBoxes {
 public:
  static constexpr std::size_t kLimit = 20'000;

  explicit CountingBoxes(std::size_t toAllAt) : toAllAt_(toAllAt) {}
  Answer show(const std::string&, const std::string&, Buttons, Icon) override {
    if (++shown > kLimit) return Answer::No;
    return shown == toAllAt_ ? Answer::YesToAll : Answer::Yes;
  }
  std::size_t shown = 0;

 private:
  std::size_t toAllAt_;
};

// Loads the file answering Yes to every box, or Yes to All at box `toAllAt`.
Outcome walk(const Bytes& file, std::size_t toAllAt) {
  MemoryFileSystem files;
  files.add("/p/x.jpg", file);
  CountingBoxes boxes(toAllAt);
  clsExifReader reader(files, boxes);
  Outcome outcome;
  if (reader.Load("/p/x.jpg")) {
    for (const TagEntry& e : reader.tagRecords()) {
      std::string value = "Empty";
      if (const auto* n = std::get_if<Long>(&e.Value)) value = "Long " + std::to_string(*n);
      if (const auto* t = std::get_if<std::string>(&e.Value)) value = ::testing::PrintToString(*t);
      outcome.records.push_back(std::to_string(e.TagId) + " " + std::to_string(e.DataType) + " " +
                                std::to_string(e.Count) + " " + std::to_string(e.ValueOffset) + " " + value);
    }
  }
  outcome.boxes = boxes.shown;
  outcome.cutShort = reader.walkCutShort();
  return outcome;
}

// Directories whose counts, types, value counts and offsets are often wrong:
// past the end of the file, before its start, or near Long's limits.
Bytes damagedFile(std::mt19937& random) {
  const auto pick = [&](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
  };
  const bool intel = pick(0, 1) == 0;
  TiffBuilder tiff(intel ? ByteOrder::Intel : ByteOrder::Motorola);
  const std::uint32_t offsets[] = {8, 40, 90, 300, 2000, 0x7FFFFFF0u, 0xFFFFFFF0u, 0x80000000u};
  for (std::uint32_t d = pick(1, 3); d > 0; --d) {
    std::vector<DirectoryEntry> entries;
    for (std::uint32_t e = pick(1, 6); e > 0; --e) {
      const std::uint16_t type = static_cast<std::uint16_t>(pick(1, 11));
      const std::uint32_t count = pick(0, 3) == 0 ? pick(0xFFFFFF00u, 0xFFFFFFFFu) : pick(0, 400);
      const std::uint32_t offset = offsets[pick(0, 7)] + pick(0, 12);
      const std::uint16_t tag = pick(0, 5) == 0 ? 34665 : static_cast<std::uint16_t>(pick(1, 60000));
      entries.push_back({tag, type, count, tiff.number(offset)});
    }
    tiff.directory(entries, pick(0, 2) == 0 ? 0 : offsets[pick(0, 7)]);
  }
  tiff.append(Bytes(pick(0, 40), 0));
  // IFD0 often declares more entries than it holds (the low byte of its count).
  if (pick(0, 2) == 0) tiff.patchByte(intel ? 8 : 9, static_cast<std::uint8_t>(pick(0, 255)));
  return JpegBuilder().soi().exif(tiff).bytes();
}

TEST(YesToAll, GivesTheTableThatYesToEveryBoxGives) {
  std::mt19937 random(propertySeed());
  int asked = 0;
  for (int round = 0; round < 400; ++round) {
    const Bytes file = damagedFile(random);
    const Outcome everyBox = walk(file, 0);
    if (everyBox.boxes > CountingBoxes::kLimit || everyBox.boxes == 0) continue;
    // Yes to All at the first box, or at any one deep into the walk.
    const std::size_t toAllAt =
        random() % 2 == 0 ? 1 : std::uniform_int_distribution<std::size_t>(1, everyBox.boxes)(random);
    const Outcome toAll = walk(file, toAllAt);
    ASSERT_FALSE(everyBox.cutShort);
    EXPECT_FALSE(toAll.cutShort) << "round " << round;
    EXPECT_EQ(toAll.records, everyBox.records) << "round " << round << ", Yes to All at box " << toAllAt;
    EXPECT_EQ(toAll.boxes, toAllAt) << "round " << round;
    asked += everyBox.boxes > 100;
  }
  EXPECT_GT(asked, 20) << "too few files that ask many times to prove anything";
}

// The real damaged photo whose SHORT entry of about five million values lies
// past the end: one Yes to All, and the walk ends at once with its date-less
// table intact.
TEST(YesToAll, AFileThatWouldAskMillionsOfTimesEndsAtOnce) {
  const std::string bytes = readBytes(testPhoto("mei-its-c3018ebe53d0.jpg"));
  const auto started = std::chrono::steady_clock::now();
  const Outcome toAll = walk(Bytes(bytes.begin(), bytes.end()), 1);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(toAll.boxes, 1u);
  EXPECT_FALSE(toAll.cutShort);
  EXPECT_FALSE(toAll.records.empty());
  EXPECT_LT(seconds, 1.0);
}

// Once the value text budget is spent to its last character, every further
// append fails: Yes to All passes over them all at once, to the same table.
TEST(YesToAll, PassesOverAppendsOnceTheTextBudgetIsSpent) {
  const auto budget = static_cast<std::uint32_t>(TagTable::kMaxValueText);
  TiffBuilder tiff(ByteOrder::Intel);
  const std::uint32_t values = 8 + 2 + 4 * 12 + 4;               // behind the header and the directory
  tiff.directory({{1, kByte, 5, tiff.number(0x7FFFFFF0u)},       // past the end: the first box
                  {2, kByte, budget - 10, tiff.number(values)},  // one character each
                  {3, kByte, 5'000, tiff.number(values)},        // its first ten fit
                  {4, kAscii, 20, tiff.number(values)}});
  tiff.append(Bytes(budget, 7));
  const Bytes file = JpegBuilder().soi().exif(tiff).bytes();
  const Outcome everyBox = walk(file, 0);
  const Outcome toAll = walk(file, 1);
  ASSERT_GT(everyBox.boxes, 4'000u);
  EXPECT_EQ(toAll.records, everyBox.records);
  EXPECT_EQ(toAll.boxes, 1u);
}

// Failures that no skipping removes (the value text budget spent but for two
// characters, then a value of millions of three-digit bytes inside the file)
// end at the bound, and say so.
TEST(YesToAll, TheBoundOnUnseenFailuresEndsTheWalk) {
  TiffBuilder tiff(ByteOrder::Intel);
  const std::uint32_t values = 1'700'000;
  tiff.directory({{1, kByte, values, tiff.number(26)},
                  {2, kByte, values, tiff.number(26)},
                  {3, kByte, values, tiff.number(26)}});
  tiff.append(Bytes(values, 0xAB));
  const Outcome toAll = walk(JpegBuilder().soi().exif(tiff).bytes(), 1);
  EXPECT_TRUE(toAll.cutShort);
  EXPECT_EQ(toAll.boxes, 1u);
}

}  // namespace
}  // namespace kelvane

namespace kelvane {
namespace {

// A little-endian directory that declares more entries than the file holds,
// the last one written ending where the file does (its last byte is the one
// past the end, which reads 0). Yes to All comes from the first entry's value;
// the scratch that the second entry's value offset (10) leaves must be
// cleared by the skipped entries, or the failed link read after them would
// take it and walk a directory at offset 10.
TEST(YesToAll, SkippedEntriesLeaveTheScratchAsTheirReadsWould) {
  for (const int declared : {3, 4, 9}) {
    TiffBuilder tiff(ByteOrder::Intel);
    tiff.u16(static_cast<std::uint16_t>(declared));
    tiff.append({1, 0, kLong, 0, 2, 0, 0, 0, 0x00, 0x02, 0, 0});  // two LONGs at 512, past the end
    tiff.append({2, 0, kLong, 0, 2, 0, 0, 0, 10, 0, 0, 0});       // two LONGs at 10
    Bytes file = JpegBuilder().soi().exif(tiff).bytes();
    file.pop_back();
    const Outcome everyBox = walk(file, 0);
    const Outcome toAll = walk(file, 1);
    EXPECT_EQ(toAll.records, everyBox.records) << declared << " entries declared";
  }
}

}  // namespace
}  // namespace kelvane
