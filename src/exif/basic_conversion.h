// Converting a tag value to a Long the way Basic's CLng does.
#pragma once

#include <string_view>

#include "exif/tag_entry.h"

namespace kelvane {

// A Long stays itself and Empty gives 0. A text converts when it is a decimal
// number (sign, fraction and exponent allowed, surrounded by blanks); a
// fraction rounds half to even. Beyond the Long range: failure 6; any other
// text: failure 13.
Long convertToLong(const TagValue& value);

Long convertTextToLong(std::string_view text);

}  // namespace kelvane
