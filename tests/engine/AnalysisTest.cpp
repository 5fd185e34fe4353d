// The recording analysis: the envelope of a generated file, the pauses of generated speech, the
// phrase starts, and the cache folder.
#include "RecordingAnalysis.h"
#include "analysis/EnvelopeCache.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

using namespace lyt;
using namespace lyt::test;

constexpr double kPauseTolerance = 0.03;

void waitForResult(const RecordingAnalysis &analysis) {
  ASSERT_TRUE(waitUntil([&] { return analysis.state() != RecordingAnalysis::State::Running; }));
}

// Phrases of 2.0, 1.3, 0.9, 1.6 and 1.2 s; pauses of 0.6, 0.15 (too short to count), 1.1 and 0.3 s;
// then, if asked for, digital silence.
struct SpeechRecording {
  explicit SpeechRecording(double silenceSeconds = 0) {
    std::vector<float> signal = phrasesAndPauses(segments, 44100);
    signal.resize(signal.size() + size_t(silenceSeconds * 44100));
    path = writeWav("speech-" + std::to_string(silenceSeconds) + ".wav", signal, 44100, 1);
  }
  std::vector<double> segments{2.0, 0.6, 1.3, 0.15, 0.9, 1.1, 1.6, 0.3, 1.2};
  std::string path;
  std::vector<Pause> expected() const {
    std::vector<Pause> pauses;
    double at = 0;
    for (size_t i = 0; i < segments.size(); at += segments[i++])
      if (i % 2 == 1 && segments[i] >= RecordingAnalysis::kMinPauseSeconds)
        pauses.push_back({at, at + segments[i]});
    return pauses;
  }
};

TEST(RecordingAnalysis, EnvelopeStepsFollowTheSignalOnTheRecordingsClock) {
  // 22050 Hz: a step is 220.5 frames, so rounding it would drift.
  std::vector<float> loud = sine(441, 1.0, 22050, 2, 0.5f), quiet = sine(441, 1.0, 22050, 2, 0.1f);
  loud.insert(loud.end(), quiet.begin(), quiet.end());
  RecordingAnalysis analysis(writeWav("envelope.wav", loud, 22050, 2), "");
  waitForResult(analysis);
  ASSERT_EQ(analysis.state(), RecordingAnalysis::State::Ready);
  EXPECT_DOUBLE_EQ(analysis.lengthSeconds(), 2.0);
  EXPECT_EQ(analysis.stepCount(), 200u);
  const std::vector<EnvelopeStep> halves = analysis.columns(0, 2, 2);
  ASSERT_EQ(halves.size(), 2u);
  EXPECT_NEAR(halves[0].high, 16384, 80);
  EXPECT_NEAR(halves[0].low, -16384, 80);
  EXPECT_NEAR(halves[1].high, 3277, 80);
  EXPECT_NEAR(halves[1].rms, 0.1 / std::sqrt(2.0), 0.002);
  EXPECT_EQ(analysis.columns(3, 4, 1)[0].high, 0) << "beyond the end is silent";
}

TEST(RecordingAnalysis, FindsThePausesOfSpeechAndThePhraseStarts) {
  const SpeechRecording speech;
  RecordingAnalysis analysis(speech.path, "");
  waitForResult(analysis);
  const std::vector<Pause> found = analysis.pauses(0, 100), expected = speech.expected();
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_NEAR(found[i].startSeconds, expected[i].startSeconds, kPauseTolerance) << "pause " << i;
    EXPECT_NEAR(found[i].endSeconds, expected[i].endSeconds, kPauseTolerance) << "pause " << i;
  }
  const double inThirdPhrase = expected[1].endSeconds + 0.8; // past the short pause, before the next
  EXPECT_NEAR(analysis.phraseStartAtOrBefore(inThirdPhrase).value(), expected[1].endSeconds, kPauseTolerance);
  EXPECT_NEAR(analysis.nextPhraseStart(inThirdPhrase).value(), expected[2].endSeconds, kPauseTolerance);
  EXPECT_EQ(analysis.phraseStartAtOrBefore(1.0), 0.0) << "the first phrase starts the recording";
  EXPECT_FALSE(analysis.nextPhraseStart(expected.back().endSeconds).has_value());
  EXPECT_EQ(analysis.pauses(expected[1].startSeconds + 0.1, expected[1].startSeconds + 0.1).size(), 1u);
}

