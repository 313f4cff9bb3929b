// Where the log's lines go: the window's log box, standard output, or a test.
#pragma once

#include <string_view>

namespace kelvane {

class Log {
 public:
  virtual ~Log() = default;

  // Appends the text as it stands; callers end their lines themselves.
  virtual void append(std::string_view text) = 0;
};

}  // namespace kelvane
