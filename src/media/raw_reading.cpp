#include "media/raw_reading.h"

#include <algorithm>
#include <chrono>
#include <span>
#include <string_view>

#include "media/container_reading.h"

namespace kelvane::media {
namespace {

constexpr std::int64_t kRafJpegOffsetAt = 84;
constexpr std::int64_t kRafJpegLengthAt = 88;
constexpr std::int64_t kMrwBlocksStart = 8;  // after "\0MRM" and the header length
constexpr std::int64_t kMrwBlockHeader = 8;  // a type and a length

// CIFF record types: two bits for where the data lies, three for its format.
constexpr std::uint64_t kCiffTimeStamp = 0x180e;
constexpr std::uint64_t kCiffLocation = 0xC000;  // 0: in the heap; else in the record itself
constexpr std::uint64_t kCiffFormat = 0x3800;
constexpr std::uint64_t kCiffHeapFormats[] = {0x2800, 0x3000};
constexpr std::int64_t kCiffRecordSize = 10;  // type, size, offset from the heap's start
constexpr std::int64_t kCiffEmptyHeap = 6;    // a count of 0 and the table's offset
constexpr std::int64_t kCiffTimeStampSize = 4;
// Cameras nest heaps three deep and write a few hundred records; a crafted
// file stops here, however its heaps point into each other.
constexpr int kMaxHeapDepth = 8;
constexpr int kMaxCiffRecords = 10'000;

class FileSlice final : public RandomAccessFile {
 public:
  FileSlice(FileBytes& whole, ByteRange range) : whole_(whole), range_(range) {}

  std::int64_t size() const override { return range_.length; }

  std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) override {
    if (offset < 0 || offset >= range_.length) return 0;
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(out.size()), range_.length - offset));
    for (std::size_t k = 0; k < count; ++k) {
      out[k] = whole_.byteAt(range_.start + offset + static_cast<std::int64_t>(k));
    }
    return count;
  }

  // Only the reader sees a slice, never the sort run that tells entries apart.
  EntryIdentity entry() const override { return {}; }

 private:
  FileBytes& whole_;
  ByteRange range_;
};

bool isType(FileBytes& bytes, std::int64_t at, std::string_view type) {
  for (std::size_t k = 0; k < type.size(); ++k) {
    if (bytes.byteAt(at + static_cast<std::int64_t>(k)) != static_cast<std::uint8_t>(type[k])) return false;
  }
  return true;
}

struct HeapSearch {
  FileBytes& bytes;
  int recordsLeft = kMaxCiffRecords;
};

bool isHeap(std::uint64_t type) {
  return std::ranges::find(kCiffHeapFormats, type & kCiffFormat) != std::end(kCiffHeapFormats);
}

// A heap's record table sits at its end, its offset from the heap's start in
// the heap's last 4 bytes: a 16-bit count, then the records. Their data lies
// in the heap, before the table.
std::optional<std::int64_t> timeStampIn(HeapSearch& search, ByteRange heap, int depth) {
  FileBytes& bytes = search.bytes;
  if (depth > kMaxHeapDepth || heap.length < kCiffEmptyHeap) return std::nullopt;
  const std::int64_t end = heap.start + heap.length;
  const auto dataLength = static_cast<std::int64_t>(littleEndian(bytes, end - 4, 4));
  const std::int64_t table = heap.start + dataLength;
  if (dataLength > heap.length - kCiffEmptyHeap) return std::nullopt;
  const auto count = static_cast<std::int64_t>(littleEndian(bytes, table, 2));
  if (count * kCiffRecordSize > end - 4 - (table + 2)) return std::nullopt;
  for (std::int64_t k = 0; k < count && --search.recordsLeft >= 0; ++k) {
    const std::int64_t record = table + 2 + k * kCiffRecordSize;
    const std::uint64_t type = littleEndian(bytes, record, 2);
    const auto size = static_cast<std::int64_t>(littleEndian(bytes, record + 2, 4));
    const auto offset = static_cast<std::int64_t>(littleEndian(bytes, record + 6, 4));
    if ((type & kCiffLocation) != 0 || offset + size > dataLength) continue;
    const ByteRange data{heap.start + offset, size};
    if (type == kCiffTimeStamp && size >= kCiffTimeStampSize) return data.start;
    if (isHeap(type)) {
      if (const std::optional<std::int64_t> found = timeStampIn(search, data, depth + 1)) return found;
    }
  }
  return std::nullopt;
}

std::string twoDigits(std::int64_t value) {
  return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// The seconds since 1970 as the wall-clock time they count, in no time zone.
std::string wallClockText(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds time{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  return std::to_string(static_cast<int>(date.year())) + ':' + twoDigits(unsigned{date.month()}) + ':' +
         twoDigits(unsigned{date.day()}) + ' ' + twoDigits(clock.hours().count()) + ':' +
         twoDigits(clock.minutes().count()) + ':' + twoDigits(clock.seconds().count());
}

}  // namespace

std::unique_ptr<RandomAccessFile> sliceOf(FileBytes& whole, ByteRange range) {
  return std::make_unique<FileSlice>(whole, range);
}

std::optional<ByteRange> rafJpeg(FileBytes& bytes) {
  const auto offset = static_cast<std::int64_t>(bigEndian(bytes, kRafJpegOffsetAt, 4));
  const auto length = static_cast<std::int64_t>(bigEndian(bytes, kRafJpegLengthAt, 4));
  // Both are below 2^32, so their sum cannot overflow.
  if (length == 0 || offset + length > bytes.upperBound()) return std::nullopt;
  return ByteRange{offset, length};
}

std::optional<ByteRange> mrwTiffBlock(FileBytes& bytes) {
  const std::int64_t headerEnd = kMrwBlocksStart + static_cast<std::int64_t>(bigEndian(bytes, 4, 4));
  if (headerEnd > bytes.upperBound()) return std::nullopt;
  using namespace std::string_view_literals;
  // Each block moves on by at least its own header, so the walk ends.
  for (std::int64_t at = kMrwBlocksStart; headerEnd - at >= kMrwBlockHeader;) {
    const std::int64_t data = at + kMrwBlockHeader;
    const auto length = static_cast<std::int64_t>(bigEndian(bytes, at + 4, 4));
    if (length > headerEnd - data) return std::nullopt;
    if (isType(bytes, at, "\0TTW"sv)) return ByteRange{data, length};
    at = data + length;
  }
  return std::nullopt;
}

std::optional<std::string> crwDate(FileBytes& bytes) {
  const auto headerLength = static_cast<std::int64_t>(littleEndian(bytes, 2, 4));
  if (headerLength > bytes.upperBound()) return std::nullopt;
  HeapSearch search{bytes};
  const std::optional<std::int64_t> timeStamp =
      timeStampIn(search, {headerLength, bytes.upperBound() - headerLength}, 0);
  if (!timeStamp) return std::nullopt;
  const auto seconds = static_cast<std::int64_t>(littleEndian(bytes, *timeStamp, 4));
  if (seconds == 0) return std::nullopt;
  return wallClockText(seconds);
}

}  // namespace kelvane::media
