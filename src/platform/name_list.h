// The names of a folder's files as a run takes them, whole and in order. They
// are kept in blocks of 64 KiB with four bytes of place each, so that a
// listing costs little more than the names' own bytes and never holds two
// copies of them while it grows: 200,000 photos' names take about 4 MB, not
// the 8 that as many strings would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

class NameList {
 public:
  NameList() = default;
  NameList(std::initializer_list<std::string_view> names);

  void add(std::string_view name);
  void sortByBytes();

  std::size_t size() const { return places_.size(); }
  bool empty() const { return places_.empty(); }
  std::string_view operator[](std::size_t index) const;

  // The index of the name in a list sorted by bytes; size() when it is not in it.
  std::size_t find(std::string_view name) const;

  std::vector<std::string> toStrings() const;

 private:
  // A place is the block's number in its high 16 bits and the name's offset
  // in the block in its low 16 bits; a name is two bytes of length, then its
  // bytes.
  static constexpr std::size_t kBlock = 64 * 1024;
  static constexpr std::size_t kLengthBytes = 2;

  std::string_view nameAt(std::uint32_t place) const;

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = kBlock;  // of the last block: full when there is none
  std::vector<std::uint32_t> places_;
};

}  // namespace kelvane
