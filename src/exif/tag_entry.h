// One record of the reader's tag table and the value it holds.
#pragma once

#include <string>
#include <variant>

#include "platform/basic_types.h"

namespace kelvane {

// Empty, a Long, or a text of one character per byte.
using TagValue = std::variant<std::monostate, Long, std::string>;

inline bool isEmpty(const TagValue& value) { return std::holds_alternative<std::monostate>(value); }

struct TagEntry {
  Long TagId = 0;
  Long DataType = 0;
  Long Count = 0;
  Long ValueOffset = 0;
  TagValue Value;
};

}  // namespace kelvane
