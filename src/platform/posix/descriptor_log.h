// The log on a file descriptor (standard output without a window), written
// through: each piece is handed to the kernel before the call returns, so a
// run killed at any moment has logged every step it took.
#pragma once

#include <string>
#include <string_view>

#include "platform/log.h"

namespace kelvane::posix {

class DescriptorLog : public Log {
 public:
  // name: what failures call the descriptor, such as "standard output".
  DescriptorLog(int fd, std::string name);

  // A piece that cannot be written whole is a FileFailure naming the log, so
  // that the run stops before the step the piece announces.
  void append(std::string_view text) override;

 private:
  int fd_;
  std::string name_;
};

}  // namespace kelvane::posix
