// Engine benchmarks: throughput of the sound chain, opening and seeking a three-hour MP3, how long
// the caller's thread waits in engine calls while seeking around it, CPU time of a 2.0x render of a
// three-hour 16 kHz mono MP3 against mpg123 | soundstretch, command-to-audible latency, and the
// memory held while playing a three-hour file.
//
//   engine_bench [throughput|open|wait|cpu|clarity|latency|memory FILE]   (no argument: all, memory in a child)
#include "Audible.h"
#include "Bass.h"
#include "LongMp3.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace lyt::test;

constexpr int kRate = 44100;
constexpr double kChainSeconds = 120;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

DWORD openAny(const std::string &path) {
  return LYT_OpenFile(path.c_str(), BASS_STREAM_DECODE, BASS_STREAM_DECODE, nullptr);
}

// The equaliser as the player sets it from fresh sliders: +1 or +2 dB in every band.
void installPlayerEqualiser(DWORD source) {
  constexpr int kMiddlePosition = 10;
  for (int band = 0; band < LYT_EQ_BANDS; ++band) {
    BASS_FX_DSP_Set(source, BASS_FX_DSPFX_PEAKEQ, 0);
    BASS_FXPEAKEQ params{band, kRate, LYT_EQ_BANDWIDTH_OCTAVES, 0, LYT_EQ_CENTRES_HZ[band],
                         float(LYT_EQ_GAIN_OFFSETS_DB[band] - kMiddlePosition)};
    BASS_FX_DSP_SetParameters(source, BASS_FX_DSPFX_PEAKEQ, &params);
  }
}

void throughput() {
  std::printf("== Throughput: decode + equaliser + tempo, offline on one core (%.0f s recordings)\n",
              kChainSeconds);
  const std::vector<float> signal = speechLike(kChainSeconds, kRate);
  const std::string wav = scratchPath("chain.wav"), mp3 = scratchPath("chain.mp3"),
                    wma = scratchPath("chain.wma");
  writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, signal, kRate, 2);
  writeSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, signal, kRate, 2);
  writeWithFfmpeg(wma, "wmav2", signal, kRate, 2, 128000);
  LYT_InitOffline(kRate);
  std::vector<float> buffer(2 * 16384);
  std::printf("%-6s %10s %10s %10s %10s   (times real time, recording seconds per second)\n", "", "0.5x",
              "1.0x", "2.0x", "4.0x");
  for (const auto &[name, path] : {std::pair{"WAV", wav}, {"MP3", mp3}, {"WMA", wma}}) {
    std::printf("%-6s", name);
    for (const float factor : {0.5f, 1.0f, 2.0f, 4.0f}) {
      const DWORD source = openAny(path);
      BASS_FX_TempoCreate(source, 0);
      installPlayerEqualiser(source);
      BASS_FX_TempoSet(source, (factor - 1) * 100, -1, -100);
      const DWORD output = BASS_FX_TempoGetResampledHandle(source);
      BASS_StreamPlay(output, FALSE, 0);
      const auto start = Clock::now();
      while (LYT_RenderOffline(output, buffer.data(), 16384) == 16384) {
      }
      std::printf(" %10.0f", kChainSeconds / since(start));
      BASS_FX_TempoFree(source);
    }
    std::printf("\n");
  }
  BASS_Free();
}

void openAndSeek(const std::string &path) {
  std::printf("== Opening a three-hour MP3 (no info frame, %.0f MB) and seeking to its end\n",
              std::ifstream(path, std::ios::binary | std::ios::ate).tellg() / 1e6);
  LYT_InitOffline(kRate);
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    const DWORD source = openAny(path);
    const double opened = since(start);
    BASS_FX_TempoCreate(source, 0);
    const float length = BASS_ChannelBytes2Seconds(source, BASS_StreamGetLength(source));
    BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, length - 5));
    const double total = since(start);
    std::printf("run %d: open %.3f s, open + seek to the end %.3f s, length %.3f s\n", run + 1, opened, total,
                length);
    BASS_FX_TempoFree(source);
  }
  BASS_Free();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The longest the caller's thread spends in one engine call while it seeks around a three-hour MP3
