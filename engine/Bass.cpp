// The C facade: every call runs the engine inside one guard that turns failures into error codes.
#include "Bass.h"

#include "Engine.h"
#include "decoders/Opening.h"

#include <cstring>
#include <new>
#include <string>

namespace {

using lyt::Engine;
using lyt::EngineError;

thread_local int gLastError = BASS_OK;
thread_local int gLastFxError = BASS_OK;

// Runs body; on success clears the error slot and returns its result, on failure stores the code
// and returns failed. Nothing escapes to the C caller.
template <typename Result, typename Body> Result guarded(int &slot, Result failed, Body &&body) {
  try {
    Result result = body();
    slot = BASS_OK;
    return result;
  } catch (const EngineError &e) {
    slot = e.code();
  } catch (const std::bad_alloc &) {
    slot = BASS_ERROR_MEM;
  } catch (...) {
    slot = BASS_ERROR_UNKNOWN;
  }
  return failed;
}

template <typename Body> BOOL plain(Body &&body) {
  return guarded(gLastError, FALSE, [&] {
    body();
    return TRUE;
  });
}

template <typename Body> BOOL fx(Body &&body) {
  return guarded(gLastFxError, FALSE, [&] {
    body();
    return TRUE;
  });
}

// The name the desktop's mixer shows while a recording plays: its file name.
std::string titleOf(const char *path) {
  const char *slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

const char *checkedPath(BOOL mem, const void *file, QWORD offset, QWORD length) {
  if (mem || offset != 0 || length != 0)
    throw EngineError(BASS_ERROR_NOTAVAIL);
  if (!file)
    throw EngineError(BASS_ERROR_FILEOPEN);
  return static_cast<const char *>(file);
}

} // namespace

extern "C" {

DWORD BASS_GetVersion(void) {
  return 2 | (4u << 16);
}

BOOL BASS_Init(int device, DWORD freq, DWORD, void *, const void *) {
  return plain([&] { Engine::instance().init(device, static_cast<int>(freq)); });
}

BOOL BASS_Free(void) {
  return plain([] { Engine::instance().free(); });
}

int BASS_ErrorGetCode(void) {
  return gLastError;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD) {
  return guarded(gLastError, HSTREAM(0), [&] {
    const char *path = checkedPath(mem, file, offset, length);
    return Engine::instance().open(Engine::Kind::Stream, titleOf(path),
                                   [path](int) { return lyt::openPlainStream(path); });
  });
}

HSTREAM BASS_WMA_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD) {
  return guarded(gLastError, HSTREAM(0), [&] {
    const char *path = checkedPath(mem, file, offset, length);
    return Engine::instance().open(Engine::Kind::Stream, titleOf(path),
                                   [path](int) { return lyt::openWmaStream(path); });
  });
}

HMUSIC BASS_MusicLoad(BOOL mem, const void *file, QWORD offset, DWORD length, DWORD, DWORD freq) {
  return guarded(gLastError, HMUSIC(0), [&] {
    const char *path = checkedPath(mem, file, offset, length);
    return Engine::instance().open(Engine::Kind::Module, titleOf(path), [path, freq](int engineRate) {
      return lyt::openModule(path, freq ? static_cast<int>(freq) : engineRate);
    });
  });
}

DWORD LYT_OpenFile(const void *file, DWORD streamFlags, DWORD musicFlags, DWORD *tries) {
  DWORD made = 1;
  DWORD source = BASS_StreamCreateFile(FALSE, file, 0, 0, streamFlags);
  if (!source) {
    made = 2;
    source = BASS_WMA_StreamCreateFile(FALSE, file, 0, 0, streamFlags);
  }
  if (!source) {
    made = 3;
    source = BASS_MusicLoad(FALSE, file, 0, 0, musicFlags, 0);
  }
  if (tries)
    *tries = made;
  return source;
}

BOOL BASS_StreamFree(HSTREAM handle) {
  return plain([&] { Engine::instance().freeSource(handle, Engine::Kind::Stream); });
}

BOOL BASS_MusicFree(HMUSIC handle) {
  return plain([&] { Engine::instance().freeSource(handle, Engine::Kind::Module); });
}

QWORD BASS_StreamGetLength(HSTREAM handle) {
  return guarded(gLastError, QWORD(-1),
                 [&] { return Engine::instance().lengthBytes(handle, Engine::Kind::Stream); });
}

DWORD BASS_MusicGetLength(HMUSIC handle, BOOL) {
  return guarded(gLastError, DWORD(-1), [&] {
    const QWORD bytes = Engine::instance().lengthBytes(handle, Engine::Kind::Module);
    return static_cast<DWORD>(bytes > 0xFFFFFFFEu ? 0xFFFFFFFEu : bytes);
  });
}

BOOL LYT_LengthExact(DWORD handle) {
  return guarded(gLastError, BOOL(FALSE), [&] { return BOOL(Engine::instance().lengthExact(handle)); });
}

BOOL LYT_AwaitExactLength(DWORD handle) {
  return plain([&] { Engine::instance().awaitExactLength(handle); });
}

QWORD BASS_ChannelGetPosition(DWORD handle) {
  return guarded(gLastError, QWORD(-1), [&] { return Engine::instance().position(handle); });
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
  return plain([&] { Engine::instance().setPosition(handle, pos); });
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  return guarded(gLastError, -1.0f,
                 [&] { return static_cast<float>(Engine::instance().bytesToSeconds(handle, pos)); });
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
  return guarded(gLastError, QWORD(-1), [&] { return Engine::instance().secondsToBytes(handle, pos); });
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD) {
  return plain([&] { Engine::instance().play(handle, flush != FALSE); });
}

BOOL BASS_ChannelStop(DWORD handle) {
  return plain([&] { Engine::instance().stop(handle); });
}

DWORD BASS_ChannelIsActive(DWORD handle) {
  return guarded(gLastError, DWORD(BASS_ACTIVE_STOPPED), [&] {
    return DWORD(Engine::instance().active(handle) ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED);
  });
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
  return plain([&] { Engine::instance().setAttributes(handle, freq, volume, pan); });
}

BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan) {
  return plain([&] { Engine::instance().attributes(handle, freq, volume, pan); });
}

DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length) {
  return guarded(gLastError, DWORD(-1), [&] {
    if (length != BASS_DATA_FFT1024 || !buffer)
      throw EngineError(BASS_ERROR_NOTAVAIL);
    return Engine::instance().spectrum(handle, static_cast<float *>(buffer));
  });
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD, SYNCPROC *proc, DWORD user) {
  return guarded(gLastError, HSYNC(0), [&] {
    if (type != BASS_SYNC_END)
      throw EngineError(BASS_ERROR_ILLPARAM);
    return Engine::instance().addEndSync(handle, proc, user);
  });
}

int BASS_FX_ErrorGetCode(void) {
  return gLastFxError;
}

BOOL BASS_FX_TempoCreate(DWORD chan, DWORD) {
  return fx([&] { Engine::instance().createTempo(chan); });
}

DWORD BASS_FX_TempoGetResampledHandle(DWORD chan) {
  return guarded(gLastFxError, DWORD(0), [&] { return Engine::instance().outputOf(chan); });
}

BOOL BASS_FX_TempoFree(DWORD chan) {
  return fx([&] { Engine::instance().freeTempo(chan); });
}

BOOL BASS_FX_TempoSet(DWORD chan, float tempo, int rate, float pitch) {
  return fx([&] { Engine::instance().setTempo(chan, tempo, rate, pitch); });
}

float BASS_FX_TempoGetApproxSeconds(DWORD chan, float seconds) {
  return guarded(gLastFxError, -1.0f,
                 [&] { return static_cast<float>(Engine::instance().playingSeconds(chan, seconds)); });
}

