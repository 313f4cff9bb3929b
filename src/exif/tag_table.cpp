#include "exif/tag_table.h"

#include "platform/runtime_failure.h"

namespace kelvane {

Long TagTable::upperBound() const {
  if (!hasBounds_) failure::subscriptOutOfRange();
  return static_cast<Long>(records_.size());
}

void TagTable::growTo(Long newUpperBound) {
  if (newUpperBound < static_cast<Long>(records_.size())) failure::subscriptOutOfRange();
  if (static_cast<std::size_t>(newUpperBound) > kMaxRecords) failure::outOfMemory();
  records_.resize(static_cast<std::size_t>(newUpperBound));
  hasBounds_ = true;
}

TagEntry& TagTable::record(Long index) {
  if (index < 1 || static_cast<std::size_t>(index) > records_.size()) failure::subscriptOutOfRange();
  return records_[static_cast<std::size_t>(index - 1)];
}

void TagTable::appendText(TagEntry& entry, std::string_view text) {
  if (valueText_ + text.size() > kMaxValueText) failure::outOfMemory();
  // Values being appended to start Empty, which joins as an empty text.
  if (!std::holds_alternative<std::string>(entry.Value)) entry.Value = std::string();
  std::get<std::string>(entry.Value).append(text);
  valueText_ += text.size();
}

void TagTable::clear() {
  records_.clear();
  valueText_ = 0;
  hasBounds_ = false;
}

}  // namespace kelvane
