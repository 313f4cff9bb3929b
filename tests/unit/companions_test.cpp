// Which files go with which photo: the base name decides, a JPEG is the photo
// of choice, a raw file alone is a photo, "NAME.JPG.xmp" belongs to NAME.JPG.
#include "sort/companions.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using Plan = std::map<std::string, std::vector<std::string>>;

TEST(Companions, GoWithThePhotoOfTheirBaseName) {
  const struct {
    NameList names;  // as a listing gives them, sorted
    Plan expected;
  } cases[] = {
      {{"IMG_1.CR2", "IMG_1.JPG", "IMG_1.xmp"}, {{"IMG_1.JPG", {"IMG_1.CR2", "IMG_1.xmp"}}}},
      {{"IMG_1.HEIC", "IMG_1.JPG", "IMG_1.JPG.XMP"}, {{"IMG_1.JPG", {"IMG_1.JPG.XMP"}}}},
      {{"IMG_1.HEIC", "IMG_1.xmp"}, {{"IMG_1.HEIC", {"IMG_1.xmp"}}}},
      {{"DSC_2.NEF", "DSC_2.pp3"}, {{"DSC_2.NEF", {"DSC_2.pp3"}}}},
      // The raw formats that are not TIFF are partners too.
      {{"DSCF4.JPG", "DSCF4.RAF"}, {{"DSCF4.JPG", {"DSCF4.RAF"}}}},
      {{"IMG_5.CR3", "IMG_5.JPG"}, {{"IMG_5.JPG", {"IMG_5.CR3"}}}},
      {{"PICT6.JPG", "PICT6.MRW"}, {{"PICT6.JPG", {"PICT6.MRW"}}}},
      {{"CRW_7.CRW", "CRW_7.JPG"}, {{"CRW_7.JPG", {"CRW_7.CRW"}}}},
      {{"MVI_3.MOV", "MVI_3.THM", "MVI_3.mov.xmp"}, {{"MVI_3.MOV", {"MVI_3.THM"}}}},  // names are exact
      {{"a.xmp", "b.jpg", "notes.txt"}, {}},
      {{".xmp", "x.AAE", "x.jpeg"}, {{"x.jpeg", {"x.AAE"}}}},
  };
  for (const auto& [names, expected] : cases) {
    const CompanionPlan plan = planCompanions(names);
    EXPECT_EQ(plan.companionsOf, expected) << names[0];
    std::map<std::string, std::string> photoOf;
    for (const auto& [photo, list] : expected) {
      for (const std::string& companion : list) photoOf.emplace(companion, photo);
    }
    EXPECT_EQ(plan.photoOf, photoOf) << names[0];
  }
}

}  // namespace
}  // namespace kelvane