// that plays: the feeder seeks, the caller only records where to.
void callerWait(const std::string &path) {
  std::printf("== The caller's thread in engine calls while seeking around a three-hour MP3 (ms)\n");
  if (!BASS_Init(BASS_DEVICE_NOSOUND, kRate, 0, nullptr, nullptr))
    return;
  const DWORD source = openAny(path);
  BASS_FX_TempoCreate(source, 0);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  const double length = BASS_ChannelBytes2Seconds(source, BASS_StreamGetLength(source));
  BASS_StreamPlay(output, FALSE, 0);
  std::vector<double> seeks, others;
  const auto timed = [](std::vector<double> &into, auto &&call) {
    const auto start = Clock::now();
    call();
    into.push_back(since(start) * 1000);
  };
  float spectrum[512];
  for (int i = 0; i < 60; ++i) {
    const double target = std::fmod(i * 7919.0, length - 10);
    timed(seeks, [&] { BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, float(target))); });
    for (int poll = 0; poll < 5; ++poll) {
      timed(others, [&] { BASS_ChannelGetPosition(source); });
      timed(others, [&] { BASS_ChannelIsActive(output); });
      timed(others, [&] { BASS_ChannelGetData(output, spectrum, BASS_DATA_FFT1024); });
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
  }
  std::printf("seek: median %.3f max %.3f; position/active/spectrum: median %.3f max %.3f (aim: max < 5)\n",
              median(seeks), *std::max_element(seeks.begin(), seeks.end()), median(others),
              *std::max_element(others.begin(), others.end()));
  BASS_Free();
}

// CPU seconds (user + system) of a shell command and everything it started.
double childCpuSeconds(const std::string &command) {
  const auto cpu = [] {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  const double before = cpu();
  if (std::system(command.c_str()) != 0)
    std::printf("failed: %s\n", command.c_str());
  return cpu() - before;
}

// lyt2-render at 2.0x against the pipe a transcriber might use instead, on one three-hour 16 kHz
// mono MP3, in one run. mpg123 writes a WAV header with zero sizes to a pipe, which soundstretch
// takes as empty; the pipe gets raw samples behind a header of "unknown" (maximal) sizes instead.
void renderCpu(const std::string &self) {
  std::printf("== CPU seconds to render a three-hour 16 kHz mono MP3 at 2.0x\n");
  const std::string path = lyt::bench::longMp3(16000, 1);
  const std::string here = self.substr(0, self.rfind('/') + 1);
  const double ours = childCpuSeconds(here + "../lyt2-render '" + path + "' /dev/null --tempo 100 > /dev/null");
  const char *header16kMono = "RIFF\\377\\377\\377\\377WAVEfmt \\020\\000\\000\\000\\001\\000\\001\\000"
                              "\\200\\076\\000\\000\\000\\175\\000\\000\\002\\000\\020\\000"
                              "data\\377\\377\\377\\377";
  const double theirs = childCpuSeconds(std::string("{ printf '") + header16kMono + "'; mpg123 -q -s '" + path +
                                        "'; } | soundstretch stdin /dev/null -tempo=+100 > /dev/null 2>&1");
  std::printf("lyt2-render %.1f s, mpg123 | soundstretch %.1f s, ratio %.2f (aim: at most 1)\n", ours, theirs,
              ours / theirs);
}

// What noise reduction and the automatic level add to the chain at 1.0x, on the same file.
void clarityCpu(const std::string &self) {
  std::printf("== CPU seconds to render a three-hour 16 kHz mono MP3 at 1.0x, with and without --denoise --level\n");
  const std::string path = lyt::bench::longMp3(16000, 1);
  const std::string tool = self.substr(0, self.rfind('/') + 1) + "../lyt2-render '" + path + "' /dev/null";
  const double plain = childCpuSeconds(tool + " > /dev/null");
  const double clearer = childCpuSeconds(tool + " --denoise --level > /dev/null");
  std::printf("plain %.1f s, --denoise --level %.1f s: %+.0f %% (aim: at most +50 %%)\n", plain, clearer,
              100 * (clearer / plain - 1));
}

// From the facade call on this thread to the first new frame handed to the device.
template <typename Command> std::vector<double> latencies(DWORD source, DWORD output, Command command) {
  std::vector<double> ms;
  for (int i = 0; i < 40; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(30000 + 1700 * (i % 7)));
    ms.push_back(lyt::bench::msUntilHeard(output, [&] { command(i); }, 5));
  }
  (void)source;
  return ms;
}

