// Turns an errno value of the C library into the file layer's failure numbers.
#pragma once

#include "platform/runtime_failure.h"

namespace kelvane::posix {

FileFailure fileFailureFromErrno(int errorNumber);

}  // namespace kelvane::posix
