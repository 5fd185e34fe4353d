// CPU time from /proc: of a process (/proc/PID) or one of its threads (/proc/PID/task/TID).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lyt::bench {

// User and system seconds so far; 0 when the process is gone.
inline double cpuSecondsOf(const std::filesystem::path &dir) {
  std::ifstream stat(dir / "stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), {});
  if (text.empty())
    return 0;
  // The name in parentheses may hold blanks: the fields are counted from after it.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14)
      ticks += std::stol(field);
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace lyt::bench
