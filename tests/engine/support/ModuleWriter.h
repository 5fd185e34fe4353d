// Writes the smallest tracker modules of each kind: one looped square-wave sample, one pattern of
// 64 rows that plays one note, speed 6 at 125 BPM, so 7.68 seconds long.
#pragma once

#include <string>
#include <vector>

namespace lyt::test {

enum class ModuleKind { Mod, S3m, Xm, It, Mtm };

constexpr double kModuleSeconds = 64 * 6 * 2.5 / 125;

std::vector<unsigned char> makeModule(ModuleKind kind);
const char *moduleExtension(ModuleKind kind);

} // namespace lyt::test
