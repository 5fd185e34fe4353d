// The fuzz input as a file on disk, for code that reads only from a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lyt::fuzz {

// Writes the bytes to this process's scratch file and returns its path. The file is removed when
// the process ends.
const std::string &writeInputFile(const uint8_t *data, size_t size);

// A scratch path beside the input file, for what the harness writes itself.
std::string scratchFile(const std::string &suffix);

} // namespace lyt::fuzz