class AnalysisCache : public ::testing::Test {
protected:
  std::string folder = scratchPath("cache-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  // A name no text encoding would give: a line break and bytes that are not UTF-8.
  std::string recording = scratchPath("odd\nname \xff\xfe.wav");

  void SetUp() override {
    const SpeechRecording speech;
    std::filesystem::copy_file(speech.path, recording, std::filesystem::copy_options::overwrite_existing);
  }
  std::unique_ptr<RecordingAnalysis> analyse() {
    auto analysis = std::make_unique<RecordingAnalysis>(recording, folder);
    waitForResult(*analysis);
    return analysis;
  }
  std::filesystem::path cacheFile() const {
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    return std::filesystem::directory_iterator(folder)->path();
  }
};

TEST(RecordingAnalysis, DigitalSilenceDoesNotHideThePausesInTheHiss) {
  const SpeechRecording padded(5.0); // more than a third of the recording
  RecordingAnalysis analysis(padded.path, "");
  waitForResult(analysis);
  const std::vector<Pause> found = analysis.pauses(0, 100), expected = padded.expected();
  ASSERT_EQ(found.size(), expected.size() + 1) << "the silence at the end is a pause too";
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(found[i].endSeconds, expected[i].endSeconds, kPauseTolerance) << "pause " << i;
  EXPECT_NEAR(found.back().startSeconds, 9.15, kPauseTolerance);
}

TEST_F(AnalysisCache, TheSecondOpeningHasTheSameResultsFromTheCache) {
  const auto first = analyse();
  EXPECT_FALSE(first->fromCache());
  const auto second = analyse();
  EXPECT_TRUE(second->fromCache());
  EXPECT_EQ(second->stepCount(), first->stepCount());
  EXPECT_DOUBLE_EQ(second->lengthSeconds(), first->lengthSeconds());
  EXPECT_EQ(second->pauses(0, 100).size(), first->pauses(0, 100).size());
  const auto a = first->columns(0, 10, 50), b = second->columns(0, 10, 50);
  for (size_t i = 0; i < a.size(); ++i)
    EXPECT_TRUE(a[i].low == b[i].low && a[i].high == b[i].high && a[i].rms == b[i].rms) << "column " << i;
}

TEST_F(AnalysisCache, ADamagedOrForeignCacheFileIsRebuilt) {
  analyse();
  const std::filesystem::path file = cacheFile();
  std::vector<unsigned char> bytes = readBytes(file.string());
  bytes[bytes.size() / 2] ^= 0x40;
  writeBytes(file.string(), bytes);
  EXPECT_FALSE(analyse()->fromCache()) << "a flipped byte";
  EXPECT_TRUE(analyse()->fromCache()) << "rebuilt";
  writeBytes(file.string(), std::vector<unsigned char>(bytes.begin(), bytes.begin() + 40));
  EXPECT_FALSE(analyse()->fromCache()) << "a cut file";
  writeBytes(file.string(), {'[', 'K', 'e', 'y', 'M', 'a', 'p', ']'});
  const auto rebuilt = analyse();
  EXPECT_FALSE(rebuilt->fromCache()) << "another program's file";
  EXPECT_EQ(rebuilt->pauses(0, 100).size(), SpeechRecording().expected().size());
  cacheFile(); // and no partial file left beside it
}

TEST_F(AnalysisCache, AChangedRecordingIsAnalysedAfresh) {
  analyse();
  std::filesystem::last_write_time(recording, std::filesystem::last_write_time(recording) + std::chrono::seconds(5));
  EXPECT_FALSE(analyse()->fromCache());
}

TEST_F(AnalysisCache, ACancelledAnalysisLeavesNoPartialEnvelope) {
  for (int run = 0; run < 3; ++run) {
    const RecordingAnalysis cancelled(recording, folder);
    cancelled.columns(0, 10, 100); // read while it runs
  }
  RecordingAnalysis uncached(recording, "");
  waitForResult(uncached);
  const auto analysis = analyse();
  EXPECT_EQ(analysis->stepCount(), uncached.stepCount());
  EXPECT_EQ(analysis->pauses(0, 100).size(), uncached.pauses(0, 100).size());
}

TEST(EnvelopeCache, KeepsTheFilesUsedLatest) {
  const EnvelopeCache cache(scratchPath("cache-trimmed"));
  const auto recording = [](int n) { return RecordingIdentity{"/rec/" + std::to_string(n), 1, n}; };
  const std::atomic<bool> running{false};
  const auto longAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (int n = 0; n < int(EnvelopeCache::kKeptFiles); ++n) {
    cache.store(recording(n), CachedEnvelope{0.01, {EnvelopeStep{}}}, running);
    std::filesystem::last_write_time(cache.fileFor(recording(n)), longAgo + std::chrono::seconds(n));
  }
  ASSERT_TRUE(cache.load(recording(0))) << "used again now";
  cache.store(recording(999), CachedEnvelope{0.01, {EnvelopeStep{}}}, running);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratchPath("cache-trimmed")), {}),
            long(EnvelopeCache::kKeptFiles));
  EXPECT_TRUE(cache.load(recording(0)));
  EXPECT_FALSE(cache.load(recording(1))) << "the one used longest ago";
  EXPECT_TRUE(cache.load(recording(999)));
}

TEST(RecordingAnalysis, AFileThatIsNoRecordingFails) {
  const std::string path = scratchPath("not-audio.wav");
  writeBytes(path, {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
  RecordingAnalysis analysis(path, scratchPath("cache-none"));
  waitForResult(analysis);
  EXPECT_EQ(analysis.state(), RecordingAnalysis::State::Failed);
  EXPECT_FALSE(analysis.phraseStartAtOrBefore(1.0).has_value());
  EXPECT_FALSE(std::filesystem::exists(scratchPath("cache-none")));
}

} // namespace
