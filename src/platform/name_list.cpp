#include "platform/name_list.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kelvane {

NameList::NameList(std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names) add(name);
}

// A file name is at most a few hundred bytes; a block holds any of them.
void NameList::add(std::string_view name) {
  const std::size_t size = kLengthBytes + name.size();
  if (size > kBlock) throw std::length_error("a name longer than a block");
  if (used_ + size > kBlock) {
    if (blocks_.size() == std::size_t{1} << 16) throw std::length_error("names beyond 4 GiB");
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
    used_ = 0;
  }
  char* const at = blocks_.back().get() + used_;
  at[0] = static_cast<char>(name.size() >> 8);
  at[1] = static_cast<char>(name.size() & 0xFF);
  std::memcpy(at + kLengthBytes, name.data(), name.size());
  places_.push_back(static_cast<std::uint32_t>((blocks_.size() - 1) << 16 | used_));
  used_ += size;
}

std::string_view NameList::nameAt(std::uint32_t place) const {
  const char* const at = blocks_[place >> 16].get() + (place & 0xFFFF);
  const std::size_t length =
      static_cast<std::size_t>(static_cast<unsigned char>(at[0])) << 8 | static_cast<unsigned char>(at[1]);
  return {at + kLengthBytes, length};
}

std::string_view NameList::operator[](std::size_t index) const { return nameAt(places_[index]); }

// string_view compares as unsigned bytes, as strcmp does.
void NameList::sortByBytes() {
  std::sort(places_.begin(), places_.end(),
            [&](std::uint32_t a, std::uint32_t b) { return nameAt(a) < nameAt(b); });
}

std::size_t NameList::find(std::string_view name) const {
  const auto found =
      std::lower_bound(places_.begin(), places_.end(), name,
                       [&](std::uint32_t place, std::string_view wanted) { return nameAt(place) < wanted; });
  if (found == places_.end() || nameAt(*found) != name) return size();
  return static_cast<std::size_t>(found - places_.begin());
}

std::vector<std::string> NameList::toStrings() const {
  std::vector<std::string> names;
  names.reserve(size());
  for (const std::uint32_t place : places_) names.emplace_back(nameAt(place));
  return names;
}

}  // namespace kelvane
