// Which files of a folder go with which photo in the all-media mode: raw
// partners (IMG_1.CR2 beside IMG_1.JPG) and sidecars (IMG_1.xmp,
// IMG_1.JPG.xmp, IMG_1.AAE, MVI_1.THM beside MVI_1.MOV, .pp3, .dop) share
// their photo's base name; extensions in any case.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/name_list.h"

namespace kelvane {

struct CompanionPlan {
  std::map<std::string, std::vector<std::string>> companionsOf;  // photo -> its companions, in listing order
  std::map<std::string, std::string> photoOf;                    // companion -> the photo it goes with

  bool isCompanion(const std::string& name) const { return photoOf.contains(name); }
  // The companions of a photo: none for a name that has none.
  const std::vector<std::string>& companionsOfPhoto(const std::string& photo) const;
};

// A raw file beside a photo of another kind is its partner; one without such
// a photo is a photo itself, and its sidecars go with it. A JPEG is the photo
// of choice where several share a base name. The names are sorted by bytes,
// as a folder's listing gives them.
CompanionPlan planCompanions(const NameList& names);

// Whether the name's extension is one of a raw format's.
bool isRawName(const std::string& name);

}  // namespace kelvane
