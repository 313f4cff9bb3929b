#include "sort/date_folder.h"

#include <algorithm>

namespace kelvane {
namespace {

bool isControl(unsigned char c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

std::string latin1ToUtf8(const std::string& text) {
  std::string utf8;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

std::string asText(const TagValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<Long>(&value)) return std::to_string(*number);
  return {};
}

}  // namespace

std::string dateFolderName(const TagValue& dateTimeOriginal) {
  std::string name = asText(dateTimeOriginal).substr(0, 10);
  std::replace(name.begin(), name.end(), ':', '-');
  // Such a name would lead out of the photo's folder, is no name at all, or
  // (beginning with ".") would hide the photos moved into it.
  const bool unusable = name.starts_with('.') || std::any_of(name.begin(), name.end(), [](char c) {
                          return c == '/' || isControl(static_cast<unsigned char>(c));
                        });
  return unusable ? std::string() : latin1ToUtf8(name);
}

}  // namespace kelvane
