// Files that are not what they claim fail cleanly with an error code, or open and play safely.
#include "EngineFixture.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace lyt::test {
namespace {

using HostileFiles = OfflineEngine;

std::vector<unsigned char> randomBytes(size_t count, uint32_t seed) {
  std::vector<unsigned char> bytes(count);
  for (unsigned char &b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(seed >> 24);
  }
  return bytes;
}

void expectRefused(const std::string &path, int expectedError) {
  const Opened opened = openLikeThePlayer(path);
  EXPECT_EQ(opened.source, 0u) << path;
  EXPECT_EQ(opened.error, expectedError) << path;
}

TEST_F(HostileFiles, NothingOpensAMissingEmptyOrRandomFile) {
  expectRefused(scratchPath("missing.mp3"), BASS_ERROR_FILEOPEN);
  expectRefused(scratchDir(), BASS_ERROR_FILEOPEN);
  writeBytes(scratchPath("empty.wav"), {});
  expectRefused(scratchPath("empty.wav"), BASS_ERROR_FILEFORM);
  for (const char *extension : {"mp3", "wav", "ogg", "wma", "mod", "xm", "m4a", "flac"}) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      const std::string path = scratchPath("random" + std::to_string(seed) + "." + extension);
      writeBytes(path, randomBytes(20000 * seed, seed));
      expectRefused(path, BASS_ERROR_FILEFORM);
    }
  }
}

// Whatever opens must play to its reported end without crashing.
void expectSafe(const std::string &path) {
  const Opened opened = openLikeThePlayer(path);
  if (!opened.source)
    return;
  const double length = lengthSeconds(opened);
  ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
  const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  const double heard = renderOutput(output).size() / 2.0 / kRate;
  EXPECT_LE(heard, length + 0.05) << path;
  BASS_FX_TempoFree(opened.source);
}

TEST_F(HostileFiles, TruncatedFilesOpenOnlyWhatIsThere) {
  for (const char *name :
       {"pcm16.wav", "tone.flac", "tone.ogg", "cbr.mp3", "v2.wma", "tone.m4a", "song.it"}) {
    std::vector<unsigned char> bytes = readBytes(fixture(name).path);
    for (const double keep : {0.5, 0.05}) {
      const std::string path = scratchPath(std::string("cut") + std::to_string(int(keep * 100)) + name);
      writeBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.begin() + long(bytes.size() * keep)));
      expectSafe(path);
    }
  }
}

TEST_F(HostileFiles, AWavHeaderClaimingGigabytesOpensWithTheRealLength) {
  std::vector<unsigned char> bytes = readBytes(fixture("pcm16.wav").path);
  for (size_t i = 12; i + 8 < bytes.size(); ++i) {
    if (std::equal(bytes.begin() + long(i), bytes.begin() + long(i) + 4, "data")) {
      bytes[i + 4] = bytes[i + 5] = bytes[i + 6] = 0xF0; // about four gigabytes
      bytes[i + 7] = 0xFF;
      break;
    }
  }
  const std::string path = scratchPath("huge.wav");
  writeBytes(path, bytes);
  const Opened opened = openLikeThePlayer(path);
  ASSERT_NE(opened.source, 0u);
  EXPECT_NEAR(lengthSeconds(opened), 3.0, 0.01);
  BASS_StreamFree(opened.source);
  expectSafe(path);
}

// Runs `work` on another thread: a regression must fail the test, not hang it. When the limit
// passes, `release` is called (to let go of a reader that waits); work that does not finish
// within the limit once more ends the test's process, failed, since no thread can be stopped.
template <typename Result>
Result finishedWithin(
    std::chrono::milliseconds limit, const std::string &what, std::function<Result()> work,
    std::function<void()> release = [] {}) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Result result{};
  };
  auto shared = std::make_shared<Shared>();
  std::thread([shared, work] {
    Result result = work();
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result = result;
    shared->finished = true;
    shared->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(shared->mutex);
  if (!shared->done.wait_for(lock, limit, [&] { return shared->finished; })) {
    ADD_FAILURE() << what << " held the open up";
    release();
    if (!shared->done.wait_for(lock, limit, [&] { return shared->finished; })) {
      std::fprintf(stderr, "%s never finished\n", what.c_str());
      std::_Exit(EXIT_FAILURE);
    }
  }
  return shared->result;
}

Opened openWithin(const std::string &path, std::chrono::milliseconds limit) {
  // A writer that opens and closes gives a reader waiting on a pipe its end.
  const auto releasePipeReader = [path] {
    const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
      ::close(writer);
  };
  return finishedWithin<Opened>(
      limit, path, [path] { return openLikeThePlayer(path); }, releasePipeReader);
}

TEST_F(HostileFiles, WhatIsNotARegularFileIsRefusedAtOnce) {
  const std::string pipe = scratchPath("pipe.mp3");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string &path : {pipe, std::string("/dev/null"), scratchDir()}) {
    const Opened opened = openWithin(path, std::chrono::seconds(5));
    EXPECT_EQ(opened.source, 0u) << path;
    EXPECT_EQ(opened.error, BASS_ERROR_FILEOPEN) << path;
  }
}

