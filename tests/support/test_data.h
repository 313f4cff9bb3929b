// Where the tests' inputs come from: the photos committed with the tests, the
// shared corpus beside the checkout when it is there, and the seed of the
// property tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kelvane::testing {

// A photo of tests/data.
std::string testPhoto(const std::string& name);

// The shared corpus folder, ending in "/": $KELVANE_SHARED_DIR/corpus, else
// the one beside the checkout; nothing when it is not there.
std::optional<std::string> sharedCorpus();

// KELVANE_SEED when set, else a fixed seed, so that runs repeat.
std::uint32_t propertySeed();

}  // namespace kelvane::testing
