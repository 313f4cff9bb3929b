// The tag table: 1-based, without bounds until the first records are added,
// grown only at its end. A damaged file may declare far more entries and far
// longer values than any photo has; the table refuses to grow past a fixed
// budget with "Out of memory" instead of exhausting the machine.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "exif/reader_budget.h"
#include "exif/tag_entry.h"

namespace kelvane {

class TagTable {
 public:
  static constexpr std::size_t kMaxRecords = budget::kMaxRecords;
  static constexpr std::size_t kMaxValueText = budget::kMaxValueText;

  bool hasBounds() const { return hasBounds_; }

  // The upper bound, that is the number of records; fails without bounds.
  Long upperBound() const;

  // Gives the table the bounds 1 .. newUpperBound, keeping its records.
  void growTo(Long newUpperBound);

  // Record at a 1-based index; fails outside 1 .. upperBound().
  TagEntry& record(Long index);

  // Appends to a record's value, which becomes a text.
  void appendText(TagEntry& entry, std::string_view text);

  // Every further appendText fails: the value text budget is spent.
  bool valueTextSpent() const { return valueText_ >= kMaxValueText; }

  void clear();

  const std::vector<TagEntry>& records() const { return records_; }

 private:
  std::vector<TagEntry> records_;
  std::size_t valueText_ = 0;
  bool hasBounds_ = false;
};

}  // namespace kelvane
