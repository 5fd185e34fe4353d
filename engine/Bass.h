// The audio engine's public C interface: open, position, play and shape one recording at a time.
//
// Contract for every call:
// - Handles are 32-bit numbers, never 0 and never reused within a run. A call on handle 0, on an
//   unknown handle or on a released one fails without effect and sets the error code
//   BASS_ERROR_HANDLE.
// - The calls are meant for one thread, the program's user-interface thread. They are safe to call
//   while the engine's own threads play: those take no lock that a call waits on for longer than
//   one processing block.
// - BASS_ErrorGetCode reports the last error of the plain calls, BASS_FX_ErrorGetCode that of the
//   BASS_FX_* calls. Both are per calling thread and are reset to 0 by a call that succeeds.
// - A source channel is opened for decoding only (flag BASS_STREAM_DECODE). What sounds is its
//   output channel, made by BASS_FX_TempoCreate and found with BASS_FX_TempoGetResampledHandle.
//   Positions and lengths are byte offsets into the decoded source as 16-bit samples with the
//   source's channel count, whatever the tempo.
// - One output channel sounds at a time: playing another stops the one that played.
// - Nothing throws: every failure is a return value and an error code.
// A classic guard, not #pragma once: the build also shows this file to its users as a copy.
#ifndef LYT_BASS_H
#define LYT_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HSTREAM;
typedef DWORD HMUSIC;
typedef DWORD HSYNC;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Error codes.
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_POSITION 7
#define BASS_ERROR_INIT 8
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_FREQ 25
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_UNKNOWN -1

// Flags.
#define BASS_SAMPLE_LOOP 4
#define BASS_MUSIC_RAMP 0x200
#define BASS_MUSIC_CALCLEN 0x8000
#define BASS_STREAM_DECODE 0x200000
#define BASS_DATA_FFT1024 0x80000001u
#define BASS_SYNC_END 2
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_FX_DSPFX_PEAKEQ 5

// Device numbers for BASS_Init: 0 plays no sound but keeps time like a real device; 1 is the
// desktop's default output.
#define BASS_DEVICE_NOSOUND 0
#define BASS_DEVICE_DEFAULT 1

// End-of-source notification: called on an engine thread, never on the caller's. It must return
// quickly and must not call back into the engine.
typedef void SYNCPROC(HSYNC handle, DWORD channel, DWORD data, DWORD user);

// Parameters of one equaliser band (effect BASS_FX_DSPFX_PEAKEQ), a fixed 24-byte record.
// Bandwidth is in octaves and is used when Q is 0; Gain is in dB; Rate is informational.
typedef struct BASS_FXPEAKEQ {
  int32_t Band;
  DWORD Rate;
  float Bandwidth;
  float Q;
  float Centre;
  float Gain;
} BASS_FXPEAKEQ;

// Set-up. BASS_GetVersion packs the major version in the low and the minor in the high 16 bits.
DWORD BASS_GetVersion(void);
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *clsid);
BOOL BASS_Free(void);
int BASS_ErrorGetCode(void);

// Opening. file is a NUL-terminated path (bytes, as the file system has them); mem must be FALSE.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_WMA_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HMUSIC BASS_MusicLoad(BOOL mem, const void *file, QWORD offset, DWORD length, DWORD flags, DWORD freq);
// The player's order of tries for a file, kept here once: BASS_StreamCreateFile, then
// BASS_WMA_StreamCreateFile (both with streamFlags), then BASS_MusicLoad (musicFlags, the
// engine's rate). Returns the first source that opens, or 0 with the last try's error code.
// *tries (may be NULL) receives how many tries were made: 1 plain stream, 2 WMA stream, 3 module
// (3 also when the module failed too).
DWORD LYT_OpenFile(const void *file, DWORD streamFlags, DWORD musicFlags, DWORD *tries);
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_MusicFree(HMUSIC handle);

// Length and position of a source, in bytes. For a module, a position whose low 32 bits have all
// of their high 16 bits set means "second (low 16 bits)". Setting a position records it and
// returns at once; an engine thread seeks, and the position reads as the one set until the new
// place sounds. A place the decoder then cannot reach ends the source as at its end.
QWORD BASS_StreamGetLength(HSTREAM handle);
DWORD BASS_MusicGetLength(HMUSIC handle, BOOL playlen);
// Whether the length of a source is exact. A long MPEG stream opens from its first frames, with
// a length estimated from them or from its Info frame; an engine thread then counts its frames,
// and the length changes once, to the exact one, when they have been counted: from then on this
// is TRUE. Meanwhile a position past the estimate may be set: it is reached once the frames get
// there, or the end is when the stream is shorter, and it reads as the length until then.
// FALSE also on failure.
BOOL LYT_LengthExact(DWORD handle);
// Waits until the length of a source is exact: for tools that need it first, never for a window.
BOOL LYT_AwaitExactLength(DWORD handle);
QWORD BASS_ChannelGetPosition(DWORD handle);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos);
float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos);

