#include "media/container_reading.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>
#include <vector>

#include "platform/runtime_failure.h"

namespace kelvane::media {
namespace {

// No container a camera writes comes near these; a crafted one stops here.
constexpr int kMaxBoxes = 10'000;  // boxes or chunks looked at on one level
constexpr int kMaxItems = 10'000;  // items of a HEIF item list
constexpr std::int64_t kMaxText = 256;
constexpr std::int64_t kMaxPacket = 1 << 20;  // bytes of an XMP packet looked at

// Seconds from 1904-01-01, where movie times count from, to 1970-01-01.
constexpr std::int64_t kMovieEpoch = 2'082'844'800;

std::string textAt(FileBytes& bytes, std::int64_t at, std::int64_t length, std::int64_t limit = kMaxText) {
  std::string text;
  for (std::int64_t k = 0; k < length && k < limit; ++k) text += static_cast<char>(bytes.byteAt(at + k));
  return text;
}

// The TIFF header of an Exif block, some writers putting "Exif\0\0" first.
std::int64_t afterExifMark(FileBytes& bytes, std::int64_t at, std::int64_t end) {
  return end - at >= 6 && textAt(bytes, at, 6) == std::string_view("Exif\0\0", 6) ? at + 6 : at;
}

// An ISO base media box: a 32-bit size (1: a 64-bit size follows the type;
// 0: to the end of its parent) and a four-character type.
struct Box {
  std::int64_t start = 0;
  std::int64_t data = 0;  // after the header
  std::int64_t end = 0;
  std::string type;
};

std::optional<Box> boxAt(FileBytes& bytes, std::int64_t at, std::int64_t parentEnd) {
  if (parentEnd - at < 8) return std::nullopt;
  Box box{at, at + 8, 0, textAt(bytes, at + 4, 4)};
  std::uint64_t size = bigEndian(bytes, at, 4);
  if (size == 1) {
    if (parentEnd - at < 16) return std::nullopt;
    size = bigEndian(bytes, at + 8, 8);
    box.data = at + 16;
  } else if (size == 0) {
    size = static_cast<std::uint64_t>(parentEnd - at);
  }
  if (size < static_cast<std::uint64_t>(box.data - at) || size > static_cast<std::uint64_t>(parentEnd - at)) {
    return std::nullopt;
  }
  box.end = at + static_cast<std::int64_t>(size);
  return box;
}

// The first box from `from` on that `matches`; nothing once a box's size
// lies about its parent.
template <typename Match>
std::optional<Box> firstChild(FileBytes& bytes, std::int64_t from, std::int64_t end, Match matches) {
  for (int n = 0; n < kMaxBoxes; ++n) {
    const std::optional<Box> box = boxAt(bytes, from, end);
    if (!box) return std::nullopt;
    if (matches(*box)) return box;
    from = box->end;
  }
  return std::nullopt;
}

std::optional<Box> childOf(FileBytes& bytes, std::int64_t from, std::int64_t end, std::string_view type) {
  return firstChild(bytes, from, end, [&](const Box& box) { return box.type == type; });
}

using UserType = std::array<std::uint8_t, 16>;

// Canon's box of metadata in a CR3 file's moov, and the box XMP writers use.
constexpr UserType kCanonMetadata = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                     0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
constexpr UserType kXmpPacket = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                                 0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};

// A uuid box's data: its 16-byte user type, then the contents.
std::optional<Box> uuidChildOf(FileBytes& bytes, std::int64_t from, std::int64_t end,
                               const UserType& userType) {
  std::optional<Box> found = firstChild(bytes, from, end, [&](const Box& box) {
    if (box.type != "uuid" || box.end - box.data < 16) return false;
    for (std::size_t k = 0; k < userType.size(); ++k) {
      if (bytes.byteAt(box.data + static_cast<std::int64_t>(k)) != userType[k]) return false;
    }
    return true;
  });
  if (found) found->data += 16;
  return found;
}

std::int64_t fileEnd(FileBytes& bytes) { return bytes.upperBound(); }

// A full box's version; its children or fields start 4 bytes into its data.
int versionOf(FileBytes& bytes, const Box& box) { return bytes.byteAt(box.data); }

std::optional<std::uint32_t> exifItemId(FileBytes& bytes, const Box& iinf) {
  const int countSize = versionOf(bytes, iinf) == 0 ? 2 : 4;
  const auto count = bigEndian(bytes, iinf.data + 4, countSize);
  std::int64_t at = iinf.data + 4 + countSize;
  for (std::uint64_t n = 0; n < count && n < kMaxItems; ++n) {
    const std::optional<Box> infe = boxAt(bytes, at, iinf.end);
    if (!infe) return std::nullopt;
    const int version = versionOf(bytes, *infe);
    if (infe->type == "infe" && version >= 2) {
      const int idSize = version == 2 ? 2 : 4;
      const auto id = static_cast<std::uint32_t>(bigEndian(bytes, infe->data + 4, idSize));
      if (textAt(bytes, infe->data + 4 + idSize + 2, 4) == "Exif") return id;
    }
    at = infe->end;
  }
  return std::nullopt;
}

struct ItemPlace {
  int constructionMethod = 0;  // 0: offsets into the file; 1: into the idat box
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Reads the fields of one iloc table in order, never past its box.
class FieldReader {
 public:
  FieldReader(FileBytes& bytes, std::int64_t at, std::int64_t end) : bytes_(bytes), at_(at), end_(end) {}
  bool fits(int size) const { return end_ - at_ >= size; }
  std::uint64_t next(int size) {
    if (!fits(size)) throw FileFailure(62, "Input past end of file");
    const std::uint64_t value = bigEndian(bytes_, at_, size);
    at_ += size;
    return value;
  }

