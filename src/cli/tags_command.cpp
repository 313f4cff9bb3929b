#include "cli/tags_command.h"

#include "exif/exif_reader.h"
#include "platform/hex_digits.h"

namespace kelvane::cli {
namespace {

// One character per byte; backslash, control bytes and bytes from 0x7F up are
// escaped so that every record stays on one line and is plain ASCII.
std::string escapeText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      escaped += "\\\\";
    } else if (byte < 0x20 || byte >= 0x7F) {
      escaped += "\\x";
      escaped += kHexDigits[byte >> 4];
      escaped += kHexDigits[byte & 15];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::string formatTagValue(const TagValue& value) {
  if (const auto* number = std::get_if<Long>(&value)) return "L:" + std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return "S:" + escapeText(*text);
  return "-";
}

int listTags(const std::string& path, FileSystem& fileSystem, MessageBoxes& boxes, std::ostream& out) {
  clsExifReader reader(fileSystem, boxes);
  if (!reader.Load(path)) return 1;
  for (const TagEntry& entry : reader.tagRecords()) {
    out << entry.TagId << '\t' << entry.DataType << '\t' << entry.Count << '\t' << entry.ValueOffset << '\t'
        << formatTagValue(entry.Value) << '\n';
  }
  return 0;
}

}  // namespace kelvane::cli
