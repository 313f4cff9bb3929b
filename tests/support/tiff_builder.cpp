#include "tiff_builder.h"

namespace kelvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes littleEndian16(std::uint64_t value) { return {std::uint8_t(value), std::uint8_t(value >> 8)}; }
Bytes littleEndian32(std::uint64_t value) {
  return {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
          std::uint8_t(value >> 24)};
}
Bytes bigEndian32(std::uint64_t value) {
  return {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
          std::uint8_t(value)};
}

}  // namespace

TiffBuilder::TiffBuilder(ByteOrder order, std::uint32_t ifd0Offset) : order_(order) {
  const std::uint8_t mark = order == ByteOrder::Intel ? 'I' : 'M';
  bytes_ = {mark, mark};
  u16(42);
  u32(ifd0Offset);
}

std::array<std::uint8_t, 2> TiffBuilder::encode16(std::uint16_t value) const {
  const auto low = static_cast<std::uint8_t>(value & 0xFF);
  const auto high = static_cast<std::uint8_t>(value >> 8);
  return order_ == ByteOrder::Intel ? std::array<std::uint8_t, 2>{low, high}
                                    : std::array<std::uint8_t, 2>{high, low};
}

Field TiffBuilder::encode32(std::uint32_t value) const {
  Field field{};
  for (std::size_t k = 0; k < 4; ++k) {
    const auto byte = static_cast<std::uint8_t>(value >> (8 * k));
    field[order_ == ByteOrder::Intel ? k : 3 - k] = byte;
  }
  return field;
}

Field TiffBuilder::number(std::uint32_t value) const { return encode32(value); }

Field TiffBuilder::shorts(std::uint16_t first, std::uint16_t second) const {
  const auto a = encode16(first);
  const auto b = encode16(second);
  return {a[0], a[1], b[0], b[1]};
}

Field TiffBuilder::raw(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return {b0, b1, b2, b3};
}

std::size_t TiffBuilder::u16(std::uint16_t value) {
  const std::size_t at = bytes_.size();
  const auto encoded = encode16(value);
  bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
  return at;
}

std::size_t TiffBuilder::u32(std::uint32_t value) {
  const std::size_t at = bytes_.size();
  const auto encoded = encode32(value);
  bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
  return at;
}

std::size_t TiffBuilder::append(const std::vector<std::uint8_t>& data) {
  const std::size_t at = bytes_.size();
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return at;
}

std::size_t TiffBuilder::text(const std::string& data) {
  return append(std::vector<std::uint8_t>(data.begin(), data.end()));
}

std::size_t TiffBuilder::directory(const std::vector<DirectoryEntry>& entries, std::uint32_t nextLink) {
  const std::size_t at = u16(static_cast<std::uint16_t>(entries.size()));
  for (const DirectoryEntry& entry : entries) {
    u16(entry.tag);
    u16(entry.type);
    u32(entry.count);
    bytes_.insert(bytes_.end(), entry.field.begin(), entry.field.end());
  }
  u32(nextLink);
  return at;
}

void TiffBuilder::patch32(std::size_t offset, std::uint32_t value) {
  const Field encoded = encode32(value);
  for (std::size_t k = 0; k < 4; ++k) bytes_.at(offset + k) = encoded[k];
}

JpegBuilder& JpegBuilder::soi() { return raw({0xFF, 0xD8}); }

JpegBuilder& JpegBuilder::app0() {
  return raw({0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
              0x00, 0x00});
}

JpegBuilder& JpegBuilder::app1(const std::string& identifier, const std::vector<std::uint8_t>& payload) {
  const std::size_t length = 2 + identifier.size() + payload.size();
  raw({0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF)});
  raw(std::vector<std::uint8_t>(identifier.begin(), identifier.end()));
  return raw(payload);
}

JpegBuilder& JpegBuilder::exif(const TiffBuilder& tiff) {
  return app1(std::string("Exif\0\0", 6), tiff.bytes());
}

JpegBuilder& JpegBuilder::raw(const std::vector<std::uint8_t>& data) {
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return *this;
}