 private:
  FileBytes& bytes_;
  std::int64_t at_;
  std::int64_t end_;
};

bool isFieldSize(std::uint64_t size) { return size == 0 || size == 4 || size == 8; }

std::optional<ItemPlace> placeOf(FileBytes& bytes, const Box& iloc, std::uint32_t item) {
  const int version = versionOf(bytes, iloc);
  FieldReader fields(bytes, iloc.data + 4, iloc.end);
  const auto sizes = fields.next(1);
  const auto moreSizes = fields.next(1);
  const int offsetSize = static_cast<int>(sizes >> 4);
  const int lengthSize = static_cast<int>(sizes & 15);
  const int baseOffsetSize = static_cast<int>(moreSizes >> 4);
  const int indexSize = version == 1 || version == 2 ? static_cast<int>(moreSizes & 15) : 0;
  for (const int size : {offsetSize, lengthSize, baseOffsetSize, indexSize}) {
    if (!isFieldSize(static_cast<std::uint64_t>(size))) return std::nullopt;
  }
  const auto count = fields.next(version < 2 ? 2 : 4);
  for (std::uint64_t n = 0; n < count && n < kMaxItems; ++n) {
    const auto id = fields.next(version < 2 ? 2 : 4);
    const int method = version == 1 || version == 2 ? static_cast<int>(fields.next(2) & 15) : 0;
    fields.next(2);  // data reference index
    const auto base = fields.next(baseOffsetSize);
    const auto extents = fields.next(2);
    ItemPlace place{method, base, 0};
    for (std::uint64_t e = 0; e < extents; ++e) {
      fields.next(indexSize);
      const auto offset = fields.next(offsetSize);
      const auto length = fields.next(lengthSize);
      if (e == 0) place = {method, base + offset, length};
    }
    if (id == item && extents > 0) return place;
  }
  return std::nullopt;
}

// The key index of Apple's creation date in a QuickTime keys box, from 1.
std::optional<std::uint64_t> creationDateKey(FileBytes& bytes, const Box& keys) {
  const auto count = bigEndian(bytes, keys.data + 4, 4);
  std::int64_t at = keys.data + 8;
  for (std::uint64_t index = 1; index <= count && index <= kMaxItems; ++index) {
    if (keys.end - at < 8) return std::nullopt;
    const auto size = static_cast<std::int64_t>(bigEndian(bytes, at, 4));
    if (size < 8 || size > keys.end - at) return std::nullopt;
    if (textAt(bytes, at + 8, size - 8) == "com.apple.quicktime.creationdate") return index;
    at += size;
  }
  return std::nullopt;
}

// A QuickTime meta box is a plain box, an MP4 one a full box: its first
// child comes 4 bytes later.
std::int64_t firstChildOfMeta(FileBytes& bytes, const Box& meta) {
  const std::string type = textAt(bytes, meta.data + 4, 4);
  return type == "hdlr" || type == "keys" || type == "ilst" ? meta.data : meta.data + 4;
}

std::optional<std::string> appleCreationDate(FileBytes& bytes, const Box& meta) {
  const std::int64_t first = firstChildOfMeta(bytes, meta);
  const std::optional<Box> keys = childOf(bytes, first, meta.end, "keys");
  const std::optional<Box> items = childOf(bytes, first, meta.end, "ilst");
  if (!keys || !items) return std::nullopt;
  const std::optional<std::uint64_t> key = creationDateKey(bytes, *keys);
  if (!key) return std::nullopt;
  std::int64_t at = items->data;
  for (int n = 0; n < kMaxBoxes; ++n) {
    const std::optional<Box> item = boxAt(bytes, at, items->end);
    if (!item) return std::nullopt;
    if (bigEndian(bytes, item->start + 4, 4) == *key) {
      const std::optional<Box> value = childOf(bytes, item->data, item->end, "data");
      if (!value || value->end - value->data < 8) return std::nullopt;
      return textAt(bytes, value->data + 8, value->end - value->data - 8);
    }
    at = item->end;
  }
  return std::nullopt;
}

std::optional<std::string> movieHeaderDate(FileBytes& bytes, const Box& mvhd, bool utc) {
  const bool wide = versionOf(bytes, mvhd) == 1;
  const auto seconds = static_cast<std::int64_t>(bigEndian(bytes, mvhd.data + 4, wide ? 8 : 4));
  if (seconds == 0) return std::nullopt;  // unknown
  const auto time = static_cast<std::time_t>(seconds - kMovieEpoch);
  std::tm parts{};
  if ((utc ? ::gmtime_r(&time, &parts) : ::localtime_r(&time, &parts)) == nullptr) return std::nullopt;
  std::array<char, 32> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%Y:%m:%d %H:%M:%S", &parts);
  return std::string(text.data(), length);
}

bool isIsoDate(std::string_view text) {
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return false;
  return std::all_of(text.begin(), text.begin() + 10,
                     [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
}

// An XMP property's value, written as an attribute (name="value") or as an
// element (<name>value</name>), when it begins with a date.
std::optional<std::string> xmpProperty(const std::string& packet, std::string_view name) {
  constexpr std::string_view kSpace = " \t\r\n";
  for (std::size_t at = packet.find(name); at != std::string::npos; at = packet.find(name, at + 1)) {
    if (at > 0 && packet[at - 1] != '<' && kSpace.find(packet[at - 1]) == std::string_view::npos) continue;
    std::size_t from = packet.find_first_not_of(kSpace, at + name.size());
    std::size_t to = std::string::npos;
    if (from < packet.size() && packet[from] == '>') {
      to = packet.find('<', ++from);
    } else if (from < packet.size() && packet[from] == '=') {
      from = packet.find_first_not_of(kSpace, from + 1);
      if (from < packet.size() && (packet[from] == '"' || packet[from] == '\'')) {
        to = packet.find(packet[from], from + 1);
        ++from;
      }
    }
    if (to == std::string::npos) continue;
    const std::string value = packet.substr(from, to - from);
    const std::size_t first = value.find_first_not_of(kSpace);
    if (first != std::string::npos && isIsoDate(std::string_view(value).substr(first))) {
      return value.substr(first, value.find_last_not_of(kSpace) + 1 - first);
    }
  }
  return std::nullopt;
}

// XMP packets where movies keep them: a uuid box at the top level or in
// moov, or moov/udta/XMP_. Their dates are local times.
std::optional<std::string> xmpDate(FileBytes& bytes, const std::optional<Box>& moov) {
  std::vector<Box> packets;
  if (std::optional<Box> top = uuidChildOf(bytes, 0, fileEnd(bytes), kXmpPacket)) packets.push_back(*top);
  if (moov) {
    if (std::optional<Box> inside = uuidChildOf(bytes, moov->data, moov->end, kXmpPacket))
      packets.push_back(*inside);
    if (std::optional<Box> udta = childOf(bytes, moov->data, moov->end, "udta")) {
      if (std::optional<Box> xmp = childOf(bytes, udta->data, udta->end, "XMP_")) packets.push_back(*xmp);
    }
  }
  for (const Box& box : packets) {
    const std::string packet = textAt(bytes, box.data, box.end - box.data, kMaxPacket);
    for (const std::string_view name : {"xmp:CreateDate", "photoshop:DateCreated"}) {
      if (std::optional<std::string> date = xmpProperty(packet, name)) return date;
    }
  }
  return std::nullopt;
}

// A CR3 file's Exif: moov's Canon box holds CMT1 (IFD0) and CMT2 (the Exif
// IFD, where the capture date is), each a complete TIFF block.
std::vector<std::int64_t> canonTiffStarts(FileBytes& bytes) {
  const std::optional<Box> moov = childOf(bytes, 0, fileEnd(bytes), "moov");
  if (!moov) return {};
  const std::optional<Box> canon = uuidChildOf(bytes, moov->data, moov->end, kCanonMetadata);
  if (!canon) return {};
  std::vector<std::int64_t> starts;
  for (const std::string_view type : {"CMT2", "CMT1"}) {
    if (std::optional<Box> block = childOf(bytes, canon->data, canon->end, type))
      starts.push_back(block->data);
  }
  return starts;
}

}  // namespace

bool isIsoMedia(FileBytes& bytes) {
  using namespace std::string_view_literals;
  if (fileEnd(bytes) < 8) return false;
  const std::string type = textAt(bytes, 4, 4);
  if (type == "ftyp") return true;
  // QuickTime files may begin with any of these instead.
  constexpr std::array kMovieStarts = {"moov"sv, "mdat"sv, "wide"sv, "free"sv, "skip"sv,
                                       "pnot"sv, "PICT"sv, "junk"sv, "uuid"sv};
  if (std::find(kMovieStarts.begin(), kMovieStarts.end(), type) == kMovieStarts.end()) return false;
  const std::uint64_t size = bigEndian(bytes, 0, 4);
  if (size == 1) return fileEnd(bytes) >= 16 && bigEndian(bytes, 8, 8) >= 16;
  return size == 0 || size >= 8;
}

std::uint64_t bigEndian(FileBytes& bytes, std::int64_t at, int n) {
  std::uint64_t value = 0;
  for (int k = 0; k < n; ++k) value = value << 8 | bytes.byteAt(at + k);
  return value;
}

std::uint64_t littleEndian(FileBytes& bytes, std::int64_t at, int n) {
  std::uint64_t value = 0;
  for (int k = n - 1; k >= 0; --k) value = value << 8 | bytes.byteAt(at + k);
  return value;
}

// Chunks: a 32-bit big-endian length, a type, the data and a CRC. The eXIf
// chunk may come before or after the image data.
std::optional<std::int64_t> pngTiffStart(FileBytes& bytes) {
  const std::int64_t end = fileEnd(bytes);
  std::int64_t at = 8;
  for (int n = 0; n < kMaxBoxes && end - at >= 12; ++n) {
    const auto length = static_cast<std::int64_t>(bigEndian(bytes, at, 4));
    const std::string type = textAt(bytes, at + 4, 4);
    if (length > end - at - 12 || type == "IEND") return std::nullopt;
    if (type == "eXIf") return afterExifMark(bytes, at + 8, at + 8 + length);
    at += 12 + length;
  }
  return std::nullopt;
}

// "RIFF", a 32-bit little-endian size, "WEBP", then chunks: a type, a 32-bit
// little-endian size, the data padded to an even length.
std::optional<std::int64_t> webpTiffStart(FileBytes& bytes) {
  const std::int64_t end =
      std::min<std::int64_t>(fileEnd(bytes), 8 + static_cast<std::int64_t>(littleEndian(bytes, 4, 4)));
  std::int64_t at = 12;
  for (int n = 0; n < kMaxBoxes && end - at >= 8; ++n) {
    const std::string type = textAt(bytes, at, 4);
    const auto size = static_cast<std::int64_t>(littleEndian(bytes, at + 4, 4));
    if (size > end - at - 8) return std::nullopt;
    if (type == "EXIF") return afterExifMark(bytes, at + 8, at + 8 + size);
    at += 8 + size + (size & 1);
  }
  return std::nullopt;
}

// The Exif item found through iinf and placed through iloc; its data begins
// with a 32-bit count of bytes to skip before the TIFF header.
std::optional<std::int64_t> heifTiffStart(FileBytes& bytes) {
  const std::int64_t end = fileEnd(bytes);
  const std::optional<Box> meta = childOf(bytes, 0, end, "meta");
  if (!meta) return std::nullopt;
  const std::int64_t first = meta->data + 4;
  const std::optional<Box> iinf = childOf(bytes, first, meta->end, "iinf");
  const std::optional<Box> iloc = childOf(bytes, first, meta->end, "iloc");
  if (!iinf || !iloc) return std::nullopt;
  const std::optional<std::uint32_t> item = exifItemId(bytes, *iinf);
  if (!item) return std::nullopt;
  const std::optional<ItemPlace> place = placeOf(bytes, *iloc, *item);
  if (!place || place->constructionMethod > 1) return std::nullopt;
  std::uint64_t start = place->offset;
  if (place->constructionMethod == 1) {
    const std::optional<Box> idat = childOf(bytes, first, meta->end, "idat");
    if (!idat) return std::nullopt;
    start += static_cast<std::uint64_t>(idat->data);
  }
  if (start > static_cast<std::uint64_t>(end) || place->length < 4) return std::nullopt;
  const auto at = static_cast<std::int64_t>(start);
  const std::uint64_t skip = bigEndian(bytes, at, 4);
  if (skip > place->length - 4) return std::nullopt;
  return at + 4 + static_cast<std::int64_t>(skip);
}

std::vector<std::int64_t> isoExifStarts(FileBytes& bytes) {
  std::vector<std::int64_t> starts;
  if (const std::optional<std::int64_t> heif = heifTiffStart(bytes)) starts.push_back(*heif);
  const std::vector<std::int64_t> canon = canonTiffStarts(bytes);
  starts.insert(starts.end(), canon.begin(), canon.end());
  return starts;
}

std::optional<std::string> movieDate(FileBytes& bytes, bool utc) {
  const std::optional<Box> moov = childOf(bytes, 0, fileEnd(bytes), "moov");
  if (moov) {
    if (const std::optional<Box> meta = childOf(bytes, moov->data, moov->end, "meta")) {
      if (std::optional<std::string> date = appleCreationDate(bytes, *meta)) return date;
    }
  }
  if (std::optional<std::string> date = xmpDate(bytes, moov)) return date;
  if (!moov) return std::nullopt;
  const std::optional<Box> mvhd = childOf(bytes, moov->data, moov->end, "mvhd");
  if (!mvhd) return std::nullopt;
  return movieHeaderDate(bytes, *mvhd, utc);
}

}  // namespace kelvane::media
