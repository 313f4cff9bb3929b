// The walk never gives up on bad data by itself. Each step below is run
// through step() or test(): a failure there asks "Continue anyway?", and Yes
// goes on with the next step, leaving whatever the failed step was to set as
// it was; No ends the walk, keeping the records read so far.
#include "exif/directory_walk.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>

#include "exif/basic_conversion.h"
#include "exif/number_reading.h"
#include "platform/checked.h"
#include "platform/hex_digits.h"

namespace kelvane {
namespace {

constexpr Long kExifDirectoryTag = 34665;
constexpr Long kTextCut = 61;

// No real file has more than a handful of directories; a crafted one with
// millions must not make the walk's memory grow with the file.
constexpr std::size_t kMaxDirectories = 65536;

enum class Group { None, Byte, Text, Short, Long, Rational };

Group groupOf(Long dataType) {
  switch (dataType) {
    case 1:
    case 6: return Group::Byte;
    case 2:
    case 7: return Group::Text;
    case 3:
    case 8: return Group::Short;
    case 4:
    case 9: return Group::Long;
    case 5:
    case 10: return Group::Rational;
    default: return Group::None;
  }
}

Long unitSize(Group group) {
  switch (group) {
    case Group::Short: return 2;
    case Group::Long: return 4;
    case Group::Rational: return 8;
    default: return 1;
  }
}

std::string upperHex(std::uint8_t byte) {
  std::string text;
  if (byte >= 16) text.push_back(kHexDigits[byte >> 4]);
  text.push_back(kHexDigits[byte & 15]);
  return text;
}

// The four bytes of a value field, the most significant first.
using FieldBytes = std::array<std::uint8_t, 4>;

struct EndOfWalk {};

}  // namespace

class DirectoryWalk {
 public:
  explicit DirectoryWalk(const WalkContext& context) : c_(context) {}

  void run(Long& lDirPos);

 private:
  template <class Action>
  bool step(Action&& action);
  template <class Condition>
  bool test(Condition&& condition);
  void askToContinue(const RuntimeFailure& failure);

  void readEntryCount(Long p);
  void readEntry(TagEntry& entry, Long p, Long i);
  void readSigned32(Long& target, const std::function<Long()>& index, bool intel);
  void decodeValue(TagEntry& entry, const std::function<Long()>& fieldIndex, bool intel);
  void decodeInline(TagEntry& entry, Group group, const std::function<Long()>& fieldIndex, bool intel);
  void decodeOutside(TagEntry& entry, Group group, bool intel);
  void decodeRational(TagEntry& entry, bool intel);
  void appendByteDecimal(TagEntry& entry, Long k);
  void appendByteCharacter(TagEntry& entry, Long k);
  void readNextLink(Long p);

  void copyToScratch(Long index, Integer n);
  FieldBytes scratchBytes() const;
  FieldBytes readFieldBytes(Long index);
  TagValue fieldValue(Group group, const FieldBytes& field) const;
  Long valueIndex(const TagEntry& entry, Long k) const;
  bool endsChain(std::int64_t target) const;

  bool entryOutsideFile(Long p, Long i) const;
  std::int64_t valueBase(const TagEntry& entry) const;
  Long firstInFile(const TagEntry& entry, Long from, Long to) const;
  Long lastInFile(const TagEntry& entry, Long from) const;

  bool isIntelOrder() { return isIntel(c_.bytData, c_.lTiffStart); }
  bool textSpent() const { return c_.aTags.valueTextSpent(); }

