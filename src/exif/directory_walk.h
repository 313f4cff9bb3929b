// The directory walk: IFD0, the chain of next links, then the Exif directory
// once, every entry into a record of the tag table.
#pragma once

#include "exif/file_bytes.h"
#include "exif/reader_budget.h"
#include "exif/tag_table.h"
#include "platform/basic_types.h"
#include "platform/message_box.h"

namespace kelvane {

// All that the walk may touch of its reader.
struct WalkContext {
  FileBytes& bytData;      // the file's bytes
  const Long& lTiffStart;  // the TIFF header: the byte order mark, and where offsets count from
  TagTable& aTags;         // the records it appends
  Long& lNextIfdOffset;    // the link to the next directory, as last read
  Long& lExifIfdOffset;    // the Exif directory's offset, from the last tag 34665
  MessageBoxes& boxes;     // where a failed step asks "Continue anyway?"
  bool& cutShort;          // set when budget::kUnseenFailures ended the walk
};

// Walks from the directory at lDirPos; on return lDirPos holds the last
// position computed.
void walkDirectories(const WalkContext& context, Long& lDirPos);

}  // namespace kelvane
