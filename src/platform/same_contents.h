// Whether two open files hold the same bytes, compared a block at a time.
#pragma once

#include "platform/file_system.h"

namespace kelvane {

bool sameContents(RandomAccessFile& a, RandomAccessFile& b);

}  // namespace kelvane
