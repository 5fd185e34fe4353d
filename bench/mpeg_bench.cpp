// Opening a three-hour MP3 (CBR and VBR, neither with an info frame): open + exact length + seek
// to the end + the first 0.1 s heard there, beside `ffmpeg -ss END -t 0.1` and `mpg123 -k END` on
// the same file.
//
//   mpeg_bench
#include "Bass.h"
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
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace lyt::test;

constexpr int kRate = 44100;
constexpr int kCopies = 1080; // ten seconds each: three hours
constexpr int kRuns = 5;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds (user + system) of this process or of its waited-for children: on a shared machine
// the wall clock also counts the time others had the CPU.
double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Cost {
  double wall = 0;
  double cpu = 0;
};

// The frames of a ten-second encoding, repeated for three hours, without an info frame: the
// length must be counted.
std::string threeHourMp3(bool vbr) {
  const std::string name = vbr ? "vbr" : "cbr";
  const std::string tagged = scratchPath("ten-" + name + ".mp3"),
                    bare = scratchPath("ten-" + name + "-bare.mp3");
  writeSndfile(tagged, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, speechLike(10, kRate), kRate, 2, vbr);
  stripInfoFrame(tagged, bare);
  const std::vector<unsigned char> frames = readBytes(bare);
  const std::string path = scratchPath("three-hours-" + name + ".mp3");
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < kCopies; ++i)
    out.write(reinterpret_cast<const char *>(frames.data()), long(frames.size()));
  return path;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Open + length + seek to 0.2 s before the end + rendering the next 0.1 s.
Cost engineOpenAndSeek(const std::string &path, double &lengthSeconds) {
  std::vector<float> heard(2 * kRate / 10);
  const double cpuStart = cpuSeconds(RUSAGE_SELF);
  const auto start = Clock::now();
  const DWORD source = LYT_OpenFile(path.c_str(), BASS_STREAM_DECODE, BASS_STREAM_DECODE, nullptr);
  BASS_FX_TempoCreate(source, 0);
  LYT_AwaitExactLength(source); // the frames are counted in the background
  lengthSeconds = BASS_ChannelBytes2Seconds(source, BASS_StreamGetLength(source));
  BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, float(lengthSeconds - 0.2)));
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  BASS_StreamPlay(output, FALSE, 0);
  const DWORD got = LYT_RenderOffline(output, heard.data(), kRate / 10);
  const Cost cost{since(start), cpuSeconds(RUSAGE_SELF) - cpuStart};
  BASS_FX_TempoFree(source);
  if (got != kRate / 10)
    std::printf("  (rendered only %u frames at the end)\n", got);
  return cost;
}

Cost commandCost(const char *command) {
  const double cpuStart = cpuSeconds(RUSAGE_CHILDREN);
  const auto start = Clock::now();
  const int status = std::system(command);
  const Cost cost{since(start), cpuSeconds(RUSAGE_CHILDREN) - cpuStart};
  return status == 0 ? cost : Cost{-1, -1};
}

Cost ffmpegSeek(const std::string &path, double lengthSeconds) {
  char command[1024];
  std::snprintf(command, sizeof command, "ffmpeg -nostdin -v quiet -ss %.3f -t 0.1 -i '%s' -f null -",
                lengthSeconds - 0.2, path.c_str());
  return commandCost(command);
}

// mpg123 skips to the frame 0.2 s before the end and decodes the next 0.1 s, without output.
Cost mpg123Seek(const std::string &path, double lengthSeconds) {
  constexpr double kFramesPerSecond = kRate / 1152.0;
  char command[1024];
  std::snprintf(command, sizeof command, "mpg123 -q -t -k %ld -n %ld '%s'",
                static_cast<long>((lengthSeconds - 0.2) * kFramesPerSecond),
                static_cast<long>(std::ceil(0.1 * kFramesPerSecond)), path.c_str());
  return commandCost(command);
}

double median(const std::vector<Cost> &costs, double Cost::*field) {
  std::vector<double> values;
  for (const Cost &c : costs)
    values.push_back(c.*field);
  return median(values);
}

} // namespace

int main() {
  std::printf("== Three-hour MP3 without an info frame: open + exact length + seek to the end + 0.1 s heard\n"
              "   (median of %d runs, seconds; aim: under 0.15 and faster than ffmpeg)\n",
              kRuns);
  LYT_InitOffline(kRate);
  for (const bool vbr : {false, true}) {
    const std::string path = threeHourMp3(vbr);
    std::vector<Cost> ours, ffmpeg, mpg123;
    double length = 0;
    for (int run = 0; run < kRuns; ++run) {
      ours.push_back(engineOpenAndSeek(path, length));
      ffmpeg.push_back(ffmpegSeek(path, length));
      mpg123.push_back(mpg123Seek(path, length));
    }
    const double bytes = double(std::ifstream(path, std::ios::binary | std::ios::ate).tellg());
    std::printf(
        "%s (%.0f MB, length %.3f s): engine %.3f s wall, %.3f s CPU   "
        "ffmpeg -ss END -t 0.1: %.3f s wall, %.3f s CPU%s   mpg123 -k END -n 4: %.3f s wall, %.3f s CPU%s\n",
        vbr ? "VBR" : "CBR", bytes / 1e6, length, median(ours, &Cost::wall), median(ours, &Cost::cpu),
        median(ffmpeg, &Cost::wall), median(ffmpeg, &Cost::cpu),
        ffmpeg.front().wall < 0 ? " (ffmpeg not installed)" : "", median(mpg123, &Cost::wall),
        median(mpg123, &Cost::cpu), mpg123.front().wall < 0 ? " (mpg123 not installed)" : "");
  }
  BASS_Free();
  return 0;
}