// Play control. On an output: start or resume (flush TRUE drops what was rendered ahead), stop.
// An output falls silent when its source ends; after a new position, BASS_StreamPlay sounds it
// again. On a source: stop makes it inactive until it is given a new position.
BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);
BOOL BASS_ChannelStop(DWORD handle);
DWORD BASS_ChannelIsActive(DWORD handle);

// Attributes: freq -1, volume -1 and pan -101 keep the current value. Volume is 0..100.
BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan);

// Data: with BASS_DATA_FFT1024, 512 floats of linear magnitude of the last 1024 frames handed to
// the device (Hann window; a full-scale sine at a bin centre gives about 0.5). Returns the bytes
// read from the channel, or (DWORD)-1.
DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);

// Only BASS_SYNC_END is supported: proc runs once each time the source reaches its end.
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, DWORD user);

// Tempo and effects, with their own last error.
int BASS_FX_ErrorGetCode(void);
BOOL BASS_FX_TempoCreate(DWORD chan, DWORD flags);
DWORD BASS_FX_TempoGetResampledHandle(DWORD chan);
BOOL BASS_FX_TempoFree(DWORD chan);
// tempo: change in percent (-50..300), -100 keeps it. rate: the source's playback rate in Hz,
// -1 keeps it. pitch: semitones (-60..60), -100 keeps it.
BOOL BASS_FX_TempoSet(DWORD chan, float tempo, int rate, float pitch);
// The playing time, at the tempo and rate now set, of `seconds` of the recording.
float BASS_FX_TempoGetApproxSeconds(DWORD chan, float seconds);
BOOL BASS_FX_DSP_Set(DWORD chan, int dsp, int priority);
BOOL BASS_FX_DSP_SetParameters(DWORD chan, int dsp, void *params);
BOOL BASS_FX_DSP_GetParameters(DWORD chan, int dsp, void *params);
BOOL BASS_FX_DSP_Remove(DWORD chan, int dsp);

// The player's six-band equaliser: each band's centre in Hz and width in octaves, and the offset
// that turns a slider position into the band's gain: gain in dB = offset - position.
#define LYT_EQ_BANDS 6
#define LYT_EQ_BANDWIDTH_OCTAVES 2.5f
static const float LYT_EQ_CENTRES_HZ[LYT_EQ_BANDS] = {120, 200, 400, 1213, 4000, 10000};
static const int LYT_EQ_GAIN_OFFSETS_DB[LYT_EQ_BANDS] = {11, 11, 12, 12, 11, 11};

// Making a poor recording clearer, on a source or its output: which channel is heard (both, or
// the left or the right one on both ears), noise reduction for steady noise, and an automatic
// level that brings quiet speakers up. They work at the recording's own rate, after the equaliser
// and before the tempo, and a change is heard at once.
#define LYT_CHANNEL_BOTH 0
#define LYT_CHANNEL_LEFT 1
#define LYT_CHANNEL_RIGHT 2
typedef struct LYT_CLARITY {
  BOOL Denoise;
  BOOL Level;
  int Channel;
} LYT_CLARITY;
BOOL LYT_SetClarity(DWORD handle, const LYT_CLARITY *clarity);
BOOL LYT_GetClarity(DWORD handle, LYT_CLARITY *clarity);

// Offline rendering, for tools, tests and benchmarks: LYT_InitOffline stands in for BASS_Init
// and opens no device; LYT_RenderOffline then pulls the next `frames` stereo float frames at the
// engine's rate from a playing output, as fast as the CPU allows. It returns the frames written,
// fewer than asked (and finally 0) once the source has ended and everything after it was drained.
BOOL LYT_InitOffline(DWORD freq);
DWORD LYT_RenderOffline(DWORD output, float *stereo, DWORD frames);

// Plays the sound file at `path` once on the device and returns when it has been heard; a file
// that cannot be read plays a short default tone instead. An output that was playing is stopped.
// Without a device (offline) it returns at once.
BOOL LYT_PlaySoundSync(const char *path);

// For measuring: an output's generation, bumped by every command that changes what is heard, and
// when (steady clock, in ns) the first frame of the latest generation that sounded was handed to
// the device, with that generation in *generation. Both 0 on failure.
DWORD LYT_OutputGeneration(DWORD output);
QWORD LYT_OutputStartNanoseconds(DWORD output, DWORD *generation);
// Whether the device sleeps (after a while of silence) or waits for its lost output to come back.
BOOL LYT_DeviceAsleep(void);
// How many frames the device keeps queued at most; a sound server's grows when it ran dry.
DWORD LYT_OutputBufferFrames(void);
// Why BASS_Init with the default device found no output to play on, or NULL when it found one.
// The engine then works all the same and keeps looking in the background: sound comes as soon as
// a sound server appears. The text (English) is the caller's until its next call on this thread.
const char *LYT_OutputProblem(void);

#ifdef __cplusplus
}
#endif

#endif // LYT_BASS_H
