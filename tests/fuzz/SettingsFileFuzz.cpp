// The settings file on any bytes: what is read, written and read again is what was read first,
// key map included.
#include "FuzzInput.h"
#include "SettingsFile.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The settings a file gives, written into an empty file: a canonical text to compare.
IniFile canonical(const IniFile &file) {
  TIniInfo settings;
  TKeyMap keyMap;
  LoadedExtras extras;
  readSettingsFile(file, settings, keyMap, extras);
  LiveValues live;
  live.position = settings.Position;
  live.tempo = settings.Tempo;
  live.pitch = settings.Pitch;
  live.volume = settings.Volume;
  live.repeatState = settings.RepeatFlag;
  for (int band = 0; band < EqBands; ++band)
    live.eqPositions[band] = static_cast<int32_t>(extras.eqPositions[band]);
  IniFile out;
  writeSettingsFile(out, settings, keyMap, live);
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const IniFile first = canonical(IniFile::load(lyt::fuzz::writeInputFile(data, size)));
  static const std::string saved = lyt::fuzz::scratchFile("Lyt2.ini");
  if (!first.save(saved))
    std::abort();
  const IniFile second = canonical(IniFile::load(saved));
  if (second.lines() != first.lines()) {
    std::fprintf(stderr, "invariant broken: settings read back differ after a save\n");
    for (size_t i = 0; i < first.lines().size() || i < second.lines().size(); ++i)
      std::fprintf(stderr, "  %s | %s\n", i < first.lines().size() ? first.lines()[i].c_str() : "",
                   i < second.lines().size() ? second.lines()[i].c_str() : "");
    std::abort();
  }
  return 0;
}
