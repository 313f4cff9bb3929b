#include "platform/same_contents.h"

#include <algorithm>
#include <vector>

namespace kelvane {

bool sameContents(RandomAccessFile& a, RandomAccessFile& b) {
  if (a.size() != b.size()) return false;
  constexpr std::size_t kBlock = 64 * 1024;
  std::vector<std::uint8_t> first(kBlock);
  std::vector<std::uint8_t> second(kBlock);
  for (std::int64_t offset = 0; offset < a.size(); offset += static_cast<std::int64_t>(kBlock)) {
    const std::size_t got = a.readAt(offset, first);
    if (b.readAt(offset, second) != got ||
        !std::equal(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(got), second.begin())) {
      return false;
    }
    if (got < kBlock) break;
  }
  return true;
}

}  // namespace kelvane
