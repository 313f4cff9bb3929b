// kelvane --tags: one file's tag table, one record a line.
#pragma once

#include <ostream>
#include <string>

#include "exif/tag_entry.h"
#include "platform/file_system.h"
#include "platform/message_box.h"

namespace kelvane::cli {

// Loads the file with a fresh reader and prints its table. Returns the exit
// status: 0 when it loaded, 1 when it did not (nothing is printed then).
int listTags(const std::string& path, FileSystem& fileSystem, MessageBoxes& boxes, std::ostream& out);

// "-" for Empty, "L:<decimal>" for a Long, "S:<text>" with the text escaped.
std::string formatTagValue(const TagValue& value);

}  // namespace kelvane::cli
