#include "media/raw_reading.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "media/container_reading.h"

namespace kelvane::media {
namespace {

constexpr std::int64_t kRafJpegOffsetAt = 84;
constexpr std::int64_t kRafJpegLengthAt = 88;
constexpr std::int64_t kMrwBlocksStart = 8;  // after "\0MRM" and the header length
constexpr std::int64_t kMrwBlockHeader = 8;  // a type and a length

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

}  // namespace kelvane::media