// What opening a recording and playing it to its end showed.
struct PlayedThrough {
  Opened opened;
  // The processor time the open took on its thread: what a hang in the header's walk spends,
  // whatever else the machine is doing.
  double openCpuMilliseconds = 0;
  double lengthSeconds = 0;
  double heardSeconds = 0;
  bool positionsWithinLength = true;
};

double threadCpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Opens as the player does, seeks to the middle and beyond the end, then plays from a third of
// the way and from the start.
PlayedThrough playThrough(const std::string &path) {
  PlayedThrough played;
  const double start = threadCpuMilliseconds();
  played.opened = openLikeThePlayer(path);
  played.openCpuMilliseconds = threadCpuMilliseconds() - start;
  const DWORD source = played.opened.source;
  if (!source)
    return played;
  played.lengthSeconds = lengthSeconds(played.opened);
  const QWORD length = BASS_StreamGetLength(source);
  const auto withinLength = [length](DWORD channel) {
    const QWORD position = BASS_ChannelGetPosition(channel);
    return position != QWORD(-1) && position <= length;
  };
  played.positionsWithinLength = BASS_ChannelSetPosition(source, length / 2) && withinLength(source) &&
                                 !BASS_ChannelSetPosition(source, length + 1) &&
                                 BASS_FX_TempoCreate(source, 0);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  for (const QWORD from : {length / 3, QWORD(0)}) {
    if (!played.positionsWithinLength || !BASS_ChannelSetPosition(source, from) ||
        !BASS_StreamPlay(output, FALSE, 0)) {
      played.positionsWithinLength = false;
      break;
    }
    played.heardSeconds = renderOutput(output).size() / 2.0 / kRate;
    played.positionsWithinLength = withinLength(output);
  }
  BASS_FX_TempoFree(source);
  return played;
}

// Damaged headers found by fuzzing, kept as the decoder harness's seeds: a chunk length near 4 GiB,
// absurd rates and sample sizes, a data chunk far larger than the file.
TEST_F(HostileFiles, DamagedWavHeadersAreRefusedAtOnceOrPlayToTheirEnd) {
  for (const char *name :
       {"wav-20-bytes-chunk-walk-never-ends.wav", "wav-rate-2762219328-never-ends.wav",
        "wav-63479-bit-never-ends.wav", "wav-data-size-past-file-position-beyond-end.wav"}) {
    const std::string path = std::string(LYT_DECODER_SEEDS) + "/" + name;
    const PlayedThrough played =
        finishedWithin<PlayedThrough>(std::chrono::seconds(10), path, [path] { return playThrough(path); });
    EXPECT_LT(played.openCpuMilliseconds, 100) << name;
    if (!played.opened.source) {
      EXPECT_EQ(played.opened.error, BASS_ERROR_FILEFORM) << name;
      continue;
    }
    EXPECT_TRUE(played.positionsWithinLength) << name;
    EXPECT_NEAR(played.heardSeconds, played.lengthSeconds, 0.01) << name;
  }
}

// A WAV header's rate and channel fields, rewritten.
std::string wavWithFormat(const std::string &name, uint32_t rate, uint16_t channels) {
  std::vector<unsigned char> bytes = readBytes(fixture("pcm16.wav").path);
  std::memcpy(&bytes[22], &channels, 2);
  std::memcpy(&bytes[24], &rate, 4);
  const std::string path = scratchPath(name);
  writeBytes(path, bytes);
  return path;
}

TEST_F(HostileFiles, RatesAndChannelCountsNoRecordingHasAreAnUnsupportedFormat) {
  expectRefused(wavWithFormat("1hz.wav", 1, 2), BASS_ERROR_FILEFORM);
  expectRefused(wavWithFormat("999hz.wav", 999, 2), BASS_ERROR_FILEFORM);
  expectRefused(wavWithFormat("800khz.wav", 800000, 2), BASS_ERROR_FILEFORM);
  const std::string nine = scratchPath("nine.wav");
  writeSndfile(nine, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(440, 0.5, 8000, 9), 8000, 9);
  expectRefused(nine, BASS_ERROR_FILEFORM);
  const Opened low = openLikeThePlayer(wavWithFormat("1000hz.wav", 1000, 2));
  EXPECT_NE(low.source, 0u) << "the lowest rate that opens";
}

