#include "sort/companions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace kelvane {
namespace {

constexpr std::array<std::string_view, 20> kRaw = {"dng", "cr2", "cr3", "crw", "nef", "nrw", "arw",
                                                   "srf", "sr2", "orf", "rw2", "pef", "srw", "erf",
                                                   "3fr", "raf", "mrw", "raw", "rwl", "iiq"};
constexpr std::array<std::string_view, 5> kSidecar = {"xmp", "aae", "thm", "pp3", "dop"};

std::string lowerExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string baseName(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

template <std::size_t N>
bool isOneOf(const std::string& extension, const std::array<std::string_view, N>& list) {
  return std::find(list.begin(), list.end(), extension) != list.end();
}

bool isSidecarName(const std::string& name) { return isOneOf(lowerExtension(name), kSidecar); }

bool isJpegName(const std::string& name) {
  const std::string extension = lowerExtension(name);
  return extension == "jpg" || extension == "jpeg";
}

}  // namespace

bool isRawName(const std::string& name) { return isOneOf(lowerExtension(name), kRaw); }

const std::vector<std::string>& CompanionPlan::companionsOfPhoto(const std::string& photo) const {
  static const std::vector<std::string> none;
  const auto found = companionsOf.find(photo);
  return found == companionsOf.end() ? none : found->second;
}

CompanionPlan planCompanions(const NameList& names) {
  // The photo of each base name: a JPEG first, else the first other kind,
  // else the first raw file.
  std::map<std::string, std::string> photoOfBase;
  const auto rank = [](const std::string& name) { return isJpegName(name) ? 0 : isRawName(name) ? 2 : 1; };
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string name(names[k]);
    if (isSidecarName(name)) continue;
    auto [place, added] = photoOfBase.emplace(baseName(name), name);
    if (!added && rank(name) < rank(place->second)) place->second = name;
  }
  CompanionPlan plan;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string name(names[k]);
    const std::string base = baseName(name);
    std::string photo;
    if (isSidecarName(name)) {
      // "IMG_1.JPG.xmp" belongs to IMG_1.JPG itself.
      photo = names.find(base) != names.size() && !isSidecarName(base) ? base
              : photoOfBase.contains(base)                             ? photoOfBase.at(base)
                                                                       : "";
    } else if (isRawName(name) && photoOfBase.at(base) != name) {
      photo = photoOfBase.at(base);
    }
    if (photo.empty() || photo == name) continue;
    plan.companionsOf[photo].push_back(name);
    plan.photoOf.emplace(name, photo);
  }
  return plan;
}

}  // namespace kelvane
