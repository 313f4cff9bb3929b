// The all-media mode's reader: the capture date of a photo or video of any
// format Kelvane knows, found by the file's first bytes, not its name. Exif
// blocks inside other containers go through the same directory walk as a
// JPEG's, answering its boxes the same way. JPEG files are left to
// clsExifReader, exactly as without the mode.
#pragma once

#include <optional>
#include <string>

#include "exif/tag_entry.h"
#include "platform/file_system.h"
#include "platform/message_box.h"

namespace kelvane::media {

enum class Kind { Jpeg, Tiff, Png, WebP, IsoMedia, Raf, Mrw, Crw, Unknown };

struct MediaDate {
  TagValue value;         // the capture date as tag 36867 holds it, or Empty
  bool cutShort = false;  // the directory walk ended at its budget of failures
};

class MediaReader {
 public:
  // videoUtc: a movie header's creation time gives its UTC date, not the
  // date of this machine's time zone.
  MediaReader(FileOpener& files, MessageBoxes& boxes, bool videoUtc);

  // The date of a file of a kind other than Jpeg and Unknown; damage that
  // hides it gives Empty. Nothing for a JPEG, a file of no known kind or one
  // that cannot be opened: clsExifReader takes those. The file
  // is closed on return.
  std::optional<MediaDate> captureDate(const std::string& path);

 private:
  FileOpener& files_;
  MessageBoxes& boxes_;
  bool videoUtc_;
};

}  // namespace kelvane::media
