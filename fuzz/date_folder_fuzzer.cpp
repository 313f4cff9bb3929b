// Turns each input into a capture date value and checks the folder name made
// of it: empty, or one name that stays inside the photo's folder and shows as
// what the date says. The first byte picks the value: 'E' empty, 'L' a number
// (the next four bytes, little-endian), anything else the text behind it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "exif/tag_entry.h"
#include "sort/date_folder.h"

namespace {

void require(bool holds, const char* what, const std::string& name) {
  if (holds) return;
  std::fprintf(stderr, "date folder name: %s: [%s]\n", what, name.c_str());
  std::abort();
}

kelvane::TagValue valueOf(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || data[0] == 'E') return {};
  if (data[0] == 'L') {
    std::uint32_t number = 0;
    for (std::size_t k = 1; k < size && k <= 4; ++k) number |= std::uint32_t{data[k]} << (8 * (k - 1));
    return static_cast<kelvane::Long>(number);
  }
  return std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
}

// The code points of a UTF-8 text, or nothing when it is not valid UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
bool decodeUtf8(const std::string& text, std::vector<std::uint32_t>& codePoints) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead < 0x80) {
      length = 1;
      value = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = value << 6 | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    codePoints.push_back(value);
    i += length;
  }
  return true;
}

bool isControl(std::uint32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kelvane::TagValue value = valueOf(data, size);
  const std::string name = kelvane::dateFolderName(value);
  if (name.empty()) return 0;

  std::vector<std::uint32_t> codePoints;
  require(decodeUtf8(name, codePoints), "not valid UTF-8", name);
  require(codePoints.front() != '.', "a hidden name (or . or ..)", name);
  for (const std::uint32_t c : codePoints) {
    require(c != '/', "a slash", name);
    require(!isControl(c), "a control character", name);
  }

  // The name shows the date's first ten characters, each byte one character,
  // the colons of the date made dashes.
  std::string date;
  if (const auto* text = std::get_if<std::string>(&value)) date = *text;
  if (const auto* number = std::get_if<kelvane::Long>(&value)) date = std::to_string(*number);
  require(codePoints.size() == std::min<std::size_t>(date.size(), 10), "not ten characters of the date",
          name);
  for (std::size_t k = 0; k < codePoints.size(); ++k) {
    const auto shown = static_cast<unsigned char>(date[k] == ':' ? '-' : date[k]);
    require(codePoints[k] == shown, "a character the date does not have", name);
  }
  return 0;
}