BOOL BASS_FX_DSP_Set(DWORD chan, int dsp, int) {
  return fx([&] {
    if (dsp != BASS_FX_DSPFX_PEAKEQ)
      throw EngineError(BASS_ERROR_ILLPARAM);
    Engine::instance().addEqualiser(chan);
  });
}

BOOL BASS_FX_DSP_SetParameters(DWORD chan, int dsp, void *params) {
  return fx([&] {
    if (dsp != BASS_FX_DSPFX_PEAKEQ || !params)
      throw EngineError(BASS_ERROR_ILLPARAM);
    Engine::instance().setEqBand(chan, *static_cast<const BASS_FXPEAKEQ *>(params));
  });
}

BOOL BASS_FX_DSP_GetParameters(DWORD chan, int dsp, void *params) {
  return fx([&] {
    if (dsp != BASS_FX_DSPFX_PEAKEQ || !params)
      throw EngineError(BASS_ERROR_ILLPARAM);
    Engine::instance().eqBand(chan, *static_cast<BASS_FXPEAKEQ *>(params));
  });
}

BOOL BASS_FX_DSP_Remove(DWORD chan, int dsp) {
  return fx([&] {
    if (dsp != BASS_FX_DSPFX_PEAKEQ)
      throw EngineError(BASS_ERROR_ILLPARAM);
    Engine::instance().removeEqualiser(chan);
  });
}

BOOL LYT_InitOffline(DWORD freq) {
  return plain([&] { Engine::instance().initOffline(static_cast<int>(freq)); });
}

DWORD LYT_RenderOffline(DWORD output, float *stereo, DWORD frames) {
  return guarded(gLastError, DWORD(0), [&] {
    if (!stereo)
      throw EngineError(BASS_ERROR_ILLPARAM);
    return Engine::instance().renderOffline(output, stereo, frames);
  });
}

BOOL LYT_PlaySoundSync(const char *path) {
  return plain([&] { Engine::instance().playSoundSync(path); });
}

DWORD LYT_OutputGeneration(DWORD output) {
  return guarded(gLastError, DWORD(0), [&] { return Engine::instance().outputGeneration(output); });
}

BOOL LYT_DeviceAsleep(void) {
  return guarded(gLastError, BOOL(FALSE), [] { return Engine::instance().deviceAsleep() ? TRUE : FALSE; });
}

BOOL LYT_SetClarity(DWORD handle, const LYT_CLARITY *clarity) {
  return plain([&] {
    if (!clarity || clarity->Channel < LYT_CHANNEL_BOTH || clarity->Channel > LYT_CHANNEL_RIGHT)
      throw EngineError(BASS_ERROR_ILLPARAM);
    Engine::instance().setClarity(handle, {clarity->Denoise != FALSE, clarity->Level != FALSE,
                                           static_cast<lyt::ChannelChoice>(clarity->Channel)});
  });
}

BOOL LYT_GetClarity(DWORD handle, LYT_CLARITY *clarity) {
  return plain([&] {
    if (!clarity)
      throw EngineError(BASS_ERROR_ILLPARAM);
    const lyt::ClarityConfig config = Engine::instance().clarity(handle);
    *clarity = {config.denoise ? TRUE : FALSE, config.level ? TRUE : FALSE, static_cast<int>(config.channel)};
  });
}

DWORD LYT_OutputBufferFrames(void) {
  return guarded(gLastError, DWORD(0), [] { return Engine::instance().deviceBufferFrames(); });
}

const char *LYT_OutputProblem(void) {
  thread_local std::string problem;
  problem = guarded(gLastError, std::string(), [] { return Engine::instance().outputProblem(); });
  return problem.empty() ? nullptr : problem.c_str();
}

QWORD LYT_OutputStartNanoseconds(DWORD output, DWORD *generation) {
  return guarded(gLastError, QWORD(0), [&] {
    uint32_t heard = 0;
    const int64_t ns = Engine::instance().outputStartNanoseconds(output, heard);
    if (generation)
      *generation = heard;
    return static_cast<QWORD>(ns);
  });
}

} // extern "C"
