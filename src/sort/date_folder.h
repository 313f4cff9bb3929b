// The name of the date folder a photo goes into.
#pragma once

#include <string>

#include "exif/tag_entry.h"

namespace kelvane {

// The first ten characters of the capture date with every ":" made "-", in
// UTF-8 (the tag's text has one character per byte). Empty when there is no
// date, or when the text could not be a folder name beside the photo: a "/",
// a control character, or a "." first.
std::string dateFolderName(const TagValue& dateTimeOriginal);

}  // namespace kelvane