// Play after a stop long enough for the device to sleep: it must open again first.
std::vector<double> playAfterSleep(DWORD output) {
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    BASS_ChannelStop(output);
    while (!LYT_DeviceAsleep())
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ms.push_back(lyt::bench::msUntilHeard(output, [&] { BASS_StreamPlay(output, FALSE, 0); }, 5));
  }
  return ms;
}

void latency() {
  std::printf("== Command to audible (ms): from the call to the first new frame handed to the device\n");
  const std::string path = scratchPath("latency.mp3");
  writeSndfile(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, speechLike(60, kRate), kRate, 2);
  const std::string sdlDriver = std::string("SDL ") + std::getenv("SDL_AUDIODRIVER") + " driver (512-frame periods)";
  for (const auto &[device, name] : {std::pair{BASS_DEVICE_NOSOUND, "no-sound device (10 ms periods)"},
                                     {BASS_DEVICE_DEFAULT, sdlDriver.c_str()}}) {
    if (!BASS_Init(device, kRate, 0, nullptr, nullptr))
      continue;
    const DWORD source = openAny(path);
    BASS_FX_TempoCreate(source, 0);
    const DWORD output = BASS_FX_TempoGetResampledHandle(source);
    BASS_StreamPlay(output, FALSE, 0);
    const auto seek = latencies(source, output, [&](int i) {
      BASS_ChannelStop(source);
      BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, float(5 + i % 40)));
      BASS_StreamPlay(output, FALSE, 0);
    });
    const auto tempo = latencies(source, output,
                                 [&](int i) { BASS_FX_TempoSet(source, float(i % 2 ? 50 : -20), -1, -100); });
    const auto play = latencies(source, output, [&](int) {
      BASS_ChannelStop(output);
      BASS_StreamPlay(output, FALSE, 0);
    });
    const auto woken = playAfterSleep(output);
    std::printf("%s\n", name);
    for (const auto &[what, values] : {std::pair{"seek while playing", seek},
                                       {"tempo change", tempo},
                                       {"stop, then play", play},
                                       {"play after a sleep", woken}})
      std::printf("  %-20s median %5.1f  max %5.1f  min %5.1f\n", what, median(values),
                  *std::max_element(values.begin(), values.end()),
                  *std::min_element(values.begin(), values.end()));
    BASS_Free();
  }
}

long peakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0)
      return std::stol(line.substr(6));
  return -1;
}

void memory(const std::string &path) {
  BASS_Init(BASS_DEVICE_NOSOUND, kRate, 0, nullptr, nullptr);
  const DWORD source = openAny(path);
  BASS_FX_TempoCreate(source, 0);
  installPlayerEqualiser(source);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  BASS_StreamPlay(output, FALSE, 0);
  for (int i = 0; i < 30; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, float(i * 350)));
    BASS_FX_TempoSet(source, float(i % 4 * 30), -1, -100);
  }
  std::printf("== Peak resident memory while playing the three-hour MP3 (3 s, 30 seeks): %.1f MB\n",
              peakResidentKb() / 1024.0);
  BASS_Free();
}

} // namespace

int main(int argc, char **argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0); // machines without a sound card
  const std::string only = argc > 1 ? argv[1] : "";
  if (only == "memory" && argc > 2) {
    memory(argv[2]);
    return 0;
  }
  if (only.empty() || only == "throughput")
    throughput();
  if (only.empty() || only == "open" || only == "memory") {
    const std::string path = lyt::bench::longMp3();
    if (only != "memory")
      openAndSeek(path);
    if (only.empty())
      callerWait(path);
    if (only.empty() || only == "memory") {
      std::fflush(stdout);
      const std::string self = std::string(argv[0]) + " memory '" + path + "'";
      if (std::system(self.c_str()) != 0)
        std::printf("the memory run failed\n");
    }
  }
  if (only == "wait")
    callerWait(lyt::bench::longMp3());
  if (only.empty() || only == "cpu")
    renderCpu(argv[0]);
  if (only.empty() || only == "clarity")
    clarityCpu(argv[0]);
  if (only.empty() || only == "latency")
    latency();
  return 0;
}
