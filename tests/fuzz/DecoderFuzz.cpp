// The decoder front on any bytes, opened as the player opens a file (plain stream, WMA, module):
// a recording that opens has a finite length, positions stay within it, a little of it decodes
// and it is released.
#include "Bass.h"
#include "FuzzInput.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kRate = 44100;

void require(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s (error %d, fx error %d)\n", what, BASS_ErrorGetCode(),
                 BASS_FX_ErrorGetCode());
    std::abort();
  }
}

struct Opened {
  DWORD handle = 0;
  bool module = false;
};

Opened open(const char *path) {
  if (HSTREAM s = BASS_StreamCreateFile(FALSE, path, 0, 0, BASS_STREAM_DECODE))
    return {s, false};
  if (HSTREAM s = BASS_WMA_StreamCreateFile(FALSE, path, 0, 0, BASS_STREAM_DECODE))
    return {s, false};
  return {BASS_MusicLoad(FALSE, path, 0, 0, BASS_STREAM_DECODE | BASS_MUSIC_CALCLEN | BASS_MUSIC_RAMP, 0), true};
}

// The input's first bytes pick where to seek, as a fraction of the length.
double seekFraction(const uint8_t *data, size_t size) {
  return size >= 2 ? ((data[0] << 8) | data[1]) / 65535.0 : 0.5;
}

// A damaged recording may refuse to play from where it stands; one that took a position plays.
// False when the recording refused its tempo stream.
bool decodeALittle(DWORD source, QWORD length, bool seekable) {
  // A damaged recording may also refuse its tempo stream, as long as it says why.
  if (!BASS_FX_TempoCreate(source, BASS_STREAM_DECODE)) {
    require(BASS_FX_ErrorGetCode() != 0 || BASS_ErrorGetCode() != 0, "a refused tempo stream gives its reason");
    return false;
  }
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  require(output != 0, "a tempo stream has an output");
  const bool playing = BASS_StreamPlay(output, TRUE, 0);
  require(playing || !seekable, "an output whose source took a position plays");
  if (!playing)
    return true;
  static float stereo[2 * 2048];
  for (int block = 0; block < 4; ++block) {
    const DWORD frames = LYT_RenderOffline(output, stereo, 2048);
    require(frames <= 2048, "no more frames than asked");
    if (frames == 0)
      break;
  }
  const QWORD heard = BASS_ChannelGetPosition(output);
  require(heard != QWORD(-1) && heard <= length, "the position after decoding is within the recording");
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool ready = LYT_InitOffline(kRate);
  require(ready, "the engine starts without a device");

  const Opened opened = open(lyt::fuzz::writeInputFile(data, size).c_str());
  if (!opened.handle)
    return 0;
  const DWORD source = opened.handle;

  // The rules below are about the exact length: a long MP3 opens with an estimate.
  require(LYT_AwaitExactLength(source) && LYT_LengthExact(source),
          "an opened recording's length becomes exact");
  const QWORD length = opened.module ? BASS_MusicGetLength(source, TRUE) : BASS_StreamGetLength(source);
  require(length != QWORD(-1) && (!opened.module || length != DWORD(-1)), "an opened recording has a length");
  const float seconds = BASS_ChannelBytes2Seconds(source, length);
  require(std::isfinite(seconds) && seconds >= 0, "the length in seconds is finite and not negative");

  const QWORD target = static_cast<QWORD>(static_cast<double>(length) * seekFraction(data, size));
  const bool seekable = BASS_ChannelSetPosition(source, target);
  if (seekable) {
    const QWORD position = BASS_ChannelGetPosition(source);
    require(position != QWORD(-1) && position <= length, "a position set is within the recording");
  }
  require(!BASS_ChannelSetPosition(source, length + 1), "a position beyond the end is refused");
  // Past 32 bits no byte position of a module can be read as its seconds form (0xFFFFxxxx).
  require(!opened.module || !BASS_ChannelSetPosition(source, QWORD(1) << 32),
          "a module refuses a position beyond the length it tells");

  // Releasing the tempo stream releases its source with it.
  if (decodeALittle(source, length, seekable))
    require(BASS_FX_TempoFree(source), "the recording is released");
  else
    require(BASS_StreamFree(source), "the recording is released");
  require(BASS_ChannelGetPosition(source) == QWORD(-1) && BASS_ErrorGetCode() == BASS_ERROR_HANDLE,
          "a released recording is gone");
  return 0;
}