  const WalkContext& c_;
  bool yesToAll_ = false;
  long unseenFailures_ = 0;
  bool bExifDone = false;
  Long entryCount_ = 0;  // N, kept from one directory to the next
  Long newUpper_ = 0;
  Long scratch_ = 0;  // the little-endian reads go through here
  std::unordered_set<Long> walked_;
};

void walkDirectories(const WalkContext& context, Long& lDirPos) { DirectoryWalk(context).run(lDirPos); }

// The first directory's entry count lies inside the buffer (Load checked it),
// so guarding every step from the start changes nothing for it.
void DirectoryWalk::run(Long& lDirPos) {
  try {
    do {
      const Long p = lDirPos;
      walked_.insert(p);
      readEntryCount(p);
      // One record more for each entry of this directory, after those read so
      // far; without them there is nothing to read into.
      const Long last = c_.aTags.hasBounds() ? c_.aTags.upperBound() : 0;
      if (!step([&] { newUpper_ = checked::add(last, entryCount_); })) return;
      if (!step([&] { c_.aTags.growTo(newUpper_); })) return;
      const Long count = entryCount_;
      for (Long i = 1; i <= count; ++i) {
        if (yesToAll_ && entryOutsideFile(p, i)) {
          // Every read of it fails: the record stays as made, and a
          // little-endian walk leaves its scratch cleared.
          if (test([&] { return isIntelOrder(); })) scratch_ = 0;
          continue;
        }
        readEntry(c_.aTags.record(last + i), p, i);
      }
      readNextLink(p);
      // At the end of the chain, the Exif directory once.
      if (c_.lNextIfdOffset == 0 && !bExifDone) {
        step([&] { c_.lNextIfdOffset = c_.lExifIfdOffset; });
        step([&] { bExifDone = true; });
      }
      step([&] { lDirPos = checked::add(c_.lTiffStart, c_.lNextIfdOffset); });
    } while (c_.lNextIfdOffset != 0 && !walked_.contains(lDirPos));
  } catch (const EndOfWalk&) {
  }
}

template <class Action>
bool DirectoryWalk::step(Action&& action) {
  try {
    action();
    return true;
  } catch (const RuntimeFailure& failure) {
    askToContinue(failure);
  } catch (const std::bad_alloc&) {
    askToContinue(RuntimeFailure(failure::kOutOfMemory, "Out of memory"));
  }
  return false;
}

// A test that fails lets the branch it guards run, as if it had held.
template <class Condition>
bool DirectoryWalk::test(Condition&& condition) {
  bool held = true;
  step([&] { held = condition(); });
  return held;
}

void DirectoryWalk::askToContinue(const RuntimeFailure& failure) {
  if (yesToAll_) {
    // A damaged file can fail millions of times after "Yes to All"; past the
    // budget the walk ends, and says so.
    if (++unseenFailures_ <= budget::kUnseenFailures) return;
    c_.cutShort = true;
    throw EndOfWalk{};
  }
  const std::string lineBreak(kLineBreak);
  const std::string prompt = failure.errorText() + lineBreak + lineBreak + "Continue anyway?";
  switch (c_.boxes.show(prompt, "Get Directory Entries", Buttons::YesNo, Icon::Critical)) {
    case Answer::No: throw EndOfWalk{};
    case Answer::YesToAll: yesToAll_ = true; break;
    default: break;
  }
}

// With every box answered Yes, a read outside the file fails and changes
// nothing, and so does an append once the value text budget is spent: the
// walk goes straight past them instead of failing them one by one. These say
// where the file's bytes lie.
// All twelve bytes of entry i lie outside the file, on one side of it.
bool DirectoryWalk::entryOutsideFile(Long p, Long i) const {
  const std::int64_t start = std::int64_t{p} + 2 + std::int64_t{12} * (i - 1);
  return (start < 0 && start + 11 < 0) || start > c_.bytData.upperBound();
}

std::int64_t DirectoryWalk::valueBase(const TagEntry& entry) const {
  return std::int64_t{c_.lTiffStart} + entry.ValueOffset;
}

// The first k of from .. to whose byte lies in the file, or to + 1.
Long DirectoryWalk::firstInFile(const TagEntry& entry, Long from, Long to) const {
  const std::int64_t first = std::max<std::int64_t>(from, -valueBase(entry));
  const std::int64_t last = std::min<std::int64_t>(to, c_.bytData.upperBound() - valueBase(entry));
  return first > last ? to + 1 : static_cast<Long>(first);
}

// The last k of from down to 0 whose byte lies in the file, or -1.
Long DirectoryWalk::lastInFile(const TagEntry& entry, Long from) const {
  const std::int64_t last = std::min<std::int64_t>(from, c_.bytData.upperBound() - valueBase(entry));
  return last < std::max<std::int64_t>(0, -valueBase(entry)) ? -1 : static_cast<Long>(last);
}

// A little-endian read copies into the scratch (cleared first for two bytes)
// and is assigned in a step of its own; after a failed copy the assignment
// takes what the scratch held.
void DirectoryWalk::copyToScratch(Long index, Integer n) {
  if (n == 2) scratch_ = 0;
  scratch_ = readIntel(c_.bytData, index, n);
}

FieldBytes DirectoryWalk::scratchBytes() const {
  const auto value = static_cast<std::uint32_t>(scratch_);
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

FieldBytes DirectoryWalk::readFieldBytes(Long index) {
  FieldBytes field{};
  for (Long k = 0; k < 4; ++k) field[static_cast<std::size_t>(k)] = c_.bytData.at(checked::add(index, k));
  return field;
}

void DirectoryWalk::readEntryCount(Long p) {
  if (test([&] { return isIntelOrder(); })) {
    step([&] { copyToScratch(p, 2); });
    step([&] { entryCount_ = scratch_; });
  } else {
    step([&] { entryCount_ = c_.bytData.at(p) * 256 + c_.bytData.at(checked::add(p, 1)); });
  }
}

void DirectoryWalk::readSigned32(Long& target, const std::function<Long()>& index, bool intel) {
  if (intel) {
    step([&] { copyToScratch(index(), 4); });
    step([&] { target = scratch_; });
  } else {
    step([&] { target = parseLtoR(c_.bytData, index(), 4); });
  }
}

void DirectoryWalk::readEntry(TagEntry& entry, Long p, Long i) {
  // q + offset, with q = p + 2 + 12 × (i − 1): computed inside each step.
  auto at = [p, i](Long offset) {
    return checked::add(checked::add(p, 2), checked::add(checked::multiply(12, i - 1), offset));
  };
  const bool intel = test([&] { return isIntelOrder(); });
  if (intel) {
    step([&] { copyToScratch(at(0), 2); });
    step([&] { entry.TagId = scratch_; });
    step([&] { copyToScratch(at(2), 2); });
    step([&] { entry.DataType = scratch_; });
  } else {
    step([&] { entry.TagId = c_.bytData.at(at(0)) * 256 + c_.bytData.at(at(1)); });
    step([&] { entry.DataType = c_.bytData.at(at(2)) * 256 + c_.bytData.at(at(3)); });
  }
  const auto countIndex = [&] { return at(4); };
  const auto fieldIndex = [&] { return at(8); };
  readSigned32(entry.Count, countIndex, intel);
  decodeValue(entry, fieldIndex, intel);
  // The last tag 34665 met names the Exif directory.
  if (entry.TagId == kExifDirectoryTag) step([&] { c_.lExifIfdOffset = convertToLong(entry.Value); });
}

void DirectoryWalk::decodeValue(TagEntry& entry, const std::function<Long()>& fieldIndex, bool intel) {
  const Group group = groupOf(entry.DataType);
  if (group == Group::None) return;
  if (group == Group::Rational) {
    readSigned32(entry.ValueOffset, fieldIndex, intel);
    decodeRational(entry, intel);
    return;
  }
  if (test([&] { return checked::multiply(entry.Count, unitSize(group)) <= 4; })) {
    decodeInline(entry, group, fieldIndex, intel);
  } else {
    readSigned32(entry.ValueOffset, fieldIndex, intel);
    decodeOutside(entry, group, intel);
  }
}

void DirectoryWalk::decodeInline(TagEntry& entry, Group group, const std::function<Long()>& fieldIndex,
                                 bool intel) {
  if (intel) {
    step([&] { copyToScratch(fieldIndex(), 4); });
    step([&] { entry.Value = fieldValue(group, scratchBytes()); });
  } else if (group == Group::Long) {
    step([&] { entry.Value = parseLtoR(c_.bytData, fieldIndex(), 4); });
  } else {
    step([&] { entry.Value = fieldValue(group, readFieldBytes(fieldIndex())); });
  }
}

TagValue DirectoryWalk::fieldValue(Group group, const FieldBytes& field) const {
  switch (group) {
    case Group::Byte: {
      // All four bytes, whatever the count.
      std::string text;
      for (std::uint8_t byte : field) text += padLeft(upperHex(byte), 2, "0");
      return text;
    }
    case Group::Text: return std::string(field.begin(), field.end());  // NULs stay in the value
    case Group::Short:
      // The sum of the two halves, not a 32-bit combination of them.
      return Long{field[0] * 256 + field[1] + field[2] * 256 + field[3]};
    default:
      return static_cast<Long>(std::uint32_t{field[0]} << 24 | std::uint32_t{field[1]} << 16 |
                               std::uint32_t{field[2]} << 8 | std::uint32_t{field[3]});
  }
}

Long DirectoryWalk::valueIndex(const TagEntry& entry, Long k) const {
  return checked::add(checked::add(c_.lTiffStart, entry.ValueOffset), k);
}

// A long value is appended a byte at a time: no allocation per byte.
void DirectoryWalk::appendByteDecimal(TagEntry& entry, Long k) {
  step([&] {
    std::array<char, 3> digits{};
    const auto end = std::to_chars(digits.begin(), digits.end(), c_.bytData.at(valueIndex(entry, k))).ptr;
    c_.aTags.appendText(entry, std::string_view(digits.begin(), end));
  });
}

void DirectoryWalk::appendByteCharacter(TagEntry& entry, Long k) {
  step([&] {
    const char character = static_cast<char>(c_.bytData.at(valueIndex(entry, k)));
    c_.aTags.appendText(entry, std::string_view(&character, 1));
  });
}

// Short and long values outside the entry are written as the decimal forms of
// Count bytes, not of Count numbers: the table keeps what the files have
// always been read as.
void DirectoryWalk::decodeOutside(TagEntry& entry, Group group, bool intel) {
  if (group == Group::Text) {
    // Cut at 61 characters; a NUL in the last place is dropped, others stay.
    const Long length = std::min(entry.Count, kTextCut);
    for (Long k = 0; k <= length - 2; ++k) {
      if (yesToAll_ && (k = firstInFile(entry, k, length - 2)) > length - 2) break;
      appendByteCharacter(entry, k);
    }
    if (test([&] { return c_.bytData.at(valueIndex(entry, length - 1)) != 0; })) {
      appendByteCharacter(entry, length - 1);
    }
  } else if (group == Group::Short && !intel) {
    for (Long k = entry.Count - 1; k >= 0; --k) {
      if (yesToAll_ && (textSpent() || (k = lastInFile(entry, k)) < 0)) break;
      appendByteDecimal(entry, k);
    }
  } else {
    for (Long k = 0; k <= entry.Count - 1; ++k) {
      if (yesToAll_ && (textSpent() || (k = firstInFile(entry, k, entry.Count - 1)) > entry.Count - 1)) break;
      appendByteDecimal(entry, k);
    }
  }
}

// Only the first rational is read, whatever the count.
void DirectoryWalk::decodeRational(TagEntry& entry, bool intel) {
  if (intel) {
    step([&] { copyToScratch(valueIndex(entry, 0), 4); });
    step([&] { entry.Value = scratch_; });
    step([&] { copyToScratch(valueIndex(entry, 4), 4); });
    step([&] { entry.Value = std::to_string(std::get<Long>(entry.Value)) + "/" + std::to_string(scratch_); });
  } else {
    step([&] {
      entry.Value = std::to_string(parseLtoR(c_.bytData, valueIndex(entry, 0), 4)) + "/" +
                    std::to_string(parseLtoR(c_.bytData, valueIndex(entry, 4), 4));
    });
  }
}

void DirectoryWalk::readNextLink(Long p) {
  auto linkIndex = [&] { return checked::add(checked::add(p, 2), checked::multiply(12, entryCount_)); };
  const bool intel = test([&] { return isIntelOrder(); });
  if (bExifDone) {
    // The Exif directory's own next link is not read.
    step([&] { c_.lNextIfdOffset = 0; });
  } else if (intel) {
    readSigned32(c_.lNextIfdOffset, linkIndex, true);
  } else {
    step([&] { c_.lNextIfdOffset = readBigEndianSum(c_.bytData, linkIndex()); });
  }
  // A link back to a directory this walk has read (a loop, or the same link
  // kept after a failed read) ends the chain as a zero link would.
  if (c_.lNextIfdOffset != 0 && endsChain(std::int64_t{c_.lTiffStart} + c_.lNextIfdOffset)) {
    c_.lNextIfdOffset = 0;
  }
}

bool DirectoryWalk::endsChain(std::int64_t target) const {
  if (walked_.size() >= kMaxDirectories) return true;
  return target >= 0 && target <= std::numeric_limits<Long>::max() &&
         walked_.contains(static_cast<Long>(target));
}

}  // namespace kelvane