// Above 192 kHz, SoundTouch's limit, a recording plays at its rate divided by a whole factor; a
// rate that none divides is refused at the open, with the code that names a rate.
TEST_F(HostileFiles, ARateAboveWhatTheChainTakesThatNoFactorBringsWithinIsRefusedAsARate) {
  const std::string path = wavWithFormat("192001hz.wav", 192001, 2);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FREQ);
}

TEST_F(HostileFiles, NonFiniteSamplesPlayAsSilenceAndLeaveTheEqualiserSound) {
  std::vector<float> signal = sine(440, 2, kRate, 2, 0.4f);
  signal[2 * kRate / 2] = std::nanf("");
  signal[2 * kRate / 2 + 3] = INFINITY;
  signal[2 * kRate / 2 + 9] = -INFINITY;
  const std::string path = scratchPath("nan.wav");
  writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, signal, kRate, 2);
  const DWORD source = openAndPlay(path);
  for (int band = 0; band < 6; ++band) {
    ASSERT_TRUE(BASS_FX_DSP_Set(source, BASS_FX_DSPFX_PEAKEQ, 0));
    BASS_FXPEAKEQ params{band, kRate, 2.5f, 0, 120.0f * float(band + 1), 6};
    ASSERT_TRUE(BASS_FX_DSP_SetParameters(source, BASS_FX_DSPFX_PEAKEQ, &params));
  }
  const std::vector<float> heard = render(BASS_FX_TempoGetResampledHandle(source));
  ASSERT_EQ(heard.size(), signal.size());
  EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](float s) { return std::isfinite(s); }));
  EXPECT_GT(rms(channel(heard, 2, 0), kRate + kRate / 4), 0.2) << "the sound after the damage";
}

// A recorder that was killed leaves the sizes of its header at 0 (or at the largest value).
TEST_F(HostileFiles, AWavWhoseSizesAreUnsetPlaysToTheEndOfTheFile) {
  for (const uint32_t size : {0u, 0xFFFFFFFFu}) {
    std::vector<unsigned char> bytes = readBytes(fixture("pcm16.wav").path);
    std::memcpy(&bytes[4], &size, 4);
    for (size_t i = 12; i + 8 < bytes.size(); ++i)
      if (std::memcmp(&bytes[i], "data", 4) == 0) {
        std::memcpy(&bytes[i + 4], &size, 4);
        break;
      }
    const std::string path = scratchPath("unset" + std::to_string(size) + ".wav");
    writeBytes(path, bytes);
    const Opened opened = openLikeThePlayer(path);
    ASSERT_NE(opened.source, 0u) << "error " << opened.error;
    EXPECT_NEAR(lengthSeconds(opened), 3.0, 1e-6) << size;
    BASS_StreamFree(opened.source);
    expectSafe(path);
  }
}

// The length is that of the pages that are there, and a seek near it comes back.
TEST_F(HostileFiles, ACutOffOggReportsTheLengthOfWhatIsThere) {
  for (const char *name : {"tone.ogg", "tone.opus"}) {
    const std::vector<unsigned char> bytes = readBytes(fixture(name).path);
    const std::string path = scratchPath(std::string("half-") + name);
    writeBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    const Opened opened = openLikeThePlayer(path);
    ASSERT_NE(opened.source, 0u) << name;
    const double length = lengthSeconds(opened);
    EXPECT_GT(length, 0.6) << name;
    EXPECT_LT(length, 2.0) << name;
    ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
    const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
    ASSERT_TRUE(BASS_ChannelSetPosition(opened.source,
                                        BASS_ChannelSeconds2Bytes(opened.source, float(length - 0.5))));
    ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
    EXPECT_NEAR(render(output).size() / 2.0 / kRate, 0.5, 0.01) << name;
    BASS_FX_TempoFree(opened.source);
  }
}

TEST_F(HostileFiles, AFileNameThatIsNotUtf8Opens) {
  const std::string path = scratchPath("\xff\xfe\x81 take \x8b.wav");
  writeBytes(path, readBytes(fixture("pcm16.wav").path));
  const Opened opened = openLikeThePlayer(path);
  ASSERT_NE(opened.source, 0u) << "error " << opened.error;
  EXPECT_NEAR(lengthSeconds(opened), 3.0, 1e-6);
}

} // namespace
} // namespace lyt::test