JpegBuilder& JpegBuilder::padding(std::size_t count, std::uint8_t fill) {
  bytes_.insert(bytes_.end(), count, fill);
  return *this;
}

JpegBuilder& JpegBuilder::eoi() { return raw({0xFF, 0xD9}); }

std::vector<std::uint8_t> jpegWithDate(const std::string& dateTime, ByteOrder order) {
  JpegBuilder jpeg;
  jpeg.soi().app0().exif(tiffWithDate(dateTime, order)).padding(64).eoi();
  return jpeg.bytes();
}

TiffBuilder tiffWithDate(const std::string& dateTime, ByteOrder order) {
  TiffBuilder tiff(order);
  // IFD0 at 8 with one entry (the Exif pointer): 2 + 12 + 4 = 18 bytes.
  const std::uint32_t exifOffset = 8 + 18;
  tiff.directory({{34665, kLong, 1, tiff.number(exifOffset)}});
  // The Exif directory with one entry, its text right behind it.
  const std::uint32_t textOffset = exifOffset + 18;
  tiff.directory({{36867, kAscii, static_cast<std::uint32_t>(dateTime.size() + 1), tiff.number(textOffset)}});
  tiff.text(dateTime);
  tiff.append({0});
  return tiff;
}

Bytes rafWith(const Bytes& jpeg, std::optional<std::uint32_t> offset, std::optional<std::uint32_t> length) {
  const Bytes magic = text("FUJIFILMCCD-RAW ");
  const Bytes version = text("0201");
  const Bytes cameraNumber = text("FF129502");
  const Bytes cameraName = text("X-T9") + Bytes(28, 0);
  const Bytes directoryVersionAndMore = Bytes(24, 0);
  const Bytes header = magic + version + cameraNumber + cameraName + directoryVersionAndMore;
  const Bytes cfaPlace = Bytes(8, 0);  // the raw data's offset and length
  const auto jpegAt = static_cast<std::uint32_t>(header.size() + 8 + cfaPlace.size());
  return header + bigEndian32(offset.value_or(jpegAt)) + bigEndian32(length.value_or(jpeg.size())) +
         cfaPlace + jpeg + Bytes(64, 0x55);
}

Bytes mrwWith(const Bytes& tiff, std::optional<std::uint32_t> tiffLength) {
  const auto block = [](const std::string& type, const Bytes& data, std::uint64_t length) {
    return text(std::string(1, '\0') + type) + bigEndian32(length) + data;
  };
  const Bytes blocks = block("PRD", Bytes(24, 0), 24) + block("TTW", tiff, tiffLength.value_or(tiff.size())) +
                       block("WBG", Bytes(12, 0), 12) + block("RIF", Bytes(20, 0), 20) +
                       block("PAD", Bytes(6, 0), 6);
  return text(std::string("\0MRM", 4)) + bigEndian32(blocks.size()) + blocks + Bytes(64, 0x55);
}

Bytes ciffHeap(const std::vector<CiffRecord>& records) {
  Bytes data;
  Bytes table = littleEndian16(records.size());
  for (const CiffRecord& record : records) {
    table = table + littleEndian16(record.type) + littleEndian32(record.data.size()) +
            littleEndian32(data.size());
    data = data + record.data;
  }
  return data + table + littleEndian32(data.size());
}

Bytes crwWith(std::uint32_t seconds) {
  const Bytes timeStamp = littleEndian32(seconds) + littleEndian32(0) + littleEndian32(0);
  const Bytes exifInformation = ciffHeap({{0x1810, Bytes(28, 0)}, {0x180e, timeStamp}});
  const Bytes imageProperties = ciffHeap({{0x080a, text("Canon") + Bytes(27, 0)}, {0x300b, exifInformation}});
  return crwWith(ciffHeap({{0x0810, text("Kelvane") + Bytes(25, 0)}, {0x300a, imageProperties}}));
}

Bytes crwWith(const Bytes& rootHeap) {
  const Bytes version = littleEndian32(0x0001'0002);
  const Bytes reserved = Bytes(8, 0);
  return text("II") + littleEndian32(26) + text("HEAPCCDR") + version + reserved + rootHeap;
}

}  // namespace kelvane::testing
