#include "test_data.h"

#include <cstdlib>
#include <filesystem>

namespace kelvane::testing {

std::string testPhoto(const std::string& name) { return std::string(KELVANE_TEST_DATA_DIR) + "/" + name; }

std::optional<std::string> sharedCorpus() {
  const char* chosen = std::getenv("KELVANE_SHARED_DIR");
  const std::string corpus = std::string(chosen != nullptr ? chosen : KELVANE_SHARED_DIR) + "/corpus/";
  if (!std::filesystem::exists(corpus + "MANIFEST.tsv")) return std::nullopt;
  return corpus;
}

std::uint32_t propertySeed() {
  const char* text = std::getenv("KELVANE_SEED");
  return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 20240102u;
}

}  // namespace kelvane::testing
