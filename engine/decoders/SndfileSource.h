// A file as libsndfile reads it: through a window, with a WAV header's unset sizes filled in.
#pragma once

#include "decoders/FileBytes.h"

#include <sndfile.h>

#include <array>
#include <vector>

namespace lyt {

// A recorder that was killed leaves a WAV header whose RIFF and data sizes are 0 or 0xFFFFFFFF;
// libsndfile reads such a file as empty. This source shows libsndfile sizes that reach the end of
// the file instead. Must outlive the SNDFILE opened on it. Single-threaded.
class SndfileSource {
public:
  explicit SndfileSource(const char *path);
  SndfileSource(const SndfileSource &) = delete;
  SndfileSource &operator=(const SndfileSource &) = delete;

  // sf_open_virtual on this source; null when libsndfile does not read it.
  SNDFILE *open(SF_INFO &info);
  ByteSource &bytes() { return bytes_; }

private:
  struct Patch {
    int64_t offset;
    std::array<uint8_t, 4> bytes;
  };
  void patchUnsetWavSizes();
  sf_count_t read(void *out, sf_count_t count);
  sf_count_t seek(sf_count_t offset, int whence);

  FileBytes bytes_;
  int64_t position_ = 0;
  std::vector<Patch> patches_;
};

} // namespace lyt
